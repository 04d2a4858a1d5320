#pragma once
// The program's own connection strings; db::ConnectionString maps them to ODBC.

#include <QString>

namespace sqllumo {

// SQL Server authentication when user or password is non-empty, else integrated security.
QString BuildConnectionString(const QString& server, const QString& database, const QString& user,
                              const QString& password);

// Source string of an Access file for the import.
QString AccessSourceString(const QString& accessFilePath);

// Doubles every single quote, for embedding a value in an SQL string literal.
QString SQLConvertString(const QString& text);

} // namespace sqllumo
