// Parsing the program's connection strings and building the FreeTDS ODBC string from them.
#include "ConnectionString.h"

namespace sqllumo::db {

namespace {
const QString kSqlAuthHead = QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=");
const QString kIntegratedHead = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=");
const QString kDataSource = QStringLiteral(";Data Source=");
const QString kUserId = QStringLiteral(";User ID=");
const QString kPassword = QStringLiteral(";Password=");

[[noreturn]] void invalid(const QString& why)
{
    throw Error(kInvalidArgument, why);
}
} // namespace

std::optional<ProgramConnection> ParseProgramConnectionString(const QString& text)
{
    ProgramConnection c;
    if (text.startsWith(kIntegratedHead)) {
        // Server names never hold ";Data Source=", so the last one starts the server.
        const qsizetype source = text.lastIndexOf(kDataSource);
        if (source < kIntegratedHead.size())
            return std::nullopt;
        c.integratedSecurity = true;
        c.database = text.mid(kIntegratedHead.size(), source - kIntegratedHead.size());
        c.server = text.mid(source + kDataSource.size());
        return c;
    }
    if (!text.startsWith(kSqlAuthHead))
        return std::nullopt;
    const qsizetype user = text.indexOf(kUserId, kSqlAuthHead.size());
    if (user < 0)
        return std::nullopt;
    const qsizetype source = text.lastIndexOf(kDataSource, user);
    if (source < kSqlAuthHead.size())
        return std::nullopt;
    const qsizetype password = text.indexOf(kPassword, user + kUserId.size());
    if (password < 0)
        return std::nullopt;
    c.database = text.mid(kSqlAuthHead.size(), source - kSqlAuthHead.size());
    c.server = text.mid(source + kDataSource.size(), user - source - kDataSource.size());
    c.user = text.mid(user + kUserId.size(), password - user - kUserId.size());
    c.password = text.mid(password + kPassword.size());
    return c;
}

ServerAddress ParseServerName(const QString& server)
{
    ServerAddress address;
    QString name = server.trimmed();
    if (name.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        name.remove(0, 4);
    const qsizetype comma = name.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        bool ok = false;
        const int port = name.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            invalid(QStringLiteral("The server name \"%1\" has no valid port after the comma.")
                        .arg(server));
        address.port = port;
        name.truncate(comma);
    }
    const qsizetype backslash = name.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        address.instance = name.mid(backslash + 1).trimmed();
        name.truncate(backslash);
    }
    name = name.trimmed();
    if (name.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0 ||
        name == QLatin1String(".") ||
        name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        name = QStringLiteral("127.0.0.1");
    if (name.isEmpty())
        invalid(QStringLiteral("No server name was given."));
    address.host = name;
    return address;
}

QString BracedOdbcValue(const QString& value, const QString& what)
{
    if (value.contains(QLatin1String("};")) || value.contains(QChar(u'\0')))
        invalid(QStringLiteral("The %1 contains \"};\" or a NUL character, which the ODBC driver "
                               "cannot take in a connection string; please change it.")
                    .arg(what));
    return QLatin1Char('{') + value + QLatin1Char('}');
}

QString OdbcConnectionString(const ProgramConnection& c, const dbport::TransportSecurity& security,
                             const QString& driverSection)
{
    if (!security.invalidEncryption.isEmpty())
        invalid(dbport::InvalidEncryptionMessage(security.invalidEncryption));
    const ServerAddress address = ParseServerName(c.server);
    // A port names the listener outright; an instance is found through the server's browser.
    const QString server = address.instance.isEmpty() || address.port != 0
                               ? address.host
                               : address.host + QLatin1Char('\\') + address.instance;
    QString s = QStringLiteral("Driver={FreeTDS};");
    if (!driverSection.isEmpty()) {
        s += QStringLiteral("Servername=") +
             BracedOdbcValue(driverSection, QStringLiteral("server section"));
    } else {
        s += QStringLiteral("Server=") + BracedOdbcValue(server, QStringLiteral("server name"));
        if (address.port != 0)
            s += QStringLiteral(";Port=") + QString::number(address.port);
    }
    if (!c.database.isEmpty())
        s += QStringLiteral(";Database=") +
             BracedOdbcValue(c.database, QStringLiteral("database name"));
    if (c.integratedSecurity)
        s += QStringLiteral(";Trusted_Connection=Yes");
    else
        s += QStringLiteral(";UID=") + BracedOdbcValue(c.user, QStringLiteral("user name")) +
             QStringLiteral(";PWD=") + BracedOdbcValue(c.password, QStringLiteral("password"));
    s += QStringLiteral(";Encryption=") + dbport::EncryptionName(security.encryption);
    if (!security.caFile.isEmpty())
        s += QStringLiteral(";ServerCertificate=") +
             BracedOdbcValue(security.caFile, QStringLiteral("CA file name"));
    // A braced value must not be the last piece: FreeTDS reads a closing "}" at the very end
    // as part of the value.
    return s + QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
}

QString OdbcConnectionString(const ProgramConnection& c)
{
    return OdbcConnectionString(c, dbport::CurrentTransportSecurity());
}

QString ConnectionStringWithoutPassword(const QString& connectionString)
{
    static const QString kMask = QStringLiteral("****");
    if (const auto parsed = ParseProgramConnectionString(connectionString)) {
        if (parsed->integratedSecurity)
            return connectionString;
        // The password runs to the end of the string.
        return connectionString.left(connectionString.size() - parsed->password.size()) + kMask;
    }
    for (const QString& key : {QStringLiteral("Password="), QStringLiteral("PWD=")}) {
        const qsizetype at = connectionString.indexOf(key, 0, Qt::CaseInsensitive);
        if (at >= 0)
            return connectionString.left(at + key.size()) + kMask;
    }
    return connectionString;
}

QString MapConnectionString(const QString& programConnectionString)
{
    const auto parsed = ParseProgramConnectionString(programConnectionString);
    if (!parsed)
        invalid(QStringLiteral("The connection string is not one this program makes."));
    return OdbcConnectionString(*parsed);
}

} // namespace sqllumo::db
