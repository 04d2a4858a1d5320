// The desktop keyring behind SecretStore: QtKeychain's asynchronous jobs made into calls that
// end within a bounded time, and the check for a Secret Service on the session bus.
#include "KeyringSecretStore.h"

#include "Settings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <memory>

namespace sqllumo {

namespace {

const QString kSecretServiceName = QStringLiteral("org.freedesktop.secrets");
const QString kNoAnswer = QStringLiteral("no answer within %1 seconds");

struct JobEnd {
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QString errorText;
    QString secret;
};

// Runs job to its end or until answerTime has passed. A job given up deletes itself whenever
// it ends; its answer then reaches nobody.
JobEnd RunJob(QKeychain::Job* job, std::chrono::milliseconds answerTime)
{
    auto end = std::make_shared<JobEnd>();
    job->setAutoDelete(true);
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [end, &loop](QKeychain::Job* done) {
        end->finished = true;
        end->error = done->error();
        end->errorText = done->errorString();
        if (const auto* reading = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            end->secret = reading->textData();
        loop.quit();
    });
    QTimer::singleShot(answerTime, &loop, &QEventLoop::quit);
    job->start();
    // The window's input waits meanwhile, so no second OK can start.
    if (!end->finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!end->finished)
        end->errorText =
            kNoAnswer.arg(std::chrono::duration_cast<std::chrono::seconds>(answerTime).count());
    return *end;
}

SecretStore::Outcome OutcomeOf(const JobEnd& end, QString& error)
{
    if (end.finished && end.error == QKeychain::NoError)
        return SecretStore::Outcome::Done;
    if (end.finished && end.error == QKeychain::EntryNotFound)
        return SecretStore::Outcome::NotFound;
    error = end.errorText;
    return SecretStore::Outcome::Failed;
}

// Only a bus the environment names: asking for "the session bus" without one could make
// libdbus launch a bus daemon of its own that outlives the run.
bool SessionBusNamed()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

} // namespace

KeyringSecretStore::KeyringSecretStore(std::chrono::milliseconds answerTime)
    : answerTime_(answerTime)
{
}

SecretStore::Reading KeyringSecretStore::read(const QString& account)
{
    auto* job = new QKeychain::ReadPasswordJob(kApplicationName);
    job->setKey(account);
    const JobEnd end = RunJob(job, answerTime_);
    Reading reading;
    reading.outcome = OutcomeOf(end, reading.error);
    if (reading.outcome == Outcome::Done)
        reading.secret = end.secret;
    return reading;
}

SecretStore::Outcome KeyringSecretStore::write(const QString& account, const QString& secret,
                                               QString& error)
{
    auto* job = new QKeychain::WritePasswordJob(kApplicationName);
    job->setKey(account);
    job->setTextData(secret);
    return OutcomeOf(RunJob(job, answerTime_), error);
}

SecretStore::Outcome KeyringSecretStore::remove(const QString& account, QString& error)
{
    auto* job = new QKeychain::DeletePasswordJob(kApplicationName);
    job->setKey(account);
    return OutcomeOf(RunJob(job, answerTime_), error);
}

bool SecretServiceAvailable()
{
    if (!SessionBusNamed())
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(kSecretServiceName).value())
        return true;
    return bus.interface()->activatableServiceNames().value().contains(kSecretServiceName);
}

void KeepSqlPasswordInKeyring(Settings& settings, std::function<void(const QString&)> notice)
{
    settings.setPasswordNotice(std::move(notice));
    if (SecretServiceAvailable())
        settings.useSecretStore(std::make_unique<KeyringSecretStore>());
}

} // namespace sqllumo
