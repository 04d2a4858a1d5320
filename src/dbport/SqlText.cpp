// Quoting of names and literals for the statements the database layer builds itself.
#include "SqlText.h"

#include "Error.h"

#include <QDateTime>

#include <cmath>

namespace sqllumo::db {

QString QuotedIdentifier(const QString& name)
{
    if (!name.contains(QLatin1Char(']'))) {
        QString quoted;
        quoted.reserve(name.size() + 2);
        quoted += QLatin1Char('[');
        quoted += name;
        quoted += QLatin1Char(']');
        return quoted;
    }
    QString quoted = name;
    quoted.replace(QLatin1Char(']'), QStringLiteral("]]"));
    return QLatin1Char('[') + quoted + QLatin1Char(']');
}

QString QuotedQualifiedName(const QStringList& parts)
{
    QStringList quoted;
    for (const QString& part : parts)
        quoted << QuotedIdentifier(part);
    return quoted.join(QLatin1Char('.'));
}

QString UpperHex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString BinaryLiteral(const QByteArray& bytes)
{
    return QStringLiteral("0x") + UpperHex(bytes);
}

QString Utf16BinaryLiteral(const QString& text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString literal(2 + text.size() * 4, Qt::Uninitialized);
    QChar* out = literal.data();
    *out++ = QLatin1Char('0');
    *out++ = QLatin1Char('x');
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        for (const int byte : {unit & 0xFF, unit >> 8}) {
            *out++ = QLatin1Char(kDigits[byte >> 4]);
            *out++ = QLatin1Char(kDigits[byte & 0xF]);
        }
    }
    return literal;
}

QByteArray Utf16BytesFromText(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString TextFromUtf16Bytes(const QByteArray& bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text[i / 2] = QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

QString TextLiteral(const QString& text)
{
    bool printableAscii = true;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) {
            printableAscii = false;
            break;
        }
    }
    if (printableAscii) {
        QString escaped = text;
        escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("N'") + escaped + QLatin1Char('\'');
    }
    return QStringLiteral("CAST(") + Utf16BinaryLiteral(text) +
           QStringLiteral(" AS NVARCHAR(MAX))");
}

namespace {

// 'yyyy-MM-ddTHH:mm:ss.zzz', its digits put in place: formatting through QDateTime reads the
// pattern anew for every value, a cost an import of many dated rows feels. Years outside four
// digits keep Qt's own writing.
QString dateTimeLiteral(const QDateTime& value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    if (date.year() < 1000 || date.year() > 9999)
        return QLatin1Char('\'') + value.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
               QLatin1Char('\'');
    char text[] = "'0000-00-00T00:00:00.000'";
    const auto put = [&text](int at, int number, int digits) {
        for (int i = at + digits - 1; i >= at; --i, number /= 10)
            text[i] = static_cast<char>('0' + number % 10);
    };
    put(1, date.year(), 4);
    put(6, date.month(), 2);
    put(9, date.day(), 2);
    put(12, time.hour(), 2);
    put(15, time.minute(), 2);
    put(18, time.second(), 2);
    put(21, time.msec(), 3);
    return QString::fromLatin1(text, sizeof text - 1);
}

} // namespace

QString ValueLiteral(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            throw Error(kInvalidArgument,
                        QStringLiteral("A number that is not finite cannot be stored."));
        // Enough digits to read back the same double; "e" forms are valid T-SQL floats.
        return QString::number(d, 'g', 17);
    }
    case QMetaType::QString:
        return TextLiteral(value.toString());
    case QMetaType::QByteArray:
        return BinaryLiteral(value.toByteArray());
    case QMetaType::QDateTime: {
        const QDateTime t = value.toDateTime();
        if (!t.isValid())
            throw Error(kInvalidArgument, QStringLiteral("The date and time is not valid."));
        return dateTimeLiteral(t);
    }
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        if (!d.isValid())
            throw Error(kInvalidArgument, QStringLiteral("The date is not valid."));
        return QLatin1Char('\'') + d.toString(QStringLiteral("yyyy-MM-ddT00:00:00.000")) +
               QLatin1Char('\'');
    }
    default:
        throw Error(kInvalidArgument, QStringLiteral("A value of type %1 cannot be stored.")
                                          .arg(QString::fromLatin1(value.typeName())));
    }
}

} // namespace sqllumo::db
