// The statements that create a table of the model and add or drop its keys, written the same
// way for both databases; the texts are compared character for character by the servers' logs
// and by tests, so every blank here is deliberate.
#pragma once

#include "TableModel.h"

#include <string>
#include <vector>

namespace sqllumo::schema {

// "CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY
// KEY, Marker NVARCHAR(50) NOT NULL )": identity with its key, the columns with their inline
// references, then a declared primary key.
std::string CreateTableStatement(const TableDef& table);

// The table without keys, for rows copied with their own identifiers before the keys exist:
// the identity column as "INT IDENTITY" without seed or key, references left out. Each
// fragment ends in ", " or, the last one, in a blank: "ID_Marker INT IDENTITY, ".
std::vector<std::string> KeylessColumnFragments(const TableDef& table);
std::string CreateKeylessTableStatement(const TableDef& table);

// "CONSTRAINT PrimaryKey_T_Marker PRIMARY KEY (ID_Marker)"; empty when the table has no key.
std::string PrimaryKeyClause(const TableDef& table);
// "CONSTRAINT ID_Multi_fk FOREIGN KEY (ID_Multi) REFERENCES T_Exam (ID_Multi) ON DELETE
// CASCADE ON UPDATE CASCADE"; without "CONSTRAINT name " when the server names the key.
std::string ForeignKeyClause(const std::string& column, const ForeignKeyDef& reference);
// What follows "ALTER TABLE " + table + " " when every key of the table is added afterwards:
// "ADD " + the primary key, then each reference in column order, separated by ", ". Empty
// when the table has neither.
std::string AddKeysClause(const TableDef& table);
// "ADD " + the clause, for one key added on its own.
std::string AddConstraintClause(const std::string& clause);
// "DROP CONSTRAINT fk_User_Role"; the name as given (see BracketedName for a reported one).
std::string DropConstraintClause(const std::string& constraintName);
// "ALTER TABLE " + table + " " + clause.
std::string AlterTableStatement(const std::string& table, const std::string& clause);
// "ALTER TABLE T ALTER COLUMN C NVARCHAR(64) NOT NULL": the column brought to its definition.
std::string AlterColumnStatement(const TableDef& table, const ColumnDef& column);
// "[name]" with "]" doubled, so that a name the server reported cannot change a statement.
std::string BracketedName(const std::string& name);

} // namespace sqllumo::schema
