// The password area's hooks into the main window.
#include "PasswordWindow.h"

#include "GenericPassword.h"
#include "PasswordCatalogue.h"

#include <QCoreApplication>

namespace sqllumo::ui {

void ConnectPasswordArea(F_SQLDatabase& window, const Settings& settings,
                         dbport::Provider& database, std::function<void()> endProgram)
{
    if (!endProgram)
        endProgram = [&window] {
            window.close();
            QCoreApplication::exit(1);
        };
    window.userInterface().setGenericPasswordDialog(&GenericPassword::ask);
    window.onPasswordCatalogueChosen = [&window, &settings, &database, endProgram] {
        if (password::UpgradeOnCatalogueChoice(window.userInterface(), window.windowTitle(),
                                               settings,
                                               database) == password::UpgradeResult::Restored)
            endProgram();
    };
}

} // namespace sqllumo::ui
