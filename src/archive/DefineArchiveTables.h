#pragma once
// Gives a database the archive schema: every missing table with its keys, indexes and
// default rows, "Present" for each in GEN_Tables, and the report lines of the run.

#include "DatabasePort.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace sqllumo {
class ReportBuffer;
class TestResultRegistry;
} // namespace sqllumo

namespace sqllumo::archive {

// What a run needs besides the arguments of the operation itself.
struct ArchiveWork {
    dbport::Provider& provider;
    ReportBuffer& report;
    TestResultRegistry& registry;
};

// True when all 20 tables were handled; false with errorText set when an error stopped it.
// databaseName is used only in the report lines; the catalogue is bound by the caller to
// connectionString.
bool DefineArchiveTables(const QString& databaseName, const QString& connectionString,
                         dbport::Catalog& catalog, bool newVersion, QString& errorText,
                         const ArchiveWork& work);

// "ddmmyy" of today followed by the first six digits of the millisecond tick count.
QString MakeDatabaseCode();
// The same from given values; the tick count is rendered with its sign position and its
// characters 2 to 7 are taken, so a count of fewer than six digits gives a shorter code.
QString MakeDatabaseCode(const QDate& today, qint32 tickCount);
// Milliseconds since boot as a signed 32-bit value, wrapping as the platform's count does.
qint32 TickCount();

// The cipher bytes of "Version:1.02" under the database code (both as UTF-16 low byte first).
QByteArray EncipheredVersion(const QString& databaseCode);
// Reads such a version row back: hex text to bytes, deciphered under the code. Empty when the
// text is not hexadecimal or does not decipher.
QString DecipherVersionRow(const QString& storedText, const QString& databaseCode);

} // namespace sqllumo::archive
