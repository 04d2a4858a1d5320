// The ODBC calls behind a connection: connecting, running statements to the end of their
// results, reading rows and diagnostics, and turning failures into db::Error.
#include "Session.h"

#include "SelectStatement.h"
#include "SqlText.h"
#include "SqlTypes.h"
#include "TransportCheck.h"

#include <QDateTime>
#include <QFileInfo>

#include <netdb.h>
#include <poll.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <mutex>

namespace sqllumo::db::detail {

namespace {

bool succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLWCHAR* wide(const QString& text)
{
    return const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(text.utf16()));
}

QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString(reinterpret_cast<const QChar*>(text), length);
}

// The process's one ODBC environment, freed when the process ends.
class Environment {
public:
    Environment()
    {
        if (succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)))
            SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                          0);
        else
            env_ = SQL_NULL_HENV;
    }
    ~Environment()
    {
        if (env_ != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    SQLHENV handle() const { return env_; }

private:
    SQLHENV env_ = SQL_NULL_HENV;
};

SQLHENV environment()
{
    static Environment env;
    if (env.handle() == SQL_NULL_HENV)
        throw Error(kConnectionFailed,
                    QStringLiteral("The ODBC environment could not be created."));
    return env.handle();
}

struct Diagnostic {
    QString state;
    long native = 0;
    QString message;
};

std::vector<Diagnostic> diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    std::vector<Diagnostic> found;
    for (SQLSMALLINT record = 1; record < 64; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[4096] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                            static_cast<SQLSMALLINT>(std::size(message)), &length);
        if (!succeeded(rc))
            break;
        const qsizetype got = std::clamp<qsizetype>(length, 0, std::size(message) - 1);
        found.push_back({fromWide(state, 5), static_cast<long>(native),
                         WithoutDriverPrefixes(fromWide(message, got)).trimmed()});
    }
    return found;
}

// FreeTDS numbers its own (client-side) messages from 20000 up; the server's are others.
bool fromDriver(const Diagnostic& d)
{
    return d.native == 0 || (d.native >= 20000 && d.native < 21000);
}

// The record that says best what went wrong: the server's own error, else the driver's
// most specific message ("connection failed" alone says nothing).
const Diagnostic* chosen(const std::vector<Diagnostic>& all)
{
    for (const auto& d : all)
        if (!fromDriver(d) && !d.state.startsWith(QLatin1String("01")))
            return &d;
    for (const auto& d : all)
        if (!fromDriver(d))
            return &d;
    for (const auto& d : all)
        if (d.native != 0 && d.native != 20002)
            return &d;
    return all.empty() ? nullptr : &all.front();
}

// Why a connection to `server` ("host,port", "host\instance", "host") could not be made,
// found by trying it once more by hand: the driver only says that it failed.
QString DescribeConnectFailure(const QString& server)
{
    const QString generic = QStringLiteral("could not connect to %1").arg(server);
    const auto [host, portNumber] = HostAndPort(server);
    if (portNumber == 0)
        return generic; // found through the server's browser, which the driver asked
    const QString port = QString::number(portNumber);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup =
        ::getaddrinfo(host.toUtf8().constData(), port.toUtf8().constData(), &hints, &found);
    if (lookup == EAI_NONAME || lookup == EAI_NODATA)
        return QStringLiteral("no server named %1 is known").arg(host);
    if (lookup != 0 || !found)
        return generic;
    int error = ETIMEDOUT;
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        if (::connect(fd, found->ai_addr, found->ai_addrlen) == 0) {
            error = 0;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 3000) > 0) {
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            }
        } else {
            error = errno;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    switch (error) {
    case 0:
        return QStringLiteral("%1 took the connection but ended it during login").arg(server);
    case ECONNREFUSED:
        return QStringLiteral("connection refused by %1").arg(server);
    case ETIMEDOUT:
        return QStringLiteral("no answer from %1").arg(server);
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("%1 cannot be reached from this computer").arg(server);
    default:
        return generic;
    }
}

// Where a failure happened, so that its description can name the server and the stage.
struct Stage {
    bool connecting = false;
    QString server;
    int seconds = 0;      // the time-out that applied
    bool dropped = false; // the watch shut the connection down
};

QString noAnswer(const Stage& stage)
{
    return QStringLiteral("no answer from %1%2 within %3 s")
        .arg(stage.server, stage.connecting ? QStringLiteral(" during login") : QString())
        .arg(stage.seconds);
}

[[noreturn]] void raise(SQLSMALLINT type, SQLHANDLE handle, const Stage& stage)
{
    const auto all = diagnostics(type, handle);
    const Diagnostic* d = chosen(all);
    const QString message =
        d ? d->message : QStringLiteral("The ODBC driver reported a failure without a message.");
    const QString state = d ? d->state : QString();
    const long native = d && !fromDriver(*d) ? d->native : 0;
    if (stage.dropped)
        throw Error(kQueryTimeout,
                    texts::kTimeoutExpired + QStringLiteral(" (") + noAnswer(stage) +
                        QStringLiteral("; the connection was closed)"),
                    0, QStringLiteral("HYT00"));
    if (state == QLatin1String("HYT00") || state == QLatin1String("HYT01"))
        throw Error(stage.connecting ? kConnectionFailed : kQueryTimeout,
                    message + QStringLiteral(" (") + noAnswer(stage) + QLatin1Char(')'), native,
                    state);
    // The server's own refusals (a wrong password, an unknown database) say enough; the
    // driver's do not say where it failed.
    if (stage.connecting && native == 0)
        throw Error(kConnectionFailed,
                    message + QStringLiteral(" (") + DescribeConnectFailure(stage.server) +
                        QLatin1Char(')'),
                    native, state);
    if (stage.connecting || state.startsWith(QLatin1String("08")) ||
        state == QLatin1String("28000"))
        throw Error(kConnectionFailed, message, native, state);
    if (native == 208)
        throw Error(kMissingTable, message, native, state);
    throw Error(kServerError, message, native, state);
}

// Closes its cursor and frees itself on every path.
class Statement {
public:
    Statement(SQLHDBC dbc, int timeoutSeconds, StatementWatch& watch, const QString& server)
        : watch_(watch), server_(server), timeout_(std::max(0, timeoutSeconds))
    {
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
            stmt_ = SQL_NULL_HSTMT;
            raise(SQL_HANDLE_DBC, dbc, Stage{false, server_, timeout_, false});
        }
        SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_)), 0);
    }
    ~Statement()
    {
        watch_.statementEnds();
        if (stmt_ != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle() const { return stmt_; }
    // Before each call that may wait for the server.
    void waits() const { watch_.callStarts(timeout_); }
    [[noreturn]] void fail() const
    {
        raise(SQL_HANDLE_STMT, stmt_, Stage{false, server_, timeout_, watch_.dropped()});
    }

private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    StatementWatch& watch_;
    const QString& server_;
    int timeout_;
};

QByteArray readBinary(const Statement& stmt, SQLUSMALLINT column, bool& isNull)
{
    QByteArray bytes;
    char buffer[8192];
    isNull = false;
    for (;;) {
        SQLLEN indicator = 0;
        stmt.waits();
        const SQLRETURN rc =
            SQLGetData(stmt.handle(), column, SQL_C_BINARY, buffer, sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            stmt.fail();
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
        }
        const SQLLEN got =
            (indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof(buffer)))
                ? static_cast<SQLLEN>(sizeof(buffer))
                : indicator;
        bytes.append(buffer, got);
        if (rc == SQL_SUCCESS)
            break;
    }
    return bytes;
}

QString readText(const Statement& stmt, SQLUSMALLINT column, bool& isNull)
{
    QString text;
    SQLWCHAR buffer[4096];
    isNull = false;
    const SQLLEN capacity = static_cast<SQLLEN>(std::size(buffer)) - 1; // room for the NUL
    for (;;) {
        SQLLEN indicator = 0;
        stmt.waits();
        const SQLRETURN rc =
            SQLGetData(stmt.handle(), column, SQL_C_WCHAR, buffer, sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            stmt.fail();
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
        }
        const SQLLEN units =
            indicator == SQL_NO_TOTAL
                ? capacity
                : std::min(capacity, indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR)));
        text += fromWide(buffer, units);
        if (rc == SQL_SUCCESS)
            break;
    }
    return text;
}

// One reader per codec of the type table, in the order of ValueCodec.
using ValueReader = QVariant (*)(const Statement&, SQLUSMALLINT);

// False for NULL.
template <typename T>
bool readFixed(const Statement& stmt, SQLUSMALLINT column, SQLSMALLINT cType, T& value)
{
    SQLLEN indicator = 0;
    if (!succeeded(SQLGetData(stmt.handle(), column, cType, &value, sizeof value, &indicator)))
        stmt.fail();
    return indicator != SQL_NULL_DATA;
}

QVariant readInteger(const Statement& stmt, SQLUSMALLINT column)
{
    SQLINTEGER v = 0;
    return readFixed(stmt, column, SQL_C_SLONG, v) ? QVariant(static_cast<int>(v)) : QVariant();
}

QVariant readBigInteger(const Statement& stmt, SQLUSMALLINT column)
{
    SQLBIGINT v = 0;
    return readFixed(stmt, column, SQL_C_SBIGINT, v) ? QVariant(static_cast<qlonglong>(v))
                                                     : QVariant();
}

QVariant readBit(const Statement& stmt, SQLUSMALLINT column)
{
    unsigned char v = 0;
    return readFixed(stmt, column, SQL_C_BIT, v) ? QVariant(v != 0) : QVariant();
}

QVariant readReal(const Statement& stmt, SQLUSMALLINT column)
{
    double v = 0;
    return readFixed(stmt, column, SQL_C_DOUBLE, v) ? QVariant(v) : QVariant();
}

QVariant readTimestamp(const Statement& stmt, SQLUSMALLINT column)
{
    SQL_TIMESTAMP_STRUCT t{};
    if (!readFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, t))
        return QVariant();
    // DATETIME holds a wall-clock reading without a zone. Kept as UTC it cannot fall into a
    // daylight-saving gap of the local zone, where Qt would move it and a write-back would
    // change a stored date (a birth date at midnight on a changeover day, for one).
    return QVariant(QDateTime(
        QDate(t.year, t.month, t.day),
        QTime(t.hour, t.minute, t.second, static_cast<int>(t.fraction / 1000000)), Qt::UTC));
}

QVariant readBinaryValue(const Statement& stmt, SQLUSMALLINT column)
{
    bool isNull = false;
    const QByteArray bytes = readBinary(stmt, column, isNull);
    return isNull ? QVariant() : QVariant(bytes);
}

QVariant readTextValue(const Statement& stmt, SQLUSMALLINT column)
{
    bool isNull = false;
    const QString text = readText(stmt, column, isNull);
    return isNull ? QVariant() : QVariant(text);
}

constexpr ValueReader kReaders[] = {readInteger,   readBigInteger,  readBit,      readReal,
                                    readTimestamp, readBinaryValue, readTextValue};
static_assert(std::size(kReaders) == kValueCodecCount);

QVariant readValue(const Statement& stmt, SQLUSMALLINT column, const ResultColumn& info,
                   Decode decode)
{
    if (decode == Decode::Utf16Bytes) {
        bool isNull = false;
        const QByteArray bytes = readBinary(stmt, column, isNull);
        return isNull ? QVariant() : QVariant(TextFromUtf16Bytes(bytes));
    }
    const ValueCodec codec = OdbcColumnType(info.sqlType).codec;
    return kReaders[static_cast<int>(codec)](stmt, column);
}

ResultSetData readResultSet(const Statement& stmt, SQLSMALLINT count,
                            const std::vector<Decode>* decode)
{
    ResultSetData set;
    for (SQLSMALLINT c = 1; c <= count; ++c) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!succeeded(SQLDescribeColW(stmt.handle(), static_cast<SQLUSMALLINT>(c), name,
                                       static_cast<SQLSMALLINT>(std::size(name)), &length, &type,
                                       &size, &digits, &nullable)))
            stmt.fail();
        set.columns.push_back(
            {fromWide(name, std::clamp<qsizetype>(length, 0, std::size(name) - 1)), type, size,
             digits, nullable != SQL_NO_NULLS});
    }
    for (;;) {
        stmt.waits();
        const SQLRETURN rc = SQLFetch(stmt.handle());
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            stmt.fail();
        std::vector<QVariant> row;
        row.reserve(static_cast<size_t>(count));
        for (SQLSMALLINT c = 1; c <= count; ++c) {
            const size_t i = static_cast<size_t>(c - 1);
            const Decode how = decode && i < decode->size() ? (*decode)[i] : Decode::Native;
            row.push_back(readValue(stmt, static_cast<SQLUSMALLINT>(c), set.columns[i], how));
        }
        set.rows.push_back(std::move(row));
    }
    return set;
}

// Where no credentials cache can be found, a Kerberos login cannot even start; saying so
// beats the driver's generic failure. Caches that are not files are left to the driver.
bool kerberosTicketCacheMissing()
{
    QString name = qEnvironmentVariable("KRB5CCNAME");
    if (name.isEmpty())
        name = QStringLiteral("/tmp/krb5cc_%1").arg(getuid());
    if (name.startsWith(QLatin1String("FILE:")))
        name.remove(0, 5);
    else if (name.contains(QLatin1Char(':')))
        return false;
    return !QFileInfo::exists(name);
}

const QString kNoKerberosTicket = QStringLiteral(
    "Integrated security logs in with Kerberos, and no Kerberos ticket was found for this user. "
    "Obtain one with kinit (the account must belong to the server's domain), or use a SQL Server "
    "login.");

const QString kKerberosHint = QStringLiteral(
    "(Integrated security logs in with Kerberos: check that this user holds a valid Kerberos "
    "ticket for the server's domain, for example with klist.)");

} // namespace

QString WithoutDriverPrefixes(QString message)
{
    while (message.startsWith(QLatin1Char('['))) {
        const qsizetype close = message.indexOf(QLatin1Char(']'));
        if (close < 0)
            break;
        message.remove(0, close + 1);
    }
    return message;
}

Session::Session() = default;

Session::~Session()
{
    disconnect();
}

void Session::connect(const QString& odbc, bool integratedSecurity, int loginTimeout,
                      const dbport::TransportSecurity& security, const QString& server)
{
    disconnect();
    if (integratedSecurity && kerberosTicketCacheMissing())
        throw Error(kConnectionFailed, kNoKerberosTicket);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment(), &dbc)))
        throw Error(kConnectionFailed,
                    QStringLiteral("No ODBC connection handle could be allocated."));
    dbc_ = dbc;
    // The login time-out only: a connection-wide one would also cut long statements (BACKUP)
    // that their own command time-out allows.
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout)), 0);
    server_ = server;
    SQLSMALLINT outLength = 0;
    const auto socketsBefore = OpenSockets();
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, wide(odbc), SQL_NTS, nullptr, 0,
                                           &outLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        try {
            raise(SQL_HANDLE_DBC, dbc, Stage{true, server_, loginTimeout, false});
        } catch (const Error& e) {
            disconnect();
            // The driver says only that it failed; a server that answers its pre-login tells
            // whether encryption stood in the way. A silent one has already cost its time-out.
            const bool timedOut = e.sqlState().startsWith(QLatin1String("HYT"));
            if (e.nativeError() == 0 && !timedOut)
                if (const QString why = DescribeEncryptionFailure(server_, security);
                    !why.isEmpty())
                    throw Error(e.number(), why, 0, e.sqlState());
            if (integratedSecurity)
                throw Error(e.number(), e.description() + QLatin1Char(' ') + kKerberosHint,
                            e.nativeError(), e.sqlState());
            throw;
        }
    }
    watch_.adoptNewSocket(socketsBefore, HostAndPort(server_).second);
    connected_ = true;
}

void Session::disconnect()
{
    if (dbc_) {
        if (connected_)
            SQLDisconnect(static_cast<SQLHDBC>(dbc_));
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
    }
    dbc_ = nullptr;
    connected_ = false;
    watch_.forgetSocket();
    forgetTables();
}

BatchResult Session::run(const QString& batch, int timeoutSeconds,
                         const std::vector<Decode>* firstSetDecode)
{
    if (!connected_)
        throw Error(kClosedObject, texts::kClosedObject);
    try {
        return runStatement(batch, timeoutSeconds, firstSetDecode);
    } catch (const Error&) {
        // A server that left a cancel unanswered lost its connection; nothing more goes to it.
        if (watch_.dropped())
            disconnect();
        throw;
    }
}

BatchResult Session::runStatement(const QString& batch, int timeoutSeconds,
                                  const std::vector<Decode>* firstSetDecode)
{
    const QString text = WithExactLiterals(batch);
    ++batchesSent_;
    Statement stmt(static_cast<SQLHDBC>(dbc_), timeoutSeconds, watch_, server_);
    BatchResult result;
    stmt.waits();
    SQLRETURN rc = SQLExecDirectW(stmt.handle(), wide(text), static_cast<SQLINTEGER>(text.size()));
    if (!succeeded(rc) && rc != SQL_NO_DATA)
        stmt.fail();
    for (;;) {
        if (rc == SQL_NO_DATA) {
            // A searched UPDATE or DELETE that touched nothing ends this way; its count is 0.
            SQLLEN count = -1;
            result.rowCounts.push_back(
                succeeded(SQLRowCount(stmt.handle(), &count)) && count > 0 ? count : 0);
        } else {
            SQLSMALLINT columns = 0;
            if (!succeeded(SQLNumResultCols(stmt.handle(), &columns)))
                stmt.fail();
            if (columns > 0) {
                result.sets.push_back(
                    readResultSet(stmt, columns, result.sets.empty() ? firstSetDecode : nullptr));
            } else {
                SQLLEN count = -1;
                if (succeeded(SQLRowCount(stmt.handle(), &count)) && count >= 0)
                    result.rowCounts.push_back(count);
            }
        }
        stmt.waits();
        rc = SQLMoreResults(stmt.handle());
        if (rc == SQL_NO_DATA)
            break;
        if (!succeeded(rc))
            stmt.fail();
    }
    return result;
}

bool BaseColumn::exactText() const
{
    const SqlType* type = FindServerType(dataType.toStdString());
    return type && type->exactText;
}

bool BaseColumn::comparable() const
{
    const SqlType* type = FindServerType(dataType.toStdString());
    return maxLength != -1 && (!type || type->comparable);
}

const BaseColumn* TableInfo::find(const QString& column) const
{
    for (const auto& c : columns)
        if (c.name.compare(column, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

const TableInfo* Session::table(const QString& schema, const QString& name, int timeoutSeconds)
{
    const QString key = (schema + QLatin1Char('\n') + name).toLower();
    if (auto it = tables_.find(key); it != tables_.end())
        return it->second.get();
    QString where = QStringLiteral(" WHERE TABLE_NAME = ") + TextLiteral(name);
    if (!schema.isEmpty())
        where += QStringLiteral(" AND TABLE_SCHEMA = ") + TextLiteral(schema);
    const BatchResult columns = run(
        QStringLiteral(
            "SELECT TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, "
            "IS_NULLABLE FROM INFORMATION_SCHEMA.COLUMNS") +
            where + QStringLiteral(" ORDER BY ORDINAL_POSITION"),
        timeoutSeconds);
    // Not found is not kept: the table may be made a moment later.
    if (columns.sets.empty() || columns.sets.front().rows.empty())
        return nullptr;
    auto info = std::make_unique<TableInfo>();
    const auto& rows = columns.sets.front().rows;
    info->schema = rows.front()[0].toString();
    info->name = rows.front()[1].toString();
    for (const auto& row : rows) {
        // Another schema's table of the same name is not this one.
        if (row[0].toString() != info->schema)
            continue;
        BaseColumn c;
        c.name = row[2].toString();
        c.dataType = row[3].toString().toLower();
        c.maxLength = row[4].isNull() ? 0 : row[4].toLongLong();
        c.adoType = AdoTypeFromServerType(c.dataType.toStdString(), c.maxLength);
        c.definedSize = DefinedSizeFromServerType(c.dataType.toStdString(), c.maxLength);
        c.nullable = row[5].toString().compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
        info->columns.push_back(std::move(c));
    }
    const BatchResult keys =
        run(QStringLiteral("sp_pkeys ") + TextLiteral(info->name), timeoutSeconds);
    if (!keys.sets.empty()) {
        const ResultSetData& set = keys.sets.front();
        int nameColumn = -1, sequenceColumn = -1;
        for (size_t i = 0; i < set.columns.size(); ++i) {
            if (set.columns[i].name.compare(QLatin1String("COLUMN_NAME"), Qt::CaseInsensitive) == 0)
                nameColumn = static_cast<int>(i);
            if (set.columns[i].name.compare(QLatin1String("KEY_SEQ"), Qt::CaseInsensitive) == 0)
                sequenceColumn = static_cast<int>(i);
        }
        if (nameColumn >= 0) {
            std::vector<std::pair<int, QString>> ordered;
            for (const auto& row : set.rows)
                ordered.emplace_back(
                    sequenceColumn >= 0 ? row[static_cast<size_t>(sequenceColumn)].toInt() : 0,
                    row[static_cast<size_t>(nameColumn)].toString());
            std::stable_sort(ordered.begin(), ordered.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (const auto& [sequence, column] : ordered)
                info->primaryKey << column;
        }
    }
    const TableInfo* result = info.get();
    tables_[key] = std::move(info);
    return result;
}

void Session::forgetTables()
{
    tables_.clear();
}

} // namespace sqllumo::db::detail
