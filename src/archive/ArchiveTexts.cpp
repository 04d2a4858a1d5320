// The archive creation's and structure test's report lines and registry values, and the order
// in which both write their keys.
#include "ArchiveTexts.h"

#include "ArchiveSchema.h"

namespace sqllumo::archive {

const QStringList& RegistryTableOrder()
{
    static const QStringList order = {QStringLiteral("T_DBVersion"),
                                      QStringLiteral("T_Patient"),
                                      QStringLiteral("T_Exam"),
                                      QStringLiteral("T_File"),
                                      QStringLiteral("T_City"),
                                      QStringLiteral("T_Country"),
                                      QStringLiteral("T_Doc_Tech"),
                                      QStringLiteral("T_Hosp_Dep"),
                                      QStringLiteral("T_File_Type"),
                                      QStringLiteral("T_Marker"),
                                      QStringLiteral("T_Province"),
                                      QStringLiteral("T_Storage"),
                                      QStringLiteral("T_Statistic"),
                                      QStringLiteral("T_Class"),
                                      QStringLiteral("T_Item"),
                                      QStringLiteral("T_SubItem"),
                                      QStringLiteral("T_StatisticMask"),
                                      QStringLiteral("T_StatisticList"),
                                      QStringLiteral("T_StatisticSearch"),
                                      QStringLiteral("T_StatisticFileType")};
    return order;
}

const QStringList& RegistryRelationOrder()
{
    static const QStringList order = [] {
        QStringList names;
        for (const RelationDef& relation : TestedRelations())
            names << QString::fromStdString(relation.name);
        return names;
    }();
    return order;
}

} // namespace sqllumo::archive
