// The password-database service object: one per OK press. Every member opens and closes its
// own connection through the database port, reports failures through the UserInterface port
// and returns what it did.
// The members live in one source file per group (GestioneDbPassword_<Group>.cpp).
#pragma once

#include "ListControl.h"
#include "Messages.h"
#include "RightsMatrix.h"
#include "UserInterface.h"

#include "DatabasePort.h"
#include "Error.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <exception>
#include <memory>
#include <optional>
#include <utility>

namespace sqllumo {
class Settings;
}

namespace sqllumo::password {

// Texts shown by the members; each kept once.
namespace texts {
inline const QString kTableCheckError =
    QStringLiteral("An error occurred during the check or definition of table ");
inline const QString kConnectionOfDatabase =
    QStringLiteral("Error during connection of database '");
inline const QString kUpgradeFailedRestoring = QStringLiteral("Update Password Database Failed!") +
                                               QStringLiteral("\r\n") +
                                               QStringLiteral("Automatic restore backup copy!");
inline const QString kUpgradeFailedEnding = QStringLiteral("Update Password database Failed!") +
                                            QStringLiteral("\r\n") +
                                            QStringLiteral("Impossible to continue!");
inline const QString kRestoringError = QStringLiteral("Restoring error: not valid data");
inline const QString kUpgradeSucceeded = QStringLiteral("Password Database successfully updated!");
inline const QString kBackupFileStem = QStringLiteral("Backup PasswordDB Corvista ");
// Closes every message of the upgrade: CR LF + "Database " + database + " on SQL Server " +
// server.
QString UpgradeSubject(const QString& server, const QString& database);
} // namespace texts

// The password database an upgrade works on, the login that reaches it and the data directory
// its backup goes to (ending with "\").
struct UpgradeTarget {
    QString server;
    QString database;
    QString user;
    QString password;
    QString dataDirectory;
};

// The target the settings name, as the window's choice of the catalogue upgrades it.
UpgradeTarget UpgradeTargetFromSettings(const Settings& settings);

// How a run of UpdatePasswordDB ended.
enum class UpgradeResult {
    NothingToDo, // no settings, or a current database: nothing shown
    Upgraded,    // brought to the current version
    Failed,      // a failure was shown; the database may be as the failed step left it
    Restored,    // the upgrade failed and the backup was put back: the program must end
};

// "<directory>Backup PasswordDB Corvista  (06 December 2026, 07 13).dat": two blanks, English
// month names, 24-hour clock.
QString UpgradeBackupFileName(const QString& dataDirectory, const QDateTime& when);

class GestioneDbPassword : public rolefunctionsheet::RightsSource {
public:
    // windowCaption: the main window's caption, which the error titles extend; settings: where
    // VerificaPassword and UpdatePasswordDB find the password database they work on; database:
    // the port every member opens its connections through.
    GestioneDbPassword(UserInterface& ui, QString windowCaption, const Settings& settings,
                       dbport::Provider& database);

    // --- Database: creation, removal, schema (GestioneDbPassword_Database.cpp) ---
    // CREATE DATABASE with data and log file in DirDB (which ends with "\").
    bool CreaDB(const QString& NomeSQLServer, const QString& NomeNewDB, const QString& SQLUserName,
                const QString& SQLPassword, const QString& DirDB);
    // True when a database of that name (any letter case) was listed and dropped.
    bool EraseDB(const QString& NomeSQLServer, const QString& NomeNewDB, const QString& SQLUserName,
                 const QString& SQLPassword);
    // Brings the database to the current schema. On failure CodErr holds the error number with
    // its sign position directly followed by the description.
    bool TestTabellePassword(const QString& NomeSQLServer, const QString& NomeNewDB,
                             const QString& SQLUserName, const QString& SQLPassword,
                             QString& CodErr, const QString& AdminPasswd1);

    // --- Administrator and generic passwords (GestioneDbPassword_Passwords.cpp) ---
    // Against the password database of the settings; any failure is a silent false.
    bool VerificaPassword(const QString& AdminPasswd1);
    bool ModifyAdminPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                           const QString& SQLUserName, const QString& SQLPassword,
                           const QString& Passwd);
    // Report, montage and resource password, deciphered.
    bool ReadGenericPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                           const QString& SQLUserName, const QString& SQLPassword, QString& passwd1,
                           QString& passwd2, QString& passwd3);
    bool ModifyGenericPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                             const QString& SQLUserName, const QString& SQLPassword,
                             const QString& passwd1, const QString& passwd2,
                             const QString& passwd3);

    // --- Users (GestioneDbPassword_Users.cpp): the user record below, keyed by UserName ---
    bool AddUser(const QString& NomeSQLServer, const QString& NomeNewDB, const QString& SQLUserName,
                 const QString& SQLPassword);
    // Rewrites the user's row; afterwards UserPasswd holds the stored cipher text.
    bool ModifyUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                    const QString& SQLUserName, const QString& SQLPassword);
    bool ReadUserInfo(const QString& NomeSQLServer, const QString& NomeNewDB,
                      const QString& SQLUserName, const QString& SQLPassword);
    // True when the user's row was there and the delete ran; "User doesn't exist" otherwise.
    bool EraseUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                   const QString& SQLUserName, const QString& SQLPassword);
    bool EraseUserPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                         const QString& SQLUserName, const QString& SQLPassword,
                         const QString& userName);
    // Appends the user names to what the list holds and selects the first entry.
    void RiempiListaUtenti(const QString& NomeSQLServer, const QString& NomeNewDB,
                           const QString& SQLUserName, const QString& SQLPassword,
                           ListControl& Combo1);
    // The text stored in User_Passwd: the cipher text under the user name; empty stays empty.
    static QString StoredUserPassword(const QString& userName, const QString& password);

    QString UserName;
    QString UserPasswd;
    QString LastName;
    QString FirstName;
    QDate BDate;
    QString Title;
    std::uint8_t Tipo = 0;      // 1 doctor, 0 technician
    std::uint8_t Posizione = 0; // 1 internal, 0 external

    // --- Roles and rights (GestioneDbPassword_Roles.cpp); RoleName is shared with users ---
    bool AddRole(const QString& NomeSQLServer, const QString& NomeNewDB, const QString& SQLUserName,
                 const QString& SQLPassword);
    // Refuses a role that is missing or locked. With `asked`, the users the person agreed to
    // lose, it also refuses when the role's users are no longer those. The users the cascade
    // removed with the role go to `removed`.
    bool EraseRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                   const QString& SQLUserName, const QString& SQLPassword,
                   const QStringList* asked = nullptr, QStringList* removed = nullptr);
    // What deleting a role would take with it.
    struct RoleUsers {
        bool found = false;
        bool locked = false;
        QStringList users; // by name; not read for a locked role
    };
    // Nothing after a failure was shown.
    std::optional<RoleUsers> ReadRoleUsers(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           const QString& roleName);
    // Renames role IDRole to RoleName; refused when another role has that name.
    bool ModifyRoleName(const QString& NomeSQLServer, const QString& NomeNewDB,
                        const QString& SQLUserName, const QString& SQLPassword, int IDRole);
    // True also when there is no such role or it cannot be read.
    bool RoleIsLocked(const QString& NomeSQLServer, const QString& NomeNewDB,
                      const QString& SQLUserName, const QString& SQLPassword,
                      const QString& roleName);
    bool RiempiListaRuoli(const QString& NomeSQLServer, const QString& NomeNewDB,
                          const QString& SQLUserName, const QString& SQLPassword,
                          ListControl& Combo1);
    // Loads the rights matrix; marks already set stay set.
    void FindFunctionsByRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                             const QString& SQLUserName, const QString& SQLPassword,
                             const QString& roleName);
    // Stores the matrix for the role cell by cell; the role's ID_Role, or -1 when nothing ran.
    int ActivateFunctionsByRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                const QString& SQLUserName, const QString& SQLPassword,
                                const QString& roleName);

    // The rights matrix and role name as the role editor reads and writes them.
    int NumeroMacroFunzioni() const override;
    Counts NumeroFunzioni() const override;
    Texts MacroFunzioni() const override;
    TextGrid Funzioni() const override;
    FlagGrid Attivazioni() const override;
    void setAttivazioni(const FlagGrid& ElencoAtt) override;
    QString RoleName() const override;
    void setRoleName(const QString& name) override;

    // --- Upgrade (GestioneDbPassword_Upgrade.cpp) ---
    // On the password database of the settings. True only when an upgrade ran and succeeded;
    // RunUpgrade tells the other endings apart.
    bool UpdatePasswordDB();
    UpgradeResult RunUpgrade();
    // On the given target. It runs when the version row names an older version, or names the
    // current one (or none) while a table, key, foreign key or default function is missing.
    UpgradeResult RunUpgrade(const UpgradeTarget& target);

    // Cipher texts as stored: exact UTF-16 code units, never passed through UTF-8. An empty
    // text raises CipherError (a std::exception).
    static QString Encipher(const QString& key, const QString& text);
    static QString Decipher(const QString& key, const QString& cipherText);
    // Under the fixed key text of the administrator and generic passwords.
    static QString FixedKeyCipher(const QString& text);
    static QString FixedKeyPlain(const QString& cipherText);

protected:
    // TestTabellePassword as one transaction on target (its data directory unused); subject
    // ends each message shown.
    bool buildSchema(const UpgradeTarget& target, QString& CodErr, const QString& AdminPasswd1,
                     const QString& subject);
    // The backup put back after a failed upgrade.
    UpgradeResult restoreBackup(const UpgradeTarget& target, const QString& backupFile,
                                const QString& subject);

    // The failure forms every member shares: critical icon, caption + " - Warning...".
    void showConnectionFailure(long number, const QString& description);
    void showFailure(long number, const QString& description);
    // A message with the application's own title.
    void showPlain(const QString& text, MessageIcon icon);

    // Runs work(dbport::Connection&) on a connection of its own to database. A failure to connect
    // shows the connection message, any later failure (db::Error or std::exception) the
    // generic one; both give `failed`. The connection is closed however work ends.
    template <typename Result, typename Work>
    Result withDatabase(const QString& server, const QString& database, const QString& user,
                        const QString& password, Result failed, Work&& work);

    // The connection opened by withDatabase; throws db::Error.
    static void openDatabase(dbport::Connection& connection, const QString& server,
                             const QString& database, const QString& user, const QString& password);
    // Number and description of a failure that is not the database layer's own.
    static std::pair<long, QString> describe(const std::exception& failure);

    // The rows of select, open for the changes a member makes.
    static std::unique_ptr<dbport::UpdatableRows> updatable(const QString& select,
                                                            dbport::Connection& connection);
    // Throws the layer's "no current row" when no role has that name.
    static int roleIdOf(dbport::Connection& connection, const QString& roleName);

    UserInterface& ui_;
    QString caption_;
    const Settings& settings_;
    RightsMatrix rights_;
    QString roleName_;
    dbport::Provider& database_;
};

template <typename Result, typename Work>
Result GestioneDbPassword::withDatabase(const QString& server, const QString& database,
                                        const QString& user, const QString& password, Result failed,
                                        Work&& work)
{
    std::unique_ptr<dbport::Connection> connection;
    try {
        connection = database_.newConnection();
        openDatabase(*connection, server, database, user, password);
    } catch (const db::Error& error) {
        showConnectionFailure(error.number(), error.description());
        return failed;
    }
    try {
        Result result = work(*connection);
        connection->close();
        return result;
    } catch (const db::Error& error) {
        dbport::CloseAfterFailure(connection.get());
        showFailure(error.number(), error.description());
    } catch (const std::exception& other) {
        dbport::CloseAfterFailure(connection.get());
        const auto [number, description] = describe(other);
        showFailure(number, description);
    }
    return failed;
}

} // namespace sqllumo::password
