#pragma once
// The shift log "logShiftDBFields.log": one line per record, in a folder of its own beside the
// report log. Its lines name patients and hold the only copy of the values a move overwrote, so
// the file and its folder are its owner's alone, every line is on disk before the rows it
// describes change, and a full log is set aside, never deleted.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace sqllumo::shifting {

inline const QString kShiftLogFileName = QStringLiteral("logShiftDBFields.log");
// The full log set aside before a move, replacing an older one.
inline const QString kSetAsideLogFileName = QStringLiteral("logShiftDBFields.1.log");
// The owner-only folder of both, inside the report log's folder.
inline const QString kShiftLogFolderName = QStringLiteral("shift-log");
// A log larger than this is set aside before the next move starts.
inline constexpr qint64 kShiftLogLimit = 10000000;

// folder empty: where the report log goes (the program's folder, or the user's data folder).
QString ShiftLogPath(const QString& folder = QString());
// Beside the log at logPath.
QString SetAsideLogPath(const QString& logPath);

// "(" + date + " " + time + ") " + source + ": " + text + CR LF, as the line appears in the log.
QString ShiftLogLine(const QString& source, const QString& text, const QDateTime& when);

// Called before a move, never within one: a log past kShiftLogLimit becomes the set-aside log.
// A log left by an older version directly in the report log's folder is moved in first.
void SetAsideFullLog(const QString& logPath);

// The log held open for one move. Each write appends its lines and waits until they are on
// disk; a failure is returned with its reason, so the move can stop before changing the rows
// the lines describe.
class ShiftLogWriter {
public:
    explicit ShiftLogWriter(QString path);
    ~ShiftLogWriter();
    ShiftLogWriter(const ShiftLogWriter&) = delete;
    ShiftLogWriter& operator=(const ShiftLogWriter&) = delete;

    bool write(const QString& source, const QStringList& texts);
    bool write(const QString& source, const QString& text)
    {
        return write(source, QStringList{text});
    }
    const QString& path() const { return path_; }
    // Why the last write failed, naming the file; errno in errorNumber().
    const QString& error() const { return error_; }
    int errorNumber() const { return errorNumber_; }

private:
    bool open();
    bool fail(int number, const QString& what);

    QString path_;
    int fd_ = -1;
    QString error_;
    int errorNumber_ = 0;
};

// Appends one line and waits until it is on disk; false when it could not be written.
bool AppendLogLine(const QString& path, const QString& source, const QString& text);

} // namespace sqllumo::shifting
