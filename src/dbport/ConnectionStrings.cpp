// Building the program's connection strings for SQL Server and for integrated security.
#include "ConnectionStrings.h"

namespace sqllumo {

QString BuildConnectionString(const QString& server, const QString& database, const QString& user,
                              const QString& password)
{
    if (!user.isEmpty() || !password.isEmpty()) {
        return QStringLiteral("Provider=SQLOLEDB.1;") + QStringLiteral("Initial Catalog=") +
               database + QStringLiteral(";Data Source=") + server + QStringLiteral(";") +
               QStringLiteral("User ID=") + user + QStringLiteral(";") +
               QStringLiteral("Password=") + password;
    }
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;") +
           QStringLiteral("Initial Catalog=") + database + QStringLiteral(";Data Source=") + server;
}

QString AccessSourceString(const QString& accessFilePath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;") +
           QStringLiteral("Data Source=") + accessFilePath;
}

QString SQLConvertString(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return out;
}

} // namespace sqllumo
