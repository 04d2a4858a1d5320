// Built only when the tree has no database layer yet: every connection fails with a message
// that says so, which the dispatcher shows as a connection failure.
#include "ServerProvider.h"

namespace sqllumo::server {

namespace {
const QString kNoDriver =
    QStringLiteral("This build of SQLLumoManager carries no database driver (src/db is missing).");

class UnavailableProvider : public sql::Provider {
public:
    std::unique_ptr<sql::Connection> newConnection() override
    {
        throw sql::Error(sql::kConnectionFailed, kNoDriver);
    }
    std::unique_ptr<sql::Catalog> newCatalog() override
    {
        throw sql::Error(sql::kConnectionFailed, kNoDriver);
    }
};
} // namespace

std::unique_ptr<sql::Provider> MakeServerProvider()
{
    return std::make_unique<UnavailableProvider>();
}

} // namespace sqllumo::server
