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

// The block written for one report: empty line, asterisks, date-time, asterisks, text.
QString FormatReportBlock(const QString& report, const QDateTime& when);

// Appends the buffer to "<folder>/SQLLumoManager Report.log" and empties it. An empty buffer
// writes nothing. When the log cannot be written, returns false with errorText set and
// leaves the buffer untouched. An empty folder means the program's own folder.
bool FlushReportToLog(ReportBuffer& buffer, QString* errorText = nullptr,
                      const QString& folder = QString());

QString ReportLogPath(const QString& folder = QString());

} // namespace sqllumo
