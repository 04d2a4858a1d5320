#pragma once
// What a password database holds of its schema, read from the server's own listings rather than
// from its version row: the keys, the foreign keys, the default functions. The upgrade decides
// by it whether to run, and the schema steps what to put back.

#include "DatabasePort.h"
#include "PasswordSchema.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sqllumo::password {

// A statement read through a connection or a catalogue.
using SchemaQuery = std::function<dbport::ResultSet(const QString& statement)>;

// The name of the primary key on the table's key column; nullopt when it has none there.
std::optional<QString> PrimaryKeyName(const SchemaQuery& query, const PasswordTableDef& table);

enum class ForeignKeyState { Missing, NotCascading, Cascading };
// As the referenced table's "sp_fkeys" listing reports the key's column; the last matching row
// decides.
ForeignKeyState StateOf(const SchemaQuery& query, const PasswordForeignKey& key);

bool HasFunction(const SchemaQuery& query, const std::string& functionName);

enum class VersionState {
    Older,   // a version before the current one, or no T_DBVersion table
    Current, // the current version, or no row at all
    Other,   // any other text, a newer version's included: not this program's to change
};
VersionState VersionOf(const SchemaQuery& query, const QStringList& presentTables);

// What the current schema lacks: each entry a table, key or function name.
struct SchemaGaps {
    std::vector<std::string> tables;
    std::vector<std::string> primaryKeys; // tables without their key
    std::vector<std::string> foreignKeys; // missing, or without cascading rules
    std::vector<std::string> functions;
    bool empty() const
    {
        return tables.empty() && primaryKeys.empty() && foreignKeys.empty() && functions.empty();
    }
};
SchemaGaps FindSchemaGaps(const SchemaQuery& query, const QStringList& presentTables);

} // namespace sqllumo::password
