// Comparing names as the server's default collation does.
#include "ServerNames.h"

namespace sqllumo::db {

QString WithoutTrailingBlanks(const QString& name)
{
    qsizetype end = name.size();
    while (end > 0 && name.at(end - 1) == QLatin1Char(' '))
        --end;
    return name.left(end);
}

bool SameServerName(const QString& a, const QString& b)
{
    return WithoutTrailingBlanks(a).compare(WithoutTrailingBlanks(b), Qt::CaseInsensitive) == 0;
}

std::optional<QString> FindServerName(const QStringList& names, const QString& name)
{
    for (const QString& listed : names)
        if (SameServerName(listed, name))
            return listed;
    return std::nullopt;
}

} // namespace sqllumo::db
