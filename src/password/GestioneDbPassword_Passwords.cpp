// The network administrator password and the three generic passwords: checked, read and
// replaced, always as cipher texts under the fixed key text.
#include "GestioneDbPassword.h"

#include "ConnectionStrings.h"
#include "Settings.h"

#include "Recordset.h"

namespace sqllumo::password {

namespace {

const QString kAdminTable = QStringLiteral("T_AdminPassword");
const QString kAdminSelect = QStringLiteral("SELECT * FROM T_AdminPassword");
const QString kAdminField = QStringLiteral("Admin_Passwd");
const QString kGenericSelect = QStringLiteral("SELECT * FROM T_GenPasswords");
const QString kReportField = QStringLiteral("Report_Passwd");
const QString kMontageField = QStringLiteral("Montage_Passwd");
const QString kResourceField = QStringLiteral("Resource_Passwd");

} // namespace

bool GestioneDbPassword::VerificaPassword(const QString& AdminPasswd1)
{
    try {
        const Settings& settings = settings_;
        const QString expected = FixedKeyCipher(AdminPasswd1);
        db::Recordset admin;
        admin.open(kAdminTable,
                   BuildConnectionString(settings.value(settingkeys::kSQLServerName),
                                         settings.value(settingkeys::kPasswdDatabaseName),
                                         settings.value(settingkeys::kSQLUserName),
                                         settings.value(settingkeys::kSQLPassword)));
        bool accepted = false;
        for (; !accepted && !admin.eof(); admin.moveNext())
            accepted = admin.value(kAdminField).toString() == expected;
        admin.close();
        return accepted;
    } catch (const std::exception&) {
        // A wrong password and an unreachable database look the same to the caller.
        return false;
    }
}

bool GestioneDbPassword::ModifyAdminPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           const QString& Passwd)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& connection) {
                            db::Recordset admin = updatable(kAdminSelect, connection);
                            // Only the first row changes; an empty table has none to change.
                            admin.field(kAdminField) = FixedKeyCipher(Passwd);
                            admin.update();
                            admin.close();
                            return true;
                        });
}

bool GestioneDbPassword::ReadGenericPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           QString& passwd1, QString& passwd2, QString& passwd3)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& connection) {
                            db::Recordset generic = connection.query(kGenericSelect);
                            const QString report = generic.value(kReportField).toString();
                            const QString montage = generic.value(kMontageField).toString();
                            const QString resource = generic.value(kResourceField).toString();
                            generic.close();
                            passwd1 = FixedKeyPlain(report);
                            passwd2 = FixedKeyPlain(montage);
                            passwd3 = FixedKeyPlain(resource);
                            return true;
                        });
}

bool GestioneDbPassword::ModifyGenericPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                             const QString& SQLUserName, const QString& SQLPassword,
                                             const QString& passwd1, const QString& passwd2,
                                             const QString& passwd3)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& connection) {
                            db::Recordset generic = updatable(kGenericSelect, connection);
                            generic.field(kReportField) = FixedKeyCipher(passwd1);
                            generic.field(kMontageField) = FixedKeyCipher(passwd2);
                            generic.field(kResourceField) = FixedKeyCipher(passwd3);
                            generic.update();
                            generic.close();
                            return true;
                        });
}

} // namespace sqllumo::password
