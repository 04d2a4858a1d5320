// The archive database's 20 tables, their keys, indexes and default rows, held once; the
// statements that create an archive are derived from here and nowhere else.
#pragma once

#include <string>
#include <vector>

namespace sqllumo::archive {

struct ColumnDef {
    std::string name;       // as written in SQL, reserved words in brackets: "[FreeText]"
    std::string definition; // the text after the name, e.g. "NVARCHAR(50) NOT NULL"
};

struct TableDef {
    std::string name;
    // The identity column is the first column and the primary key; empty when the table has none.
    std::string identityColumn;
    int identitySeed = 1;
    std::vector<ColumnDef> columns;      // the columns after the identity column
    std::vector<std::string> indexColumns; // one single-column index each, in creation order

    bool hasIdentity() const { return !identityColumn.empty(); }
    std::string primaryKeyName() const { return "PrimaryKey_" + name; }
    // "IX_T_Patient", "IX_T_Patient_1", ...
    std::string indexName(size_t position) const;
    size_t columnCount() const { return columns.size() + (hasIdentity() ? 1 : 0); }
};

// In creation order.
const std::vector<TableDef>& ArchiveTables();
const TableDef* FindArchiveTable(const std::string& name);

// "CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY
// KEY, Marker NVARCHAR(50) NOT NULL )"
std::string CreateTableStatement(const TableDef& table);

// The default rows sent right after a table is created, in order. For T_DBVersion the first
// row is "Version:1.01" in an ordinary archive; a new-version archive gets an empty first row
// that the creation then overwrites with the enciphered version. For T_File_Type row 19 is 'x'
// or, in a new-version archive, 'Database' with the database code in File_App.
std::vector<std::string> DefaultRowStatements(const TableDef& table, bool newVersion,
                                              const std::string& databaseCode);

// What the structure test expects of one column, as the catalogue reports it.
struct ExpectedColumn {
    std::string upperName;  // "FREETEXT", "ID_MARKER": brackets dropped, upper case
    int typeCode = 0;       // the data access layer's code: 3, 2, 17, 11, 135, 202; 0 = any type
    int definedSize = -1;   // NVARCHAR(n) only; -1 = not compared
};
// Identity column first, then the others, in definition order.
std::vector<ExpectedColumn> ExpectedColumns(const TableDef& table);

inline constexpr const char* kOrdinaryVersionText = "Version:1.01";
inline constexpr const char* kNewVersionText = "Version:1.02";

} // namespace sqllumo::archive
