#pragma once
// Names as SQL Server's default collation sees them: letter case and trailing blanks do not
// tell two names apart, so "Doctors " and "doctors" find the same row.

#include <QString>
#include <QStringList>
#include <optional>

namespace sqllumo::db {

// The name without the blanks at its end, which the server would not compare anyway.
QString WithoutTrailingBlanks(const QString& name);
// True when the server would take the two names for the same one.
bool SameServerName(const QString& a, const QString& b);
// The entry of names the server would take for name, if there is one.
std::optional<QString> FindServerName(const QStringList& names, const QString& name);

} // namespace sqllumo::db
