#pragma once
// A look inside an Access file without any server: its user tables with row counts and
// columns, and everything an import of it would meet, found in one pass over the rows. UI-free:
// the console prints the lines, a window can show them or walk the findings.

#include <QString>
#include <QStringList>

#include <vector>

namespace sqllumo::archive {

struct InspectedTable {
    QString name;
    long long rows = 0;  // -1 when they cannot be counted
    QString rowsError;   // why not
    QStringList columns; // "ID_Marker Long Integer (AutoNumber)", "Marker Text(50)"
};

enum class FindingKind {
    // An import would fail on these.
    MissingTable,     // one of the twelve tables the copy requires
    MissingColumn,    // a column the copy reads
    UnreadableRow,    // the reader stopped in the table
    DuplicateKey,     // a value held by several rows of a key the import adds
    NullValue,        // NULL where the archive declares NOT NULL and the copy puts nothing else
    TextTooLong,      // more characters than the SQL Server column holds
    DateOutOfRange,   // outside DATETIME's 1753-01-01 to 9999-12-31
    NumberOutOfRange, // more than a SMALLINT or TINYINT column holds
    MissingReference, // a FOREIGN KEY of the key step that finds no row
    // An import would succeed, without these.
    SkippedTable,   // a statistics table the file lacks
    PhotoNotCopied, // T_Patient.Photo holds a value
    OtherTable,     // a user table that is not an archive table
};

struct InspectionFinding {
    FindingKind kind;
    QString table;
    QString row;    // "ID_Patient 5", or "row 3" in a table without a key; may be empty
    QString column; // may be empty
    QString text;   // the whole line as shown
    bool blocksImport() const { return kind < FindingKind::SkippedTable; }
};

struct AccessInspection {
    QString path;
    bool readable = false;
    QString error; // why the file cannot be read, when it cannot
    std::vector<InspectedTable> tables;
    // By kind, problems first; in file order within a kind.
    std::vector<InspectionFinding> findings;

    int problemCount() const;
    bool importWouldSucceed() const { return readable && problemCount() == 0; }
    // One line per table, then a heading, the findings and the verdict.
    QStringList lines() const;
};

AccessInspection InspectAccessFile(const QString& path);

} // namespace sqllumo::archive
