#pragma once
// The program's side of the editor library: loads libRoleFunctionSheet.so.1 at run time and
// creates the editor object through its factory, once, keeping both until the program ends.

#include "RoleFunctionSheet.h"

#include <QString>
#include <memory>

namespace rolefunctionsheet {

// The message a missing or unusable library gives; it names the file.
QString LibraryLoadError(const QString& path, const QString& reason);

class RoleFunctionSheetLoader {
public:
    // folder: where the library lies; empty = beside the running program, or once installed
    // the library folder of the program's prefix.
    explicit RoleFunctionSheetLoader(QString folder = {});
    ~RoleFunctionSheetLoader();
    RoleFunctionSheetLoader(const RoleFunctionSheetLoader&) = delete;
    RoleFunctionSheetLoader& operator=(const RoleFunctionSheetLoader&) = delete;

    QString libraryPath() const;
    // The editor object, created on the first call; null with *error set when the library
    // cannot be loaded or refuses the class. A failure is tried again on the next call.
    _clsFunctsRoles* editor(QString* error);
    // Creates an object of classId through the library's factory (null when refused).
    std::unique_ptr<_clsFunctsRoles> create(const char* classId, QString* error);

private:
    bool open(QString* error);

    QString folder_;
    void* handle_ = nullptr;
    FactoryFunction factory_ = nullptr;
    std::unique_ptr<_clsFunctsRoles> editor_;
};

} // namespace rolefunctionsheet
