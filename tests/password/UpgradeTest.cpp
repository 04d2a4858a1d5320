// The upgrade of the password database named in the settings, on databases the test builds as
// older versions left them: what it adds, the dated backup it leaves, the cases that must do
// nothing, and the restore after a failed upgrade.
#include "OlderPasswordDatabase.h"
#include "PasswordDbHarness.h"
#include "StoredRows.h"

#include "PasswordSchema.h"

#include <QDateTime>

using namespace sqllumo;
using namespace sqllumo::testing;
using password::GestioneDbPassword;
using password::UpgradeResult;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");

class Upgrade : public PasswordDbHarness {
protected:
    QString makeOlderDatabase(const OlderState& state)
    {
        const QString name = freshName("PasswordOlder");
        createEmptyDatabase(name);
        execute(name, OlderDatabaseStatements(state));
        return name;
    }
    QStringList backupFiles() const
    {
        return QDir(serverFolder(kDirectory))
            .entryList({QStringLiteral("Backup PasswordDB Corvista*.dat")}, QDir::Files);
    }
    // Every row of every table, to compare a database before and after.
    std::vector<QStringList> snapshot(const QString& database) const
    {
        std::vector<QStringList> all;
        for (const QString& table :
             column(database,
                    "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME")) {
            all.push_back({table});
            for (const QStringList& row : rows(database, "SELECT * FROM " + table))
                all.push_back(row);
        }
        return all;
    }
    UpgradeResult upgrade()
    {
        GestioneDbPassword passwords(ui_, kCaption, settings_, port());
        return passwords.RunUpgrade();
    }
    // What every message of the upgrade ends with.
    static QString subject(const QString& database)
    {
        return password::texts::UpgradeSubject(server(), database);
    }
};

class UpgradeFromOlder : public Upgrade, public ::testing::WithParamInterface<OlderState> {};

} // namespace

TEST_P(UpgradeFromOlder, BringsItToTheCurrentVersionOnceWithABackup)
{
    const QString name = makeOlderDatabase(GetParam());
    storePasswordSettings(name);
    const QDateTime started = QDateTime::currentDateTime();

    ASSERT_EQ(upgrade(), UpgradeResult::Upgraded);
    const QDateTime ended = QDateTime::currentDateTime();
    EXPECT_EQ(ui_.messages(),
              (std::vector<Message>{{"Password Database successfully updated!" + subject(name),
                                     QString(), MessageIcon::Information, MessageButtons::Ok}}));
    EXPECT_EQ(subject(name), "\r\nDatabase " + name + " on SQL Server " + server());

    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityFunctions"), QStringList{"13"});
    const QStringList newest =
        column(name, "SELECT ID_Function FROM T_SecurityFunctions WHERE FunctionName IN "
                     "('Can Modify Settings', 'Can Acquire EEG') ORDER BY ID_Function");
    ASSERT_EQ(newest, QStringList({"12", "13"}));
    EXPECT_EQ(rows(name, "SELECT ID_Role, COUNT(*) FROM T_SecurityRolesFunctions WHERE "
                         "ID_Function >= 12 GROUP BY ID_Role ORDER BY ID_Role"),
              (std::vector<QStringList>{{"1", "2"}, {"2", "2"}}));
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRolesFunctions"), QStringList{"16"});
    EXPECT_EQ(column(name, "SELECT User_Name FROM T_GenericUser ORDER BY User_Name"),
              QStringList({"anna", "bruno"}));
    // The key without cascading rules was made again with them: deleting a role takes its users.
    execute(name, {"DELETE FROM T_SecurityRoles WHERE RoleName = 'Nurse'"});
    EXPECT_EQ(column(name, "SELECT User_Name FROM T_GenericUser"), QStringList{"anna"});

    if (!GetParam().withAdminTable) {
        // Made by the upgrade with the plain default, so the default opens it.
        GestioneDbPassword passwords(ui_, kCaption, settings_, port());
        EXPECT_TRUE(passwords.VerificaPassword("darnitex"));
        EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
                  QStringList{fixedKeyOracle("darnitex")});
    }

    // Named for the minute it was taken in (an upgrade in the same minute adds to the file).
    const QStringList expectedNames = {password::UpgradeBackupFileName(QString(), started),
                                       password::UpgradeBackupFileName(QString(), ended)};
    const QStringList files = backupFiles();
    EXPECT_TRUE(files.contains(expectedNames[0]) || files.contains(expectedNames[1]))
        << files.join(", ").toStdString();
    EXPECT_TRUE(expectedNames[0].startsWith("Backup PasswordDB Corvista  ("));

    // Current now: a second choice of the catalogue does nothing and shows nothing.
    ASSERT_EQ(upgrade(), UpgradeResult::NothingToDo);
    EXPECT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRolesFunctions"), QStringList{"13"});
}

INSTANTIATE_TEST_SUITE_P(Versions, UpgradeFromOlder,
                         ::testing::Values(OlderState{"Version:1.00", false, true},
                                           OlderState{"Version:1.01", true, true},
                                           OlderState{"Version:1.02", true, true},
                                           OlderState{"Version:1.03", true, true},
                                           OlderState{nullptr, true, true}));

TEST_F(Upgrade, CurrentOtherOrUnsetDatabasesAreLeftAloneSilently)
{
    const QString current = createPasswordDatabase("PasswordCurrent", "admin");
    const QString other = createPasswordDatabase("PasswordOther", "admin");
    execute(other, {"UPDATE T_DBVersion SET [FreeText] = 'Version:2.00'"});
    const QString noRow = createPasswordDatabase("PasswordNoRow", "admin");
    execute(noRow, {"DELETE FROM T_DBVersion"});
    const QString older = makeOlderDatabase({"Version:1.02", true, true});
    const QStringList backupsBefore = backupFiles();

    for (const QString& name : {current, other, noRow}) {
        storePasswordSettings(name);
        const auto before = snapshot(name);
        EXPECT_EQ(upgrade(), UpgradeResult::NothingToDo) << name.toStdString();
        EXPECT_EQ(snapshot(name), before) << name.toStdString();
    }
    // An older database, but a setting missing: nothing is looked at.
    storePasswordSettings(older, QString());
    EXPECT_EQ(upgrade(), UpgradeResult::NothingToDo);
    storePasswordSettings(QString());
    EXPECT_EQ(upgrade(), UpgradeResult::NothingToDo);
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_EQ(backupFiles(), backupsBefore);
    EXPECT_EQ(column(older, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.02"});

    // A database that cannot be reached is named in the message, with its server.
    const QString absent = freshName("Absent");
    storePasswordSettings(absent);
    EXPECT_EQ(upgrade(), UpgradeResult::Failed);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("Error during connection of database '" + absent +
                                                  "'\r\n"));
    EXPECT_TRUE(ui_.messages()[0].text.endsWith(subject(absent)));
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Critical);
}

TEST_F(Upgrade, FailedUpgradeRestoresTheBackupAndEndsTheProgram)
{
    // The group the new functions belong to was renamed: the upgrade cannot add them, after it
    // has already created the generic passwords table.
    // Another database upgraded just before leaves its set in the same dated file first.
    const QString other = makeOlderDatabase({"Version:1.02", true, true});
    storePasswordSettings(other);
    ASSERT_EQ(upgrade(), UpgradeResult::Upgraded);
    ui_ = ScriptedUserInterface();

    const QString name = makeOlderDatabase({"Version:1.03", true, false});
    execute(name, {"UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    storePasswordSettings(name);
    const auto before = snapshot(name);
    const QDateTime started = QDateTime::currentDateTime();

    ASSERT_EQ(upgrade(), UpgradeResult::Restored);
    ASSERT_EQ(ui_.messages().size(), 3u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith(
        "An error occurred during the check or definition of table T_SecurityFunctions\r\n"));
    EXPECT_TRUE(ui_.messages()[0].text.endsWith(subject(name)));
    EXPECT_EQ(ui_.messages()[1], (Message{"Update Password Database Failed!\r\nAutomatic restore "
                                          "backup copy!" +
                                              subject(name),
                                          QString(), MessageIcon::Critical, MessageButtons::Ok}));
    EXPECT_EQ(
        ui_.messages()[2],
        (Message{"Update Password database Failed!\r\nImpossible to continue!" + subject(name),
                 QString(), MessageIcon::Critical, MessageButtons::Ok}));
    EXPECT_EQ(snapshot(name), before);
    EXPECT_TRUE(backupFiles().contains(password::UpgradeBackupFileName(QString(), started)) ||
                backupFiles().contains(
                    password::UpgradeBackupFileName(QString(), QDateTime::currentDateTime())));
}

TEST_F(Upgrade, TheAutomaticRestoreTakesTheBackupJustTakenNotAnEarlierOneInTheSameFile)
{
    const QString name = makeOlderDatabase({"Version:1.03", true, false});
    execute(name, {"UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    storePasswordSettings(name);
    // An upgrade tried earlier in the same minute left a backup of another state in the file
    // (the next minute's file too, in case the clock turns meanwhile).
    execute(name, {"INSERT INTO T_SecurityRoles(RoleName, IsLocked) VALUES ('Earlier', 0)"});
    const QDateTime now = QDateTime::currentDateTime();
    for (const QDateTime& when : {now, now.addSecs(60)})
        execute("master",
                {server::BackupStatement(name, password::UpgradeBackupFileName(kDirectory, when))});
    execute(name, {"DELETE FROM T_SecurityRoles WHERE RoleName = 'Earlier'"});
    const auto before = snapshot(name);

    ASSERT_EQ(upgrade(), UpgradeResult::Restored);
    EXPECT_EQ(
        ui_.messages().back(),
        (Message{"Update Password database Failed!\r\nImpossible to continue!" + subject(name),
                 QString(), MessageIcon::Critical, MessageButtons::Ok}));
    EXPECT_EQ(snapshot(name), before);
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRoles WHERE RoleName = 'Earlier'"),
              QStringList{"0"});
}

// A current version row is not taken on trust: what a current database lost is put back, a
// right taken away on purpose stays away, and the given target is used, not the settings.
TEST_F(Upgrade, WhatACurrentDatabaseLostIsPutBackOnTheTargetGiven)
{
    const QString name = createPasswordDatabase("PasswordDamaged", "admin");
    QStringList damage = {"INSERT INTO T_SecurityRoles(RoleName, IsLocked) VALUES ('Nurse', 0)"};
    // Nurse may use every function but the newest, "Can Acquire EEG" (13).
    for (int function = 1; function <= 12; ++function)
        damage
            << QStringLiteral("INSERT INTO T_SecurityRolesFunctions VALUES (2, %1)").arg(function);
    damage << "DELETE FROM T_SecurityFunctions WHERE FunctionName = 'Can Burn DVD - BD'"
           << "ALTER TABLE T_SecurityRolesFunctions DROP CONSTRAINT fk_RolesFuncts_Functs"
           << "ALTER TABLE T_SecurityFunctions DROP CONSTRAINT fk_Functs_MacroFuncts"
           << "ALTER TABLE T_SecurityMacroFunctions DROP CONSTRAINT "
              "PrimaryKey_T_SecurityMacroFunctions";
    execute(name, damage);
    // The settings name another database, which must stay as it is.
    const QString other = makeOlderDatabase({"Version:1.02", true, true});
    storePasswordSettings(other);
    const auto otherBefore = snapshot(other);

    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    const password::UpgradeTarget target{server(), name, user(), password(), kDirectory};
    ASSERT_EQ(passwords.RunUpgrade(target), UpgradeResult::Upgraded)
        << (ui_.messages().empty() ? "" : ui_.messages()[0].text.toStdString());
    EXPECT_EQ(snapshot(other), otherBefore);

    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityFunctions"), QStringList{"13"});
    // Put back for the Administrator alone; Nurse still goes without "Can Acquire EEG".
    EXPECT_EQ(column(name, RoleRightsQuery("Administrator")).size(), 13);
    const QStringList nurse = column(name, RoleRightsQuery("Nurse"));
    EXPECT_EQ(nurse.size(), 11);
    EXPECT_FALSE(nurse.contains("Can Burn DVD - BD"));
    EXPECT_FALSE(nurse.contains("Can Acquire EEG"));
    for (const char* table : {"T_SecurityMacroFunctions", "T_SecurityFunctions"})
        EXPECT_EQ(rows(name, QStringLiteral("sp_pkeys '%1'").arg(table)).size(), 1u) << table;
    // The keys cascade again: removing a function takes its rights.
    execute(name, {"DELETE FROM T_SecurityFunctions WHERE FunctionName = 'Can Create Report'"});
    EXPECT_EQ(column(name, RoleRightsQuery("Administrator")).size(), 12);
    EXPECT_EQ(column(name, RoleRightsQuery("Nurse")).size(), 10);

    ASSERT_EQ(passwords.RunUpgrade(target), UpgradeResult::Upgraded);
    EXPECT_EQ(column(name, RoleRightsQuery("Administrator")).size(), 13);
    EXPECT_EQ(column(name, RoleRightsQuery("Nurse")).size(), 10);
    ui_ = ScriptedUserInterface();
    EXPECT_EQ(passwords.RunUpgrade(target), UpgradeResult::NothingToDo);
    EXPECT_TRUE(ui_.messages().empty());
}

// A failing step takes back every step before it: the key dropped to widen the user name, the
// tables made, the rows added.
TEST_F(Upgrade, AFailedStepLeavesTheSchemaAsItWas)
{
    const QString name = makeOlderDatabase({"Version:1.02", true, false});
    execute(name, {"UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    const auto before = snapshot(name);
    QString errorText;
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    EXPECT_FALSE(
        passwords.TestTabellePassword(server(), name, user(), password(), errorText, "darnitex"));
    EXPECT_FALSE(errorText.isEmpty());
    EXPECT_EQ(snapshot(name), before);
    EXPECT_EQ(rows(name, "sp_pkeys 'T_GenericUser'").size(), 1u);
    EXPECT_TRUE(column(name, "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME "
                             "= 'T_GenPasswords'")
                    .isEmpty());
}
