// One model of a database table for both of the program's databases: columns with their SQL
// types, the identity key, table-level and foreign keys, and indexes. Statements are written
// from it by DdlWriter.h; each schema only states its tables.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sqllumo::schema {

// Whether a column's definition says NULL, NOT NULL or nothing (the server then allows NULL).
enum class Nullability { NotNull, Null, Unstated };

// A column's SQL type as the definition writes it: "NVARCHAR" with length 50, "INT".
struct ColumnType {
    std::string name; // upper case, as written: "NVARCHAR", "DATETIME", "IMAGE"
    int length = 0;   // NVARCHAR(n): n; 0 for types without a length
    Nullability nullability = Nullability::NotNull;

    // "NVARCHAR(50) NOT NULL", "INT NULL", "IMAGE"
    std::string text() const;
    bool allowsNull() const { return nullability != Nullability::NotNull; }
};

// The types the schemas use, NOT NULL unless said otherwise.
ColumnType Int(Nullability nullability = Nullability::NotNull);
ColumnType SmallInt();
ColumnType TinyInt();
ColumnType Bit();
ColumnType DateTime(Nullability nullability = Nullability::NotNull);
ColumnType NVarChar(int length, Nullability nullability = Nullability::NotNull);
ColumnType Image(); // no null clause

// A column's reference to another table's key.
struct ForeignKeyDef {
    std::string constraintName; // empty: the server generates the name
    std::string table;          // the referenced table and column
    std::string column;
    bool cascades = false; // ON DELETE CASCADE ON UPDATE CASCADE
    // Declared in the column's definition; otherwise the key is added afterwards with
    // ALTER TABLE and the definition is the bare type.
    bool declaredInline = true;
};

struct ColumnDef {
    ColumnDef(std::string name, ColumnType type);
    // An INT column that refers to another table's key.
    ColumnDef(std::string name, Nullability nullability, ForeignKeyDef reference);

    std::string name; // as written in SQL, reserved words in brackets: "[FreeText]"
    ColumnType type;
    // The text after the name in CREATE TABLE: "NVARCHAR(50) NOT NULL", or with an inline
    // reference "INT CONSTRAINT ID_Marker_fk NOT NULL FOREIGN KEY REFERENCES T_Marker (ID_Marker)".
    std::string definition;
    // The definition without its reference: "INT NOT NULL".
    std::string importDefinition;
    std::optional<ForeignKeyDef> foreignKey;
};

struct TableDef {
    std::string name;
    // The identity column is the first column and the primary key; empty when there is none.
    std::string identityColumn;
    int identitySeed = 1;
    // "IDENTITY(1,1)" rather than "IDENTITY" when the seed is 1.
    bool seedWrittenWhenOne = false;
    std::vector<ColumnDef> columns; // the columns after the identity column
    // A primary key declared after the columns, on this column; empty when there is none.
    std::string keyColumn;
    // Whether a blank precedes the closing parenthesis of CREATE TABLE.
    bool blankBeforeClose = true;
    // Whether the clause that adds the keys afterwards ends with a blank; servers ignore it.
    bool addedKeysEndWithBlank = true;
    std::vector<std::string> indexColumns; // one single-column index each, in creation order
    // How many of the leading indexes the structure test requires; unset: all of them.
    std::optional<size_t> testedIndexCount;

    bool hasIdentity() const { return !identityColumn.empty(); }
    bool hasPrimaryKey() const { return hasIdentity() || !keyColumn.empty(); }
    // The primary key's one column, identity or declared; empty when there is none.
    const std::string& primaryKeyColumn() const;
    std::string primaryKeyName() const { return "PrimaryKey_" + name; }
    // "IX_T_Patient", "IX_T_Patient_1", ...
    std::string indexName(size_t position) const;
    size_t columnCount() const { return columns.size() + (hasIdentity() ? 1 : 0); }
    // Exact name, as written in the definition; nullptr when the table has no such column.
    const ColumnDef* findColumn(const std::string& column) const;
};

// Exact name, case and all; nullptr when the list has no such table.
const TableDef* FindTable(const std::vector<TableDef>& tables, const std::string& name);

// A column name without the brackets around a reserved word: "[FreeText]" -> "FreeText".
std::string Unbracketed(const std::string& name);

} // namespace sqllumo::schema
