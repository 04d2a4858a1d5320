#pragma once
// The SQL password in the desktop keyring (Secret Service) through QtKeychain, and the start of
// a run that decides between the keyring and the settings file.

#include "SecretStore.h"

#include <chrono>
#include <functional>

namespace sqllumo {

class Settings;

// Longer than any keyring takes to answer, unlocking prompt included; past it the run goes on
// with the settings file.
inline constexpr std::chrono::milliseconds kKeyringAnswerTime{30000};

// Secrets of service "SQLLumoManager", one per account. Each job runs to its end in a local
// event loop (a Q(Core)Application must exist), or is given up after answerTime.
class KeyringSecretStore final : public SecretStore {
public:
    explicit KeyringSecretStore(std::chrono::milliseconds answerTime = kKeyringAnswerTime);
    Reading read(const QString& account) override;
    Outcome write(const QString& account, const QString& secret, QString& error) override;
    Outcome remove(const QString& account, QString& error) override;

private:
    std::chrono::milliseconds answerTime_;
};

// True when the session bus the environment names is there and a Secret Service runs on it or
// can be started by it. Never starts a bus of its own.
bool SecretServiceAvailable();

// The start of the window and of sqllumo: the password goes to the keyring where a Secret
// Service is available (moving one the file holds), else stays in the file; notice is told,
// once, when the file keeps a password.
void KeepSqlPasswordInKeyring(Settings& settings, std::function<void(const QString&)> notice);

} // namespace sqllumo
