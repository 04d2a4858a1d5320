#include "ArchiveCatalogue.h"
#include "F_SQLDatabase.h"
#include "ServerProvider.h"
#include "Settings.h"
#include "WindowDispatch.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(sqllumo::kApplicationName);
    sqllumo::ui::F_SQLDatabase window;
    // OK on the panel runs the dispatcher; the archive catalogue's functions join it.
    sqllumo::ui::WindowDispatch dispatch(window);
    const auto provider = sqllumo::server::MakeServerProvider();
    sqllumo::server::RegisterArchiveCatalogue(dispatch.dispatcher(), *provider);
    window.show();
    return QApplication::exec();
}
