// Column definitions written from their types and references, and lookups over tables.
#include "TableModel.h"

namespace sqllumo::schema {

namespace {

const char* nullClause(Nullability nullability)
{
    switch (nullability) {
    case Nullability::NotNull:
        return "NOT NULL";
    case Nullability::Null:
        return "NULL";
    case Nullability::Unstated:
        break;
    }
    return "";
}

} // namespace

std::string ColumnType::text() const
{
    std::string out = name;
    if (length > 0)
        out += "(" + std::to_string(length) + ")";
    const std::string clause = nullClause(nullability);
    return clause.empty() ? out : out + " " + clause;
}

ColumnType Int(Nullability nullability)
{
    return {"INT", 0, nullability};
}

ColumnType SmallInt()
{
    return {"SMALLINT", 0, Nullability::NotNull};
}

ColumnType TinyInt()
{
    return {"TINYINT", 0, Nullability::NotNull};
}

ColumnType Bit()
{
    return {"BIT", 0, Nullability::NotNull};
}

ColumnType DateTime(Nullability nullability)
{
    return {"DATETIME", 0, nullability};
}

ColumnType NVarChar(int length, Nullability nullability)
{
    return {"NVARCHAR", length, nullability};
}

ColumnType Image()
{
    return {"IMAGE", 0, Nullability::Unstated};
}

ColumnDef::ColumnDef(std::string name, ColumnType type)
    : name(std::move(name)), type(std::move(type)), definition(this->type.text()),
      importDefinition(definition)
{
}

ColumnDef::ColumnDef(std::string name, Nullability nullability, ForeignKeyDef reference)
    : name(std::move(name)), type(Int(nullability)), importDefinition(type.text())
{
    definition = importDefinition;
    if (reference.declaredInline) {
        // The constraint name goes between the type and the null clause, as the server reads
        // a column constraint: "INT CONSTRAINT ID_Patient_fk NOT NULL FOREIGN KEY ...".
        definition =
            "INT " +
            (reference.constraintName.empty() ? std::string()
                                              : "CONSTRAINT " + reference.constraintName + " ") +
            nullClause(nullability) + " FOREIGN KEY REFERENCES " + reference.table + " (" +
            reference.column + ")" +
            (reference.cascades ? " ON DELETE CASCADE ON UPDATE CASCADE" : "");
    }
    foreignKey = std::move(reference);
}

const std::string& TableDef::primaryKeyColumn() const
{
    return hasIdentity() ? identityColumn : keyColumn;
}

std::string TableDef::indexName(size_t position) const
{
    return "IX_" + name + (position == 0 ? "" : "_" + std::to_string(position));
}

const ColumnDef* TableDef::findColumn(const std::string& column) const
{
    for (const auto& c : columns)
        if (c.name == column)
            return &c;
    return nullptr;
}

const TableDef* FindTable(const std::vector<TableDef>& tables, const std::string& name)
{
    for (const auto& table : tables)
        if (table.name == name)
            return &table;
    return nullptr;
}

std::string Unbracketed(const std::string& name)
{
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        return name.substr(1, name.size() - 2);
    return name;
}

} // namespace sqllumo::schema
