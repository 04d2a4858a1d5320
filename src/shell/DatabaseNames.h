#pragma once
// The one check of the database name a function works on: the server's own databases are never
// the target of a function that creates, fills, changes or removes one, and a new database's
// name must leave room for the data and log file names made from it.

#include <QString>
#include <optional>

namespace sqllumo {

// What the function does with the database it names.
enum class DatabaseUse {
    Read,    // only reads it, the name written into a statement (backup)
    Changed, // changes or removes it through the server's own list (shift, password delete)
    Removed, // removes it, the name written into DROP DATABASE
    Created, // creates it under that name, with "<name>_Dat" and "<name>_Log" as file names
};

// The server's identifiers hold at most this many characters.
inline constexpr int kLongestIdentifier = 128;
// "_Dat" and "_Log" are appended for the logical file names.
inline constexpr int kLongestNewDatabaseName = kLongestIdentifier - 4;

// master, model, msdb and tempdb, in any case.
bool IsSystemDatabase(const QString& name);

// The validation message refusing `name` for that use; nullopt when it may be used.
std::optional<QString> DatabaseNameRefusal(const QString& name, DatabaseUse use);

} // namespace sqllumo
