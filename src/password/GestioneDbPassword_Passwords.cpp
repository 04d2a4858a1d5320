// The network administrator password and the three generic passwords: checked, read and
// replaced, always as cipher texts under the fixed key text.
#include "GestioneDbPassword.h"

#include "ConnectionStrings.h"
#include "Settings.h"

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
        const std::unique_ptr<dbport::Connection> connection = database_.newConnection();
        connection->open(BuildConnectionString(settings.value(settingkeys::kSQLServerName),
                                               settings.value(settingkeys::kPasswdDatabaseName),
                                               settings.value(settingkeys::kSQLUserName),
                                               settings.value(settingkeys::kSQLPassword)));
        const dbport::ResultSet admin = connection->query(kAdminTable);
        bool accepted = false;
        for (size_t row = 0; !accepted && row < admin.rowCount(); ++row)
            accepted = admin.text(row, kAdminField) == expected;
        connection->close();
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
                        [&](dbport::Connection& connection) {
                            auto admin = updatable(kAdminSelect, connection);
                            // Only the first row changes; an empty table has none to change.
                            admin->setValue(kAdminField, FixedKeyCipher(Passwd));
                            admin->update();
                            admin->close();
                            return true;
                        });
}

bool GestioneDbPassword::ReadGenericPasswd(const QString& NomeSQLServer, const QString& NomeNewDB,
                                           const QString& SQLUserName, const QString& SQLPassword,
                                           QString& passwd1, QString& passwd2, QString& passwd3)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& connection) {
                            const dbport::ResultSet generic = connection.query(kGenericSelect);
                            const QString report = generic.text(0, kReportField);
                            const QString montage = generic.text(0, kMontageField);
                            const QString resource = generic.text(0, kResourceField);
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
                        [&](dbport::Connection& connection) {
                            auto generic = updatable(kGenericSelect, connection);
                            generic->setValue(kReportField, FixedKeyCipher(passwd1));
                            generic->setValue(kMontageField, FixedKeyCipher(passwd2));
                            generic->setValue(kResourceField, FixedKeyCipher(passwd3));
                            generic->update();
                            generic->close();
                            return true;
                        });
}

} // namespace sqllumo::password
