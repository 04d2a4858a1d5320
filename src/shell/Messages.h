#pragma once
// The four message forms used throughout, and the texts they share.

#include "UserInterface.h"

namespace sqllumo {

namespace texts {
inline const QString kWarningTitle = QStringLiteral("Warning");
inline const QString kErrorTitleSuffix = QStringLiteral(" - Warning...");
inline const QString kGenericError = QStringLiteral("An error occurred...");
inline const QString kConnectionError = QStringLiteral("Error during connection to the database");
inline const QString kConfirmPassword = QStringLiteral("You have to confirm password");
inline const QString kSecurityLevel =
    QStringLiteral("Unable to perform operation due to security access level");
inline const QString kNotAvailable =
    QStringLiteral("This function is not available in this version of SQLLumoManager.");
} // namespace texts

// What the administrator password request says it asks for, above its fields.
QString AdminPasswordPrompt(PasswordRequestMode mode, AdminSecret secret);
// The same, as the console asks it on the terminal.
QString AdminPasswordConsolePrompt(AdminSecret secret);

// A server that could not be reached, or that refused the login, while the administrator
// password was to be checked in the password database.
QString AdminCheckUnreachable(const QString& server, const QString& database, bool loginRefused,
                              const QString& serverText);

// OK button, no title of its own.
Message validationMessage(const QString& text);
// Information icon, window caption as title.
Message successMessage(const QString& windowCaption, const QString& text);
// Critical icon, caption + " - Warning..." as title, text as given.
Message errorMessage(const QString& windowCaption, const QString& text);
// "An error occurred..." (or the connection text) + CR + number + ": " + description; where
// the operation names the step that failed (and what the person can do), that line comes
// before the number, so a raw server text is never all the person reads.
Message trappedErrorMessage(const QString& windowCaption, long long number,
                            const QString& description, bool duringConnection = false,
                            const QString& failedStep = {});
// Refusal of access or of a user-level action: OK, title "Warning", no icon.
Message accessMessage(const QString& text);

} // namespace sqllumo
