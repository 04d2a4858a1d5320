// The data access of the archive catalogue over unixODBC and the FreeTDS driver: plain
// connections, result sets read to the end, the schema catalogue and the one updatable write.
#include "OdbcConnectionString.h"
#include "ServerProvider.h"

#include <sql.h>
#include <sqlext.h>

#include <mutex>
#include <vector>

namespace sqllumo::server {

namespace {

constexpr int kLoginTimeoutSeconds = 15;
constexpr int kDefaultCommandTimeout = 30;
constexpr long long kQueryTimeout = -2147217871;
constexpr long long kRowNotFound = -2147217864;
constexpr long long kNoCurrentRow = 3021;

const SQLWCHAR* wide(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString(reinterpret_cast<const QChar*>(text), length);
}

// The driver's prefixes say where a message passed through, not what went wrong.
QString withoutDriverPrefixes(QString message)
{
    while (message.startsWith(QLatin1Char('['))) {
        const qsizetype close = message.indexOf(QLatin1Char(']'));
        if (close < 0)
            break;
        message.remove(0, close + 1);
    }
    return message;
}

struct Diagnostic {
    QString state;
    SQLINTEGER native = 0;
    QString message;
};

std::vector<Diagnostic> diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    std::vector<Diagnostic> found;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[2048] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                            static_cast<SQLSMALLINT>(std::size(message)), &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        found.push_back({fromWide(state, 5), native,
                         withoutDriverPrefixes(fromWide(
                             message, std::min<qsizetype>(length, std::size(message) - 1)))});
    }
    return found;
}

// The first message the server itself sent, else the driver's; numbered as ADO numbers them.
[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, bool connecting)
{
    const auto all = diagnostics(type, handle);
    const Diagnostic* chosen = nullptr;
    for (const auto& d : all)
        if (d.native != 0 && !chosen)
            chosen = &d;
    if (!chosen && !all.empty())
        chosen = &all.front();
    const QString message =
        chosen ? chosen->message : QStringLiteral("The data access layer reported an unknown error.");
    const QString state = chosen ? chosen->state : QString();
    if (state == QLatin1String("HYT00") || state == QLatin1String("HYT01"))
        throw sql::Error(kQueryTimeout, message);
    if (connecting || state.startsWith(QLatin1String("08")) || state == QLatin1String("28000"))
        throw sql::Error(sql::kConnectionFailed, message);
    throw sql::Error(sql::kServerError, message);
}

bool succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLHENV environment()
{
    static SQLHENV env = SQL_NULL_HENV;
    static std::once_flag once;
    std::call_once(once, [] {
        if (succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    });
    if (env == SQL_NULL_HENV)
        throw sql::Error(sql::kConnectionFailed, QStringLiteral("The ODBC environment could not be created."));
    return env;
}

class Statement {
public:
    Statement(SQLHDBC dbc, int timeout)
    {
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_)))
            fail(SQL_HANDLE_DBC, dbc, false);
        SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // SQL_NO_DATA (a statement that touched no row) is a success too.
    void execute(const QString& text)
    {
        const SQLRETURN rc = SQLExecDirectW(stmt_, const_cast<SQLWCHAR*>(wide(text)), SQL_NTS);
        if (!succeeded(rc) && rc != SQL_NO_DATA)
            fail(SQL_HANDLE_STMT, stmt_, false);
    }
    SQLSMALLINT columnCount()
    {
        SQLSMALLINT count = 0;
        if (!succeeded(SQLNumResultCols(stmt_, &count)))
            fail(SQL_HANDLE_STMT, stmt_, false);
        return count;
    }
    // False when no further result follows; an error in a later result raises it.
    bool nextResult()
    {
        const SQLRETURN rc = SQLMoreResults(stmt_);
        if (rc == SQL_NO_DATA)
            return false;
        if (!succeeded(rc))
            fail(SQL_HANDLE_STMT, stmt_, false);
        return true;
    }
    // Every result, so that errors and the end of long statements (BACKUP) are seen.
    void drain()
    {
        while (nextResult()) {
        }
    }
    SQLLEN rowCount()
    {
        SQLLEN count = 0;
        if (!succeeded(SQLRowCount(stmt_, &count)))
            fail(SQL_HANDLE_STMT, stmt_, false);
        return count;
    }
    sql::ResultSet read(SQLSMALLINT columns)
    {
        QStringList names;
        for (SQLSMALLINT c = 1; c <= columns; ++c) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            if (!succeeded(SQLDescribeColW(stmt_, c, name, static_cast<SQLSMALLINT>(std::size(name)),
                                           &length, &type, &size, &digits, &nullable)))
                fail(SQL_HANDLE_STMT, stmt_, false);
            names << fromWide(name, std::min<qsizetype>(length, std::size(name) - 1));
        }
        std::vector<std::vector<QVariant>> rows;
        for (;;) {
            const SQLRETURN rc = SQLFetch(stmt_);
            if (rc == SQL_NO_DATA)
                break;
            if (!succeeded(rc))
                fail(SQL_HANDLE_STMT, stmt_, false);
            std::vector<QVariant> row;
            for (SQLSMALLINT c = 1; c <= columns; ++c)
                row.push_back(field(c));
            rows.push_back(std::move(row));
        }
        return sql::ResultSet(names, std::move(rows));
    }

private:
    QVariant field(SQLSMALLINT column)
    {
        QString text;
        bool isNull = false;
        SQLWCHAR buffer[1024];
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc =
                SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR, buffer,
                           sizeof(buffer), &indicator);
            if (rc == SQL_NO_DATA)
                break;
            if (!succeeded(rc))
                fail(SQL_HANDLE_STMT, stmt_, false);
            if (indicator == SQL_NULL_DATA) {
                isNull = true;
                break;
            }
            const qsizetype capacity = static_cast<qsizetype>(std::size(buffer)) - 1;
            const qsizetype got = (indicator == SQL_NO_TOTAL
                                   || indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR)) > capacity)
                                      ? capacity
                                      : indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR));
            text += fromWide(buffer, got);
            if (rc == SQL_SUCCESS)
                break;
        }
        return isNull ? QVariant() : QVariant(text);
    }

    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

class OdbcConnection : public sql::Connection {
public:
    ~OdbcConnection() override { release(); }

    void open(const QString& connectionString) override
    {
        const auto parsed = ParseProgramConnectionString(connectionString);
        if (!parsed)
            throw sql::Error(sql::kConnectionFailed,
                             QStringLiteral("The connection string is not one this program makes."));
        release();
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment(), &dbc_)))
            throw sql::Error(sql::kConnectionFailed, QStringLiteral("No ODBC connection could be allocated."));
        SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0);
        SQLSetConnectAttr(dbc_, SQL_ATTR_CONNECTION_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0);
        const QString odbc = OdbcConnectionString(*parsed);
        SQLSMALLINT outLength = 0;
        const SQLRETURN rc =
            SQLDriverConnectW(dbc_, nullptr, const_cast<SQLWCHAR*>(wide(odbc)), SQL_NTS, nullptr, 0,
                              &outLength, SQL_DRIVER_NOPROMPT);
        if (!succeeded(rc)) {
            try {
                fail(SQL_HANDLE_DBC, dbc_, true);
            } catch (...) {
                release();
                throw;
            }
        }
        connected_ = true;
    }
    void setCommandTimeout(int seconds) override { timeout_ = seconds; }
    void execute(const QString& statement) override
    {
        Statement stmt(handle(), timeout_);
        stmt.execute(statement);
        stmt.drain();
    }
    sql::ResultSet query(const QString& statement) override
    {
        Statement stmt(handle(), timeout_);
        stmt.execute(statement);
        // Row counts and messages may come before the result set of a procedure.
        for (;;) {
            if (const SQLSMALLINT columns = stmt.columnCount(); columns > 0) {
                sql::ResultSet result = stmt.read(columns);
                stmt.drain();
                return result;
            }
            if (!stmt.nextResult())
                return sql::ResultSet();
        }
    }
    void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                const QByteArray& bytes) override
    {
        // The table has no key, so the row is found by its original value, and the row must
        // be the only one that has it: an update of no row or of many is refused.
        const qsizetype from = selectStatement.lastIndexOf(QLatin1String(" FROM "), -1, Qt::CaseInsensitive);
        if (from < 0)
            throw sql::Error(sql::kServerError, QStringLiteral("The row source has no table."));
        const QString table = selectStatement.mid(from + 6).trimmed();
        const sql::ResultSet rows = query(selectStatement);
        if (rows.isEmpty())
            throw sql::Error(kNoCurrentRow,
                             QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                            "deleted. Requested operation requires a current record."));
        const QVariant original = rows.value(0, field);
        const QString column = QLatin1Char('[') + QString(field).replace(QLatin1Char(']'), QStringLiteral("]]"))
                             + QLatin1Char(']');
        const QString where =
            original.isNull() ? column + QStringLiteral(" IS NULL")
                              : column + QStringLiteral(" = N'")
                                    + original.toString().replace(QLatin1Char('\''), QStringLiteral("''"))
                                    + QLatin1Char('\'');
        const sql::ResultSet matching =
            query(QStringLiteral("SELECT COUNT(*) AS N FROM ") + table + QStringLiteral(" WHERE ") + where);
        if (matching.value(0, QStringLiteral("N")).toLongLong() != 1)
            throw sql::Error(kRowNotFound, QStringLiteral("Row cannot be located for updating. Some "
                                                          "values may have been changed since it was "
                                                          "last read."));
        // A byte array assigned to a text column is stored as its hexadecimal text, two
        // upper-case digits per byte, as the OLE DB and ODBC binary-to-character conversion does.
        const QString hex = QString::fromLatin1(bytes.toHex().toUpper());
        execute(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + column + QStringLiteral(" = N'")
                + hex + QStringLiteral("' WHERE ") + where);
    }
    void close() override { release(); }

private:
    SQLHDBC handle()
    {
        if (!connected_)
            throw sql::Error(sql::kClosedObjectError,
                             QStringLiteral("Operation is not allowed when the object is closed."));
        return dbc_;
    }
    void release()
    {
        if (dbc_ != SQL_NULL_HDBC) {
            if (connected_)
                SQLDisconnect(dbc_);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        }
        dbc_ = SQL_NULL_HDBC;
        connected_ = false;
    }

    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    int timeout_ = kDefaultCommandTimeout;
};

int adoTypeCode(const QString& dataType, long long maximumLength)
{
    const QString t = dataType.toLower();
    struct Map {
        const char* name;
        int code;
    };
    // As SQL Server's OLE DB provider reports them; the newer date types arrive as text.
    static const Map map[] = {
        {"int", 3},         {"smallint", 2},      {"tinyint", 17},    {"bit", 11},
        {"bigint", 20},     {"datetime", 135},    {"smalldatetime", 135}, {"nvarchar", 202},
        {"varchar", 200},   {"nchar", 130},       {"char", 129},      {"ntext", 203},
        {"text", 201},      {"image", 205},       {"varbinary", 204}, {"binary", 128},
        {"float", 5},       {"real", 4},          {"decimal", 131},   {"numeric", 131},
        {"money", 6},       {"smallmoney", 6},    {"uniqueidentifier", 72},
        {"timestamp", 128}, {"rowversion", 128},  {"sql_variant", 12}, {"xml", 203},
        {"datetime2", 202}, {"date", 202},        {"time", 202},      {"datetimeoffset", 202},
    };
    for (const Map& m : map) {
        if (t == QLatin1String(m.name)) {
            if (maximumLength == -1 && m.code == 202)
                return 203;
            if (maximumLength == -1 && m.code == 200)
                return 201;
            if (maximumLength == -1 && m.code == 204)
                return 205;
            return m.code;
        }
    }
    return 0;
}

QString textLiteral(const QString& text)
{
    return QStringLiteral("N'") + QString(text).replace(QLatin1Char('\''), QStringLiteral("''"))
         + QLatin1Char('\'');
}

QString bracketed(const QString& name)
{
    return QLatin1Char('[') + QString(name).replace(QLatin1Char(']'), QStringLiteral("]]")) + QLatin1Char(']');
}

class OdbcCatalog : public sql::Catalog {
public:
    void setActiveConnection(const QString& connectionString) override
    {
        connection_.open(connectionString);
        tables_.reset();
    }
    QStringList tableNames() override
    {
        if (!tables_) {
            const sql::ResultSet rows = connection_.query(QStringLiteral(
                "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME"));
            QStringList names;
            for (size_t i = 0; i < rows.rowCount(); ++i)
                names << rows.text(i, QStringLiteral("TABLE_NAME"));
            tables_ = names;
        }
        return *tables_;
    }
    void refresh() override { tables_.reset(); }
    std::vector<sql::CatalogColumn> columns(const QString& table) override
    {
        const sql::ResultSet rows = connection_.query(
            QStringLiteral("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH FROM "
                           "INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ")
            + textLiteral(table) + QStringLiteral(" ORDER BY ORDINAL_POSITION"));
        std::vector<sql::CatalogColumn> columns;
        for (size_t i = 0; i < rows.rowCount(); ++i) {
            const QVariant length = rows.value(i, QStringLiteral("CHARACTER_MAXIMUM_LENGTH"));
            const long long maximum = length.isNull() ? 0 : length.toLongLong();
            columns.push_back({rows.text(i, QStringLiteral("COLUMN_NAME")),
                               adoTypeCode(rows.text(i, QStringLiteral("DATA_TYPE")), maximum),
                               static_cast<int>(maximum)});
        }
        return columns;
    }
    void appendIndex(const QString& table, const QString& indexName, const QString& column) override
    {
        if (!tableNames().contains(table, Qt::CaseSensitive))
            throw sql::Error(sql::kItemNotFound,
                             QStringLiteral("Item cannot be found in the collection corresponding to "
                                            "the requested name or ordinal."));
        connection_.execute(QStringLiteral("CREATE NONCLUSTERED INDEX ") + bracketed(indexName)
                            + QStringLiteral(" ON ") + bracketed(table) + QStringLiteral(" (")
                            + bracketed(column) + QStringLiteral(" ASC)"));
    }

private:
    OdbcConnection connection_;
    std::optional<QStringList> tables_;
};

class OdbcProvider : public sql::Provider {
public:
    std::unique_ptr<sql::Connection> newConnection() override
    {
        return std::make_unique<OdbcConnection>();
    }
    std::unique_ptr<sql::Catalog> newCatalog() override { return std::make_unique<OdbcCatalog>(); }
};

} // namespace

std::unique_ptr<sql::Provider> MakeServerProvider()
{
    return std::make_unique<OdbcProvider>();
}

} // namespace sqllumo::server
