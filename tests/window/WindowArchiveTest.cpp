// Create, test and delete an archive through the real window against a stand-in it starts:
// typing in the panel, pressing OK, answering the boxes and the password dialog; the Access
// import with its file picked through Browse and its progress frame moving, nothing else
// startable while it runs, and Escape, Cancel and closing the window asking before they stop
// it between two rows.
#include "AccessArchiveFixture.h"
#include "ArchiveIndexes.h"
#include "Connection.h"
#include "ConnectionStrings.h"
#include "DatabasePort.h"
#include "F_SQLDatabase.h"
#include "ModalScript.h"
#include "PasswordRequest.h"
#include "QtUserInterface.h"
#include "Recordset.h"
#include "ReportLog.h"
#include "Screenshot.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "StandinForProgram.h"
#include "TestResultRegistry.h"
#include "WindowDispatch.h"
#include "WindowDriving.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::testing::ModalScript;
using sqllumo::testing::StandinForProgram;
using sqllumo::testing::SuiteStandin;

namespace {

class WindowArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
        w_.prepare();
        w_.storeLogin(standin_->server(), standin_->user(), standin_->password());
        provider_ = server::MakeServerProvider();
        w_.build(*provider_);
        w_.show();
        w_.window->CorvistaDataBase->trigger();
    }
    void open(int index) { sqllumo::testing::OpenPanel(*w_.window, index); }
    void type(int field, const QString& text)
    {
        w_.window->Text1[field]->selectAll();
        QTest::keyClicks(w_.window->Text1[field], text);
    }
    void writeSmallArchive()
    {
        ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
        file_ = w_.dir.filePath("small.mdb");
        QString error;
        ASSERT_TRUE(
            sqllumo::testing::WriteAccessFile(sqllumo::testing::SmallArchive(), file_, error))
            << error.toStdString();
    }
    // The import panel filled in; OK is left to the test.
    void fillImportPanel(const QString& database)
    {
        sqllumo::testing::OpenPanel(*w_.window, 8);
        EXPECT_TRUE(w_.window->CopyPhotos->isVisible());
        EXPECT_FALSE(w_.window->CopyPhotos->isChecked());
        for (const auto& [field, text] :
             {std::pair{1, database}, std::pair{2, QStringLiteral("C:\\Lumeno SQL Database")},
              std::pair{3, file_}}) {
            w_.window->Text1[field]->selectAll();
            QTest::keyClicks(w_.window->Text1[field], text);
        }
    }
    // Does something once, when the copy has just written the nth row of the table, as the
    // person would between two repaints of the meter.
    void onceAtRow(const QString& table, int row, std::function<void()> act)
    {
        auto done = std::make_shared<bool>(false);
        QObject::connect(w_.window->CSMTable, &QProgressBar::valueChanged, w_.window.get(),
                         [this, table, row, act, done](int value) {
                             if (*done || value != row ||
                                 w_.window->Label5->text() != "Copying table " + table)
                                 return;
                             *done = true;
                             act();
                         });
    }
    static void answerPassword(ModalScript& modals)
    {
        modals.then([](QWidget* w) {
            auto* dialog = qobject_cast<PasswordRequest*>(w);
            ASSERT_NE(dialog, nullptr);
            QTest::keyClicks(dialog->Text3, "Vor36Pelin");
            dialog->Command1->click();
        });
    }
    long long count(const QString& database, const QString& table) const
    {
        db::Connection connection;
        connection.open(BuildConnectionString(standin_->server(), database, standin_->user(),
                                              standin_->password()));
        const long long rows =
            connection.query("SELECT COUNT(*) FROM " + table).value(0).toLongLong();
        connection.close();
        return rows;
    }
    void execute(const QString& database, const QString& statement) const
    {
        db::Connection connection;
        connection.open(BuildConnectionString(standin_->server(), database, standin_->user(),
                                              standin_->password()));
        connection.execute(statement);
        connection.close();
    }
    QString log() const
    {
        QFile f(ReportLogPath(w_.dir.path()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    StandinForProgram* standin_ = nullptr;
    QString file_; // the small archive, written by the tests that import it
    std::unique_ptr<dbport::Provider> provider_;
    sqllumo::testing::WindowOverPort w_; // after the provider: the window goes first
};

} // namespace

TEST_F(WindowArchive, CreateTestAndDeleteThroughThePanels)
{
    const QString name = QStringLiteral("WindowArchive");
    ModalScript modals;

    open(archivelist::kNewDatabase);
    EXPECT_EQ(w_.window->Text1[0]->text(), standin_->server());
    type(1, name);
    type(2, "C:\\Lumeno SQL Database");
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text, "Database " + name + " has been created and initialized");
    EXPECT_EQ(modals.seen()[0].icon, QMessageBox::Information);
    EXPECT_FALSE(w_.window->Frame1->isVisible());
    EXPECT_TRUE(w_.window->List1->isVisible());
    EXPECT_TRUE(w_.window->cmdPassword->isEnabled());
    EXPECT_TRUE(
        log().contains("\r\nFINISH to CHECK and DEFINE TABLES into SQL database " + name + "\r\n"));

    open(archivelist::kTestDatabase);
    EXPECT_EQ(w_.window->Text1[1]->text(), name);
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.seen()[1].text,
              "Database " + name +
                  " has been tested successfully\nCheck the results reading Windows Registry");
    TestResultRegistry registry(*w_.settings);
    EXPECT_EQ(registry.value(registrysections::kIndexes, "T_Patient"), "Ok");
    EXPECT_EQ(registry.value(registrysections::kRelations, "T_Exam-T_Statistic"), "Ok");

    open(archivelist::kDeleteDatabase);
    modals.then([](QWidget* w) {
        auto* dialog = qobject_cast<PasswordRequest*>(w);
        ASSERT_NE(dialog, nullptr);
        // The archive's request says it wants the service pass phrase, not a database's.
        EXPECT_TRUE(dialog->Prompt->isVisible());
        EXPECT_TRUE(
            dialog->Prompt->text().startsWith("The service pass phrase of the archive functions"));
        sqllumo::testing::SaveScreenshot(*dialog, "12-pass-phrase-request");
        QTest::keyClicks(dialog->Text3, "vor36PELIN");
        dialog->Command1->click();
    });
    modals.press(QMessageBox::Ok); // the question
    modals.press(QMessageBox::Ok); // the outcome
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 4u);
    EXPECT_EQ(modals.seen()[2].text, "Do you really want to delete database?");
    EXPECT_EQ(modals.seen()[3].text, "Database " + name + " has been removed");
    EXPECT_TRUE(log().endsWith("Database " + name + " has been removed from SQL Server " +
                               standin_->server() + "\r\n"));
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_FALSE(w_.window->Frame1->isVisible());
}

// A database without the archive's tables: the message says how many problems were found, not
// "successfully", and the findings of this test sit right under it, open, every table and
// relation with its verdict, the problems first and marked. With one table made right, that
// table comes after every problem.
TEST_F(WindowArchive, StructureTestOfADatabaseWithoutArchiveTablesShowsItsFindingsOpenUnderIt)
{
    ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
    const QString name = QStringLiteral("Damaged");
    execute("master", server::CreateDatabaseStatement(name, "C:\\Lumeno SQL Database\\"));
    ModalScript modals;
    const auto runTest = [&](const QString& screenshot) {
        open(archivelist::kTestDatabase);
        type(1, name);
        modals.press(QMessageBox::Ok, screenshot);
        QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    };
    runTest("09-structure-test-findings");
    ASSERT_EQ(modals.seen().size(), 1u);
    const auto& shown = modals.seen()[0];
    const QRegularExpressionMatch heading =
        QRegularExpression("^Database Damaged has been tested: (\\d+) problems found\n"
                           "Check the results reading Windows Registry$")
            .match(shown.text);
    ASSERT_TRUE(heading.hasMatch()) << shown.text.toStdString();
    EXPECT_EQ(heading.captured(1).toInt(), 28);
    EXPECT_EQ(shown.icon, QMessageBox::Information);
    EXPECT_TRUE(shown.detailsOpen);
    QStringList lines = shown.details.split('\n');
    ASSERT_GE(lines.size(), 30) << shown.details.toStdString();
    EXPECT_EQ(lines[0], "28 of 28 tables and relations have a problem (marked !!, listed first):");
    EXPECT_TRUE(lines[1].contains(QRegularExpression("^!! +Table +T_DBVersion +NotPresent$")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[28].contains(
        QRegularExpression("^!! +Relation +T_StatisticMask-T_StatisticSearch +NotPresent$")))
        << lines[28].toStdString();
    // Then the test's own report lines, as the log has them.
    EXPECT_EQ(lines[29], "");
    EXPECT_EQ(lines[30], "START to CHECK the SQL database named Damaged");
    EXPECT_TRUE(shown.details.contains("\nthe table T_Patient is not present\n"));
    EXPECT_TRUE(log().contains("\r\nthe table T_Patient is not present\r\n"));
    EXPECT_FALSE(log().contains("!!"));

    execute(name, "CREATE TABLE T_Marker (ID_Marker INT IDENTITY (1,1) PRIMARY KEY, "
                  "Marker NVARCHAR(50) NOT NULL)");
    runTest(QString());
    ASSERT_EQ(modals.seen().size(), 2u);
    lines = modals.seen()[1].details.split('\n');
    ASSERT_GE(lines.size(), 29);
    EXPECT_TRUE(lines[0].startsWith("27 of 28 tables and relations have a problem"));
    for (int i = 1; i <= 27; ++i)
        EXPECT_TRUE(lines[i].startsWith("!! ")) << lines[i].toStdString();
    EXPECT_TRUE(lines[28].contains(QRegularExpression("^ +Table +T_Marker +Ok$")))
        << lines[28].toStdString();
    EXPECT_EQ(modals.unexpected(), 0);
    TestResultRegistry registry(*w_.settings);
    EXPECT_EQ(registry.value(registrysections::kTables, "T_Patient"), "NotPresent");
}

// The backup's message keeps its text; its details, closed until asked for, name the file and
// the set written, counting the sets the file holds.
TEST_F(WindowArchive, BackupNamesTheFileAndTheSetItWroteInItsDetails)
{
    ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
    const QString file = "C:\\Lumeno SQL Database\\window-sets.bak";
    ModalScript modals;
    for (const QString& screenshot : {QString(), QStringLiteral("10-backup-details")}) {
        open(archivelist::kBackup);
        type(1, "master");
        type(2, file);
        modals.press(QMessageBox::Ok, screenshot, true);
        QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    }
    ASSERT_EQ(modals.seen().size(), 2u);
    const QRegularExpression set(" \\(backup set (\\d) of (\\d), taken \\d{4}-\\d\\d-\\d\\d "
                                 "\\d\\d:\\d\\d:\\d\\d\\)$");
    for (int i : {0, 1}) {
        const auto& shown = modals.seen()[static_cast<size_t>(i)];
        EXPECT_EQ(shown.text, "Complete Backup of database master has been created and verified");
        EXPECT_FALSE(shown.detailsOpen);
        EXPECT_TRUE(shown.details.startsWith("Complete Backup of database master has been "
                                             "created and verified into disk " +
                                             file + " (backup set "))
            << shown.details.toStdString();
        const QRegularExpressionMatch named = set.match(shown.details);
        ASSERT_TRUE(named.hasMatch()) << shown.details.toStdString();
        EXPECT_EQ(named.captured(1).toInt(), i + 1);
        EXPECT_EQ(named.captured(2).toInt(), i + 1);
    }
    EXPECT_EQ(modals.unexpected(), 0);
}

TEST_F(WindowArchive, GeneralInformationShowsTheListOverThePanelUntilCancel)
{
    ModalScript modals;
    open(archivelist::kGeneralInformation);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    EXPECT_TRUE(w_.window->ListInfo->isVisible());
    EXPECT_FALSE(w_.window->CmdOK->isVisible());
    EXPECT_TRUE(w_.window->ListInfo->toPlainText().startsWith("In the SQL Server named " +
                                                              standin_->server() + ":"));
    EXPECT_TRUE(modals.seen().empty());
    sqllumo::testing::SaveScreenshot(*w_.window, "07-general-information");
    QTest::mouseClick(w_.window->CmdCancel, Qt::LeftButton);
    EXPECT_FALSE(w_.window->ListInfo->isVisible());
    EXPECT_TRUE(w_.window->List1->isVisible());
}

TEST_F(WindowArchive, ImportsThroughThePanelWithTheMeterMovingInItsFrame)
{
    ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
    sqllumo::testing::SourceArchive archive = sqllumo::testing::SmallArchive();
    auto& links = sqllumo::testing::FindSourceTable(archive, "T_StatisticFileType")->rows;
    for (int i = 0; i < 300; ++i)
        links.push_back({3, i});
    const QString file = w_.dir.filePath("window.mdb");
    QString error;
    ASSERT_TRUE(sqllumo::testing::WriteAccessFile(archive, file, error)) << error.toStdString();

    sqllumo::testing::OpenPanel(*w_.window, 8);
    EXPECT_TRUE(w_.window->CmdBrowse->isVisible());
    w_.window->userInterface().setFileDialog(
        [&](QWidget*, const FileChoice&) { return std::optional<QString>(file); });
    QTest::mouseClick(w_.window->CmdBrowse, Qt::LeftButton);
    EXPECT_EQ(w_.window->Text1[3]->text(), file);
    type(1, "WindowImported");
    type(2, "C:\\Lumeno SQL Database");

    // What the frame shows each time the meter moves, as the person would see it.
    struct Seen {
        int value, maximum;
        bool visible;
        QString caption, label;
    };
    std::vector<Seen> seen;
    QObject::connect(w_.window->CSMTable, &QProgressBar::valueChanged, [&](int value) {
        seen.push_back({value, w_.window->CSMTable->maximum(), w_.window->FrImport->isVisible(),
                        w_.window->FrImport->title(), w_.window->Label5->text()});
        if (value == 1 && w_.window->Label5->text() == "Copying table T_Patient")
            sqllumo::testing::SaveScreenshot(*w_.window, "08-import-progress");
    });

    ModalScript modals;
    modals.then([](QWidget* w) {
        auto* dialog = qobject_cast<PasswordRequest*>(w);
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->Text3, "Vor36Pelin");
        dialog->Command1->click();
    });
    modals.press(QMessageBox::Ok, "11-import-results");
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text,
              "Database WindowImported has been created and imported successfully\n"
              "1 patient had a photo that was not copied.");
    EXPECT_EQ(modals.unexpected(), 0);
    // Under the message, open: every table's rows in the file and in the database.
    const QString& details = modals.seen()[0].details;
    EXPECT_TRUE(modals.seen()[0].detailsOpen);
    EXPECT_TRUE(details.startsWith("Rows of each table (tables that differ first, marked !!):\n"
                                   "   Table                     Source   Database\n"))
        << details.toStdString();
    for (const auto& table : archive) {
        const QString rows = QString::number(table.rows.size());
        EXPECT_TRUE(details.contains(
            QRegularExpression("\n   " + table.name + " +" + rows + " +" + rows + "\n")))
            << table.name.toStdString() << "\n"
            << details.toStdString();
    }
    EXPECT_FALSE(details.contains("\n!!")) << details.toStdString();
    EXPECT_TRUE(details.contains("\nFINISH to DEFINE INDEXES and KEYS for SQL database "
                                 "WindowImported"));

    auto during = [&](const QString& label) {
        return std::count_if(seen.begin(), seen.end(), [&](const Seen& s) {
            return s.visible && s.label == label && s.caption == "Copying Data";
        });
    };
    EXPECT_GE(during("Copying table T_StatisticFileType"), 300);
    EXPECT_GE(during("Copying table T_Patient"), 4);
    const bool keysSeen = std::any_of(seen.begin(), seen.end(), [](const Seen& s) {
        return s.visible && s.caption == "Defining indexes and keys" && s.maximum == 20 &&
               s.label.startsWith("about table ");
    });
    EXPECT_TRUE(keysSeen);
    EXPECT_FALSE(w_.window->FrImport->isVisible());
    EXPECT_FALSE(w_.window->Frame1->isVisible());
}

TEST_F(WindowArchive, InspectBesideBrowseShowsWhatAnImportWouldMeetAndTouchesNoServer)
{
    sqllumo::testing::SourceArchive archive = sqllumo::testing::SmallArchive();
    auto& patients = sqllumo::testing::FindSourceTable(archive, "T_Patient")->rows;
    patients.push_back(patients.front());
    const QString file = w_.dir.filePath("inspected.mdb");
    QString error;
    ASSERT_TRUE(sqllumo::testing::WriteAccessFile(archive, file, error)) << error.toStdString();

    sqllumo::testing::OpenPanel(*w_.window, 8);
    ASSERT_TRUE(w_.window->CmdInspect->isVisible());
    // No file yet: the person is told to choose one, and nothing is read.
    w_.window->Text1[3]->clear();
    {
        ModalScript empty;
        empty.press(QMessageBox::Ok);
        QTest::mouseClick(w_.window->CmdInspect, Qt::LeftButton);
        ASSERT_EQ(empty.seen().size(), 1u);
        EXPECT_EQ(empty.seen()[0].text, "Choose the Access file to inspect first.");
    }

    w_.window->Text1[3]->setText(file);
    QString shown;
    QString title;
    ModalScript modals;
    modals.then([&](QWidget* w) {
        auto* text = w->findChild<QPlainTextEdit*>("InspectionText");
        ASSERT_NE(text, nullptr);
        shown = text->toPlainText();
        title = w->windowTitle();
        // The fixed font follows the window's size, large fonts included.
        EXPECT_EQ(text->font().pointSizeF(), w_.window->font().pointSizeF());
        EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        sqllumo::testing::SaveScreenshot(*w, "08-import-inspection");
        qobject_cast<QDialog*>(w)->reject();
    });
    QTest::mouseClick(w_.window->CmdInspect, Qt::LeftButton);
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_EQ(title, "What the Access file holds - " + file);
    const QStringList lines = shown.split('\n');
    EXPECT_TRUE(lines.contains("duplicate key: T_Patient, ID_Patient 1 is held by 2 rows"))
        << shown.toStdString();
    EXPECT_TRUE(lines.contains("An import of this file would fail: 1 problem(s)."))
        << shown.toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString& l) { return l.startsWith("T_Patient: "); }));
    // The panel stays open, to correct the file or to go on with OK.
    EXPECT_TRUE(w_.window->Frame1->isVisible());
    EXPECT_EQ(w_.window->Text1[3]->text(), file);
}

TEST_F(WindowArchive, EscapeDuringAnImportAsksAndYesStopsBetweenTwoRowsWithNothingElseStartable)
{
    writeSmallArchive();
    const QString name = QStringLiteral("WindowStopped");
    fillImportPanel(name);
    struct Controls {
        bool list, menu, archive, password, ok;
    };
    Controls during{true, true, true, true, true};
    onceAtRow("T_Patient", 2, [&] {
        during = {w_.window->List1->isEnabled(), w_.window->menuBar()->actions()[0]->isEnabled(),
                  w_.window->cmdArchivio->isEnabled(), w_.window->cmdPassword->isEnabled(),
                  w_.window->CmdOK->isEnabled()};
        // Pressed while the copy goes on: the window sees it when it lets events through.
        QCoreApplication::postEvent(
            w_.window->Text1[1], new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    ModalScript modals;
    answerPassword(modals);
    modals.press(QMessageBox::Yes); // "Stop the import?"
    modals.press(QMessageBox::Ok);  // the outcome
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);

    EXPECT_FALSE(during.list || during.menu || during.archive || during.password || during.ok);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_EQ(modals.seen()[0].text, "Stop the import?");
    EXPECT_EQ(modals.seen()[0].title, w_.window->windowTitle());
    EXPECT_EQ(modals.seen()[0].icon, QMessageBox::Question);
    const QString where = "The import was stopped at the user's request at table T_Patient, "
                          "before row 3 of 4 (ID_Patient = 5).";
    EXPECT_TRUE(modals.seen()[1].text.contains(where)) << modals.seen()[1].text.toStdString();
    EXPECT_TRUE(modals.seen()[1].text.contains("The database " + name +
                                               " is left as it is and is incomplete."));
    EXPECT_EQ(count(name, "T_Patient"), 2);
    EXPECT_EQ(count(name, "T_Exam"), 0);
    EXPECT_TRUE(log().contains("\r\n" + where +
                               " Copied: the tables before T_Patient in full, 2 "
                               "of the 4 rows of T_Patient"))
        << log().toStdString();

    // Afterwards everything is usable again and the window is back at its list.
    EXPECT_FALSE(w_.window->Frame1->isVisible());
    EXPECT_FALSE(w_.window->FrImport->isVisible());
    EXPECT_TRUE(w_.window->List1->isEnabled());
    EXPECT_TRUE(w_.window->menuBar()->actions()[0]->isEnabled());
    EXPECT_TRUE(w_.window->cmdPassword->isEnabled());
    EXPECT_TRUE(w_.window->CmdOK->isEnabled());
    EXPECT_EQ(w_.window->focusWidget(), w_.window->List1);
}

TEST_F(WindowArchive, CancelAnsweredNoGoesOnAndClosingTheWindowStopsTheImportAndClosesAfter)
{
    writeSmallArchive();
    const QString name = QStringLiteral("WindowClosed");
    fillImportPanel(name);
    w_.window->CopyPhotos->setChecked(true);
    onceAtRow("T_Patient", 1, [&] {
        QMetaObject::invokeMethod(w_.window->CmdCancel, "click", Qt::QueuedConnection);
    });
    onceAtRow("T_Exam", 1, [&] { QCoreApplication::postEvent(w_.window.get(), new QCloseEvent); });
    ModalScript modals;
    answerPassword(modals);
    modals.press(QMessageBox::No);  // Cancel: "Stop the import?"
    modals.press(QMessageBox::Yes); // closing the window: "Stop the import?"
    modals.press(QMessageBox::Ok);  // the outcome
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);

    ASSERT_EQ(modals.seen().size(), 3u);
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_EQ(modals.seen()[0].text, "Stop the import?");
    EXPECT_EQ(modals.seen()[1].text, "Stop the import?");
    EXPECT_TRUE(modals.seen()[2].text.contains("at table T_Exam, before row 2 of 3 (ID_Multi = 4)"))
        << modals.seen()[2].text.toStdString();
    // The patients went on after No, with their photo as asked.
    EXPECT_EQ(count(name, "T_Patient"), 4);
    EXPECT_EQ(count(name, "T_Patient WHERE Photo IS NOT NULL"), 1);
    EXPECT_EQ(count(name, "T_Exam"), 1);
    EXPECT_TRUE(log().contains("Photos copied with their patients: 1"));
    // The window waited for the import's end (its outcome was shown above), then closed.
    for (int i = 0; i < 100 && w_.window->isVisible(); ++i)
        QTest::qWait(20);
    EXPECT_FALSE(w_.window->isVisible());
}
