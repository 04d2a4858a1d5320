// The archive database's 20 tables, their keys, indexes and default rows, held once; the
// statements that create an archive are derived from here and nowhere else.
#pragma once

#include "DdlWriter.h"
#include "TableModel.h"

#include <string>
#include <vector>

namespace sqllumo::archive {

// The archive's tables are stated in the model both databases share.
using schema::ColumnDef;
using schema::ForeignKeyDef;
using schema::TableDef;

// In creation order.
const std::vector<TableDef>& ArchiveTables();
const TableDef* FindArchiveTable(const std::string& name);

// "CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY
// KEY, Marker NVARCHAR(50) NOT NULL )"
using schema::CreateTableStatement;

// The default rows sent right after a table is created, in order. For T_DBVersion the first
// row is "Version:1.01" in an ordinary archive; a new-version archive gets an empty first row
// that the creation then overwrites with the enciphered version. For T_File_Type row 19 is 'x'
// or, in a new-version archive, 'Database' with the database code in File_App.
std::vector<std::string> DefaultRowStatements(const TableDef& table, bool newVersion,
                                              const std::string& databaseCode);

// What the structure test expects of one column, as the catalogue reports it.
struct ExpectedColumn {
    std::string upperName; // "FREETEXT", "ID_MARKER": brackets dropped, upper case
    int typeCode = 0;      // the data access layer's code: 3, 2, 17, 11, 135, 202; 0 = any type
    int definedSize = -1;  // NVARCHAR(n) only; -1 = not compared
};
// Identity column first, then the others, in definition order.
std::vector<ExpectedColumn> ExpectedColumns(const TableDef& table);

// The import's table definition: identity columns as "INT IDENTITY" without seed or key,
// references left out, for rows copied with their own identifiers before the keys exist.
// The fragments end in ", " or, the last one, in a blank: "ID_Marker INT IDENTITY, ".
std::vector<std::string> ImportColumnFragments(const TableDef& table);
std::string ImportTableStatement(const TableDef& table);
// What follows "ALTER TABLE " + table + " " when the import adds the keys afterwards: the
// primary key, then each reference in column order. Empty when the table has neither.
std::string ImportConstraintText(const TableDef& table);
// "ALTER TABLE T_Marker ADD CONSTRAINT PrimaryKey_T_Marker PRIMARY KEY (ID_Marker) "; empty
// when there is nothing to add.
std::string ImportKeyStatement(const TableDef& table);

// The structure test's expectations beyond the columns.
// Upper case, as the key listing is compared: "ID_MARKER"; empty for a table without a key.
std::string ExpectedPrimaryKeyColumn(const TableDef& table);
// The index columns the test requires, as written in the schema: "L_Name", "F_Name", ...
std::vector<std::string> TestedIndexColumnNames(const TableDef& table);
// "L_Name, F_Name, B_Date, Used_By, ID_Marker": the list inside the failure text.
std::string TestedIndexListText(const TableDef& table);

// A relation the structure test checks by name.
struct RelationDef {
    std::string name; // "T_Patient-T_Exam"
    std::string referencedTable, referencedColumn;
    std::string referencingTable, referencingColumn;
    // The server's update and delete rule the relation must show: 0 cascade, 1 no action.
    int expectedRule = 0;
};
// The eight tested relations in their registry order, each derived from its column's key.
const std::vector<RelationDef>& TestedRelations();

// One foreign-key listing of the referenced table and the tested relations it carries.
struct RelationListingDef {
    std::string table;
    std::vector<RelationDef> relations; // in registry order
};
// In the order the listings run.
const std::vector<RelationListingDef>& RelationListingDefs();

inline constexpr const char* kOrdinaryVersionText = "Version:1.01";
inline constexpr const char* kNewVersionText = "Version:1.02";

} // namespace sqllumo::archive
