// Which database names a function may work on, and the message that says why not.
#include "DatabaseNames.h"

#include "DatabaseTexts.h"
#include "ServerStatements.h"

#include <QStringList>

namespace sqllumo {

bool IsSystemDatabase(const QString& name)
{
    static const QStringList system = {QStringLiteral("master"), QStringLiteral("model"),
                                       QStringLiteral("msdb"), QStringLiteral("tempdb")};
    return system.contains(name, Qt::CaseInsensitive);
}

std::optional<QString> DatabaseNameRefusal(const QString& name, DatabaseUse use)
{
    if (use != DatabaseUse::Read && IsSystemDatabase(name))
        return server::texts::kSystemDatabaseName;
    if (use == DatabaseUse::Changed)
        return std::nullopt;
    const int longest = use == DatabaseUse::Created ? kLongestNewDatabaseName : kLongestIdentifier;
    if (name.size() > longest)
        return server::texts::DatabaseNameTooLong(longest);
    if (!server::IsRegularIdentifier(name))
        return server::texts::kInvalidDatabaseName;
    return std::nullopt;
}

} // namespace sqllumo
