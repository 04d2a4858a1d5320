#pragma once
// The window texts around the two function catalogues; the functions themselves are
// described in FunctionDescriptor.h.

#include "WindowState.h"

#include <QString>

namespace sqllumo {

namespace catalogueTexts {
inline const QString kToolsMenu = QStringLiteral("Tools");
inline const QString kArchiveMenuItem = QStringLiteral("Corvista DataBase");
inline const QString kPasswordMenuItem = QStringLiteral("Corvista PasswordDataBase");
inline const QString kArchiveBanner = QStringLiteral("Corvista Archive SQL Manager ");
inline const QString kPasswordBanner = QStringLiteral("Corvista Password Database Manager ");
inline const QString kListPrompt = QStringLiteral("Select a function available in the list:");
inline const QString kServerNameCaption = QStringLiteral("SQL Server Name");
inline const QString kUserNameCaption = QStringLiteral("User Name");
inline const QString kPasswordCaption = QStringLiteral("Password");
inline const QString kShowUserNames = QStringLiteral("Show User Names");
inline const QString kShowRoleNames = QStringLiteral("Show Role Names");
inline const QString kBrowse = QStringLiteral("Browse");
inline const QString kOk = QStringLiteral("OK");
inline const QString kCancel = QStringLiteral("Cancel");
inline const QString kImportFrame = QStringLiteral("Copying Data");
inline const QString kSelectAccessTitle =
    QStringLiteral("Select the Access database to import into SQL Server");
inline const QString kAllFilesFilter = QStringLiteral("All Files (*.*)");
inline const QString kDatabaseFilter = QStringLiteral("Database (*.mdb)");
inline const QString kInspect = QStringLiteral("Inspect");
inline const QString kInspectionTitle = QStringLiteral("What the Access file holds");
inline const QString kInspectNoFile = QStringLiteral("Choose the Access file to inspect first.");
inline const QString kCopyPhotos = QStringLiteral("Copy the patients' photos as well");
inline const QString kStopImportQuestion = QStringLiteral("Stop the import?");
} // namespace catalogueTexts

const QString& bannerFor(MenuMode mode);

} // namespace sqllumo
