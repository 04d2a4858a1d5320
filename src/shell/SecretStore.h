#pragma once
// A place other than the settings file for the SQL login password: the desktop keyring in the
// program, a scripted one in tests. Settings routes the one key to it (Settings::useSecretStore).

#include <QString>

namespace sqllumo {

class SecretStore {
public:
    enum class Outcome { Done, NotFound, Failed };
    struct Reading {
        Outcome outcome = Outcome::Failed;
        QString secret; // when Done
        QString error;  // when Failed
    };

    virtual ~SecretStore() = default;
    // account: whose password it is, AccountFor(server, user).
    virtual Reading read(const QString& account) = 0;
    // Failed with error set when the store did not take it.
    virtual Outcome write(const QString& account, const QString& secret, QString& error) = 0;
    // NotFound when there was nothing to remove, which is no failure.
    virtual Outcome remove(const QString& account, QString& error) = 0;

    // The password of a login on a server: "<user>@<server>".
    static QString AccountFor(const QString& server, const QString& user)
    {
        return user + QLatin1Char('@') + server;
    }
};

} // namespace sqllumo
