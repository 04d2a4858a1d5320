// The password catalogue's functions that create and remove the password database and change
// its administrator and generic passwords, each one pass from OK to its outcome over one
// GestioneDbPassword object; and the upgrade run when the catalogue is chosen.
#pragma once

#include "GestioneDbPassword.h"
#include "Operation.h"

namespace sqllumo::password {

namespace texts {
inline const QString kLogonWarning = QStringLiteral("Be sure it's not used for logon in Velantis!");
inline const QString kGenericModified =
    QStringLiteral("Generic password has been modified into database ");
inline const QString kAdminModified =
    QStringLiteral("network administrator password has been modified into database ");
// Entry 0 over an existing database that is not a password database: "The database " + name +
// kForeignTables + the tables + kLeftUnchanged.
inline const QString kTheDatabase = QStringLiteral("The database ");
inline const QString kForeignTables = QStringLiteral(" holds tables of another kind (");
inline const QString kLeftUnchanged = QStringLiteral("): it has been left unchanged.");
} // namespace texts

OperationOutcome NewPasswordDatabase(OperationContext& context);
OperationOutcome DeletePasswordDatabase(OperationContext& context);
OperationOutcome ModifyGenericPasswords(OperationContext& context);
OperationOutcome ModifyAdministratorPassword(OperationContext& context);

// Catalogue indexes of the functions above.
enum PasswordFunction : int {
    kNewPasswordDatabase = 0,
    kDeletePasswordDatabase = 1,
    kModifyGenericPassword = 6,
    kModifyAdministratorPassword = 7,
};

// Step 2 of access check B (OperationServices::verifyAdminPassword): VerificaPassword against
// the password database of the settings.
bool VerifyAgainstPasswordDatabase(OperationContext& context, const QString& adminPassword);

// Choosing the password catalogue: the upgrade of the password database of the settings, with
// the busy pointer while it runs. Restored means the program must end now.
UpgradeResult UpgradeOnCatalogueChoice(UserInterface& ui, const QString& windowCaption,
                                       const Settings& settings, dbport::Provider& database);
// The same on the target a command names.
UpgradeResult UpgradeOnCatalogueChoice(UserInterface& ui, const QString& windowCaption,
                                       const Settings& settings, const UpgradeTarget& target,
                                       dbport::Provider& database);

} // namespace sqllumo::password
