// The users of the clinical application: added, changed, read, listed and removed, each
// password stored as cipher text under the user's own name.
#include "GestioneDbPassword.h"

#include "UserRoleStatements.h"

namespace sqllumo::password {

namespace {

const QString kUserName = QStringLiteral("User_Name");
const QString kUserPasswd = QStringLiteral("User_Passwd");
const QString kLastName = QStringLiteral("L_Name");
const QString kFirstName = QStringLiteral("F_Name");
const QString kBirthDate = QStringLiteral("B_Date");
const QString kTitle = QStringLiteral("Title");
const QString kAccessType = QStringLiteral("Access_Type");
const QString kDocTech = QStringLiteral("Doc_Tech");
const QString kIntExt = QStringLiteral("Int_Ext");
const QString kFree = QStringLiteral("Free");

// The column is NOT NULL; a user without a known birth date gets today's, as the dialog
// hands over when no date was chosen.
QDateTime storedBirthDate(const QDate& date)
{
    return QDateTime(date.isValid() ? date : QDate::currentDate(), QTime(0, 0), Qt::UTC);
}

} // namespace

int GestioneDbPassword::roleIdOf(dbport::Connection& connection, const QString& roleName)
{
    // A name that names no role has no first row: the layer's "no current row" error.
    return connection.query(statements::RoleIdByName(roleName)).value(0, 0).toInt();
}

QString GestioneDbPassword::StoredUserPassword(const QString& userName, const QString& password)
{
    // An empty password is stored empty: the user has none (the cipher takes no empty text).
    return password.isEmpty() ? QString() : Encipher(userName, password);
}

bool GestioneDbPassword::AddUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                                 const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            const int roleId = roleIdOf(c, RoleName());
                            auto users = updatable(statements::UserByName(UserName), c);
                            if (!users->eof()) {
                                ui_.showMessage(accessMessage(texts::kUserAlreadyPresent));
                                users->close();
                                return false;
                            }
                            const QString stored = StoredUserPassword(UserName, UserPasswd);
                            users->addNew();
                            users->setValue(kUserName, UserName);
                            users->setValue(kUserPasswd, stored);
                            users->setValue(kLastName, LastName);
                            users->setValue(kFirstName, FirstName);
                            users->setValue(kBirthDate, storedBirthDate(BDate));
                            users->setValue(kTitle, Title);
                            users->setValue(kAccessType, roleId);
                            users->setValue(kDocTech, Tipo != 0);
                            users->setValue(kIntExt, Posizione != 0);
                            users->setValue(kFree, QString());
                            users->update();
                            users->close();
                            return true;
                        });
}

bool GestioneDbPassword::ModifyUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                                    const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            const int roleId = roleIdOf(c, RoleName());
                            auto users = updatable(statements::UserByName(UserName), c);
                            UserPasswd = StoredUserPassword(UserName, UserPasswd);
                            // A user removed meanwhile has no row to rewrite: the layer's "no
                            // current row".
                            users->setValue(kUserName, UserName);
                            users->setValue(kUserPasswd, UserPasswd);
                            users->setValue(kLastName, LastName);
                            users->setValue(kFirstName, FirstName);
                            users->setValue(kTitle, Title);
                            users->setValue(kBirthDate, storedBirthDate(BDate));
                            users->setValue(kDocTech, Tipo != 0);
                            users->setValue(kAccessType, roleId);
                            users->setValue(kIntExt, Posizione != 0);
                            users->update();
                            users->close();
                            return true;
                        });
}

bool GestioneDbPassword::ReadUserInfo(const QString& NomeSQLServer, const QString& NomeNewDB,
                                      const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](dbport::Connection& c) {
            const dbport::ResultSet user = c.query(statements::UserByName(UserName));
            if (user.isEmpty()) {
                ui_.showMessage(accessMessage(texts::kUserDoesNotExist));
                return false;
            }
            UserName = user.text(0, kUserName);
            const QString stored = user.text(0, kUserPasswd);
            UserPasswd = stored.isEmpty() ? QString() : Decipher(UserName, stored);
            LastName = user.text(0, kLastName);
            FirstName = user.text(0, kFirstName);
            Title = user.text(0, kTitle);
            BDate = user.value(0, kBirthDate).toDateTime().date();
            Posizione = user.value(0, kIntExt).toBool() ? 1 : 0;
            const int roleId = user.value(0, kAccessType).toInt();
            Tipo = user.value(0, kDocTech).toBool() ? 1 : 0;
            const dbport::ResultSet role = c.query(statements::RoleNameById(roleId));
            setRoleName(role.value(0, 0).toString());
            return true;
        });
}

bool GestioneDbPassword::EraseUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                                   const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            // A user removed meanwhile is not reported as removed now.
                            if (c.query(statements::UserByName(UserName)).isEmpty()) {
                                ui_.showMessage(accessMessage(texts::kUserDoesNotExist));
                                return false;
                            }
                            c.execute(statements::DeleteUser(UserName));
                            return true;
                        });
}

bool GestioneDbPassword::EraseUserPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                         const QString& SQLUserName, const QString& SQLPassword,
                                         const QString& userName)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            auto user = updatable(statements::UserByName(userName), c);
                            if (user->eof()) {
                                ui_.showMessage(accessMessage(texts::kUserDoesNotExist));
                                user->close();
                                return false;
                            }
                            user->setValue(kUserPasswd, QString());
                            user->update();
                            user->close();
                            return true;
                        });
}

void GestioneDbPassword::RiempiListaUtenti(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           ListControl& Combo1)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return;
    withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                 [&](dbport::Connection& c) {
                     const dbport::ResultSet users = c.query(statements::AllUsers());
                     for (size_t row = 0; row < users.rowCount(); ++row)
                         Combo1.AddItem(users.value(row, 0).toString());
                     if (Combo1.ListCount() > 0)
                         Combo1.setListIndex(0);
                     return true;
                 });
}

} // namespace sqllumo::password
