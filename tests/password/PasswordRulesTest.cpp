// The password database's rules against the scripted port, without a server: which statements
// each member sends, what it writes and what it shows, and what the upgrade decides from the
// answers it gets.
#include "GestioneDbPassword.h"
#include "ScriptedDatabase.h"
#include "ScriptedUserInterface.h"
#include "Settings.h"
#include "UserRoleStatements.h"

#include "BackupSets.h"
#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "ServerStatements.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::password;
using dbport::ResultSet;
using dbport::testing::ScriptedDatabase;
using dbport::testing::Sent;
using sqllumo::testing::ScriptedUserInterface;
using Kind = Sent::Kind;

namespace {

const QString kCaption = QStringLiteral("Lumeno SQL Manager  1. 0. 0");
const QString kServer = QStringLiteral("srv,1433");
const QString kDatabase = QStringLiteral("Passwords");
const QString kUser = QStringLiteral("sa");
const QString kPassword = QStringLiteral("pw");

const QStringList kUserColumns = {"User_Name", "User_Passwd", "L_Name",   "F_Name",  "B_Date",
                                  "Title",     "Access_Type", "Doc_Tech", "Int_Ext", "Free"};
const QStringList kRoleColumns = {"ID_Role", "RoleName", QString::fromLatin1(kRoleLockedField)};

class PasswordRules : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    GestioneDbPassword passwords() { return GestioneDbPassword(ui_, kCaption, settings_, db_); }
    // The connections the members opened went to the password database and were closed.
    void expectConnectionsClosed() const
    {
        ASSERT_FALSE(db_.sent().empty());
        EXPECT_EQ(db_.sent().front(),
                  (Sent{Kind::Open, BuildConnectionString(kServer, kDatabase, kUser, kPassword)}));
        EXPECT_EQ(db_.sent().back().kind, Kind::Close);
        EXPECT_EQ(db_.openCount(), 0);
    }
    void answerRole(const QString& name, int id)
    {
        db_.answer(statements::RoleIdByName(name), {"ID_Role"}, {{id}});
    }

    QTemporaryDir folder_;
    Settings settings_{Settings::fileIn(folder_.path())};
    ScriptedUserInterface ui_;
    ScriptedDatabase db_;
};

TEST_F(PasswordRules, AddUserRefusesANameAlreadyPresentAndWritesNothing)
{
    answerRole("Doctors", 4);
    db_.answer(statements::UserByName("O'Brien"), kUserColumns,
               {{"O'Brien", "", "O'Brien", "Sean", QVariant(), "", 4, true, true, ""}});
    GestioneDbPassword p = passwords();
    p.UserName = "O'Brien";
    p.setRoleName("Doctors");
    EXPECT_FALSE(p.AddUser(kServer, kDatabase, kUser, kPassword));
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>{accessMessage(password::texts::kUserAlreadyPresent)});
    EXPECT_EQ(db_.statements(), (QStringList{statements::RoleIdByName("Doctors"),
                                             statements::UserByName("O'Brien")}));
    EXPECT_TRUE(db_.writes().empty());
    expectConnectionsClosed();
}

TEST_F(PasswordRules, AddUserWritesOneRowWithTheCipherUnderItsNameAndTheRoleId)
{
    answerRole("Doctors", 4);
    db_.answer(statements::UserByName("Rossi"), kUserColumns);
    GestioneDbPassword p = passwords();
    p.UserName = "Rossi";
    p.UserPasswd = "s3cret";
    p.LastName = "Rossi";
    p.FirstName = "Anna";
    p.BDate = QDate(1950, 4, 3);
    p.Title = "Dr";
    p.Tipo = 1;
    p.Posizione = 0;
    p.setRoleName("Doctors");
    ASSERT_TRUE(p.AddUser(kServer, kDatabase, kUser, kPassword));
    EXPECT_TRUE(ui_.messages().empty());
    const QString cipher = GestioneDbPassword::Encipher("Rossi", "s3cret");
    EXPECT_NE(cipher, "s3cret");
    ASSERT_EQ(db_.writes().size(), 1u);
    EXPECT_EQ(db_.writes()[0],
              (Sent{Kind::Insert,
                    statements::UserByName("Rossi"),
                    {{"User_Name", "Rossi"},
                     {"User_Passwd", cipher},
                     {"L_Name", "Rossi"},
                     {"F_Name", "Anna"},
                     {"B_Date", QDateTime(QDate(1950, 4, 3), QTime(0, 0), Qt::UTC)},
                     {"Title", "Dr"},
                     {"Access_Type", 4},
                     {"Doc_Tech", true},
                     {"Int_Ext", false},
                     {"Free", QString()}}}));
    // A user without a password keeps an empty one: the cipher takes no empty text.
    EXPECT_EQ(GestioneDbPassword::StoredUserPassword("Rossi", ""), "");
    expectConnectionsClosed();
}

TEST_F(PasswordRules, AUserOfARoleThatIsGoneIsNotWrittenAndTheFailureIsShown)
{
    db_.answer(statements::RoleIdByName("Gone"), {"ID_Role"});
    GestioneDbPassword p = passwords();
    p.UserName = "Rossi";
    p.setRoleName("Gone");
    EXPECT_FALSE(p.AddUser(kServer, kDatabase, kUser, kPassword));
    EXPECT_FALSE(p.ModifyUser(kServer, kDatabase, kUser, kPassword));
    const Message trapped =
        trappedErrorMessage(kCaption, db::kNoCurrentRow, db::texts::kNoCurrentRow, false);
    EXPECT_EQ(ui_.messages(), (std::vector<Message>{trapped, trapped}));
    // The user's row is never even looked at.
    EXPECT_EQ(db_.statements(),
              (QStringList{statements::RoleIdByName("Gone"), statements::RoleIdByName("Gone")}));
    EXPECT_TRUE(db_.writes().empty());
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(PasswordRules, ModifyUserRewritesTheRowItFoundAndKeepsTheStoredCipher)
{
    answerRole("Administrator", 1);
    db_.answer(statements::UserByName("Rossi"), kUserColumns,
               {{"Rossi", "old", "Rossi", "Anna", QVariant(), "Dr", 4, true, false, ""}});
    GestioneDbPassword p = passwords();
    p.UserName = "Rossi";
    p.UserPasswd = "new";
    p.setRoleName("Administrator");
    ASSERT_TRUE(p.ModifyUser(kServer, kDatabase, kUser, kPassword));
    EXPECT_EQ(p.UserPasswd, GestioneDbPassword::Encipher("Rossi", "new"));
    ASSERT_EQ(db_.writes().size(), 1u);
    const Sent write = db_.writes()[0];
    EXPECT_EQ(write.kind, Kind::Update);
    EXPECT_EQ(write.row, 0);
    EXPECT_EQ(write.values[1], (std::pair<QString, QVariant>{"User_Passwd", p.UserPasswd}));
    EXPECT_EQ(write.values[7], (std::pair<QString, QVariant>{"Access_Type", 1}));
}

TEST_F(PasswordRules, RenamingARoleToAnotherRolesNameIsRefusedAndToItsOwnIsWritten)
{
    db_.answer(statements::RoleByName("Doctors"), kRoleColumns, {{5, "Doctors", false}});
    db_.answer(statements::RoleById(5), kRoleColumns, {{5, "doctors", false}});
    GestioneDbPassword p = passwords();
    p.setRoleName("Doctors");
    EXPECT_FALSE(p.ModifyRoleName(kServer, kDatabase, kUser, kPassword, 7));
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>{accessMessage(password::texts::kRoleAlreadyPresent)});
    EXPECT_TRUE(db_.writes().empty());

    // The role found under the name is the one renamed (a change of letter case, say).
    ASSERT_TRUE(p.ModifyRoleName(kServer, kDatabase, kUser, kPassword, 5));
    EXPECT_EQ(db_.statements(),
              (QStringList{statements::RoleByName("Doctors"), statements::RoleByName("Doctors"),
                           statements::RoleById(5)}));
    EXPECT_EQ(
        db_.writes(),
        (std::vector<Sent>{{Kind::Update, statements::RoleById(5), {{"RoleName", "Doctors"}}, 0}}));
    // Without a server or database nothing is opened.
    EXPECT_FALSE(p.ModifyRoleName("", kDatabase, kUser, kPassword, 5));
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(PasswordRules, ALockedRoleIsNeitherDeletedNorToldApartFromAMissingOne)
{
    db_.answer(statements::RoleByName("Administrator"), kRoleColumns, {{1, "Administrator", true}});
    db_.answer(statements::RoleByName("Doctors"), kRoleColumns, {{5, "Doctors", false}});
    GestioneDbPassword p = passwords();
    p.setRoleName("Administrator");
    EXPECT_FALSE(p.EraseRole(kServer, kDatabase, kUser, kPassword));
    EXPECT_EQ(ui_.messages(), std::vector<Message>{validationMessage(
                                  password::texts::RoleLockedForDeletion("Administrator"))});
    p.setRoleName("Doctors");
    EXPECT_TRUE(p.EraseRole(kServer, kDatabase, kUser, kPassword));
    EXPECT_EQ(
        db_.statements(),
        (QStringList{statements::RoleByName("Administrator"), statements::RoleByName("Doctors"),
                     statements::UserNamesOfRole(5), statements::DeleteRole("Doctors")}));

    EXPECT_TRUE(p.RoleIsLocked(kServer, kDatabase, kUser, kPassword, "Administrator"));
    EXPECT_FALSE(p.RoleIsLocked(kServer, kDatabase, kUser, kPassword, "Doctors"));
    db_.answer(statements::RoleByName("Nobody"), kRoleColumns);
    EXPECT_TRUE(p.RoleIsLocked(kServer, kDatabase, kUser, kPassword, "Nobody"));
}

TEST_F(PasswordRules, RightsAreStoredCellByCellAddingAndRemovingOnlyWhatChanged)
{
    answerRole("Doctors", 5);
    db_.answer(statements::AllFunctions(), {"ID_Function"}, {{11}, {12}, {13}});
    db_.answer(statements::AllMacroFunctions(), {"ID_MacroFunction", "Description"},
               {{1, "Archive"}});
    db_.answer(statements::FunctionsOfGroup("Archive"), {"FunctionName", "ID_Function"},
               {{"Read", 11}, {"Write", 12}, {"Delete", 13}});
    db_.answer(statements::RoleRightsInGroup(5, "Archive"), {"FunctionName"}, {{"Write"}});
    GestioneDbPassword p = passwords();
    p.FindFunctionsByRole(kServer, kDatabase, kUser, kPassword, "Doctors");
    FlagGrid rights = p.Attivazioni();
    ASSERT_GE(rights.size(), 1u);
    ASSERT_GE(rights[0].size(), 3u);
    EXPECT_EQ(std::vector<bool>(rights[0].begin(), rights[0].begin() + 3),
              (std::vector<bool>{false, true, false}));

    // Read granted, Write revoked, Delete left as it was.
    rights[0][0] = true;
    rights[0][1] = false;
    p.setAttivazioni(rights);
    const QStringList pair = {"ID_Function", "ID_Role"};
    db_.answer(statements::RightPair(11, 5), pair);
    db_.answer(statements::RightPair(12, 5), pair, {{12, 5}});
    db_.answer(statements::RightPair(13, 5), pair);
    const qsizetype before = db_.statements().size();
    EXPECT_EQ(p.ActivateFunctionsByRole(kServer, kDatabase, kUser, kPassword, "Doctors"), 5);
    EXPECT_EQ(db_.statements().mid(before),
              (QStringList{statements::RoleIdByName("Doctors"), statements::RightPair(11, 5),
                           statements::RightPair(12, 5), statements::DeleteRightPair(12, 5),
                           statements::RightPair(13, 5)}));
    EXPECT_EQ(db_.writes(), (std::vector<Sent>{{Kind::Insert,
                                                statements::RightPair(11, 5),
                                                {{"ID_Function", 11}, {"ID_Role", 5}},
                                                -1}}));
    EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(PasswordRules, RightsWithFewerCellsThanCountedAreRefusedWhereTheyStop)
{
    answerRole("Doctors", 5);
    db_.answer(statements::AllFunctions(), {"ID_Function"}, {{11}, {12}});
    db_.answer(statements::AllMacroFunctions(), {"ID_MacroFunction", "Description"},
               {{1, "Archive"}});
    db_.answer(statements::FunctionsOfGroup("Archive"), {"FunctionName", "ID_Function"},
               {{"Read", 11}, {"Write", 12}});
    GestioneDbPassword p = passwords();
    p.FindFunctionsByRole(kServer, kDatabase, kUser, kPassword, "Doctors");
    p.setAttivazioni({{true}});
    db_.answer(statements::RightPair(11, 5), {"ID_Function", "ID_Role"}, {{11, 5}});
    EXPECT_EQ(p.ActivateFunctionsByRole(kServer, kDatabase, kUser, kPassword, "Doctors"), 5);
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>{trappedErrorMessage(kCaption, db::kSubscriptOutOfRange,
                                                       db::texts::kSubscriptOutOfRange)});
    EXPECT_FALSE(db_.statements().contains(statements::RightPair(12, 5)));
    EXPECT_TRUE(db_.writes().empty());
}

TEST_F(PasswordRules, GenericPasswordsAreReadAndWrittenAsCipherTextsUnderTheFixedKey)
{
    const QString select = QStringLiteral("SELECT * FROM T_GenPasswords");
    const QStringList columns = {"Report_Passwd", "Montage_Passwd", "Resource_Passwd"};
    db_.answer(select, columns,
               {{GestioneDbPassword::FixedKeyCipher("r"), GestioneDbPassword::FixedKeyCipher("m"),
                 GestioneDbPassword::FixedKeyCipher("s")}});
    GestioneDbPassword p = passwords();
    QString report, montage, resource;
    ASSERT_TRUE(
        p.ReadGenericPasswd(kServer, kDatabase, kUser, kPassword, report, montage, resource));
    EXPECT_EQ((QStringList{report, montage, resource}), (QStringList{"r", "m", "s"}));

    ASSERT_TRUE(p.ModifyGenericPasswd(kServer, kDatabase, kUser, kPassword, "R2", "M2", "S2"));
    EXPECT_EQ(db_.writes(),
              (std::vector<Sent>{{Kind::Update,
                                  select,
                                  {{"Report_Passwd", GestioneDbPassword::FixedKeyCipher("R2")},
                                   {"Montage_Passwd", GestioneDbPassword::FixedKeyCipher("M2")},
                                   {"Resource_Passwd", GestioneDbPassword::FixedKeyCipher("S2")}},
                                  0}}));
    // An empty password cannot be enciphered: shown as the invalid argument, nothing written.
    EXPECT_FALSE(p.ModifyGenericPasswd(kServer, kDatabase, kUser, kPassword, "R3", "", "S3"));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.contains("\r5: ")) << ui_.messages()[0].text.toStdString();
    EXPECT_EQ(db_.writes().size(), 1u);
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(PasswordRules, AConnectionThatFailsShowsTheConnectionMessageAndSendsNothing)
{
    db_.failNextOpen(db::Error(db::kConnectionFailed, "Login failed for user 'sa'."));
    GestioneDbPassword p = passwords();
    p.UserName = "Rossi";
    EXPECT_FALSE(p.EraseUser(kServer, kDatabase, kUser, kPassword));
    EXPECT_EQ(ui_.messages(),
              std::vector<Message>{trappedErrorMessage(kCaption, db::kConnectionFailed,
                                                       "Login failed for user 'sa'.", true)});
    EXPECT_TRUE(db_.statements().empty());
    // The administrator check reads the settings' database and tells failures from nothing.
    db_.failNextOpen(db::Error(db::kConnectionFailed, "down"));
    EXPECT_FALSE(p.VerificaPassword("admin"));
    EXPECT_EQ(ui_.messages().size(), 1u);
}

TEST_F(PasswordRules, TheAdministratorPasswordIsComparedAsCipherTextWithEveryStoredRow)
{
    settings_.setValue(settingkeys::kSQLServerName, kServer);
    settings_.setValue(settingkeys::kPasswdDatabaseName, kDatabase);
    settings_.setValue(settingkeys::kSQLUserName, kUser);
    settings_.setValue(settingkeys::kSQLPassword, kPassword);
    db_.answer("T_AdminPassword", {"Admin_Passwd"},
               {{GestioneDbPassword::FixedKeyCipher("first")},
                {GestioneDbPassword::FixedKeyCipher("second")}});
    GestioneDbPassword p = passwords();
    EXPECT_TRUE(p.VerificaPassword("second"));
    EXPECT_FALSE(p.VerificaPassword("Second"));
    EXPECT_FALSE(p.VerificaPassword(""));
    expectConnectionsClosed();
}

// The upgrade of the password database named in the settings.
class UpgradeRules : public PasswordRules {
protected:
    void SetUp() override
    {
        PasswordRules::SetUp();
        settings_.setValue(settingkeys::kSQLServerName, kServer);
        settings_.setValue(settingkeys::kPasswdDatabaseName, kDatabase);
        settings_.setValue(settingkeys::kPasswdDataDirectory, kDirectory);
        settings_.setValue(settingkeys::kSQLUserName, kUser);
        settings_.setValue(settingkeys::kSQLPassword, kPassword);
    }
    // The backup file of an upgrade starting now (or in the next minute, should it turn).
    static QStringList backupFiles()
    {
        const QDateTime now = QDateTime::currentDateTime();
        return {UpgradeBackupFileName(kDirectory, now),
                UpgradeBackupFileName(kDirectory, now.addSecs(60))};
    }
    QString sentBackupFile() const
    {
        for (const QString& file : backupFiles())
            if (db_.statements().contains(server::BackupStatement(kDatabase, file)))
                return file;
        return QString();
    }
    // An older version row, and a schema step that fails on the key listing of T_GenericUser.
    void olderDatabaseWhoseUpgradeFails()
    {
        db_.setTables({"T_DBVersion", "T_GenericUser"});
        db_.answer(kOlderQuery, {"FreeText"}, {{"Version:1.02"}});
        db_.fail(QString::fromStdString(UserKeyListingCall()),
                 db::Error(db::kServerError, "Cannot alter the table."));
    }
    // A current database as the server's listings show it: every table, key, cascading
    // foreign key and default function.
    void currentDatabase()
    {
        QStringList tables;
        for (const PasswordTableDef& table : PasswordTables()) {
            tables << QString::fromStdString(table.name);
            if (table.hasPrimaryKey())
                db_.answer(QString::fromStdString(KeyListingCall(table)),
                           {"COLUMN_NAME", "PK_NAME"},
                           {{QString::fromStdString(table.primaryKeyColumn()),
                             QString::fromStdString(table.primaryKeyName())}});
        }
        db_.setTables(tables);
        db_.answer(kOlderQuery, {"FreeText"});
        db_.answer(QString::fromStdString(OtherVersionQuery()), {"FreeText"});
        for (const PasswordForeignKey& key : PasswordForeignKeys()) {
            std::vector<std::vector<QVariant>> listed;
            for (const PasswordForeignKey& each : PasswordForeignKeys())
                if (each.referencedTable == key.referencedTable)
                    listed.push_back({QString::fromStdString(each.table),
                                      QString::fromStdString(each.column), 0, 0});
            db_.answer(QString::fromStdString(key.listingCall()),
                       {"fktable_name", "fkcolumn_name", "update_rule", "delete_rule"}, listed);
        }
        for (const std::string& function : DefaultFunctionNames())
            db_.answer(QString::fromStdString(FunctionIdQuery(function)), {"ID_Function"}, {{1}});
    }
    static QString subject() { return password::texts::UpgradeSubject(kServer, kDatabase); }
    static inline const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");
    static inline const QString kOlderQuery = QStringLiteral(
        "SELECT TOP 1 * FROM T_DBVersion WHERE (([FreeText] = 'Version:1.03') OR ([FreeText] = "
        "'Version:1.02') OR ([FreeText] = 'Version:1.01') OR ([FreeText] = 'Version:1.00'))");
    const QStringList kHeaderColumns = {"Position", "BackupType", "DatabaseName", "BackupStartDate",
                                        "BackupSize"};
    const QStringList kFileColumns = {"LogicalName", "Type"};
};

TEST_F(UpgradeRules, ACurrentDatabaseOrMissingSettingsAreLeftAloneWithoutABackup)
{
    currentDatabase();
    GestioneDbPassword p = passwords();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::NothingToDo);
    EXPECT_TRUE(db_.unscripted().isEmpty()) << db_.unscripted().join('\n').toStdString();
    EXPECT_EQ(db_.statements().first(), kOlderQuery);
    for (const QString& statement : db_.statements())
        EXPECT_FALSE(statement.startsWith("BACKUP")) << statement.toStdString();
    EXPECT_EQ(db_.openCount(), 0);

    settings_.setValue(settingkeys::kPasswdDataDirectory, QString());
    const size_t before = db_.sent().size();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::NothingToDo);
    EXPECT_EQ(db_.sent().size(), before);
    EXPECT_TRUE(ui_.messages().empty());
}

// The version row is not trusted: a current one over a lost key, foreign key rule or function
// is upgraded, with its backup first; a newer version's database is not this program's.
TEST_F(UpgradeRules, ACurrentVersionRowOverAGapIsUpgradedAndAnotherVersionLeftAlone)
{
    const auto backedUp = [&] {
        for (const QString& statement : db_.statements())
            if (statement.startsWith("BACKUP DATABASE " + kDatabase))
                return true;
        return false;
    };
    const std::vector<std::pair<QString, QStringList>> gaps = {
        {"sp_pkeys 'T_SecurityRoles'", {"COLUMN_NAME", "PK_NAME"}},
        {"sp_fkeys 'T_SecurityFunctions'", {"fktable_name", "fkcolumn_name"}},
        {QString::fromStdString(FunctionIdQuery("Can Burn DVD - BD")), {"ID_Function"}},
    };
    for (const auto& [listing, columns] : gaps) {
        db_ = ScriptedDatabase();
        db_.answer(listing, columns); // answered so first, then as a whole database would be
        currentDatabase();
        GestioneDbPassword p = passwords();
        p.RunUpgrade();
        EXPECT_TRUE(backedUp()) << listing.toStdString();
    }
    db_ = ScriptedDatabase();
    db_.answer(QString::fromStdString(FunctionIdQuery("Can Burn DVD - BD")), {"ID_Function"});
    db_.answer(QString::fromStdString(OtherVersionQuery()), {"FreeText"}, {{"Version:1.05"}});
    currentDatabase();
    GestioneDbPassword p = passwords();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::NothingToDo);
    EXPECT_FALSE(backedUp());
}

TEST_F(UpgradeRules, AnOlderVersionRowIsBackedUpOnMasterBeforeAnyStep)
{
    olderDatabaseWhoseUpgradeFails();
    GestioneDbPassword p = passwords();
    p.RunUpgrade();
    const QString file = sentBackupFile();
    ASSERT_FALSE(file.isEmpty()) << db_.statements().join('\n').toStdString();
    const std::vector<Sent>& sent = db_.sent();
    const auto backup = std::find(sent.begin(), sent.end(),
                                  Sent{Kind::Execute, server::BackupStatement(kDatabase, file)});
    ASSERT_NE(backup, sent.begin());
    EXPECT_EQ(*(backup - 1), (Sent{Kind::Timeout, "90"}));
    EXPECT_EQ(*(backup - 2),
              (Sent{Kind::Open, BuildConnectionString(kServer, "master", kUser, kPassword)}));
    // The backup comes before the first schema step.
    const auto step = std::find(sent.begin(), sent.end(),
                                Sent{Kind::Query, QString::fromStdString(UserKeyListingCall())});
    EXPECT_LT(backup, step);
}

TEST_F(UpgradeRules, AFailedUpgradePutsBackTheNewestBackupOfThatDatabaseOverIt)
{
    olderDatabaseWhoseUpgradeFails();
    const QDateTime taken(QDate(2026, 12, 6), QTime(7, 13), Qt::UTC);
    for (const QString& file : backupFiles()) {
        // An older set of the database, the one just taken, and another database's after it.
        db_.answer(server::HeaderListStatement(file), kHeaderColumns,
                   {{1, 1, kDatabase, taken, 1000.0},
                    {2, 1, kDatabase.toLower(), taken, 1000.0},
                    {3, 1, "Other", taken, 1000.0}});
        db_.answer(server::FileListStatement(file, 2), kFileColumns,
                   {{"PwData", "D"}, {"PwLog", "L"}});
    }
    GestioneDbPassword p = passwords();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::Restored);
    const QString file = sentBackupFile();
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(db_.statements().last(),
              server::RestoreStatement(kDatabase, file, 2, "PwData", "PwLog", kDirectory, true));
    ASSERT_EQ(ui_.messages().size(), 3u);
    EXPECT_TRUE(
        ui_.messages()[0].text.startsWith(password::texts::kTableCheckError + "T_GenericUser\r\n"));
    EXPECT_EQ(ui_.messages()[1].text, password::texts::kUpgradeFailedRestoring + subject());
    EXPECT_EQ(ui_.messages()[2].text, password::texts::kUpgradeFailedEnding + subject());
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(UpgradeRules, ABackupWithoutBothFilesIsNotRestored)
{
    olderDatabaseWhoseUpgradeFails();
    const QDateTime taken(QDate(2026, 12, 6), QTime(7, 13), Qt::UTC);
    for (const QString& file : backupFiles()) {
        db_.answer(server::HeaderListStatement(file), kHeaderColumns,
                   {{1, 1, kDatabase, taken, 1000.0}});
        db_.answer(server::FileListStatement(file, 1), kFileColumns, {{"PwData", "D"}});
    }
    GestioneDbPassword p = passwords();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::Failed);
    for (const QString& statement : db_.statements())
        EXPECT_FALSE(statement.startsWith("RESTORE DATABASE")) << statement.toStdString();
    EXPECT_EQ(ui_.messages().back().text, password::texts::kRestoringError + subject());
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(UpgradeRules, AnUnreachablePasswordDatabaseIsNamedAndNothingIsBackedUp)
{
    db_.failNextOpen(db::Error(db::kConnectionFailed, "Login failed"));
    GestioneDbPassword p = passwords();
    EXPECT_EQ(p.RunUpgrade(), UpgradeResult::Failed);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text, password::texts::kConnectionOfDatabase + kDatabase + "'\r\n" +
                                          QString::number(db::kConnectionFailed) +
                                          ": Login failed" + subject());
    EXPECT_TRUE(db_.statements().empty());
}

} // namespace
