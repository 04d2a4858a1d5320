#pragma once
// The structure test: compares an existing database with the archive schema and records the
// findings as report lines and in the five sections of the test result registry. It only reads.

#include "DatabasePort.h"
#include "DefineArchiveTables.h"
#include "TableModel.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace sqllumo::archive {

using schema::TableDef;

// True when the whole test ran, whatever it found; false with errorText set when an error
// stopped it.
bool TestArchiveStructure(const QString& databaseName, const QString& connectionString,
                          dbport::Catalog& catalog, QString& errorText, const ArchiveWork& work);

// The verdicts, kept apart from the server calls so each rule can be checked on its own.
enum class ColumnVerdict { Correct, WrongCount, WrongNameOrType };
// Count, then names, types and sizes; the identity property is a separate server call.
ColumnVerdict JudgeColumns(const TableDef& table,
                           const std::vector<dbport::CatalogColumn>& columns);

enum class KeyVerdict { Ok, NotPresent, PresentNotCorrect };
// firstKeyColumn: "Column_Name" of the first row of sp_pkeys, nullopt when there was no row.
KeyVerdict JudgePrimaryKey(const TableDef& table, const std::optional<QString>& firstKeyColumn);

// The index columns the test requires of a table (upper case); empty when not tested.
QStringList TestedIndexColumns(const TableDef& table);
// The "(L_Name, F_Name, ...)" list of the table's failure text, names as in the schema.
QString TestedIndexList(const TableDef& table);
// The GEN_Indexes value when one of them is missing: "At least an index is not available (...)".
QString IndexFailureValue(const TableDef& table);
// True when every tested column has an index whose "index_keys" is exactly that column.
bool IndexesComplete(const QStringList& testedColumns, const QStringList& indexKeys);

struct RelationCheck {
    QString name;    // "T_Patient-T_Exam"
    QString fkTable; // upper case, as compared
    QString fkColumn;
    int expectedRule = 0; // 0 cascade, 1 no action
};
struct RelationListing {
    QString procedureCall; // "sp_fkeys 'T_Patient'"
    std::vector<RelationCheck> relations;
};
// The listings in the order they run.
const std::vector<RelationListing>& RelationListings();

enum class RelationVerdict { Ok, NotPresent, WithoutIntegrity, WithIntegrity };
struct ForeignKeyRow {
    QString fkTable;
    QString fkColumn;
    QVariant updateRule;
    QVariant deleteRule;
};
struct RelationFinding {
    QString name;
    RelationVerdict verdict;
};
// Findings in the order they are reported: each relation when its first row is met, then
// those never met, in the listing's order.
std::vector<RelationFinding> JudgeListing(const RelationListing& listing,
                                          const std::vector<ForeignKeyRow>& rows);

} // namespace sqllumo::archive
