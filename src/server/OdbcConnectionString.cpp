#include "OdbcConnectionString.h"

namespace sqllumo::server {

namespace {
const QString kSqlAuthHead = QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=");
const QString kIntegratedHead = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=");
const QString kDataSource = QStringLiteral(";Data Source=");
const QString kUserId = QStringLiteral(";User ID=");
const QString kPassword = QStringLiteral(";Password=");

QString odbcServer(QString server)
{
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server.remove(0, 4);
    // "(local)" and "." name this machine, with or without an instance or port after them.
    for (const QString& local : {QStringLiteral("(local)"), QStringLiteral(".")}) {
        if (server.compare(local, Qt::CaseInsensitive) == 0
            || server.startsWith(local + QLatin1Char('\\'), Qt::CaseInsensitive)
            || server.startsWith(local + QLatin1Char(','), Qt::CaseInsensitive))
            return QStringLiteral("127.0.0.1") + server.mid(local.size());
    }
    return server;
}
} // namespace

std::optional<ProgramConnection> ParseProgramConnectionString(const QString& text)
{
    // Server names never hold ";", so the server is the piece after the last source marker;
    // the password is the last piece and is taken whole.
    ProgramConnection c;
    if (text.startsWith(kIntegratedHead)) {
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

QString BracedOdbcValue(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString OdbcConnectionString(const ProgramConnection& c)
{
    QString s = QStringLiteral("Driver={FreeTDS};Server=") + BracedOdbcValue(odbcServer(c.server));
    if (!c.database.isEmpty())
        s += QStringLiteral(";Database=") + BracedOdbcValue(c.database);
    if (c.integratedSecurity)
        s += QStringLiteral(";Trusted_Connection=Yes");
    else
        s += QStringLiteral(";UID=") + BracedOdbcValue(c.user) + QStringLiteral(";PWD=")
           + BracedOdbcValue(c.password);
    return s + QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
}

} // namespace sqllumo::server
