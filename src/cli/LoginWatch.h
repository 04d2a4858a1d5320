#pragma once
// The console's door to the database, which tells once when a connection or catalogue has
// logged in to a server: only then do the options of the run become the stored defaults.

#include "DatabasePort.h"

#include <functional>

namespace sqllumo::cli {

class LoginWatchingProvider : public dbport::Provider {
public:
    // firstLogin runs once, right after the first open that succeeded.
    LoginWatchingProvider(dbport::Provider& inner, std::function<void()> firstLogin)
        : inner_(inner), firstLogin_(std::move(firstLogin))
    {
    }

    std::unique_ptr<dbport::Connection> newConnection() override;
    std::unique_ptr<dbport::Catalog> newCatalog() override;

    bool loggedIn() const { return loggedIn_; }

private:
    void loginSucceeded();

    dbport::Provider& inner_;
    std::function<void()> firstLogin_;
    bool loggedIn_ = false;
};

} // namespace sqllumo::cli
