#pragma once
// The report buffer of the operation in progress and its flush to the report log.

#include <QDateTime>
#include <QString>

namespace sqllumo {

inline const QString kReportLogFileName = QStringLiteral("SQLLumoManager Report.log");

class ReportBuffer {
public:
    const QString& text() const { return text_; }
    void setText(const QString& text) { text_ = text; }
    void append(const QString& text) { text_ += text; }
    void clear() { text_.clear(); }
    bool isEmpty() const { return text_.isEmpty(); }

private:
    QString text_;
};

// The block written for one report: empty line, asterisks, date and time, asterisks, text.
// The date is the locale's short date, the time has seconds and no time-zone name.
QString FormatReportBlock(const QString& report, const QDateTime& when);

// Appends the buffer to "<folder>/SQLLumoManager Report.log" and empties it. An empty buffer
// writes nothing. When the log cannot be written, returns false with errorText set and
// leaves the buffer untouched. An empty folder means LogFolderFor(the program's folder).
bool FlushReportToLog(ReportBuffer& buffer, QString* errorText = nullptr,
                      const QString& folder = QString());

// programFolder when the log can be written there (an installed program's folder under /usr
// cannot), else UserDataLogFolder(), created when missing.
QString LogFolderFor(const QString& programFolder);
// ~/.local/share/SQLLumoManager (as $XDG_DATA_HOME says).
QString UserDataLogFolder();

QString ReportLogPath(const QString& folder);

// A run's results as the window's details area and the console show them: the summary's lines
// (what the run found, problems first), an empty line, then the report's, with plain line
// ends and no empty first line.
QString RunDetails(const QString& summary, const QString& report);
// Marks the lines of a summary that are problems.
inline const QString kProblemMark = QStringLiteral("!!");

} // namespace sqllumo
