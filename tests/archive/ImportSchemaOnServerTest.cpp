// The import's road to the archive schema on a real server: keyless tables, rows with their
// own identifiers, then the key statements and the indexes; the structure test must then find
// exactly what a created archive has.
#include "ArchiveSchema.h"
#include "ArchiveTexts.h"
#include "DefineArchiveTables.h"
#include "ReportLog.h"
#include "StandinDatabase.h"
#include "TestArchiveStructure.h"
#include "TestResultRegistry.h"

#include <map>

using namespace sqllumo;
using namespace sqllumo::archive;

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

class ImportSchemaOnServer : public sqllumo::testing::StandinDatabase {
protected:
    // The import's table step.
    void defineImportTables(const QString& database) const
    {
        auto connection = connect(database);
        for (const TableDef& table : ArchiveTables())
            connection->execute(q(ImportTableStatement(table)));
        connection->close();
    }
    // The import's key step: one statement per table, then its indexes through the catalogue.
    void defineImportKeys(const QString& database) const
    {
        auto connection = connect(database);
        auto catalog = provider_->newCatalog();
        catalog->setActiveConnection(connectionString(database));
        for (const TableDef& table : ArchiveTables()) {
            const std::string statement = ImportKeyStatement(table);
            if (!statement.empty())
                connection->execute(q(statement));
            catalog->refresh();
            for (size_t i = 0; i < table.indexColumns.size(); ++i)
                catalog->appendIndex(q(table.name), q(table.indexName(i)),
                                     q(table.indexColumns[i]));
        }
        connection->close();
    }
    // Runs the structure test; every value of the five sections, keyed "section/key".
    std::map<QString, QString> structureFindings(const QString& database)
    {
        auto catalog = provider_->newCatalog();
        catalog->setActiveConnection(connectionString(database));
        ReportBuffer report;
        QString errorText;
        EXPECT_TRUE(TestArchiveStructure(database, connectionString(database), *catalog, errorText,
                                         {*provider_, report, *registry_}))
            << errorText.toStdString();
        TestResultRegistry registry(*settings_);
        std::map<QString, QString> findings;
        for (const QString* section : {&registrysections::kTables, &registrysections::kColumns,
                                       &registrysections::kIndexes, &registrysections::kPrimaryKey})
            for (const QString& table : RegistryTableOrder())
                findings[*section + "/" + table] = registry.value(*section, table);
        for (const QString& relation : RegistryRelationOrder())
            findings[registrysections::kRelations + "/" + relation] =
                registry.value(registrysections::kRelations, relation);
        return findings;
    }
};

} // namespace

TEST_F(ImportSchemaOnServer, KeyedImportPassesLikeACreatedArchive)
{
    const QString imported = createDatabase("ImportedKeys");
    defineImportTables(imported);
    defineImportKeys(imported);
    const auto importFindings = structureFindings(imported);

    const QString created = createDatabase("CreatedKeys");
    {
        auto catalog = provider_->newCatalog();
        catalog->setActiveConnection(connectionString(created));
        ReportBuffer report;
        QString errorText;
        ASSERT_TRUE(DefineArchiveTables(created, connectionString(created), *catalog, false,
                                        errorText, {*provider_, report, *registry_}))
            << errorText.toStdString();
    }
    const auto createdFindings = structureFindings(created);

    EXPECT_EQ(importFindings, createdFindings);
    for (const TableDef& table : ArchiveTables()) {
        const QString t = q(table.name);
        EXPECT_EQ(importFindings.at(registrysections::kColumns + "/" + t), values::kOk)
            << table.name;
        EXPECT_EQ(importFindings.at(registrysections::kPrimaryKey + "/" + t), values::kOk)
            << table.name;
        EXPECT_EQ(importFindings.at(registrysections::kIndexes + "/" + t),
                  TestedIndexColumnNames(table).empty() ? values::kUnchecked : values::kOk)
            << table.name;
    }
    for (const RelationDef& relation : TestedRelations())
        EXPECT_EQ(importFindings.at(registrysections::kRelations + "/" + q(relation.name)),
                  values::kOk)
            << relation.name;
}

TEST_F(ImportSchemaOnServer, KeylessTablesTakeCopiedIdentifiersAndKeysThenHoldThem)
{
    const QString name = createDatabase("ImportedRows");
    defineImportTables(name);
    auto connection = connect(name);
    // Without keys, rows go in any order and keep the source's identifiers, orphans included.
    const QStringList rows = {
        "SET IDENTITY_INSERT T_Marker ON",
        "INSERT INTO T_Marker(ID_Marker,Marker) VALUES (7,'m')",
        "SET IDENTITY_INSERT T_Marker OFF",
        "SET IDENTITY_INSERT T_Exam ON",
        "INSERT INTO T_Exam(ID_Multi,ID_Patient,Code,rv_1,rv_2,rv_3,rv_4,rv_5,rv_6,rv_7,rv_8,"
        "ID_Marker,Comment) VALUES (40,999,'c',0,0,0,0,0,0,0,0,7,'')",
        "SET IDENTITY_INSERT T_Exam OFF",
    };
    for (const QString& statement : rows)
        connection->execute(statement);
    // The keys of the tables before the exams go on, the marker's over its copied identifier;
    // the exam's patient does not exist, so the exam's keys are refused.
    for (const TableDef& table : ArchiveTables()) {
        if (table.name == "T_Exam")
            break;
        const std::string statement = ImportKeyStatement(table);
        if (!statement.empty())
            connection->execute(q(statement));
    }
    EXPECT_THROW(connection->execute(q(ImportKeyStatement(*FindArchiveTable("T_Exam")))),
                 db::Error);
    // New rows follow the highest copied identifier.
    connection->execute("INSERT INTO T_Marker(Marker) VALUES ('next')");
    const dbport::ResultSet next =
        connection->query("SELECT MAX(ID_Marker) AS Highest FROM T_Marker");
    EXPECT_EQ(next.value(0, "Highest").toInt(), 8);
    EXPECT_THROW(connection->execute("SET IDENTITY_INSERT T_Marker ON; INSERT INTO "
                                     "T_Marker(ID_Marker,Marker) VALUES (7,'again')"),
                 db::Error);
    connection->close();
}
