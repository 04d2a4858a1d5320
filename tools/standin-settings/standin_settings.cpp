// Lets the run script point a new user's settings at the local stand-in server, and only when
// the settings name no other server: a technician's own server is never overwritten.
//
//   standin-settings uses ADDRESS          exit 0 when the stored server is empty or ADDRESS
//   standin-settings fill ADDRESS PWFILE   store ADDRESS, sa and the password read from PWFILE,
//                                          and Encryption=request unless another value is set
#include "Settings.h"
#include "TransportSecurity.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using sqllumo::Settings;
namespace keys = sqllumo::settingkeys;

namespace {
bool namesOtherServer(const Settings& settings, const QString& address)
{
    const QString stored = settings.value(keys::kSQLServerName).trimmed();
    return !stored.isEmpty() && stored.compare(address, Qt::CaseInsensitive) != 0;
}

int usage()
{
    std::fputs("usage: standin-settings uses ADDRESS\n"
               "       standin-settings fill ADDRESS PASSWORD_FILE\n",
               stderr);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const QString& command = args[0];
    const QString& address = args[1];
    Settings settings;

    if (command == QLatin1String("uses") && args.size() == 2)
        return namesOtherServer(settings, address) ? 1 : 0;

    if (command == QLatin1String("fill") && args.size() == 3) {
        if (namesOtherServer(settings, address)) {
            std::fprintf(stderr, "The settings name the server %s; they are left as they are.\n",
                         qPrintable(settings.value(keys::kSQLServerName)));
            return 1;
        }
        QFile file(args[2]);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "Cannot read the password file %s: %s\n", qPrintable(args[2]),
                         qPrintable(file.errorString()));
            return 1;
        }
        const QString password =
            QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        const QString storedUser = settings.value(keys::kSQLUserName);
        settings.setValue(keys::kSQLServerName, address);
        // Another user name on the stand-in is the person's own choice; only sa gets its password.
        if (storedUser.isEmpty() ||
            storedUser.compare(QLatin1String("sa"), Qt::CaseInsensitive) == 0) {
            settings.setValue(keys::kSQLUserName, QStringLiteral("sa"));
            settings.setValue(keys::kSQLPassword, password);
        }
        // The stand-in offers encryption: request it in so many words, so the file shows it. A
        // person's own off or require stays.
        if (settings.value(keys::kEncryption) == sqllumo::dbport::kEncryptionRequest)
            settings.setValue(keys::kEncryption, sqllumo::dbport::kEncryptionRequest);
        if (!settings.sync()) {
            std::fprintf(stderr, "Cannot write the settings file %s\n",
                         qPrintable(settings.fileName()));
            return 1;
        }
        std::printf("Settings point at the stand-in server %s\n", qPrintable(address));
        return 0;
    }
    return usage();
}
