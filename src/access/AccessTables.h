#pragma once
// What an Access file holds, read from its catalogue and table definitions without decoding a
// row: its user tables in catalogue order and each one's columns with their Access types. Any
// Access file will do, not only an archive.

#include <QString>

#include <vector>

namespace sqllumo::db {

struct AccessColumnInfo {
    QString name;
    QString accessType; // as Access names it: "Long Integer", "Text", "Memo", "Yes/No", ...
    int size = 0;       // characters of a Text column; 0 for the other types
    bool autoNumber = false;
    // "Text(50)", "Long Integer (AutoNumber)", "Date/Time".
    QString typeText() const;
};

struct AccessTableInfo {
    QString name;
    std::vector<AccessColumnInfo> columns;
};

// Raises kConnectionFailed, naming the file, when it cannot be read as an Access database: no
// such file, not an Access file, cut short, or a catalogue that cannot be read.
std::vector<AccessTableInfo> AccessUserTables(const QString& path);

// Raises kConnectionFailed, naming the file, unless it begins as an Access file does and is made
// of whole pages; libmdb is never handed a file that fails this.
void CheckAccessFileHeader(const QString& path);

} // namespace sqllumo::db
