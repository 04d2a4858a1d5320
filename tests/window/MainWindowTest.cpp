// The main window without a server: the lists, every panel's fields and captions, Browse,
// help and the layout at a large font.
#include "F_SQLDatabase.h"
#include "FunctionCatalogue.h"
#include "HelpWindow.h"
#include "Messages.h"
#include "PasswordRequest.h"
#include "Settings.h"
#include "WidgetTesting.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <gtest/gtest.h>
#include <map>
#include <utility>
#include <vector>

using namespace sqllumo;
using namespace sqllumo::ui;

namespace {
using sqllumo::testing::screenshot;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        settings_ = std::make_unique<Settings>(Settings::fileIn(dir_.path()));
        window_ = std::make_unique<F_SQLDatabase>(*settings_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override { window_.reset(); }
    F_SQLDatabase& w() { return *window_; }

    QTemporaryDir dir_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<F_SQLDatabase> window_;
};
} // namespace

TEST_F(MainWindowTest, StartsEmptyWithVersionCaption)
{
    EXPECT_EQ(w().windowTitle(), ApplicationCaption());
    EXPECT_TRUE(w().windowTitle().startsWith("Lumeno SQL Manager  "));
    EXPECT_EQ(w().List1->count(), 0);
    EXPECT_EQ(w().state().menuMode(), MenuMode::Archive);
    EXPECT_EQ(w().Label1[0]->text(), "Corvista Archive SQL Manager ");
    EXPECT_TRUE(w().Label1[0]->font().bold());
    EXPECT_EQ(w().Label1[1]->text(), "Select a function available in the list:");
    EXPECT_FALSE(w().Label4->isVisible());
    EXPECT_FALSE(w().Frame1->isVisible());
    EXPECT_FALSE(w().Report->isVisible());
    EXPECT_FALSE(w().FrImport->isVisible());
    // No panel can open before a catalogue is chosen.
    w().openPanel(0);
    EXPECT_FALSE(w().Frame1->isVisible());
    screenshot(w(), "01-start");
}

TEST_F(MainWindowTest, CataloguesListTheirEntriesAndDescriptions)
{
    struct Row {
        MenuMode mode;
        QAction* item;
        QAction* other;
        QString banner;
        std::vector<std::pair<QString, QString>> entries; // entry, description in Label4
    };
    const QString removes = "Removes a specified database from SQL Server";
    const Row rows[] = {
        {MenuMode::Archive,
         w().CorvistaDataBase,
         w().CorvistaPasswordDataBase,
         "Corvista Archive SQL Manager ",
         {{"New Login", "Allows a Windows user account to connect to a specified \nSQL Server"},
          {"New Corvista Database",
           "Create a new database and initialized it as a Corvista database"},
          {"New Corvista Database (new version)",
           "Create a new database and initialized it as a Corvista database (new version)"},
          {"Backup of Corvista Database", "SQL Server Backup (Complete) of a specified database"},
          {"Restore of Corvista Database", "SQL Server Restore of a specified database"},
          {"General Information", "Info about Databases and Logins of a specified SQL Server"},
          {"Test of Corvista Database",
           "Tests the structure of an existing and specified Corvista database"},
          {"Delete a Database", removes},
          {"Import Corvista database - Access to SQL Server",
           "Imports data from a specified Corvista database"},
          {"Move Database fields",
           "Move Database fields from original location to another location"}}},
        {MenuMode::Password,
         w().CorvistaPasswordDataBase,
         w().CorvistaDataBase,
         "Corvista Password Database Manager ",
         {{"New Corvista Password Database",
           "Create a new database and initialized it as a Corvista password database"},
          {"Delete a Database", removes},
          {"Adds an user", "Adds an user"},
          {"Deletes an user", "Deletes an user"},
          {"Modifies an user", "Modifies an user"},
          {"Deletes an user password", "Deletes an user password"},
          {"Modifies a generic password", "Modifies a generic password"},
          {"Modifies network administrator password",
           "Modifies Corvista Network Administrator Password"},
          {"Adds a role", "Adds a role"},
          {"Deletes a role", "Deletes a role"},
          {"Modifies a role", "Modifies a role"}}},
    };
    for (const auto& row : rows) {
        w().state().setConfirmedAdminPassword("pw");
        row.item->trigger();
        EXPECT_EQ(w().state().menuMode(), row.mode);
        EXPECT_TRUE(w().state().confirmedAdminPassword().isEmpty());
        EXPECT_TRUE(row.item->isChecked());
        EXPECT_FALSE(row.other->isChecked());
        EXPECT_EQ(w().Label1[0]->text(), row.banner);
        ASSERT_EQ(w().List1->count(), static_cast<int>(row.entries.size()));
        EXPECT_EQ(w().List1->currentRow(), 0);
        EXPECT_TRUE(w().Label4->isVisible());
        for (int i = 0; i < w().List1->count(); ++i) {
            EXPECT_EQ(w().List1->item(i)->text(), row.entries[size_t(i)].first);
            QTest::mouseClick(w().List1->viewport(), Qt::LeftButton, {},
                              w().List1->visualItemRect(w().List1->item(i)).center());
            EXPECT_EQ(w().Label4->text(), row.entries[size_t(i)].second);
        }
        screenshot(w(), row.mode == MenuMode::Archive ? "02-archive" : "03-password");
    }
    w().cmdArchivio->click();
    EXPECT_EQ(w().List1->item(0)->text(), "New Login");
    EXPECT_EQ(w().Label4->text(),
              "Allows a Windows user account to connect to a specified \nSQL Server");
    w().cmdPassword->click();
    EXPECT_EQ(w().List1->item(7)->text(), "Modifies network administrator password");
}

namespace {
// The control a panel shows beside its fields: Browse, or the user or role name list.
enum class Extra { None, Browse, Users, Roles };

// One panel as it opens with every setting filled in: title, which fields show and what they
// hold, the extra control, its help page and Label3 as shown (carriage returns as line breaks).
struct PanelRow {
    int index;
    QString frame;
    std::array<bool, 4> shown;
    std::array<QString, 4> text;
    Extra extra;
    int help;
    QString label3;
};

PanelRow panel(int index, const QString& frame, std::array<bool, 4> shown,
               std::array<QString, 4> text, Extra extra, int help, const QString& label3)
{
    return {index, frame, shown, std::move(text), extra, help, label3};
}

const QString kDataDir = "C:\\Lumeno SQL Database\\";
const QString kBackupFile = "C:\\Lumeno SQL Database\\Backup\\<Filename>";

class PanelTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Settings& s = *settings_;
        s.setValue(settingkeys::kSQLServerName, "srv");
        s.setValue(settingkeys::kDatabaseName, "Arch");
        s.setValue(settingkeys::kPasswdDatabaseName, "Pwd");
        s.setValue(settingkeys::kSQLUserName, "sa");
        s.setValue(settingkeys::kSQLPassword, "secret");
        ASSERT_TRUE(s.sync());
    }

    void expectPanels(MenuMode mode, const std::vector<PanelRow>& rows)
    {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.frame.toStdString() + " #" + std::to_string(row.index));
            w().selectCatalogue(mode);
            // Stale typing must not leak into the next panel.
            for (auto* t : w().Text1)
                t->setText("stale");
            w().openPanel(row.index);
            expectPanel(row);
            if (mode == MenuMode::Archive && (row.index == 4 || row.index == 8))
                screenshot(w(), QStringLiteral("04-panel-archive-%1").arg(row.index));
            if (mode == MenuMode::Password && row.index == 3)
                screenshot(w(), "05-panel-password-3");
            w().closePanel();
        }
    }

    void expectPanel(const PanelRow& row)
    {
        EXPECT_TRUE(w().Frame1->isVisible());
        EXPECT_FALSE(w().List1->isVisible());
        EXPECT_EQ(w().Frame1->title(), row.frame);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(w().Text1[i]->isVisible(), row.shown[i]) << i;
            EXPECT_EQ(w().Label2[i]->isVisible(), row.shown[i]) << i;
            EXPECT_EQ(w().Text1[i]->text(), row.shown[i] ? row.text[i] : QString()) << i;
        }
        EXPECT_EQ(w().Label2[0]->text(), "SQL Server Name");
        EXPECT_EQ(w().SQLUserName->text(), "sa");
        EXPECT_EQ(w().SQLPsw->text(), "secret");
        EXPECT_EQ(w().SQLPsw->echoMode(), QLineEdit::Password);
        EXPECT_EQ(w().Label3->text(), row.label3);
        EXPECT_EQ(w().CmdBrowse->isVisible(), row.extra == Extra::Browse);
        EXPECT_EQ(w().Combo1->isVisible(), row.extra == Extra::Users || row.extra == Extra::Roles);
        EXPECT_EQ(w().Command2->isVisible(), row.extra == Extra::Users);
        EXPECT_EQ(w().Command6->isVisible(), row.extra == Extra::Roles);
        EXPECT_EQ(w().currentHelpTopic(), row.help);
    }
};
} // namespace

TEST_F(PanelTest, EveryArchivePanelShowsItsFieldsCaptionsAndPrefills)
{
    const auto none = Extra::None;
    const std::array<QString, 4> server{"srv", "", "", ""};
    const std::array<QString, 4> archive{"srv", "Arch", "", ""};
    const std::array<QString, 4> created{"srv", "Arch", kDataDir, ""};
    expectPanels(
        MenuMode::Archive,
        {panel(0, "New Login", {1, 1, 0, 0}, server, none, 4,
               "Allows a Windows user account to connect to the specified \nSQL Server."),
         panel(1, "New Corvista Database", {1, 1, 1, 0}, created, none, 5,
               "Create a new database and initialized it as a Corvista database."),
         panel(2, "New Corvista Database", {1, 1, 1, 0}, created, none, 5,
               "Create a new database (new version) and initialized it as a Corvista database."),
         panel(3, "Backup of a Corvista database", {1, 1, 1, 0}, {"srv", "Arch", kBackupFile, ""},
               none, 6, "SQL Server Backup (Complete) of the specified database."),
         panel(4, "Restore of a Corvista database", {1, 1, 1, 1},
               {"srv", "Arch", kBackupFile, kDataDir}, none, 7,
               "SQL Server Restore of the specified database."),
         panel(5, "Information", {1, 0, 0, 0}, server, none, 8,
               "Info about Databases and Logins of the specified SQL Server"),
         panel(6, "Test of Corvista Database", {1, 1, 0, 0}, archive, none, 9,
               "Tests the structure of the specified Corvista database."),
         panel(7, "Delete a Database", {1, 1, 0, 0}, archive, none, 10,
               "Remove a specified database from SQL Server."),
         panel(8, "Import Data from Microsoft Access", {1, 1, 1, 1}, {"srv", "", kDataDir, ""},
               Extra::Browse, 11,
               "Import Data from Access into a specified SQL database.\n"
               "(WARNING: ONLY FOR SQL SERVER 2000, MSDE OR BELOW)"),
         panel(9, "Move database fields", {1, 1, 0, 0}, archive, none, 12,
               "Move database fields from original location to another location")});
}

TEST_F(PanelTest, EveryPasswordPanelShowsItsFieldsCaptionsAndPrefills)
{
    const auto none = Extra::None;
    const std::array<bool, 4> two{1, 1, 0, 0};
    const std::array<QString, 4> pwd{"srv", "Pwd", "", ""};
    expectPanels(
        MenuMode::Password,
        {panel(0, "New Corvista Password Database", {1, 1, 1, 0}, {"srv", "Pwd", kDataDir, ""},
               none, 13,
               "Create a new database and initialized it as a Corvista Password database."),
         panel(1, "Delete a Database", two, pwd, none, 14, "Remove a specified database"),
         panel(2, "Add an user", two, pwd, none, 15, "Add an user to a specified database"),
         panel(3, "Delete user", two, pwd, Extra::Users, 16,
               "Delete an user from a specified database"),
         panel(4, "Modify user info", two, pwd, Extra::Users, 17,
               "Modify an user in a specified database"),
         panel(5, "Erase user password", two, pwd, Extra::Users, 18,
               "Erase an user password in a specified database"),
         panel(6, "Modify a generic password", two, pwd, none, 19,
               "Modify a generic password into a specified database"),
         panel(7, "Modify administrator password", two, pwd, none, 20,
               "Modify network administrator password into a specified database"),
         panel(8, "Add a role", two, pwd, none, 21, "Add a role to a specified database"),
         panel(9, "Delete a role", two, pwd, Extra::Roles, 22,
               "Delete a role from a specified database"),
         panel(10, "Modify a role", two, pwd, Extra::Roles, 23,
               "Modify a role from a specified database")});
}

TEST_F(PanelTest, ImportPanelCaptionsKeepTheirLineBreaks)
{
    w().selectCatalogue(MenuMode::Archive);
    w().openPanel(8);
    EXPECT_EQ(w().Label2[1]->text(), "Name of the Destination Database (New)");
    EXPECT_EQ(w().Label2[3]->text(), "File Name of the Data Source\n(path of Access database)");
    EXPECT_EQ(w().Label2[2]->text(),
              "Database Directory\nThe directory have to be present in the SQL Server");
}

TEST_F(PanelTest, TheCataloguesOwnMenuRefillsTheListButLeavesThePanelOpen)
{
    w().selectCatalogue(MenuMode::Archive);
    w().openPanel(8);
    w().CorvistaDataBase->trigger();
    EXPECT_TRUE(w().Frame1->isVisible());
    EXPECT_FALSE(w().List1->isVisible());
    EXPECT_FALSE(w().Label4->isVisible());
    EXPECT_EQ(w().List1->count(), 10);
    w().resize(760, 640);
    screenshot(w(), "06-panel-archive-8-resized");
}

TEST_F(MainWindowTest, CancelReturnsToTheCatalogueAndReenablesTheOther)
{
    struct Row {
        MenuMode mode;
        QToolButton* other;
        QAction* otherItem;
    };
    for (const Row row : {Row{MenuMode::Archive, w().cmdPassword, w().CorvistaPasswordDataBase},
                          Row{MenuMode::Password, w().cmdArchivio, w().CorvistaDataBase}}) {
        w().selectCatalogue(row.mode);
        const QPoint at = w().List1->visualItemRect(w().List1->item(1)).center();
        QTest::mouseClick(w().List1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w().List1->viewport(), Qt::LeftButton, {}, at);
        ASSERT_TRUE(w().Frame1->isVisible());
        EXPECT_FALSE(row.other->isEnabled());
        EXPECT_FALSE(row.otherItem->isEnabled());
        QTest::mouseClick(w().CmdCancel, Qt::LeftButton);
        EXPECT_FALSE(w().Frame1->isVisible());
        EXPECT_FALSE(w().ListInfo->isVisible());
        EXPECT_TRUE(w().List1->isVisible());
        EXPECT_TRUE(w().CmdOK->isVisibleTo(w().Frame1));
        EXPECT_TRUE(row.other->isEnabled());
        EXPECT_TRUE(row.otherItem->isEnabled());
    }
}

TEST_F(MainWindowTest, KeyReleaseForgetsThePasswordOnlyInPasswordMode)
{
    struct Row {
        MenuMode mode;
        bool forgotten;
    };
    for (const Row row : {Row{MenuMode::Archive, false}, Row{MenuMode::Password, true}}) {
        w().selectCatalogue(row.mode);
        w().openPanel(1);
        for (int i = 0; i < 2; ++i) {
            w().state().setConfirmedAdminPassword("pw");
            QTest::keyClick(w().Text1[size_t(i)], Qt::Key_A);
            EXPECT_EQ(w().state().confirmedAdminPassword().isEmpty(), row.forgotten) << i;
        }
        // The login fields are not input fields of the rule.
        w().state().setConfirmedAdminPassword("pw");
        QTest::keyClick(w().SQLUserName, Qt::Key_A);
        EXPECT_EQ(w().state().confirmedAdminPassword(), "pw");
        w().closePanel();
    }
}

TEST_F(MainWindowTest, BrowseOffersTheDatabaseFilterAndCancelKeepsTheField)
{
    std::vector<FileChoice> asked;
    std::vector<std::optional<QString>> answers{std::nullopt, QString("/data/old.mdb")};
    w().userInterface().setFileDialog([&](QWidget*, const FileChoice& c) {
        asked.push_back(c);
        auto a = answers.front();
        answers.erase(answers.begin());
        return a;
    });
    w().selectCatalogue(MenuMode::Archive);
    w().openPanel(8);
    w().Text1[3]->setText("/kept.mdb");
    QTest::mouseClick(w().CmdBrowse, Qt::LeftButton);
    EXPECT_EQ(w().Text1[3]->text(), "/kept.mdb");
    QTest::mouseClick(w().CmdBrowse, Qt::LeftButton);
    EXPECT_EQ(w().Text1[3]->text(), "/data/old.mdb");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].title, "Select the Access database to import into SQL Server");
    ASSERT_EQ(asked[0].filters.size(), 2);
    EXPECT_EQ(asked[0].filters[asked[0].selectedFilter], "Database (*.mdb)");
    EXPECT_TRUE(asked[0].filters[0].contains("*.*"));
}

TEST_F(MainWindowTest, OkCallsTheHookAndF1OpensTheTopic)
{
    int pressed = 0;
    w().onOk = [&] { ++pressed; };
    w().selectCatalogue(MenuMode::Archive);
    w().openPanel(6);
    QTest::mouseClick(w().CmdOK, Qt::LeftButton);
    EXPECT_EQ(pressed, 1);

    QTest::keyClick(w().Text1[0], Qt::Key_F1);
    auto* help = w().findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->source().toString(), HelpWindow::topicUrl(9));
    EXPECT_TRUE(help->toPlainText().contains("Test of Corvista Database"));
}

TEST_F(MainWindowTest, F1OnEveryPanelOpensThePageOfItsFunction)
{
    struct Page {
        int topic;
        QString title; // the frame caption of the panel
    };
    const std::map<MenuMode, std::vector<Page>> pages = {
        {MenuMode::Archive,
         {{4, "New Login"},
          {5, "New Corvista Database"},
          {5, "New Corvista Database"},
          {6, "Backup of a Corvista database"},
          {7, "Restore of a Corvista database"},
          {8, "Information"},
          {9, "Test of Corvista Database"},
          {10, "Delete a Database"},
          {11, "Import Data from Microsoft Access"},
          {12, "Move database fields"}}},
        {MenuMode::Password,
         {{13, "New Corvista Password Database"},
          {14, "Delete a Database"},
          {15, "Add an user"},
          {16, "Delete user"},
          {17, "Modify user info"},
          {18, "Erase user password"},
          {19, "Modify a generic password"},
          {20, "Modify administrator password"},
          {21, "Add a role"},
          {22, "Delete a role"},
          {23, "Modify a role"}}},
    };
    for (const auto& [mode, list] : pages) {
        w().selectCatalogue(mode);
        ASSERT_EQ(w().List1->count(), static_cast<int>(list.size()));
        for (int index = 0; index < static_cast<int>(list.size()); ++index) {
            const Page& page = list[static_cast<size_t>(index)];
            w().openPanel(index);
            ASSERT_EQ(w().Frame1->title(), page.title) << index;
            QTest::keyClick(w().Text1[0], Qt::Key_F1);
            auto* help = w().findChild<HelpWindow*>();
            ASSERT_NE(help, nullptr);
            EXPECT_TRUE(help->isVisible());
            EXPECT_EQ(help->source().toString(), HelpWindow::topicUrl(page.topic))
                << page.title.toStdString();
            EXPECT_EQ(help->documentTitle(), page.title) << page.topic;
            // More than the title: the page says what the function does and asks.
            EXPECT_GT(help->toPlainText().size(), 400) << page.topic;
            // Command lines and paragraphs fit the window, which has no sideways scrolling
            // (text layout may overrun by a fraction of a pixel).
            QApplication::processEvents();
            EXPECT_LE(help->document()->idealWidth(), help->viewport()->width() + 1) << page.topic;
            if (page.topic == 7 || page.topic == 12 || page.topic == 13 || page.topic == 17)
                screenshot(*help, QStringLiteral("help-topic%1").arg(page.topic));
            help->close();
            w().closePanel();
        }
    }
}

TEST_F(MainWindowTest, HelpPagesLinkOnlyToPagesThatExistAndTheContentsReachesEveryTopic)
{
    HelpWindow help;
    help.showTopic(4);
    const QDir pages(QStringLiteral(":/help"));
    const QStringList files = pages.entryList({QStringLiteral("*.html")});
    ASSERT_TRUE(files.contains("contents.html"));
    const QRegularExpression link(QStringLiteral("href=\"([^\"#]+)"));
    QStringList fromContents;
    for (const QString& file : files) {
        QFile page(pages.filePath(file));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << file.toStdString();
        const QString html = QString::fromUtf8(page.readAll());
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(pages.exists(target))
                << file.toStdString() << " -> " << target.toStdString();
            if (file == "contents.html")
                fromContents << target;
        }
        if (file != "contents.html") {
            EXPECT_TRUE(html.contains("href=\"contents.html\"")) << file.toStdString();
        }
    }
    for (int topic = 4; topic <= 23; ++topic)
        EXPECT_TRUE(fromContents.contains(QStringLiteral("topic%1.html").arg(topic))) << topic;
    EXPECT_TRUE(fromContents.contains("passwordcatalogue.html"));

    // Every function is on it: the window's under their list text, linked to their page, and
    // each with the command that runs it on the console.
    QFile contentsFile(pages.filePath("contents.html"));
    ASSERT_TRUE(contentsFile.open(QIODevice::ReadOnly));
    const QString contents = QString::fromUtf8(contentsFile.readAll());
    for (const FunctionDescriptor& function : CatalogueFunctions()) {
        const QString word =
            function.catalogue == MenuMode::Archive ? QStringLiteral("archive") : "password";
        if (function.windowEntry) {
            EXPECT_TRUE(contents.contains(QStringLiteral("href=\"topic%1.html\">%2</a>")
                                              .arg(function.panel.helpTopic)
                                              .arg(function.entry.toHtmlEscaped())))
                << function.entry.toStdString();
        }
        if (!function.consoleName.isEmpty() && function.operation) {
            EXPECT_TRUE(contents.contains("sqllumo " + word + " " + function.consoleName))
                << function.consoleName.toStdString();
        }
    }

    // A link followed in the window shows the page it names.
    help.setSource(QUrl(QStringLiteral("contents.html")));
    EXPECT_EQ(help.documentTitle(), "SQLLumoManager Help");
    screenshot(help, "help-contents");
    help.setSource(QUrl(QStringLiteral("topic20.html")));
    EXPECT_EQ(help.documentTitle(), "Modify administrator password");
}

TEST_F(MainWindowTest, KeyboardReachesEveryStepWithoutTheMouse)
{
    int pressed = 0;
    w().onOk = [&] { ++pressed; };
    const QMenu* tools = w().CorvistaDataBase->associatedObjects().isEmpty()
                             ? nullptr
                             : qobject_cast<QMenu*>(w().CorvistaDataBase->associatedObjects()[0]);
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(QKeySequence::mnemonic(tools->title()), QKeySequence(Qt::ALT | Qt::Key_T));
    EXPECT_EQ(QKeySequence::mnemonic(w().CorvistaDataBase->text()),
              QKeySequence(Qt::ALT | Qt::Key_D));
    EXPECT_EQ(QKeySequence::mnemonic(w().CorvistaPasswordDataBase->text()),
              QKeySequence(Qt::ALT | Qt::Key_P));

    // After a catalogue is chosen the list has the focus, not the picture button.
    QTest::mouseClick(w().cmdArchivio, Qt::LeftButton);
    EXPECT_EQ(w().focusWidget(), w().List1);
    const QSize listSize = w().size();

    // Down then Enter opens the second entry's panel; Enter in a field presses OK.
    QTest::keyClick(w().List1, Qt::Key_Down);
    QTest::keyClick(w().List1, Qt::Key_Return);
    ASSERT_TRUE(w().Frame1->isVisible());
    EXPECT_EQ(w().Frame1->title(), "New Corvista Database");
    QTest::keyClick(w().Text1[1], Qt::Key_Return);
    QTest::keyClick(w().SQLPsw, Qt::Key_Enter);
    EXPECT_EQ(pressed, 2);

    // Escape cancels the panel; the window and the focus return to the list.
    QTest::keyClick(w().Text1[0], Qt::Key_Escape);
    EXPECT_FALSE(w().Frame1->isVisible());
    EXPECT_EQ(w().focusWidget(), w().List1);
    EXPECT_EQ(w().size(), listSize);
    // Enter with the list showing opens, it does not press the hidden OK.
    QTest::keyClick(w().List1, Qt::Key_Enter);
    EXPECT_TRUE(w().Frame1->isVisible());
    EXPECT_EQ(pressed, 2);

    // Escape also closes the help window.
    w().openPanel(6);
    QTest::keyClick(w().Text1[0], Qt::Key_F1);
    auto* help = w().findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->isVisible());
    QTest::keyClick(help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(MainWindowTest, QtPortShowsTheMessageFormsAndTheProgressFrame)
{
    struct Row {
        Message message;
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton press;
        MessageResult expected;
    };
    const Row rows[] = {
        {validationMessage("Invalid database directory!\r\nPlease, define at least one."),
         "SQLLumoManager", QMessageBox::NoIcon, QMessageBox::Ok, MessageResult::Ok},
        {trappedErrorMessage(w().windowTitle(), 3704, "closed"),
         w().windowTitle() + " - Warning...", QMessageBox::Critical, QMessageBox::Ok,
         MessageResult::Ok},
        {Message{"Do you really want to delete database?", "Warning", MessageIcon::None,
                 MessageButtons::OkCancel},
         "Warning", QMessageBox::NoIcon, QMessageBox::Cancel, MessageResult::Cancel},
    };
    for (const auto& row : rows) {
        QString seenTitle, seenText;
        QMessageBox::Icon seenIcon = QMessageBox::Question;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            seenIcon = box->icon();
            box->button(row.press)->click();
        });
        EXPECT_EQ(w().userInterface().showMessage(row.message), row.expected);
        EXPECT_EQ(seenTitle, row.title);
        EXPECT_EQ(seenIcon, row.icon);
        EXPECT_FALSE(seenText.contains('\r'));
    }

    w().userInterface().showProgress({"Copying Data", "T_Patients", 0, 40, 10, true});
    EXPECT_TRUE(w().FrImport->isVisible());
    EXPECT_EQ(w().Label5->text(), "T_Patients");
    EXPECT_EQ(w().CSMTable->maximum(), 40);
    EXPECT_EQ(w().CSMTable->value(), 10);
    w().userInterface().showProgress({});
    EXPECT_FALSE(w().FrImport->isVisible());
}

TEST_F(MainWindowTest, ALargeFontCutsNoCaptionOfAPanelOrATitleOfADialog)
{
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSize(16);
    QApplication::setFont(large);
    // A window made after the change, as a person who runs a large desktop font gets it.
    F_SQLDatabase window(*settings_);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.CorvistaDataBase->trigger();
    // Import has the longest wrapped captions; its meter then takes room below the panel.
    window.List1->setCurrentRow(8);
    QTest::keyClick(window.List1, Qt::Key_Return);
    ASSERT_TRUE(window.Frame1->isVisible());
    window.userInterface().showProgress({"Copying Data", "T_Patient", 0, 4, 1, true});
    QApplication::processEvents();
    QStringList cut;
    for (QLabel* label : window.Frame1->findChildren<QLabel*>()) {
        if (label->isVisible() && label->wordWrap() &&
            label->height() < label->heightForWidth(label->width()))
            cut << label->text();
    }
    EXPECT_TRUE(cut.isEmpty()) << cut.join(" | ").toStdString();

    PasswordRequest request(&window);
    request.show();
    QFont bold = large;
    bold.setBold(true);
    EXPECT_GT(request.minimumWidth(),
              QFontMetrics(bold).horizontalAdvance(kPasswordRequestTitle) + 100);
    // Widened for its title, but never below what its own controls need.
    const QSize needed = request.layout()->totalMinimumSize();
    EXPECT_GE(request.minimumWidth(), needed.width());
    EXPECT_GE(request.minimumHeight(), needed.height());
    QApplication::setFont(before);
}
