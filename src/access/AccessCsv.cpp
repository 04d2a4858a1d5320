// CSV of an Access table. Floating values are written in the shortest plain decimal that reads
// back to the same double: a Single widened to double keeps every digit it stores, so it reads
// back to the Single as well.
#include "AccessCsv.h"

#include "AccessSource.h"
#include "AccessTables.h"

#include <QDateTime>
#include <QTextStream>

#include <charconv>
#include <cmath>

namespace sqllumo::db {

namespace {

QString quoted(QString text)
{
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString plainDecimal(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // The longest plain double (about 1.8e308) has 309 digits before the point.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// Access shows a date to the second, rounding the stored fraction.
QString dateText(QDateTime when)
{
    const int milliseconds = when.time().msec();
    when = when.addMSecs(milliseconds >= 500 ? 1000 - milliseconds : -milliseconds);
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString CsvField(const QVariant& value, int adoType)
{
    if (value.isNull())
        return QString();
    switch (adoType) {
    case adotype::kBoolean:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case adotype::kTinyInt:
    case adotype::kSmallInt:
    case adotype::kInteger:
        return QString::number(value.toLongLong());
    case adotype::kSingle:
    case adotype::kDouble:
    case adotype::kCurrency:
    case adotype::kNumeric:
        return plainDecimal(value.toDouble());
    case adotype::kDate:
        return dateText(value.toDateTime());
    case adotype::kGuid:
        return quoted(value.toString().toUpper());
    case adotype::kVarWChar:
    case adotype::kLongVarWChar:
        return quoted(value.toString());
    default:
        break;
    }
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromLatin1(value.toByteArray().toHex().toUpper());
    return quoted(value.toString());
}

CsvOutcome WriteAccessTableCsv(const QString& path, const QString& table, QTextStream& out,
                               QString& error)
{
    AccessRecordset rows;
    QStringList names;
    try {
        // Refuses what is no Access file before the reader walks it.
        for (const AccessTableInfo& info : AccessUserTables(path))
            names << info.name;
    } catch (const Error& e) {
        error = e.description();
        return CsvOutcome::FileUnreadable;
    }
    if (!names.contains(table, Qt::CaseInsensitive)) {
        error = QStringLiteral("The file %1 has no table named %2; its tables are: %3.")
                    .arg(path, table, names.join(QStringLiteral(", ")));
        return CsvOutcome::TableUnreadable;
    }
    try {
        rows.open(QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'),
                  QStringLiteral("Data Source=") + path);
    } catch (const Error& e) {
        error = e.description();
        return CsvOutcome::TableUnreadable;
    }
    const int columns = rows.fieldCount();
    std::vector<int> types;
    QStringList fields;
    for (int i = 0; i < columns; ++i) {
        types.push_back(rows.fieldType(i));
        fields << quoted(rows.fieldName(i));
    }
    out << fields.join(QLatin1Char(',')) << '\n';
    long long row = 0;
    try {
        for (; !rows.eof(); rows.moveNext()) {
            ++row;
            fields.clear();
            for (int i = 0; i < columns; ++i)
                fields << CsvField(rows.value(i), types[static_cast<size_t>(i)]);
            out << fields.join(QLatin1Char(',')) << '\n';
        }
    } catch (const Error& e) {
        error = QStringLiteral("Row %1 of table %2 cannot be read: %3")
                    .arg(row)
                    .arg(table, e.description());
        return CsvOutcome::RowUnreadable;
    }
    return CsvOutcome::Done;
}

} // namespace sqllumo::db
