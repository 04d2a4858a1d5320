#pragma once
// ADO-shaped recordsets over a Connection. All rows of every result set are read when the
// recordset opens (the connection is free again at once, so updates can run while rows are
// walked); moving is over those rows.
//
// Updatable recordsets (LockType::Optimistic, with a static or a keyset cursor) write their
// changes themselves with INSERT and UPDATE statements on the base table of each changed
// field. A row is found by the table's primary key, read from the catalogue and fetched as a
// hidden column when the select list lacks it, together with the original values of the
// changed fields; a table without a primary key is found by the query's own condition (for a
// query of that one table) together with all original values of its fields. An update that would
// touch no row fails with kRowNotLocated, one that would touch several rows fails with kTooManyRows
// and changes nothing. After a successful update the written values become the row's original
// values, in every row of the recordset that shows the same base-table row (joins repeat rows).
//
// Text is exact: NVARCHAR and NCHAR columns of base tables are fetched as their UTF-16 bytes
// and written as binary literals cast to NVARCHAR, so values that are not valid Unicode
// (unpaired surrogates in cipher texts) come back and go out unchanged.
//
// Values are QVariant: null for NULL, int for INT/SMALLINT/TINYINT, qlonglong for BIGINT,
// bool for BIT, QDateTime for DATETIME (its wall-clock reading, as Qt::UTC), double for
// FLOAT/REAL/DECIMAL, QString for text, QByteArray for binary columns and IMAGE.

#include "Error.h"
#include "SqlTypes.h"

#include <QString>
#include <QVariant>

#include <memory>

namespace sqllumo::db {

class Connection;
namespace detail {
struct RecordsetState;
}

enum class CursorType { Static, Keyset };
enum class LockType { ReadOnly, Optimistic };

class Recordset;

// One field of the current row; a light handle, valid while its recordset stays open.
class Field {
public:
    QString name() const;
    int type() const;         // ADO type code
    long definedSize() const; // characters for text, bytes for binary, else the type's size
    // The current row's value (the new row's after addNew). Raises kNoCurrentRow at BOF/EOF.
    QVariant value() const;
    bool isNull() const { return value().isNull(); }
    // Assignment to the current (or new) row, written by Recordset::update. Raises
    // kNotUpdatable on a read-only recordset or a field that is not a base-table column.
    // A QByteArray assigned to a text field is stored as its hexadecimal text.
    void setValue(const QVariant& value);
    Field& operator=(const QVariant& value)
    {
        setValue(value);
        return *this;
    }

private:
    friend class Fields;
    Field(Recordset* owner, int index) : owner_(owner), index_(index) {}
    Recordset* owner_;
    int index_;
};

class Fields {
public:
    int count() const;
    // By position (0-based) or by name without regard to case; raises kItemNotFound.
    Field item(int index) const;
    Field item(const QString& name) const;
    Field operator[](int index) const { return item(index); }
    Field operator[](const QString& name) const { return item(name); }

private:
    friend class Recordset;
    explicit Fields(Recordset* owner) : owner_(owner) {}
    Recordset* owner_;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    // The moved-from recordset is left closed.
    Recordset(Recordset&&);
    Recordset& operator=(Recordset&&);
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // source: a SELECT (or any statement; one without a result set leaves the recordset
    // closed) or a bare table name, read as "SELECT * FROM" it. Raises what Connection
    // raises; kClosedObject for a closed connection.
    void open(const QString& source, Connection& connection, CursorType cursor = CursorType::Static,
              LockType lock = LockType::ReadOnly);
    // The same over a connection of its own, opened with the program's connection string and
    // closed with the recordset.
    void open(const QString& source, const QString& connectionString,
              CursorType cursor = CursorType::Static, LockType lock = LockType::ReadOnly);

    bool isOpen() const;
    // The calls below raise kClosedObject on a closed recordset.
    bool bof() const;
    bool eof() const;
    long long recordCount() const;
    void moveFirst();
    void moveLast();
    void moveNext();     // past the last row: EOF; raises kNoCurrentRow when already at EOF
    void movePrevious(); // before the first row: BOF; raises kNoCurrentRow when already at BOF

    Fields fields();
    Field field(const QString& name) { return fields().item(name); }
    QVariant value(const QString& name) const;
    QVariant value(int index) const;

    // Starts a new row; fields assigned until update() go into its INSERT, the others take
    // the table's defaults. After update() the new row is current; an identity key assigned
    // by the server is read back so the row can be updated again.
    void addNew();
    // Writes the pending new row or the changed fields of the current row; nothing pending
    // is no error. On failure the pending changes stay, so the caller may retry or cancel.
    void update();
    void cancelUpdate();
    bool editPending() const;

    // While batching, update() of an existing row only queues its statements; the row shows its
    // new values at once. sendUpdates() writes the queue in one round trip and one transaction
    // (see UpdateBatch.h); after a failure, updatesWritten() tells how many of the queued
    // update() calls are in the database, and the rows after them show values that are not:
    // close the recordset. A new row, a table without a key or the end of batching sends the
    // queue first. Updates still queued at close() are dropped.
    void setBatchUpdates(bool on);
    void sendUpdates();
    size_t updatesWritten() const;

    // Moves to the next result set of the statement: true with it current, false (and the
    // recordset closed) when there are no more.
    bool nextRecordset();

    void close();

private:
    friend class Field;
    friend class Fields;
    std::unique_ptr<detail::RecordsetState> d_;
};

} // namespace sqllumo::db
