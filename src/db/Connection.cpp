// Opening, using and closing one ODBC connection; its statements run through the shared Session.
#include "Connection.h"

#include "ConnectionString.h"
#include "Recordset.h"
#include "Session.h"
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
    openOdbc(OdbcConnectionString(*parsed), parsed->integratedSecurity);
}

void Connection::openOdbc(const QString& odbcConnectionString, bool integratedSecurity)
{
    close();
    auto session = std::make_shared<detail::Session>();
    session->connect(odbcConnectionString, integratedSecurity, kLoginTimeout);
    session_ = std::move(session);
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
