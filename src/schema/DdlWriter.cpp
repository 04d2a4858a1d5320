// CREATE TABLE and ALTER TABLE texts assembled from the table model.
#include "DdlWriter.h"

namespace sqllumo::schema {

namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i == 0 ? "" : separator) + parts[i];
    return out;
}

std::string identityText(const TableDef& table)
{
    std::string text = table.identityColumn + " INT IDENTITY";
    if (table.identitySeed != 1 || table.seedWrittenWhenOne)
        text += "(" + std::to_string(table.identitySeed) + ",1)";
    return text;
}

} // namespace

std::string CreateTableStatement(const TableDef& table)
{
    std::vector<std::string> fragments;
    if (table.hasIdentity())
        fragments.push_back(identityText(table) + " CONSTRAINT " + table.primaryKeyName() +
                            " PRIMARY KEY");
    for (const auto& column : table.columns)
        fragments.push_back(column.name + " " + column.definition);
    if (!table.keyColumn.empty())
        fragments.push_back(PrimaryKeyClause(table));
    return "CREATE TABLE " + table.name + "( " + joined(fragments, ", ") +
           (table.blankBeforeClose ? " )" : ")");
}

std::vector<std::string> KeylessColumnFragments(const TableDef& table)
{
    std::vector<std::string> columns;
    if (table.hasIdentity())
        columns.push_back(table.identityColumn + " INT IDENTITY");
    for (const auto& column : table.columns)
        columns.push_back(column.name + " " + column.importDefinition);
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i] += i + 1 < columns.size() ? ", " : " ";
    return columns;
}

std::string CreateKeylessTableStatement(const TableDef& table)
{
    std::string statement = "CREATE TABLE " + table.name + "( ";
    for (const auto& fragment : KeylessColumnFragments(table))
        statement += fragment;
    return statement + ")";
}

std::string PrimaryKeyClause(const TableDef& table)
{
    if (!table.hasPrimaryKey())
        return {};
    return "CONSTRAINT " + table.primaryKeyName() + " PRIMARY KEY (" + table.primaryKeyColumn() +
           ")";
}

std::string ForeignKeyClause(const std::string& column, const ForeignKeyDef& reference)
{
    return (reference.constraintName.empty() ? ""
                                             : "CONSTRAINT " + reference.constraintName + " ") +
           "FOREIGN KEY (" + column + ") REFERENCES " + reference.table + " (" + reference.column +
           ")" + (reference.cascades ? " ON DELETE CASCADE ON UPDATE CASCADE" : "");
}

std::string AddKeysClause(const TableDef& table)
{
    std::vector<std::string> clauses;
    if (table.hasPrimaryKey())
        clauses.push_back(PrimaryKeyClause(table));
    for (const auto& column : table.columns)
        if (column.foreignKey)
            clauses.push_back(ForeignKeyClause(column.name, *column.foreignKey));
    if (clauses.empty())
        return {};
    const std::string text = AddConstraintClause(joined(clauses, ", "));
    return table.addedKeysEndWithBlank ? text + " " : text;
}

std::string AddConstraintClause(const std::string& clause)
{
    return "ADD " + clause;
}

std::string DropConstraintClause(const std::string& constraintName)
{
    return "DROP CONSTRAINT " + constraintName;
}

std::string AlterTableStatement(const std::string& table, const std::string& clause)
{
    return "ALTER TABLE " + table + " " + clause;
}

std::string AlterColumnStatement(const TableDef& table, const ColumnDef& column)
{
    return AlterTableStatement(table.name, "ALTER COLUMN " + column.name + " " + column.definition);
}

std::string BracketedName(const std::string& name)
{
    std::string bracketed = "[";
    for (char c : name)
        bracketed += c == ']' ? std::string("]]") : std::string(1, c);
    return bracketed + "]";
}

} // namespace sqllumo::schema
