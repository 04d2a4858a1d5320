// Loading the editor library with dlopen and creating its class through the factory; every
// failure becomes a message that names the library file.

#include "RoleFunctionSheetLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>

namespace rolefunctionsheet {

QString LibraryLoadError(const QString& path, const QString& reason)
{
    return QStringLiteral("The role editor library %1 cannot be used: %2").arg(path, reason);
}

RoleFunctionSheetLoader::RoleFunctionSheetLoader(QString folder) : folder_(std::move(folder)) {}

RoleFunctionSheetLoader::~RoleFunctionSheetLoader()
{
    // The object's code lives in the library: release it before the library goes.
    editor_.reset();
    if (handle_)
        dlclose(handle_);
}

QString RoleFunctionSheetLoader::libraryPath() const
{
    const QString name = QString::fromLatin1(kLibraryFileName);
    if (!folder_.isEmpty())
        return QDir(folder_).filePath(name);
    // Beside the program in the build tree; in the library folder of the same prefix once
    // installed (/usr/bin/SQLLumoManager, /usr/lib/<multiarch>/), also when unpacked elsewhere.
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString beside = programFolder.filePath(name);
    const QString installed =
        programFolder.filePath(QStringLiteral(SQLLUMO_ROLE_LIBRARY_FROM_PROGRAM "/") + name);
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside
                                                                      : QDir::cleanPath(installed);
}

bool RoleFunctionSheetLoader::open(QString* error)
{
    if (factory_)
        return true;
    const QString path = libraryPath();
    if (!QFileInfo::exists(path)) {
        *error = LibraryLoadError(path, QStringLiteral("the file does not exist."));
        return false;
    }
    dlerror();
    handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        *error = LibraryLoadError(path, QString::fromLocal8Bit(dlerror()));
        return false;
    }
    factory_ = reinterpret_cast<FactoryFunction>(dlsym(handle_, kFactorySymbol));
    if (!factory_) {
        *error = LibraryLoadError(
            path, QStringLiteral("it has no entry point %1.").arg(QLatin1String(kFactorySymbol)));
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

std::unique_ptr<_clsFunctsRoles> RoleFunctionSheetLoader::create(const char* classId,
                                                                 QString* error)
{
    if (!open(error))
        return nullptr;
    std::unique_ptr<_clsFunctsRoles> object(factory_(classId));
    if (!object)
        *error = LibraryLoadError(libraryPath(), QStringLiteral("it does not provide the class %1.")
                                                     .arg(QLatin1String(classId ? classId : "")));
    return object;
}

_clsFunctsRoles* RoleFunctionSheetLoader::editor(QString* error)
{
    if (!editor_)
        editor_ = create(kClsFunctsRolesClassId, error);
    return editor_.get();
}

} // namespace rolefunctionsheet
