#pragma once
// The public interface of libRoleFunctionSheet.so.1, shared by this program and any other that
// edits a role's rights: the two small interfaces the editor reads and writes, the editor
// class's interface, and the exported factory that creates it. Nothing here knows a database;
// the caller supplies both objects.

#include <QString>
#include <vector>

class QWidget;

namespace rolefunctionsheet {

using Counts = std::vector<int>;
using Texts = std::vector<QString>;
using TextGrid = std::vector<std::vector<QString>>;
using FlagGrid = std::vector<std::vector<bool>>;

// The rights of one role, indexed (macro-function, function) from 0. Every read hands out
// a copy; writing Attivazioni replaces the whole grid.
class RightsSource {
public:
    virtual ~RightsSource() = default;
    virtual int NumeroMacroFunzioni() const = 0;
    virtual Counts NumeroFunzioni() const = 0;
    virtual Texts MacroFunzioni() const = 0;
    virtual TextGrid Funzioni() const = 0;
    virtual FlagGrid Attivazioni() const = 0;
    virtual void setAttivazioni(const FlagGrid& ElencoAtt) = 0;
    virtual QString RoleName() const = 0;
    virtual void setRoleName(const QString& name) = 0;
};

// The window that opens the editor and learns the decision from it.
class RoleEditorCaller {
public:
    virtual ~RoleEditorCaller() = default;
    virtual bool isLocked() const = 0;
    virtual void setPuoiModificareRole(bool confirmed) = 0;
    virtual void setNomeRuolo(const QString& name) = 0;
    // The window the editor is modal to; none makes it application-modal.
    virtual QWidget* dialogParent() const { return nullptr; }
};

// The editor object. showfrm returns when the window has closed; the results are in the two
// objects. A rights source whose arrays do not match its counts throws std::invalid_argument
// before anything is shown.
class _clsFunctsRoles {
public:
    virtual ~_clsFunctsRoles() = default;
    virtual void showfrm(const QString& RoleName, RoleEditorCaller& p,
                         RightsSource& clsrolesfunct) = 0;
};

// The most characters the editor's role-name box takes for a name typed new; a longer stored
// name is shown whole.
inline constexpr int kRoleNameMaxLength = 16;

// The one class the library creates.
inline constexpr const char* kClsFunctsRolesClassId = "{8B1A9A6A-5CE4-4D69-B10F-2FADE12DCE58}";
// The soname: what a program that loads the library at run time opens.
inline constexpr const char* kLibraryFileName = "libRoleFunctionSheet.so.1";
inline constexpr const char* kFactorySymbol = "RoleFunctionSheetCreateObject";

// The exported factory: a new object for the class identifier above (compared without regard
// to case, braces required), null for any other. The caller owns the object.
using FactoryFunction = _clsFunctsRoles* (*)(const char* classId);

} // namespace rolefunctionsheet

// The factory itself, for a program linked with -lRoleFunctionSheet.
extern "C" rolefunctionsheet::_clsFunctsRoles* RoleFunctionSheetCreateObject(const char* classId);
