#pragma once
// A connection to one SQL Server database over unixODBC and the FreeTDS driver, shaped like
// ADO's Connection: Open, Execute, CommandTimeout, Close. Not copyable; closing (or
// destroying) it frees every ODBC handle it holds.

#include "Error.h"
#include "TransportSecurity.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace sqllumo::db {

class Recordset;
namespace detail {
class Session;
}

class Connection {
public:
    // The provider's defaults: 30 s for a statement, 15 s to reach and log in to a server.
    static constexpr int kDefaultCommandTimeout = 30;
    static constexpr int kLoginTimeout = 15;

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;

    // Opens read-write with the program's own connection string (BuildConnectionString).
    // A bad string raises kInvalidArgument; a server that refuses, is absent or does not
    // answer within kLoginTimeout raises kConnectionFailed with the driver's reason (for
    // integrated security without a Kerberos ticket, a text that says so). Opening an open
    // connection closes it first.
    void open(const QString& connectionString);
    bool isOpen() const;

    // How the open connection travels: the server's encrypt_option of the session, and for a
    // connection that requested encryption, what the server offers in its pre-login (one more
    // short connection, closed before any login). Raises kClosedObject when closed.
    dbport::TransportState transport();

    // Seconds a statement may run; 0 waits for ever. A statement past it is cancelled on
    // the server and raises kQueryTimeout. Applies to the statements sent after it is set,
    // recordsets opened on this connection included.
    void setCommandTimeout(int seconds);
    int commandTimeout() const;

    // Runs a batch whose results are not wanted; every result is read to its end, so errors
    // anywhere in the batch (and the end of long statements such as BACKUP) are seen.
    // Returns the rows affected by the last statement that reported a count (-1: none).
    // Raises kClosedObject when closed, server errors as kServerError (kMissingTable for an
    // unknown object) with the server's number and message.
    long long execute(const QString& statement);
    // The statements in one round trip and one transaction: all stored, or none and the
    // server's error raised. Statements that change rows only (no table descriptions are
    // dropped for them).
    void executeAtomically(const QStringList& statements);

    // Runs a statement and returns its results as a static, read-only recordset (the first
    // result set current; Recordset::nextRecordset for the others). A statement without a
    // result set gives a closed recordset.
    Recordset query(const QString& statement);

    void close();

    // Statement batches this connection has sent to the server (its recordsets' and
    // catalogue look-ups included); kept after close.
    long long batchesSent() const;

    // For the layer's own use (recordsets and catalogues share the session).
    std::shared_ptr<detail::Session> session() const;

private:
    std::shared_ptr<detail::Session> session_;
    dbport::Encryption encryption_ = dbport::Encryption::Request;
    int commandTimeout_ = kDefaultCommandTimeout;
    long long closedBatches_ = 0;
};

} // namespace sqllumo::db
