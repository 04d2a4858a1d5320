// Reading a password database's keys, foreign keys, functions and version from the server.
#include "PasswordSchemaState.h"

namespace sqllumo::password {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

std::optional<QString> PrimaryKeyName(const SchemaQuery& query, const PasswordTableDef& table)
{
    const dbport::ResultSet keys = query(q(KeyListingCall(table)));
    const QString column = q(table.primaryKeyColumn()).toUpper();
    for (size_t row = 0; keys.isOpen() && row < keys.rowCount(); ++row)
        if (keys.text(row, QStringLiteral("COLUMN_NAME")).toUpper() == column)
            return keys.text(row, QStringLiteral("PK_NAME"));
    return std::nullopt;
}

ForeignKeyState StateOf(const SchemaQuery& query, const PasswordForeignKey& key)
{
    ForeignKeyState state = ForeignKeyState::Missing;
    const dbport::ResultSet listing = query(q(key.listingCall()));
    for (size_t row = 0; listing.isOpen() && row < listing.rowCount(); ++row) {
        if (listing.text(row, QStringLiteral("fktable_name")).toUpper() != q(key.table).toUpper() ||
            listing.text(row, QStringLiteral("fkcolumn_name")).toUpper() != q(key.column).toUpper())
            continue;
        const bool cascades = listing.value(row, QStringLiteral("update_rule")).toInt() == 0 &&
                              listing.value(row, QStringLiteral("delete_rule")).toInt() == 0;
        state = cascades ? ForeignKeyState::Cascading : ForeignKeyState::NotCascading;
    }
    return state;
}

bool HasFunction(const SchemaQuery& query, const std::string& functionName)
{
    return !query(q(FunctionIdQuery(functionName))).isEmpty();
}

VersionState VersionOf(const SchemaQuery& query, const QStringList& presentTables)
{
    if (!presentTables.contains(QStringLiteral("T_DBVersion"), Qt::CaseSensitive))
        return VersionState::Older;
    if (!query(q(OlderVersionQuery())).isEmpty())
        return VersionState::Older;
    if (!query(q(OtherVersionQuery())).isEmpty())
        return VersionState::Other;
    return VersionState::Current;
}

SchemaGaps FindSchemaGaps(const SchemaQuery& query, const QStringList& presentTables)
{
    SchemaGaps gaps;
    for (const PasswordTableDef& table : PasswordTables()) {
        if (!presentTables.contains(q(table.name), Qt::CaseSensitive))
            gaps.tables.push_back(table.name);
        else if (table.hasPrimaryKey() && !PrimaryKeyName(query, table))
            gaps.primaryKeys.push_back(table.name);
    }
    if (!gaps.tables.empty())
        return gaps; // the schema steps build what is missing and its keys with it
    for (const PasswordForeignKey& key : PasswordForeignKeys())
        if (StateOf(query, key) != ForeignKeyState::Cascading)
            gaps.foreignKeys.push_back(key.name);
    for (const std::string& function : DefaultFunctionNames())
        if (!HasFunction(query, function))
            gaps.functions.push_back(function);
    return gaps;
}

} // namespace sqllumo::password
