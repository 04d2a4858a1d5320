// SQLLumoManager: the main window over the program's catalogue functions and the database.
#include "F_SQLDatabase.h"
#include "Gen_ShiftDBField.h"
#include "KeyringSecretStore.h"
#include "PasswordCatalogue.h"
#include "PasswordWindow.h"
#include "ServerProvider.h"
#include "Settings.h"
#include "TestResultRegistry.h"
#include "TransportSettings.h"
#include "UserRoleDialogs.h"
#include "WindowDispatch.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(sqllumo::kApplicationName);
    sqllumo::Settings settings;
    // Every connection the window opens follows the settings' Encryption and CAFile.
    sqllumo::ApplyTransportSettings(settings);
    sqllumo::TestResultRegistry registry(settings);
    sqllumo::ui::F_SQLDatabase window(settings);
    const auto database = sqllumo::server::MakeServerProvider();
    // OK on the panel runs the selected function through the dispatcher.
    sqllumo::OperationServices services;
    services.database = database.get();
    services.settings = &settings;
    services.registry = &registry;
    services.verifyAdminPassword = sqllumo::password::VerifyAgainstPasswordDatabase;
    sqllumo::ui::WindowDispatch dispatch(window, std::move(services));
    window.userInterface().setShiftDialog(
        [](QWidget* parent, const sqllumo::ShiftDialogRequest& r) {
            return sqllumo::ui::Gen_ShiftDBField::ask(parent, r);
        });
    // Created on the first role edit, kept until the program ends.
    rolefunctionsheet::RoleFunctionSheetLoader roleEditor;
    sqllumo::ui::ConnectUserAndRoleDialogs(window, dispatch, settings, *database, roleEditor);
    sqllumo::ui::ConnectPasswordArea(window, settings, *database);
    window.show();
    // The keyring is asked over D-Bus: after the first picture, before any panel reads the
    // password.
    QTimer::singleShot(0, &app, [&settings] {
        sqllumo::KeepSqlPasswordInKeyring(settings, [](const QString& notice) {
            std::fprintf(stderr, "SQLLumoManager: %s\n", qPrintable(notice));
        });
    });
    // The start-up benchmark times the real program: it says when the first picture is up.
    if (qEnvironmentVariableIsSet("SQLLUMO_BENCH_QUIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, [] {
            std::puts("shown");
            std::fflush(stdout);
            QApplication::quit();
        });
    return QApplication::exec();
}
