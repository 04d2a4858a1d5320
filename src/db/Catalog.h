#pragma once
// ADOX-shaped schema catalogue of one database: tables (exact names, stable order) with
// their columns and indexes. Setting the active connection opens the catalogue's own
// connection; a failure there is a connection failure (kConnectionFailed). The table list
// is read once and kept until refresh(); a Table reference stays valid until then.

#include "Connection.h"
#include "Error.h"
#include "Recordset.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace sqllumo::db {

class Catalog;

struct Column {
    QString name;
    int type = 0;         // ADO type code (3 INT, 2 SMALLINT, 17 TINYINT, 11 BIT, 135 DATETIME,
                          // 202 NVARCHAR, 203 NVARCHAR(MAX)/NTEXT, 205 IMAGE, ...)
    long definedSize = 0; // characters of a text column, bytes of a binary one, else the
                          // type's size in bytes (4 for INT); 2147483647 / 1073741823 for
                          // IMAGE / NTEXT and the MAX types, as the OLE DB provider reports them
    bool nullable = true;
};

// A named index to add: single-column, non-unique, non-clustered, ascending by default.
struct Index {
    QString name;
    QStringList columns;
    bool unique = false;
    bool clustered = false;
};

class Table {
public:
    const QString& name() const { return name_; }
    const QString& schema() const { return schema_; }
    // In the table's column order; read on first use.
    const std::vector<Column>& columns();
    // Column by name without regard to case; nullptr when absent.
    const Column* findColumn(const QString& name);
    // CREATE [UNIQUE] [NON]CLUSTERED INDEX on this table; names are bracketed, so any name
    // is sent safely. Raises the server's error when the index cannot be made.
    void appendIndex(const Index& index);

private:
    friend class Catalog;
    Table(Catalog* owner, QString name) : owner_(owner), name_(std::move(name)) {}
    Catalog* owner_;
    QString name_;
    QString schema_;
    std::optional<std::vector<Column>> columns_;
};

class Catalog {
public:
    Catalog();
    ~Catalog();
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // Opens (or re-opens) the catalogue's connection with the program's connection string.
    void setActiveConnection(const QString& connectionString);
    bool isOpen() const;

    // The base tables of the database, names exactly as stored, ordered by name (binary
    // order, so the order does not depend on the server's collation). Read on first use.
    int tableCount();
    Table& table(int index);
    // Exact (case-sensitive) match, as the operations' presence test compares; nullptr when
    // absent.
    Table* findTable(const QString& name);
    // Raises kItemNotFound when absent.
    Table& table(const QString& name);
    QStringList tableNames();
    // Forgets what was read, so tables made since are seen; earlier Table references die.
    void refresh();

    Connection& connection();

private:
    friend class Table;
    std::vector<std::unique_ptr<Table>>& tables();
    Connection connection_;
    std::optional<std::vector<std::unique_ptr<Table>>> tables_;
};

} // namespace sqllumo::db
