#pragma once
// The two function catalogues and the input panel each function opens.

#include "WindowState.h"

#include <QString>
#include <array>
#include <vector>

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
} // namespace catalogueTexts

struct CatalogueEntry {
    QString entry;
    QString description;
};

enum class ComboButton { None, UserNames, RoleNames };

struct FieldLayout {
    bool shown = false;
    // Empty for fields 0 and 1 (fixed captions) when not given.
    QString caption;
    // Setting that pre-fills the field; empty = the field stays empty.
    QString settingKey;
};

struct PanelLayout {
    QString frameCaption;
    std::array<FieldLayout, 4> fields;
    QString label3;
    bool browse = false;
    ComboButton combo = ComboButton::None;
    // 0 = no help topic.
    int helpTopic = 0;
};

const std::vector<CatalogueEntry>& catalogue(MenuMode mode);
const std::vector<PanelLayout>& panels(MenuMode mode);
const QString& bannerFor(MenuMode mode);

} // namespace sqllumo
