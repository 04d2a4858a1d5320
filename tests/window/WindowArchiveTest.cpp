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
        ASSERT_TRUE(dir_.isValid());
        settings_ = std::make_unique<Settings>(Settings::fileIn(dir_.path()));
        registry_ = std::make_unique<TestResultRegistry>(*settings_);
        settings_->setValue(settingkeys::kSQLServerName, standin_->server());
        settings_->setValue(settingkeys::kSQLUserName, standin_->user());
        settings_->setValue(settingkeys::kSQLPassword, standin_->password());
        provider_ = server::MakeServerProvider();
        window_ = std::make_unique<F_SQLDatabase>(*settings_);
        OperationServices services;
        services.database = provider_.get();
        services.settings = settings_.get();
        services.registry = registry_.get();
        dispatch_ = std::make_unique<WindowDispatch>(*window_, std::move(services));
        dispatch_->dispatcher().setLogFolder(dir_.path());
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->CorvistaDataBase->trigger();
    }
    void TearDown() override
    {
        dispatch_.reset();
        window_.reset();
    }
    void open(int index) { sqllumo::testing::OpenPanel(*window_, index); }
    void type(int field, const QString& text)
    {
        window_->Text1[field]->selectAll();
        QTest::keyClicks(window_->Text1[field], text);
    }
    void writeSmallArchive()
    {
        ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
        file_ = dir_.filePath("small.mdb");
        QString error;
        ASSERT_TRUE(
            sqllumo::testing::WriteAccessFile(sqllumo::testing::SmallArchive(), file_, error))
            << error.toStdString();
    }
    // The import panel filled in; OK is left to the test.
    void fillImportPanel(const QString& database)
    {
        sqllumo::testing::OpenPanel(*window_, 8);
        EXPECT_TRUE(window_->CopyPhotos->isVisible());
        EXPECT_FALSE(window_->CopyPhotos->isChecked());
        for (const auto& [field, text] :
             {std::pair{1, database}, std::pair{2, QStringLiteral("C:\\Lumeno SQL Database")},
              std::pair{3, file_}}) {
            window_->Text1[field]->selectAll();
            QTest::keyClicks(window_->Text1[field], text);
        }
    }
    // Does something once, when the copy has just written the nth row of the table, as the
    // person would between two repaints of the meter.
    void onceAtRow(const QString& table, int row, std::function<void()> act)
    {
        auto done = std::make_shared<bool>(false);
        QObject::connect(window_->CSMTable, &QProgressBar::valueChanged, window_.get(),
                         [this, table, row, act, done](int value) {
                             if (*done || value != row ||
                                 window_->Label5->text() != "Copying table " + table)
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
    QString log() const
    {
        QFile f(ReportLogPath(dir_.path()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    StandinForProgram* standin_ = nullptr;
    QTemporaryDir dir_;
    QString file_; // the small archive, written by the tests that import it
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TestResultRegistry> registry_;
    std::unique_ptr<dbport::Provider> provider_;
    std::unique_ptr<F_SQLDatabase> window_;
    std::unique_ptr<WindowDispatch> dispatch_;
};

} // namespace

TEST_F(WindowArchive, CreateTestAndDeleteThroughThePanels)
{
    const QString name = QStringLiteral("WindowArchive");
    ModalScript modals;

    open(archivelist::kNewDatabase);
    EXPECT_EQ(window_->Text1[0]->text(), standin_->server());
    type(1, name);
    type(2, "C:\\Lumeno SQL Database");
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text, "Database " + name + " has been created and initialized");
    EXPECT_EQ(modals.seen()[0].icon, QMessageBox::Information);
    EXPECT_FALSE(window_->Frame1->isVisible());
    EXPECT_TRUE(window_->List1->isVisible());
    EXPECT_TRUE(window_->cmdPassword->isEnabled());
    EXPECT_TRUE(
        log().contains("\r\nFINISH to CHECK and DEFINE TABLES into SQL database " + name + "\r\n"));

    open(archivelist::kTestDatabase);
    EXPECT_EQ(window_->Text1[1]->text(), name);
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.seen()[1].text,
              "Database " + name +
                  " has been tested successfully\nCheck the results reading Windows Registry");
    TestResultRegistry registry(*settings_);
    EXPECT_EQ(registry.value(registrysections::kIndexes, "T_Patient"), "Ok");
    EXPECT_EQ(registry.value(registrysections::kRelations, "T_Exam-T_Statistic"), "Ok");

    open(archivelist::kDeleteDatabase);
    modals.then([](QWidget* w) {
        auto* dialog = qobject_cast<PasswordRequest*>(w);
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->Text3, "vor36PELIN");
        dialog->Command1->click();
    });
    modals.press(QMessageBox::Ok); // the question
    modals.press(QMessageBox::Ok); // the outcome
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 4u);
    EXPECT_EQ(modals.seen()[2].text, "Do you really want to delete database?");
    EXPECT_EQ(modals.seen()[3].text, "Database " + name + " has been removed");
    EXPECT_TRUE(log().endsWith("Database " + name + " has been removed from SQL Server " +
                               standin_->server() + "\r\n"));
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_FALSE(window_->Frame1->isVisible());
}

// A database without the archive's tables: the message says how many problems were found, not
// "successfully", and the findings of this test are shown under it.
TEST_F(WindowArchive, StructureTestWithProblemsShowsThemUnderItsMessage)
{
    ModalScript modals;
    open(archivelist::kTestDatabase);
    type(1, "master");
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    const auto& shown = modals.seen()[0];
    const QRegularExpressionMatch heading =
        QRegularExpression("^Database master has been tested: (\\d+) problems found\n"
                           "Check the results reading Windows Registry$")
            .match(shown.text);
    ASSERT_TRUE(heading.hasMatch()) << shown.text.toStdString();
    // Each of the twenty tables is missing.
    EXPECT_GE(heading.captured(1).toInt(), 20);
    EXPECT_EQ(shown.icon, QMessageBox::Information);
    EXPECT_TRUE(shown.informative.startsWith("<pre>Table ")) << shown.informative.toStdString();
    EXPECT_TRUE(
        shown.informative.contains(QRegularExpression("\nT_Patient +NotPresent +not tested")))
        << shown.informative.toStdString();
    // The registry entries are still written.
    TestResultRegistry registry(*settings_);
    EXPECT_EQ(registry.value(registrysections::kTables, "T_Patient"), "NotPresent");
}

TEST_F(WindowArchive, GeneralInformationShowsTheListOverThePanelUntilCancel)
{
    ModalScript modals;
    open(archivelist::kGeneralInformation);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    EXPECT_TRUE(window_->ListInfo->isVisible());
    EXPECT_FALSE(window_->CmdOK->isVisible());
    EXPECT_TRUE(window_->ListInfo->toPlainText().startsWith("In the SQL Server named " +
                                                            standin_->server() + ":"));
    EXPECT_TRUE(modals.seen().empty());
    sqllumo::testing::SaveScreenshot(*window_, "07-general-information");
    QTest::mouseClick(window_->CmdCancel, Qt::LeftButton);
    EXPECT_FALSE(window_->ListInfo->isVisible());
    EXPECT_TRUE(window_->List1->isVisible());
}

TEST_F(WindowArchive, ImportsThroughThePanelWithTheMeterMovingInItsFrame)
{
    ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
    sqllumo::testing::SourceArchive archive = sqllumo::testing::SmallArchive();
    auto& links = sqllumo::testing::FindSourceTable(archive, "T_StatisticFileType")->rows;
    for (int i = 0; i < 300; ++i)
        links.push_back({3, i});
    const QString file = dir_.filePath("window.mdb");
    QString error;
    ASSERT_TRUE(sqllumo::testing::WriteAccessFile(archive, file, error)) << error.toStdString();

    sqllumo::testing::OpenPanel(*window_, 8);
    EXPECT_TRUE(window_->CmdBrowse->isVisible());
    window_->userInterface().setFileDialog(
        [&](QWidget*, const FileChoice&) { return std::optional<QString>(file); });
    QTest::mouseClick(window_->CmdBrowse, Qt::LeftButton);
    EXPECT_EQ(window_->Text1[3]->text(), file);
    type(1, "WindowImported");
    type(2, "C:\\Lumeno SQL Database");

    // What the frame shows each time the meter moves, as the person would see it.
    struct Seen {
        int value, maximum;
        bool visible;
        QString caption, label;
    };
    std::vector<Seen> seen;
    QObject::connect(window_->CSMTable, &QProgressBar::valueChanged, [&](int value) {
        seen.push_back({value, window_->CSMTable->maximum(), window_->FrImport->isVisible(),
                        window_->FrImport->title(), window_->Label5->text()});
        if (value == 1 && window_->Label5->text() == "Copying table T_Patient")
            sqllumo::testing::SaveScreenshot(*window_, "08-import-progress");
    });

    ModalScript modals;
    modals.then([](QWidget* w) {
        auto* dialog = qobject_cast<PasswordRequest*>(w);
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->Text3, "Vor36Pelin");
        dialog->Command1->click();
    });
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text,
              "Database WindowImported has been created and imported successfully\n"
              "1 patient had a photo that was not copied.");
    EXPECT_EQ(modals.unexpected(), 0);

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
    EXPECT_FALSE(window_->FrImport->isVisible());
    EXPECT_FALSE(window_->Frame1->isVisible());
}

TEST_F(WindowArchive, InspectBesideBrowseShowsWhatAnImportWouldMeetAndTouchesNoServer)
{
    sqllumo::testing::SourceArchive archive = sqllumo::testing::SmallArchive();
    auto& patients = sqllumo::testing::FindSourceTable(archive, "T_Patient")->rows;
    patients.push_back(patients.front());
    const QString file = dir_.filePath("inspected.mdb");
    QString error;
    ASSERT_TRUE(sqllumo::testing::WriteAccessFile(archive, file, error)) << error.toStdString();

    sqllumo::testing::OpenPanel(*window_, 8);
    ASSERT_TRUE(window_->CmdInspect->isVisible());
    // No file yet: the person is told to choose one, and nothing is read.
    window_->Text1[3]->clear();
    {
        ModalScript empty;
        empty.press(QMessageBox::Ok);
        QTest::mouseClick(window_->CmdInspect, Qt::LeftButton);
        ASSERT_EQ(empty.seen().size(), 1u);
        EXPECT_EQ(empty.seen()[0].text, "Choose the Access file to inspect first.");
    }

    window_->Text1[3]->setText(file);
    QString shown;
    QString title;
    ModalScript modals;
    modals.then([&](QWidget* w) {
        auto* text = w->findChild<QPlainTextEdit*>("InspectionText");
        ASSERT_NE(text, nullptr);
        shown = text->toPlainText();
        title = w->windowTitle();
        sqllumo::testing::SaveScreenshot(*w, "08-import-inspection");
        qobject_cast<QDialog*>(w)->reject();
    });
    QTest::mouseClick(window_->CmdInspect, Qt::LeftButton);
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
    EXPECT_TRUE(window_->Frame1->isVisible());
    EXPECT_EQ(window_->Text1[3]->text(), file);
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
        during = {window_->List1->isEnabled(), window_->menuBar()->actions()[0]->isEnabled(),
                  window_->cmdArchivio->isEnabled(), window_->cmdPassword->isEnabled(),
                  window_->CmdOK->isEnabled()};
        // Pressed while the copy goes on: the window sees it when it lets events through.
        QCoreApplication::postEvent(
            window_->Text1[1], new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    ModalScript modals;
    answerPassword(modals);
    modals.press(QMessageBox::Yes); // "Stop the import?"
    modals.press(QMessageBox::Ok);  // the outcome
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);

    EXPECT_FALSE(during.list || during.menu || during.archive || during.password || during.ok);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_EQ(modals.seen()[0].text, "Stop the import?");
    EXPECT_EQ(modals.seen()[0].title, window_->windowTitle());
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
    EXPECT_FALSE(window_->Frame1->isVisible());
    EXPECT_FALSE(window_->FrImport->isVisible());
    EXPECT_TRUE(window_->List1->isEnabled());
    EXPECT_TRUE(window_->menuBar()->actions()[0]->isEnabled());
    EXPECT_TRUE(window_->cmdPassword->isEnabled());
    EXPECT_TRUE(window_->CmdOK->isEnabled());
    EXPECT_EQ(window_->focusWidget(), window_->List1);
}

TEST_F(WindowArchive, CancelAnsweredNoGoesOnAndClosingTheWindowStopsTheImportAndClosesAfter)
{
    writeSmallArchive();
    const QString name = QStringLiteral("WindowClosed");
    fillImportPanel(name);
    window_->CopyPhotos->setChecked(true);
    onceAtRow("T_Patient", 1, [&] {
        QMetaObject::invokeMethod(window_->CmdCancel, "click", Qt::QueuedConnection);
    });
    onceAtRow("T_Exam", 1, [&] { QCoreApplication::postEvent(window_.get(), new QCloseEvent); });
    ModalScript modals;
    answerPassword(modals);
    modals.press(QMessageBox::No);  // Cancel: "Stop the import?"
    modals.press(QMessageBox::Yes); // closing the window: "Stop the import?"
    modals.press(QMessageBox::Ok);  // the outcome
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);

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
    for (int i = 0; i < 100 && window_->isVisible(); ++i)
        QTest::qWait(20);
    EXPECT_FALSE(window_->isVisible());
}
