#pragma once
// The ODBC side of a connection, shared by Connection, Recordset and Catalog: one
// connection handle, statements run to the end of their results, errors turned into
// db::Error, and the table descriptions that updates and exact fetches need.

#include "Error.h"
#include "StatementWatch.h"
#include "TransportSecurity.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <vector>

namespace sqllumo::db::detail {

struct ResultColumn {
    QString name;
    short sqlType = 0;
    unsigned long long size = 0;
    short digits = 0;
    bool nullable = true;
};

struct ResultSetData {
    std::vector<ResultColumn> columns;
    std::vector<std::vector<QVariant>> rows;
};

struct BatchResult {
    std::vector<ResultSetData> sets;
    // Row counts of the statements that reported one, in order.
    std::vector<long long> rowCounts;
};

// How a column of the first result set is read: as the driver gives it, or as UTF-16LE
// bytes that become text code unit for code unit.
enum class Decode { Native, Utf16Bytes };

struct BaseColumn {
    QString name;
    QString dataType;        // lower case, as the server names it ("nvarchar", "int", ...)
    long long maxLength = 0; // characters of text, bytes of binary; -1 for the MAX types
    int adoType = 0;
    long definedSize = 0;
    bool nullable = true;
    bool exactText() const;  // NVARCHAR, NCHAR, NTEXT: fetched as bytes, written as cast bytes
    bool comparable() const; // usable in a WHERE that finds the row again
};

struct TableInfo {
    QString schema;
    QString name;
    std::vector<BaseColumn> columns;
    QStringList primaryKey; // in key order; empty: none
    const BaseColumn* find(const QString& column) const;
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A failure that encryption caused is described as such, naming the server: `server` as
    // messages name it.
    void connect(const QString& odbcConnectionString, bool integratedSecurity, int loginTimeout,
                 const dbport::TransportSecurity& security, const QString& server);
    bool connected() const { return connected_; }
    // As messages name it: "host,port", "host\instance" or "host".
    const QString& server() const { return server_; }
    void disconnect();

    // Raises kClosedObject when not connected.
    BatchResult run(const QString& batch, int timeoutSeconds,
                    const std::vector<Decode>* firstSetDecode = nullptr);

    // The table's columns and primary key; nullptr when the server knows no such table.
    // Cached until forgetTables().
    const TableInfo* table(const QString& schema, const QString& name, int timeoutSeconds);
    void forgetTables();
    // Batches sent through run() since the session was made.
    long long batchesSent() const { return batchesSent_; }

private:
    BatchResult runStatement(const QString& batch, int timeoutSeconds,
                             const std::vector<Decode>* firstSetDecode);

    void* dbc_ = nullptr;
    bool connected_ = false;
    QString server_; // as messages name it: "host,port"
    StatementWatch watch_;
    long long batchesSent_ = 0;
    std::map<QString, std::unique_ptr<TableInfo>> tables_; // key: "schema\nname" lower case
};

// Driver prefixes ("[FreeTDS][SQL Server]") removed.
QString WithoutDriverPrefixes(QString message);

} // namespace sqllumo::db::detail
