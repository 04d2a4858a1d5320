// The users of the clinical application: added, changed, read, listed and removed, each
// password stored as cipher text under the user's own name.
#include "GestioneDbPassword.h"

#include "UserRoleStatements.h"

#include "Recordset.h"

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

int GestioneDbPassword::roleIdOf(db::Connection& connection, const QString& roleName)
{
    // A name that names no role has no first row: the layer's "no current row" error.
    db::Recordset role = connection.query(statements::RoleIdByName(roleName));
    const int id = role.value(0).toInt();
    role.close();
    return id;
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
                        [&](db::Connection& c) {
                            const int roleId = roleIdOf(c, RoleName());
                            db::Recordset users = updatable(statements::UserByName(UserName), c);
                            if (!users.eof()) {
                                ui_.showMessage(accessMessage(texts::kUserAlreadyPresent));
                                users.close();
                                return false;
                            }
                            const QString stored = StoredUserPassword(UserName, UserPasswd);
                            users.addNew();
                            users.field(kUserName) = UserName;
                            users.field(kUserPasswd) = stored;
                            users.field(kLastName) = LastName;
                            users.field(kFirstName) = FirstName;
                            users.field(kBirthDate) = storedBirthDate(BDate);
                            users.field(kTitle) = Title;
                            users.field(kAccessType) = roleId;
                            users.field(kDocTech) = Tipo != 0;
                            users.field(kIntExt) = Posizione != 0;
                            users.field(kFree) = QString();
                            users.update();
                            users.close();
                            return true;
                        });
}

bool GestioneDbPassword::ModifyUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                                    const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            const int roleId = roleIdOf(c, RoleName());
                            db::Recordset users = updatable(statements::UserByName(UserName), c);
                            UserPasswd = StoredUserPassword(UserName, UserPasswd);
                            // A user removed meanwhile has no row to rewrite: the layer's "no
                            // current row".
                            users.field(kUserName) = UserName;
                            users.field(kUserPasswd) = UserPasswd;
                            users.field(kLastName) = LastName;
                            users.field(kFirstName) = FirstName;
                            users.field(kTitle) = Title;
                            users.field(kBirthDate) = storedBirthDate(BDate);
                            users.field(kDocTech) = Tipo != 0;
                            users.field(kAccessType) = roleId;
                            users.field(kIntExt) = Posizione != 0;
                            users.update();
                            users.close();
                            return true;
                        });
}

bool GestioneDbPassword::ReadUserInfo(const QString& NomeSQLServer, const QString& NomeNewDB,
                                      const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            db::Recordset user = c.query(statements::UserByName(UserName));
                            if (user.eof()) {
                                ui_.showMessage(accessMessage(texts::kUserDoesNotExist));
                                user.close();
                                return false;
                            }
                            UserName = user.value(kUserName).toString();
                            const QString stored = user.value(kUserPasswd).toString();
                            UserPasswd = stored.isEmpty() ? QString() : Decipher(UserName, stored);
                            LastName = user.value(kLastName).toString();
                            FirstName = user.value(kFirstName).toString();
                            Title = user.value(kTitle).toString();
                            BDate = user.value(kBirthDate).toDateTime().date();
                            Posizione = user.value(kIntExt).toBool() ? 1 : 0;
                            const int roleId = user.value(kAccessType).toInt();
                            Tipo = user.value(kDocTech).toBool() ? 1 : 0;
                            user.close();
                            db::Recordset role = c.query(statements::RoleNameById(roleId));
                            setRoleName(role.value(0).toString());
                            role.close();
                            return true;
                        });
}

bool GestioneDbPassword::EraseUser(const QString& NomeSQLServer, const QString& NomeNewDB,
                                   const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            c.execute(statements::DeleteUser(UserName));
                            return true;
                        });
}

bool GestioneDbPassword::EraseUserPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                         const QString& SQLUserName, const QString& SQLPassword,
                                         const QString& userName)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            db::Recordset user = updatable(statements::UserByName(userName), c);
                            if (user.eof()) {
                                ui_.showMessage(accessMessage(texts::kUserDoesNotExist));
                                user.close();
                                return false;
                            }
                            user.field(kUserPasswd) = QString();
                            user.update();
                            user.close();
                            return true;
                        });
}

void GestioneDbPassword::RiempiListaUtenti(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           ListControl& Combo1)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return;
    withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](db::Connection& c) {
        db::Recordset users = c.query(statements::AllUsers());
        for (; !users.eof(); users.moveNext())
            Combo1.AddItem(users.value(0).toString());
        users.close();
        if (Combo1.ListCount() > 0)
            Combo1.setListIndex(0);
        return true;
    });
}

} // namespace sqllumo::password
