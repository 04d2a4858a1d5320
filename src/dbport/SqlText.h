#pragma once
// The one place where values become SQL text in the statements the layer makes itself.
// Literals are built so that no quote, bracket, NUL, control, non-ASCII character or byte
// can end them early or change the statement around them, and text keeps its exact UTF-16
// code units (FreeTDS would pass other text through UTF-8, which changes unpaired
// surrogates).

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace sqllumo::db {

// [name] with every "]" doubled.
QString QuotedIdentifier(const QString& name);
// A possibly qualified name ("dbo.T") with each part bracketed.
QString QuotedQualifiedName(const QStringList& parts);

// Printable ASCII: N'text' with quotes doubled; anything else:
// CAST(0x<UTF-16LE bytes> AS NVARCHAR(MAX)); the empty text: N''.
QString TextLiteral(const QString& text);
// 0x<hex>; the empty array: 0x.
QString BinaryLiteral(const QByteArray& bytes);
// BinaryLiteral of the text's UTF-16LE bytes, written straight from its code units.
QString Utf16BinaryLiteral(const QString& text);
// NULL, 1/0, decimal numbers, text, binary, and 'yyyy-MM-ddTHH:mm:ss.zzz' for date-times
// (ISO 8601, read alike under every language and date format of the server). Values of
// other types are refused with kInvalidArgument.
QString ValueLiteral(const QVariant& value);

// Two upper-case hexadecimal digits per byte: how OLE DB and ODBC convert binary data to
// character data, and so how a byte array assigned to a text column is stored.
QString UpperHex(const QByteArray& bytes);

// UTF-16LE bytes <-> text, code unit for code unit (no validation, nothing replaced).
QString TextFromUtf16Bytes(const QByteArray& bytes);
QByteArray Utf16BytesFromText(const QString& text);

} // namespace sqllumo::db
