#pragma once
// The functions' view of the database: the one door every catalogue function, the password
// database and the field shifting talk through (a plain connection, updatable rows and a schema
// catalogue), handed to them in the OperationContext. src/db/port binds it to the database
// layer; testing/ScriptedDatabase answers from a script without a server.

#include "Error.h"
#include "TransportSecurity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace sqllumo::dbport {

// Failures come as db::Error (Error.h), whichever side raised them.

// A result read from the first row to the end. A statement that produced no result set
// gives a closed one: reading its rows raises 3704, as a closed recordset does.
class ResultSet {
public:
    ResultSet() = default;
    ResultSet(QStringList columns, std::vector<std::vector<QVariant>> rows);

    bool isOpen() const { return open_; }
    // Raises 3704 on a closed result.
    size_t rowCount() const;
    bool isEmpty() const { return rowCount() == 0; }
    // Field by name, without regard to case; raises 3265 for an unknown name, 3021 past the
    // last row, 3704 when closed.
    QVariant value(size_t row, const QString& column) const;
    // Field by position (0-based); the same errors.
    QVariant value(size_t row, int column) const;
    QString text(size_t row, const QString& column) const { return value(row, column).toString(); }
    const QStringList& columns() const { return columns_; }

private:
    bool open_ = false;
    QStringList columns_;
    std::vector<std::vector<QVariant>> rows_;
};

// The rows of one SELECT, open for changes: fields assigned to the current row (or to a new
// one after addNew) are written by update() to the base table they come from, the row found
// by its primary key. A current row is needed for value and setValue (3021 otherwise).
class UpdatableRows {
public:
    virtual ~UpdatableRows() = default;
    virtual size_t rowCount() const = 0;
    virtual bool eof() const = 0;
    virtual void moveFirst() = 0;
    // Past the last row: eof; raises 3021 when already there.
    virtual void moveNext() = 0;
    // By name, without regard to case (3265 for an unknown name); a pending value first.
    virtual QVariant value(const QString& field) const = 0;
    // Starts a new row; fields not assigned before update() take the table's defaults.
    virtual void addNew() = 0;
    virtual void setValue(const QString& field, const QVariant& value) = 0;
    // Writes the new row or the changed fields; nothing pending is no error.
    virtual void update() = 0;
    virtual void close() = 0;

    // Batching, for changing many rows: while on, update() of an existing row may only queue
    // its write (the row shows its new values at once) until sendUpdates() writes the queue in
    // one transaction. When sendUpdates() raises, updatesWritten() counts how many of the
    // update() calls it was sending are in the database; close the rows then. Rows that write
    // each update at once (the default) have nothing to send.
    virtual void setBatchUpdates(bool on) { (void)on; }
    virtual void sendUpdates() {}
    virtual size_t updatesWritten() const { return 0; }
};

class Connection {
public:
    virtual ~Connection() = default;
    // The program's own connection string (BuildConnectionString).
    virtual void open(const QString& connectionString) = 0;
    // Seconds; applies to the statements that follow.
    virtual void setCommandTimeout(int seconds) = 0;
    // A statement whose results are not wanted.
    virtual void execute(const QString& statement) = 0;
    // The statements sent together, in one round trip and one transaction: all of them are
    // stored, or none when the server refuses one (its error is raised). The session's options
    // are as before afterwards, either way.
    virtual void executeAtomically(const QStringList& statements) = 0;
    // A statement read as a result set, all rows fetched before this returns, so the
    // connection is free for the next statement while the caller walks the rows.
    virtual ResultSet query(const QString& statement) = 0;
    // A SELECT (or a bare table name) whose rows may be changed and added to; all rows are
    // read before this returns.
    virtual std::unique_ptr<UpdatableRows> openUpdatable(const QString& selectStatement) = 0;
    // Opens an updatable (keyset, optimistic) recordset on selectStatement, assigns bytes as
    // a byte array to the field of its current row and updates that row.
    virtual void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                        const QByteArray& bytes) = 0;
    virtual void close() = 0;
    // Statement batches this connection has sent, its updatable rows' included; kept after
    // close, so that a step can tell what its run cost the server.
    virtual long long batchesSent() const = 0;
    // How the open connection travels on the wire (encrypted, the login only, in clear); a
    // connection that cannot tell says Unknown.
    virtual TransportState transport() { return TransportState::Unknown; }
};

struct CatalogColumn {
    QString name;
    int typeCode = 0;    // ADO's data type code: 3 INT, 2 SMALLINT, 17 TINYINT, 11 BIT, ...
    int definedSize = 0; // characters for text columns
};

// The schema catalogue of one database.
class Catalog {
public:
    virtual ~Catalog() = default;
    // Opens the catalogue's connection; a failure here is the connection error.
    virtual void setActiveConnection(const QString& connectionString) = 0;
    // Table names exactly as stored, in the catalogue's stable order.
    virtual QStringList tableNames() = 0;
    // Re-reads the table collection so tables created since are seen.
    virtual void refresh() = 0;
    virtual std::vector<CatalogColumn> columns(const QString& table) = 0;
    // A statement over the catalogue's own connection.
    virtual ResultSet query(const QString& statement) = 0;
    // A named, single-column, non-unique, non-clustered, ascending index.
    virtual void appendIndex(const QString& table, const QString& indexName,
                             const QString& column) = 0;
};

// True when the catalogue lists a table of exactly that name.
bool HasTable(Catalog& catalog, const QString& table);

// Closes a connection after a run has already failed; a second error on close is dropped,
// since the first one is the one reported.
void CloseAfterFailure(Connection* connection);

// Makes the objects above; one per program, shared by every operation.
class Provider {
public:
    virtual ~Provider() = default;
    virtual std::unique_ptr<Connection> newConnection() = 0;
    virtual std::unique_ptr<Catalog> newCatalog() = 0;
};

} // namespace sqllumo::dbport
