// The four message forms (validation, success, error, access) and the trapped-error text.
#include "Messages.h"

namespace sqllumo {

Message validationMessage(const QString& text)
{
    return Message{text, QString(), MessageIcon::None, MessageButtons::Ok};
}

Message successMessage(const QString& windowCaption, const QString& text)
{
    return Message{text, windowCaption, MessageIcon::Information, MessageButtons::Ok};
}

Message errorMessage(const QString& windowCaption, const QString& text)
{
    return Message{text, windowCaption + texts::kErrorTitleSuffix, MessageIcon::Critical,
                   MessageButtons::Ok};
}

Message trappedErrorMessage(const QString& windowCaption, long long number,
                            const QString& description, bool duringConnection,
                            const QString& failedStep)
{
    const QString& head = duringConnection ? texts::kConnectionError : texts::kGenericError;
    const QString step = failedStep.isEmpty() ? QString() : failedStep + QLatin1Char('\r');
    return errorMessage(windowCaption, head + QLatin1Char('\r') + step + QString::number(number) +
                                           QStringLiteral(": ") + description);
}

QString AdminPasswordPrompt(PasswordRequestMode mode, AdminSecret secret)
{
    if (secret == AdminSecret::ArchivePassPhrase)
        return QStringLiteral("The service pass phrase of the archive functions\n"
                              "(not a password of any database):");
    switch (mode) {
    case PasswordRequestMode::NewPassword:
        return QStringLiteral("The administrator password of the new password database, "
                              "twice:");
    case PasswordRequestMode::ChangePassword:
        return QStringLiteral("The administrator password of the password database,\n"
                              "then the new one twice:");
    case PasswordRequestMode::ConfirmPassword:
        break;
    }
    return QStringLiteral("The administrator password of the password database:");
}

QString AdminPasswordConsolePrompt(AdminSecret secret)
{
    return secret == AdminSecret::ArchivePassPhrase
               ? QStringLiteral("Service pass phrase of the archive functions: ")
               : QStringLiteral("Administrator password of the password database: ");
}

QString AdminCheckUnreachable(const QString& server, const QString& database, bool loginRefused,
                              const QString& serverText)
{
    const QString what =
        loginRefused
            ? QStringLiteral("SQL Server %1 refused the login, so the administrator password "
                             "could not be checked in the password database %2.")
            : QStringLiteral("The password database %2 on SQL Server %1 could not be reached, so "
                             "the administrator password could not be checked.");
    return what.arg(server, database) + QLatin1Char('\r') +
           QStringLiteral("Check the server name, the login and its password in the panel.") +
           QLatin1Char('\r') + serverText;
}

Message accessMessage(const QString& text)
{
    return Message{text, texts::kWarningTitle, MessageIcon::None, MessageButtons::Ok};
}

} // namespace sqllumo
