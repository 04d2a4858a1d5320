// Creating an archive database from the panel, both editions, and the creation's edge cases.
#include "ArchiveOpsHarness.h"
#include "ArchiveTexts.h"
#include "CountingProvider.h"
#include "DefineArchiveTables.h"
#include "TestResultRegistry.h"

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;

namespace {

class Creation : public ArchiveOpsHarness, public ::testing::WithParamInterface<bool> {
protected:
    // The report of a complete creation, line by line.
    static QString expectedReport(const QString& name, const QString& server)
    {
        QString text = "Database " + name + " has been created into SQL Server " + server +
                       "\r\nSTART to CHECK and DEFINE TABLES into SQL database named " + name;
        for (const char* table : {"T_DBVersion",
                                  "T_Marker",
                                  "T_City",
                                  "T_Province",
                                  "T_Country",
                                  "T_Hosp_Dep",
                                  "T_Doc_Tech",
                                  "T_Patient",
                                  "T_Exam",
                                  "T_Storage",
                                  "T_File_Type",
                                  "T_File",
                                  "T_Class",
                                  "T_Item",
                                  "T_SubItem",
                                  "T_Statistic",
                                  "T_StatisticMask",
                                  "T_StatisticList",
                                  "T_StatisticSearch",
                                  "T_StatisticFileType"})
            text += QString("\r\nTable ") + table + " is correct";
        return text + "\r\nFINISH to CHECK and DEFINE TABLES into SQL database " + name +
               "\r\nDatabase " + name + " has been created and initialized.";
    }
    int indexCount(const QString& database)
    {
        int count = 0;
        for (const QString& table : archive::RegistryTableOrder()) {
            try {
                const dbport::ResultSet rows = query(database, "sp_helpindex '" + table + "'");
                for (size_t i = 0; i < rows.rowCount(); ++i)
                    count += rows.text(i, "index_name").startsWith("IX_") ? 1 : 0;
            } catch (const db::Error& e) {
                EXPECT_EQ(e.number(), db::kClosedObject) << table.toStdString();
            }
        }
        return count;
    }
};

} // namespace

TEST_P(Creation, AnEmptyServerGetsTheWholeArchiveWithItsRowsReportAndRegistry)
{
    const bool newVersion = GetParam();
    const QString name = freshName(newVersion ? "NewArchive" : "Archive");
    if (newVersion)
        ui_.answerNextMessage(MessageResult::Ok);
    const auto outcome =
        press(newVersion ? archivelist::kNewDatabaseNewVersion : archivelist::kNewDatabase, name,
              "C:\\Lumeno SQL Database");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Completed);
    ASSERT_FALSE(ui_.messages().empty());
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Database " + name + " has been created and initialized"));
    EXPECT_EQ(lastLogBlock(), expectedReport(name, standin_->server()) + "\r\n");
    EXPECT_EQ(host_.closed, 1);
    EXPECT_EQ(setting(settingkeys::kDataDirectory), "C:\\Lumeno SQL Database\\");
    EXPECT_EQ(setting(settingkeys::kDatabaseName), name);

    EXPECT_EQ(query(name, "SELECT COUNT(*) AS N FROM INFORMATION_SCHEMA.TABLES").text(0, "N"),
              "20");
    EXPECT_EQ(indexCount(name), 23);
    struct Lookup {
        const char* table;
        const char* key;
        const char* id;
    };
    for (const Lookup& l :
         {Lookup{"T_Marker", "ID_Marker", "3"}, Lookup{"T_City", "ID_City", "23"},
          Lookup{"T_Province", "ID_Province", "10"}, Lookup{"T_Country", "ID_Country", "6"},
          Lookup{"T_Hosp_Dep", "ID_Hosp_Dep", "8"}, Lookup{"T_Doc_Tech", "ID_Doc_Tech", "17"}}) {
        const dbport::ResultSet rows =
            query(name, QString("SELECT %1 FROM %2").arg(l.key, l.table));
        ASSERT_EQ(rows.rowCount(), 1u) << l.table;
        EXPECT_EQ(rows.text(0, l.key), l.id) << l.table;
    }
    execute(name, {"INSERT INTO T_City(City) VALUES ('Bergamo')"});
    EXPECT_EQ(query(name, "SELECT ID_City FROM T_City WHERE City = 'Bergamo'").text(0, "ID_City"),
              "24");

    const dbport::ResultSet types =
        query(name, "SELECT ID_Type, File_Type, File_App FROM T_File_Type ORDER BY ID_Type");
    ASSERT_EQ(types.rowCount(), 63u);
    EXPECT_EQ(types.text(19, "File_Type"), "Zuvud Report");
    EXPECT_EQ(types.text(31, "File_Type"), "Evoked");
    EXPECT_EQ(types.text(47, "File_Type"), "SPO");
    EXPECT_EQ(types.text(62, "File_Type"), "EMG-16");
    const dbport::ResultSet version = query(name, "SELECT [FreeText] FROM T_DBVersion");
    ASSERT_EQ(version.rowCount(), 8u);
    EXPECT_EQ(version.text(7, "FreeText"), "STAT_INIT:TRUE");
    if (newVersion) {
        EXPECT_EQ(types.text(18, "File_Type"), "Database");
        const QString code = types.text(18, "File_App");
        EXPECT_EQ(code.size(), 12);
        EXPECT_TRUE(code.startsWith(QDate::currentDate().toString("ddMMyy")));
        EXPECT_EQ(archive::DecipherVersionRow(version.text(0, "FreeText"), code), "Version:1.02");
    } else {
        EXPECT_EQ(types.text(18, "File_Type"), "x");
        EXPECT_EQ(version.text(0, "FreeText"), "Version:1.01");
    }

    TestResultRegistry registry(*settings_);
    for (const QString& table : archive::RegistryTableOrder())
        EXPECT_EQ(registry.value(registrysections::kTables, table), "Present")
            << table.toStdString();
}

INSTANTIATE_TEST_SUITE_P(BothEditions, Creation, ::testing::Bool());

namespace {
class CreationEdges : public ArchiveOpsHarness {
protected:
    bool define(const QString& name, bool newVersion, QString& errorText,
                dbport::Provider& provider)
    {
        auto catalog = provider.newCatalog();
        catalog->setActiveConnection(connectionString(name));
        return archive::DefineArchiveTables(name, connectionString(name), *catalog, newVersion,
                                            errorText, {provider, state_.report(), *registry_});
    }
};
} // namespace

TEST_F(CreationEdges, ASecondRunSendsNoStatementAndStillReportsEveryTable)
{
    const QString name = freshName("Again");
    createEmptyDatabase(name);
    QString errorText;
    ASSERT_TRUE(define(name, true, errorText, *provider_)) << errorText.toStdString();
    state_.report().clear();
    server::CountingProvider counting(*provider_);
    EXPECT_TRUE(define(name, true, errorText, counting));
    EXPECT_EQ(counting.counts().statements, 0) << counting.counts().texts.join('\n').toStdString();
    EXPECT_EQ(counting.counts().indexes, 0);
    EXPECT_EQ(state_.report().text().count(" is correct"), 20);
}

TEST_F(CreationEdges, AnExistingVersionTableMeansNoDatabaseCode)
{
    const QString name = freshName("HalfDone");
    createEmptyDatabase(name);
    execute(name, {"CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )"});
    QString errorText;
    ASSERT_TRUE(define(name, true, errorText, *provider_)) << errorText.toStdString();
    EXPECT_EQ(query(name, "SELECT COUNT(*) AS N FROM T_DBVersion").text(0, "N"), "0");
    const dbport::ResultSet row =
        query(name, "SELECT File_Type, File_App FROM T_File_Type WHERE ID_Type = 19");
    EXPECT_EQ(row.text(0, "File_Type"), "Database");
    EXPECT_EQ(row.text(0, "File_App"), "");
}

TEST_F(CreationEdges, ALowerCaseMarkerTableIsNotOursAndTheServerRefusesTheNewOne)
{
    const QString name = freshName("Lower");
    createEmptyDatabase(name);
    execute(name, {"CREATE TABLE t_marker( Marker NVARCHAR(50) NOT NULL )"});
    QString errorText;
    EXPECT_FALSE(define(name, false, errorText, *provider_));
    EXPECT_TRUE(errorText.endsWith("-2147217900")) << errorText.toStdString();
    EXPECT_TRUE(state_.report().text().endsWith(
        "\r\nTable T_DBVersion is correct\r\nAn error occurred during the check or definition of "
        "table T_Marker\r\n" +
        errorText));
    TestResultRegistry registry(*settings_);
    EXPECT_EQ(registry.value(registrysections::kTables, "T_DBVersion"), "Present");
    EXPECT_EQ(registry.value(registrysections::kTables, "T_Marker"), "NotPresent");
    EXPECT_EQ(registry.value(registrysections::kTables, "T_City"), "Unchecked");
}
