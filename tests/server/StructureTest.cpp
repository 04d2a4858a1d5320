// The structure test from the panel on archives made by the creation, intact and damaged.
#include "ArchiveOpsHarness.h"
#include "ArchiveSchema.h"
#include "ArchiveTexts.h"
#include "TestArchiveStructure.h"
#include "TestResultRegistry.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <map>

#include <sys/inotify.h>
#include <unistd.h>

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;

namespace {

using Expectations = std::map<std::pair<QString, QString>, QString>; // (section, key) -> value

// Counts the times a file is replaced by a rename (as QSettings saves it), from inotify's events
// on its folder. Its closes after writing are watched as well, only so that two renames in a
// row are not merged into one event by the kernel.
class FileRewrites {
public:
    explicit FileRewrites(const QString& path)
        : name_(QFileInfo(path).fileName().toStdString()), fd_(inotify_init1(IN_NONBLOCK))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, QFileInfo(path).absolutePath().toLocal8Bit().constData(),
                                    IN_CLOSE_WRITE | IN_MOVED_TO),
                  0);
    }
    ~FileRewrites() { close(fd_); }
    FileRewrites(const FileRewrites&) = delete;
    FileRewrites& operator=(const FileRewrites&) = delete;

    // The rewrites since the last call.
    int take()
    {
        int count = 0;
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                return count;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_MOVED_TO) && event->len > 0 && name_ == event->name)
                    ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    std::string name_;
    int fd_;
};

class Structure : public ArchiveOpsHarness {
protected:
    void createArchive(const QString& name, bool newVersion, const QStringList& before = {})
    {
        createEmptyDatabase(name);
        execute(name, before);
        auto catalog = provider_->newCatalog();
        catalog->setActiveConnection(connectionString(name));
        QString errorText;
        ASSERT_TRUE(archive::DefineArchiveTables(name, connectionString(name), *catalog, newVersion,
                                                 errorText,
                                                 {*provider_, state_.report(), *registry_}))
            << errorText.toStdString();
        state_.report().clear();
    }
    // The foreign key of fkTable.fkColumn that points at pkTable, as the server named it.
    QString foreignKeyName(const QString& database, const QString& pkTable, const QString& fkTable,
                           const QString& fkColumn)
    {
        const dbport::ResultSet rows = query(database, "sp_fkeys '" + pkTable + "'");
        for (size_t i = 0; i < rows.rowCount(); ++i)
            if (rows.text(i, "FKTABLE_NAME").compare(fkTable, Qt::CaseInsensitive) == 0 &&
                rows.text(i, "FKCOLUMN_NAME").compare(fkColumn, Qt::CaseInsensitive) == 0)
                return rows.text(i, "FK_NAME");
        ADD_FAILURE() << "no key " << fkTable.toStdString();
        return {};
    }
    // problems: the findings that are neither present nor correct; the message says
    // "successfully" only without any, and carries the verdicts and the report under it.
    void runTest(const QString& name, int problems = 0)
    {
        const auto outcome = press(archivelist::kTestDatabase, name);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->end, OperationEnd::Completed);
        ASSERT_TRUE(outcome->verdict.has_value());
        EXPECT_EQ(outcome->verdict->problems, problems);
        ASSERT_FALSE(ui_.messages().empty());
        const QString verdict = problems == 0
                                    ? QString(" has been tested successfully")
                                    : QString(" has been tested: %1 problems found").arg(problems);
        Message expected =
            successMessage(kCaption, "Database " + name + verdict +
                                         "\rCheck the results reading Windows Registry");
        expected.report = RunDetails(outcome->summary, lastLogBlock());
        expected.reportOpen = true;
        EXPECT_EQ(ui_.messages().back(), expected);
        EXPECT_EQ(ui_.messages().back().report, expected.report);
        EXPECT_TRUE(ui_.messages().back().reportOpen);
        // Problems first and marked: no unmarked line comes before a marked one.
        const QStringList lines = outcome->summary.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 29);
        if (problems == 0)
            EXPECT_EQ(lines[0], "No table or relation has a problem.");
        else
            EXPECT_TRUE(lines[0].endsWith(" of 28 tables and relations have a problem (marked "
                                          "!!, listed first):"))
                << lines[0].toStdString();
        const auto firstSound = std::find_if(lines.begin() + 1, lines.end(),
                                             [](const QString& l) { return !l.startsWith("!!"); });
        EXPECT_TRUE(std::none_of(firstSound, lines.end(), [](const QString& l) {
            return l.startsWith("!!");
        })) << outcome->summary.toStdString();
        EXPECT_EQ(problems == 0, firstSound == lines.begin() + 1);
        EXPECT_TRUE(outcome->verdict->findings.startsWith("Table "));
    }
    // The changed values that are findings of a fault ("Unchecked" is not one).
    static int problemsIn(const Expectations& changed)
    {
        int problems = 0;
        for (const auto& [key, value] : changed)
            problems += value == "Ok" || value == "Present" || value == "Unchecked" ? 0 : 1;
        return problems;
    }
    // Every key of the five sections: what a passing archive shows, changed where given.
    void expectRegistry(const Expectations& changed)
    {
        TestResultRegistry registry(*settings_);
        for (const QString& table : archive::RegistryTableOrder()) {
            const archive::TableDef* def = archive::FindArchiveTable(table.toStdString());
            const bool indexed = !archive::TestedIndexColumns(*def).isEmpty();
            const std::pair<const QString*, QString> passing[] = {
                {&registrysections::kTables, "Present"},
                {&registrysections::kColumns, "Ok"},
                {&registrysections::kPrimaryKey, "Ok"},
                {&registrysections::kIndexes, indexed ? "Ok" : "Unchecked"}};
            for (const auto& [section, value] : passing) {
                const auto found = changed.find({*section, table});
                EXPECT_EQ(registry.value(*section, table).toStdString(),
                          (found == changed.end() ? value : found->second).toStdString())
                    << section->toStdString() << "/" << table.toStdString();
            }
        }
        for (const QString& relation : archive::RegistryRelationOrder()) {
            const auto found = changed.find({registrysections::kRelations, relation});
            EXPECT_EQ(registry.value(registrysections::kRelations, relation).toStdString(),
                      (found == changed.end() ? QString("Ok") : found->second).toStdString())
                << relation.toStdString();
        }
    }
    QString report() const { return lastLogBlock(); }
};

} // namespace

TEST_F(Structure, AFreshArchiveOfEitherEditionPassesEverything)
{
    for (bool newVersion : {false, true}) {
        const QString name = freshName("Fresh");
        createArchive(name, newVersion);
        runTest(name);
        expectRegistry({});
        const QString text = report();
        EXPECT_TRUE(text.startsWith("\r\nSTART to CHECK the SQL database named " + name + "\r\n"));
        EXPECT_EQ(text.count(" is correct"), 20 + 20 + 8) << text.toStdString();
        EXPECT_EQ(text.count(" is present and correct"), 8);
        EXPECT_TRUE(
            text.contains("\r\nthe structure of the table T_DBVersion is correct\r\nfor the "
                          "table T_DBVersion status of PRIMARY key is correct\r\n"));
        EXPECT_TRUE(text.contains("\r\nfor the table T_Patient status of INDEXES is correct\r\n"));
        EXPECT_TRUE(text.endsWith(
            "the relationship T_StatisticMask-T_StatisticSearch is present and correct\r\n"));
    }
}

TEST_F(Structure, TheCreationAndTheTestEachRewriteTheSettingsFileOnce)
{
    const QString name = freshName("OneSave");
    createEmptyDatabase(name);
    FileRewrites rewrites(settings_->fileName());
    rewrites.take();
    auto catalog = provider_->newCatalog();
    catalog->setActiveConnection(connectionString(name));
    QString errorText;
    const archive::ArchiveWork work{*provider_, state_.report(), *registry_};
    ASSERT_TRUE(archive::DefineArchiveTables(name, connectionString(name), *catalog, false,
                                             errorText, work))
        << errorText.toStdString();
    EXPECT_EQ(rewrites.take(), 1);

    catalog->refresh();
    ASSERT_TRUE(
        archive::TestArchiveStructure(name, connectionString(name), *catalog, errorText, work))
        << errorText.toStdString();
    EXPECT_EQ(rewrites.take(), 1);
    // And the one save holds every finding.
    expectRegistry({});
}

TEST_F(Structure, DamagedArchivesGiveTheirValuesAndLines)
{
    struct Damage {
        const char* what;
        QStringList before; // statements in the empty database, ahead of the creation
        std::function<QStringList(const QString& name)> after;
        Expectations registry;
        QStringList lines;
    };
    const Damage damages[] = {
        {"one column too many",
         {},
         [](const QString&) { return QStringList{"ALTER TABLE T_Marker ADD Extra INT NULL"}; },
         {{{registrysections::kColumns, "T_Marker"}, "Wrong COUNT of columns"},
          {{registrysections::kPrimaryKey, "T_Marker"}, "Unchecked"}},
         {"Wrong COUNT of columns for table T_Marker"}},
        {"L_Name NVARCHAR(60)",
         {},
         [](const QString&) {
             return QStringList{"DROP INDEX IX_T_Patient ON T_Patient",
                                "ALTER TABLE T_Patient ALTER COLUMN L_Name NVARCHAR(60) NOT NULL",
                                "CREATE INDEX IX_T_Patient ON T_Patient (L_Name)"};
         },
         {{{registrysections::kColumns, "T_Patient"},
           "Wrong NAME or TYPE or IDENTITY for at least a column"}},
         {"Wrong NAME or TYPE for at least a column of the table T_Patient",
          "for the table T_Patient status of PRIMARY key is correct",
          "for the table T_Patient status of INDEXES is correct"}},
        {"the photo of another type",
         {},
         [](const QString&) {
             return QStringList{"ALTER TABLE T_Patient ALTER COLUMN Photo VARBINARY(MAX) NULL"};
         },
         {},
         {"the structure of the table T_Patient is correct"}},
        {"an identity removed",
         {"CREATE TABLE T_Storage( ID_Storage INT NOT NULL CONSTRAINT PrimaryKey_T_Storage PRIMARY "
          "KEY, Description NVARCHAR(100) NOT NULL )"},
         [](const QString&) { return QStringList{}; },
         {{{registrysections::kColumns, "T_Storage"},
           "Wrong NAME or TYPE or IDENTITY for at least a column"}},
         {"Wrong NAME or TYPE for at least a column of the table T_Storage",
          "for the table T_Storage status of PRIMARY key is correct"}},
        {"a composite index",
         {},
         [](const QString&) {
             return QStringList{"DROP INDEX IX_T_Patient ON T_Patient",
                                "CREATE INDEX IX_T_Patient ON T_Patient (L_Name, F_Name)"};
         },
         {{{registrysections::kIndexes, "T_Patient"},
           "At least an index is not available (L_Name, F_Name, B_Date, Used_By, ID_Marker)"}},
         {"for table T_Patient at least an index is not available (L_Name, F_Name, B_Date, "
          "Used_By, ID_Marker)"}},
        {"a table without any index",
         {},
         [](const QString&) {
             return QStringList{"DROP INDEX IX_T_Statistic ON T_Statistic",
                                "DROP INDEX IX_T_Statistic_1 ON T_Statistic",
                                "DROP INDEX IX_T_Statistic_2 ON T_Statistic"};
         },
         {{{registrysections::kIndexes, "T_Statistic"},
           "At least an index is not available (ID_Class, ID_Exam, ID_Multi)"}},
         {"for table T_Statistic at least an index is not available (ID_Class, ID_Exam, "
          "ID_Multi)"}},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const QString name = freshName("Damaged");
        createArchive(name, true, damage.before);
        execute(name, damage.after(name));
        ui_ = {};
        runTest(name, problemsIn(damage.registry));
        expectRegistry(damage.registry);
        for (const QString& line : damage.lines)
            EXPECT_TRUE(report().contains("\r\n" + line + "\r\n")) << line.toStdString();
    }
}

TEST_F(Structure, RelationsWithTheWrongCascadeAreNamed)
{
    const QString name = freshName("Relations");
    createArchive(name, false);
    // T_Exam-T_Statistic may only cascade once T_File-T_Statistic does not, or the server sees
    // two cascade paths; T_Patient-T_Exam loses its cascade.
    const QString fileKey = foreignKeyName(name, "T_File", "T_Statistic", "ID_Exam");
    const QString examKey = foreignKeyName(name, "T_Exam", "T_Statistic", "ID_Multi");
    execute(name, {"ALTER TABLE T_Statistic DROP CONSTRAINT " + fileKey,
                   "ALTER TABLE T_Statistic DROP CONSTRAINT " + examKey,
                   "ALTER TABLE T_Statistic ADD CONSTRAINT fk_file_nocascade FOREIGN KEY (ID_Exam) "
                   "REFERENCES T_File (ID_Exam)",
                   "ALTER TABLE T_Statistic ADD CONSTRAINT fk_exam_cascade FOREIGN KEY (ID_Multi) "
                   "REFERENCES T_Exam (ID_Multi) ON DELETE CASCADE ON UPDATE CASCADE",
                   "ALTER TABLE T_Exam DROP CONSTRAINT ID_Patient_fk",
                   "ALTER TABLE T_Exam ADD CONSTRAINT ID_Patient_fk FOREIGN KEY (ID_Patient) "
                   "REFERENCES T_Patient (ID_Patient)"});
    runTest(name, 3);
    expectRegistry({{{registrysections::kRelations, "T_Patient-T_Exam"},
                     "Present but without referential integrity"},
                    {{registrysections::kRelations, "T_File-T_Statistic"},
                     "Present but without referential integrity"},
                    {{registrysections::kRelations, "T_Exam-T_Statistic"},
                     "Present but with referential integrity"}});
    const QString text = report();
    EXPECT_TRUE(text.contains("\r\nthe relationship T_Patient-T_Exam isn't correct: it's present "
                              "but without referential integrity\r\n"));
    EXPECT_TRUE(text.contains("\r\nthe relationship T_Exam-T_Statistic isn't correct: it's present "
                              "but with referential integrity\r\n"));
}

TEST_F(Structure, AnEmptyDatabaseHasNothingAndTheTestStillEnds)
{
    const QString name = freshName("Empty");
    createEmptyDatabase(name);
    // Every table and every relation is missing.
    runTest(name, 20 + 8);
    const QString text = report();
    EXPECT_EQ(text.count(QRegularExpression("\r\nthe table T_\\w+ is not present")), 20);
    EXPECT_EQ(text.count(QRegularExpression("\r\nthe relationship T_[\\w-]+ is not present")), 8);
    TestResultRegistry registry(*settings_);
    for (const QString& table : archive::RegistryTableOrder()) {
        EXPECT_EQ(registry.value(registrysections::kTables, table), "NotPresent");
        EXPECT_EQ(registry.value(registrysections::kColumns, table), "Unchecked");
    }
    for (const QString& relation : archive::RegistryRelationOrder())
        EXPECT_EQ(registry.value(registrysections::kRelations, relation), "Not Present");
}

TEST_F(Structure, AWrongPasswordIsTheConnectionTrapAndNothingIsLogged)
{
    const QString name = freshName("Locked");
    createEmptyDatabase(name);
    host_.values.password = "not the password";
    const auto outcome = press(archivelist::kTestDatabase, name);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Trapped);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(
        ui_.messages()[0].text.startsWith("Error during connection to the database\r-2147467259: "))
        << ui_.messages()[0].text.toStdString();
    EXPECT_EQ(ui_.messages()[0].title, kCaption + " - Warning...");
    EXPECT_FALSE(logExists());
    EXPECT_EQ(host_.closed, 0);
}
