// Opening, using and closing one ODBC connection; its statements run through the shared Session.
#include "Connection.h"

#include "ConnectionString.h"
#include "Recordset.h"
#include "Session.h"
#include "TransportCheck.h"
#include "UpdateBatch.h"

namespace sqllumo::db {

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::open(const QString& connectionString)
{
    const auto parsed = ParseProgramConnectionString(connectionString);
    if (!parsed)
        throw Error(kInvalidArgument,
                    QStringLiteral("The connection string is not one this program makes."));
    const dbport::TransportSecurity security = dbport::CurrentTransportSecurity();
    const ServerAddress address = ParseServerName(parsed->server);
    // Messages name the server as the driver's string would.
    const QString server =
        address.port != 0 ? address.host + QLatin1Char(',') + QString::number(address.port)
        : address.instance.isEmpty() ? address.host
                                     : address.host + QLatin1Char('\\') + address.instance;
    const QString section =
        security.caFile.isEmpty() ? QString() : DriverSectionFor(security.caFile, address);
    const QString odbc = OdbcConnectionString(*parsed, security, section);
    close();
    auto session = std::make_shared<detail::Session>();
    session->connect(odbc, parsed->integratedSecurity, kLoginTimeout, security, server);
    session_ = std::move(session);
    encryption_ = security.encryption;
}

dbport::TransportState Connection::transport()
{
    if (!isOpen())
        throw Error(kClosedObject, texts::kClosedObject);
    QString encryptOption;
    try {
        const detail::BatchResult result = session_->run(kSessionEncryptOption, commandTimeout_);
        if (!result.sets.empty() && !result.sets.front().rows.empty() &&
            !result.sets.front().rows.front().empty())
            encryptOption = result.sets.front().rows.front().front().toString();
    } catch (const Error&) {
        // A login without VIEW SERVER STATE, or a server without the view: judged without it.
    }
    dbport::EncryptionOffer offer = dbport::EncryptionOffer::Unknown;
    if (encryption_ == dbport::Encryption::Request &&
        encryptOption.trimmed().compare(QLatin1String("TRUE"), Qt::CaseInsensitive) != 0)
        offer = ProbeEncryptionOffer(session_->server());
    return dbport::JudgeTransport(encryption_, encryptOption, offer);
}

bool Connection::isOpen() const
{
    return session_ && session_->connected();
}

void Connection::setCommandTimeout(int seconds)
{
    commandTimeout_ = std::max(0, seconds);
}

int Connection::commandTimeout() const
{
    return commandTimeout_;
}

long long Connection::execute(const QString& statement)
{
    if (!isOpen())
        throw Error(kClosedObject, texts::kClosedObject);
    // A statement may change what a table looks like; descriptions are read again after it.
    const QString head = statement.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    if (head != QLatin1String("INSERT") && head != QLatin1String("UPDATE") &&
        head != QLatin1String("DELETE") && head != QLatin1String("SELECT"))
        session_->forgetTables();
    const detail::BatchResult result = session_->run(statement, commandTimeout_);
    return result.rowCounts.empty() ? -1 : result.rowCounts.back();
}

void Connection::executeAtomically(const QStringList& statements)
{
    if (!isOpen())
        throw Error(kClosedObject, texts::kClosedObject);
    detail::SendAtomically(*session_, statements, commandTimeout_);
}

Recordset Connection::query(const QString& statement)
{
    Recordset rs;
    rs.open(statement, *this, CursorType::Static, LockType::ReadOnly);
    return rs;
}

void Connection::close()
{
    // Recordsets that share the session see it closed and refuse further work with 3704.
    if (session_) {
        session_->disconnect();
        closedBatches_ += session_->batchesSent();
    }
    session_.reset();
}

long long Connection::batchesSent() const
{
    return closedBatches_ + (session_ ? session_->batchesSent() : 0);
}

std::shared_ptr<detail::Session> Connection::session() const
{
    return session_;
}

} // namespace sqllumo::db
