#pragma once
// The shift log "logShiftDBFields.log": one line per record, kept beside the program, started
// anew once it has grown past 10,000,000 bytes. Its lines name patients, so only its owner may
// read it.

#include <QDateTime>
#include <QString>

namespace sqllumo::shifting {

inline const QString kShiftLogFileName = QStringLiteral("logShiftDBFields.log");
// A log larger than this is deleted before the next line, which then starts a new file.
inline constexpr qint64 kShiftLogLimit = 10000000;

// folder empty: where the report log goes (the program's folder, or the user's data folder).
QString ShiftLogPath(const QString& folder = QString());

// "(" + date + " " + time + ") " + source + ": " + text + CR LF, as the line appears in the log.
QString ShiftLogLine(const QString& source, const QString& text, const QDateTime& when);

// Appends one line. Every failure (no folder, no right to write, a full disk) is ignored and
// nothing is written: the log must never stop a shift.
void AppendLogLine(const QString& path, const QString& source, const QString& text);

} // namespace sqllumo::shifting
