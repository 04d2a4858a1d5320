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

// OK button, no title of its own.
Message validationMessage(const QString& text);
// Information icon, window caption as title.
Message successMessage(const QString& windowCaption, const QString& text);
// Critical icon, caption + " - Warning..." as title, text as given.
Message errorMessage(const QString& windowCaption, const QString& text);
// "An error occurred..." (or the connection text) + CR + number + ": " + description.
Message trappedErrorMessage(const QString& windowCaption, long long number,
                            const QString& description, bool duringConnection = false);
// Refusal of access or of a user-level action: OK, title "Warning", no icon.
Message accessMessage(const QString& text);

} // namespace sqllumo
