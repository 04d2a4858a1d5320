// The password catalogue's functions 0, 1, 6 and 7 from OK to their log block on a real
// server: the administrator checks in their order, refusals, messages and stored settings.
#include "PasswordCatalogue.h"
#include "DispatcherHarness.h"
#include "FunctionCatalogue.h"
#include "PasswordDbHarness.h"

using namespace sqllumo;
using namespace sqllumo::testing;
using namespace sqllumo::password;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");

class PasswordCatalogue : public DispatcherHarness, public PasswordServer {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        useSuiteStandin();
        ASSERT_FALSE(HasFatalFailure());
        DispatcherHarness::SetUp();
        // The program's own descriptors, with access check B over the password database.
        functions_ = CatalogueFunctions();
        services_.verifyAdminPassword = VerifyAgainstPasswordDatabase;
        services_.database = &port();
        makeDispatcher();
        state_.chooseCatalogue(MenuMode::Password);
        host_.values.server = server();
        host_.values.user = user();
        host_.values.password = password();
    }
    UserInterface& person() override { return ui_; }
    Settings& store() override { return *settings_; }

    std::optional<OperationOutcome> press(int index, const QString& database,
                                          const QString& third = {})
    {
        host_.values.database = database;
        host_.values.thirdField = third;
        return dispatcher_->ok(index);
    }
    static PasswordRequestResult typed(const QString& password, const QString& confirm = {},
                                       const QString& old = {})
    {
        return {password, confirm, old};
    }
    bool completed(const std::optional<OperationOutcome>& outcome) const
    {
        return outcome && outcome->end == OperationEnd::Completed && host_.closed == 1;
    }
};

} // namespace

TEST_F(PasswordCatalogue, NewDatabaseFromThePanelStoresItsSettingsAndLogs)
{
    const QString name = freshName("PanelNew");
    ui_.answerNextPasswordRequest(typed("adm'in", "adm'in"));
    const auto outcome = press(kNewPasswordDatabase, name, "C:\\Lumeno SQL Database");
    ASSERT_TRUE(completed(outcome));
    EXPECT_EQ(ui_.passwordRequests(),
              std::vector<PasswordRequestMode>{PasswordRequestMode::NewPassword});
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>{successMessage(
                  kCaption, "Database " + name + " has been created and initialized")});
    EXPECT_EQ(lastLogBlock(), "Database " + name + " has been created into SQL Server " + server() +
                                  "\r\nDatabase " + name +
                                  " has been created and initialized.\r\n");
    EXPECT_EQ(setting(settingkeys::kPasswdDataDirectory), kDirectory);
    EXPECT_EQ(setting(settingkeys::kPasswdDatabaseName), name);
    EXPECT_EQ(setting(settingkeys::kSQLUserName), user());
    EXPECT_EQ(state_.confirmedAdminPassword(), "adm'in");
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{fixedKeyOracle("adm'in")});
    EXPECT_FALSE(ui_.busy());
}

TEST_F(PasswordCatalogue, NewDatabaseRefusalsComeBeforeAnythingIsStored)
{
    ui_.answerNextPasswordRequest(typed("one", "two"));
    ui_.answerNextPasswordRequest(typed(QString(), QString()));
    for (int i = 0; i < 2; ++i) {
        const auto outcome = press(kNewPasswordDatabase, freshName("Refused"), kDirectory);
        ASSERT_TRUE(outcome && outcome->end == OperationEnd::PanelOpen);
    }
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>(2, accessMessage("You have to confirm password")));
    EXPECT_FALSE(stored(settingkeys::kPasswdDatabaseName));

    ui_.answerNextPasswordRequest(typed("same", "same"));
    EXPECT_EQ(press(kNewPasswordDatabase, freshName("NoDirectory"))->end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages().back(),
              validationMessage("Invalid database directory!\r\nPlease, define at least one."));
    ui_.answerNextPasswordRequest(typed("same", "same"));
    EXPECT_EQ(press(kNewPasswordDatabase, "bad name; DROP DATABASE master", kDirectory)->end,
              OperationEnd::PanelOpen);
    EXPECT_TRUE(ui_.messages().back().text.startsWith("Invalid database name!"));
    EXPECT_FALSE(stored(settingkeys::kPasswdDatabaseName));
    EXPECT_FALSE(logExists());
}

TEST_F(PasswordCatalogue, NewDatabaseOverACurrentOneReportsTheCreateErrorAndDuplicatesNothing)
{
    const QString name = createPasswordDatabase("PanelExisting", "first");
    ui_.answerNextPasswordRequest(typed("second", "second"));
    ASSERT_TRUE(completed(press(kNewPasswordDatabase, name, kDirectory)));
    ASSERT_EQ(ui_.messages().size(), 2u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r-2147217900: "));
    EXPECT_EQ(ui_.messages()[1],
              successMessage(kCaption, "Database " + name + " has been created and initialized"));
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityFunctions"), QStringList{"13"});
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRolesFunctions"), QStringList{"13"});
    // The stored administrator password stays the one the database had.
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{fixedKeyOracle("first")});
}

TEST_F(PasswordCatalogue, DeleteAsksBeforeVerifyingAndACancelKeepsThePasswordConfirmed)
{
    const QString name = createPasswordDatabase("PanelDelete", "secret");
    ui_.answerNextPasswordRequest(typed("secret"));
    ui_.answerNextMessage(MessageResult::Cancel);
    EXPECT_EQ(press(kDeletePasswordDatabase, name)->end, OperationEnd::PanelOpen);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0],
              (Message{"Do you really want to delete database?\r\nBe sure it's not used for logon "
                       "in Velantis!",
                       "Warning", MessageIcon::None, MessageButtons::OkCancel}));
    EXPECT_EQ(state_.confirmedAdminPassword(), "secret");
    // The settings were stored before the question.
    EXPECT_EQ(setting(settingkeys::kPasswdDatabaseName), name);
    EXPECT_TRUE(databaseExists(name));

    // Confirmed already: no second request.
    ui_.answerNextMessage(MessageResult::Ok);
    ASSERT_TRUE(completed(press(kDeletePasswordDatabase, name.toLower())));
    EXPECT_EQ(ui_.passwordRequests().size(), 1u);
    EXPECT_FALSE(databaseExists(name));
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Database " + name.toLower() + " has been removed"));
    EXPECT_EQ(lastLogBlock(), "Database " + name.toLower() + " has been removed from SQL Server " +
                                  server() + "\r\n");
}

TEST_F(PasswordCatalogue, DeleteWithAWrongPasswordForgetsItAndKeepsTheDatabase)
{
    const QString name = createPasswordDatabase("PanelDeleteWrong", "secret");
    ui_.answerNextPasswordRequest(typed("Secret"));
    ui_.answerNextMessage(MessageResult::Ok);
    EXPECT_EQ(press(kDeletePasswordDatabase, name)->end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages().back(),
              accessMessage("Unable to perform operation due to security access level"));
    EXPECT_TRUE(state_.confirmedAdminPassword().isEmpty());
    EXPECT_TRUE(databaseExists(name));
}

TEST_F(PasswordCatalogue, GenericPasswordsAreShownChangedOrLeftOnCancel)
{
    const QString name = createPasswordDatabase("PanelGeneric", "secret");
    ui_.answerNextPasswordRequest(typed("secret"));
    ui_.answerNextGenericPassword({"rep", "mon", "res", true});
    ASSERT_TRUE(completed(press(kModifyGenericPassword, name)));
    EXPECT_EQ(ui_.genericPasswordsShown(),
              (std::vector<GenericPasswordResult>{{"darnitex", "b5b6", "darnitex", false}}));
    EXPECT_EQ(rows(name, "SELECT Report_Passwd, Montage_Passwd, Resource_Passwd FROM "
                         "T_GenPasswords"),
              (std::vector<QStringList>{
                  {fixedKeyOracle("rep"), fixedKeyOracle("mon"), fixedKeyOracle("res")}}));
    EXPECT_EQ(lastLogBlock(), "Generic password has been modified into database " + name + "\r\n");
    // Said to the person as well.
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text, "Generic password has been modified into database " + name);
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Information);
    EXPECT_TRUE(state_.exchange().GenPasswdCanSave);

    // Cancelled: nothing changes, the panel still closes; the password stays confirmed.
    ui_.answerNextGenericPassword({"x", "y", "z", false});
    ASSERT_TRUE(press(kModifyGenericPassword, name)->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.passwordRequests().size(), 1u);
    EXPECT_EQ(column(name, "SELECT Report_Passwd FROM T_GenPasswords"),
              QStringList{fixedKeyOracle("rep")});
    EXPECT_FALSE(state_.exchange().GenPasswdCanSave);
    EXPECT_EQ(ui_.messages().size(), 1u); // nothing changed, nothing said
}

TEST_F(PasswordCatalogue, AccessCheckBRefusesAWrongOrMissingPassword)
{
    const QString name = createPasswordDatabase("PanelAccess", "secret");
    ui_.answerNextPasswordRequest(typed("wrong"));
    EXPECT_EQ(press(kModifyGenericPassword, name)->end, OperationEnd::PanelOpen);
    ui_.answerNextPasswordRequest(typed(QString()));
    EXPECT_EQ(press(kModifyGenericPassword, name)->end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages(),
              (std::vector<Message>{
                  accessMessage("Unable to perform operation due to security access level"),
                  accessMessage("You have to confirm password")}));
    EXPECT_TRUE(ui_.genericPasswordsShown().empty());
    EXPECT_TRUE(state_.confirmedAdminPassword().isEmpty());

    // Typing in a field of the panel forgets a confirmed password: asked again.
    ui_.answerNextPasswordRequest(typed("secret"));
    ui_.answerNextGenericPassword({});
    EXPECT_EQ(press(kModifyGenericPassword, name)->end, OperationEnd::Completed);
    state_.inputFieldKeyReleased();
    ui_.answerNextPasswordRequest(typed("secret"));
    ui_.answerNextGenericPassword({});
    EXPECT_EQ(press(kModifyGenericPassword, name)->end, OperationEnd::Completed);
    EXPECT_EQ(ui_.passwordRequests().size(), 4u);
    EXPECT_EQ(ui_.genericPasswordsShown().size(), 2u);
}

TEST_F(PasswordCatalogue, AdministratorPasswordNeedsTheOldOneAndTheNewOneTwice)
{
    const QString name = createPasswordDatabase("PanelAdmin", "old");
    storePasswordSettings(name);
    const PasswordRequestResult wrongOld{"new", "new", "OLD"};
    const PasswordRequestResult mismatch{"new", "neu", "old"};
    const PasswordRequestResult noOld{"new", "new", ""};
    for (const auto& answer : {wrongOld, mismatch, noOld}) {
        ui_.answerNextPasswordRequest(answer);
        EXPECT_EQ(press(kModifyAdministratorPassword, name)->end, OperationEnd::PanelOpen);
    }
    EXPECT_EQ(ui_.messages(),
              (std::vector<Message>{
                  accessMessage("Unable to perform operation due to security access level"),
                  accessMessage("You have to confirm password"),
                  accessMessage("You have to confirm password")}));
    EXPECT_EQ(ui_.passwordRequests(),
              std::vector<PasswordRequestMode>(3, PasswordRequestMode::ChangePassword));
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{fixedKeyOracle("old")});

    ui_.answerNextPasswordRequest({"n\u00e9w", "n\u00e9w", "old"});
    ASSERT_TRUE(completed(press(kModifyAdministratorPassword, name)));
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{fixedKeyOracle("n\u00e9w")});
    EXPECT_EQ(state_.confirmedAdminPassword(), "n\u00e9w");
    EXPECT_EQ(lastLogBlock(),
              "network administrator password has been modified into database " + name + "\r\n");

    // The login typed on the panel is used but not stored; the check reads the stored one.
    host_.values.user = "nobody";
    ui_ = ScriptedUserInterface();
    ui_.answerNextPasswordRequest({"third", "third", "n\u00e9w"});
    EXPECT_EQ(press(kModifyAdministratorPassword, name)->end, OperationEnd::Completed);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("Error during connection to the database\r"));
    EXPECT_EQ(setting(settingkeys::kSQLUserName), user());
}

TEST_F(PasswordCatalogue, NewDatabaseOverAnotherKindOfDatabaseLeavesItUnchanged)
{
    // An archive under the name typed: its version rows must not become the password version.
    const QString name = freshName("PanelArchive");
    createEmptyDatabase(name);
    execute(name, {"CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )",
                   "INSERT INTO T_DBVersion VALUES ('Version:1.02')",
                   "CREATE TABLE T_Patient( ID_Patient INT NOT NULL )"});
    ui_.answerNextPasswordRequest(typed("secret", "secret"));
    ASSERT_TRUE(completed(press(kNewPasswordDatabase, name, kDirectory)));
    ASSERT_EQ(ui_.messages().size(), 2u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r-2147217900: "));
    EXPECT_EQ(ui_.messages()[1],
              errorMessage(kCaption, "An error occurred during initialization of the database: "
                                     "\rThe database " +
                                         name +
                                         " holds tables of another kind (T_Patient): it has been "
                                         "left unchanged."));
    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.02"});
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES"), QStringList{"2"});
}
