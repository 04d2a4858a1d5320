// showfrm and the library's one exported entry point, the factory that creates the editor
// class by its class identifier.

#include "clsFunctsRoles.h"

#include "formRoleFunctionSheet.h"

#include <QString>
#include <memory>

namespace rolefunctionsheet {

void clsFunctsRoles::showfrm(const QString& RoleName, RoleEditorCaller& p,
                             RightsSource& clsrolesfunct)
{
    // Each call loads a fresh window, so nothing of an earlier role lingers.
    formRoleFunctionSheet window(p.dialogParent());
    window.Impostati(RoleName, p, clsrolesfunct);
    window.exec();
}

} // namespace rolefunctionsheet

extern "C" __attribute__((visibility("default"))) rolefunctionsheet::_clsFunctsRoles*
RoleFunctionSheetCreateObject(const char* classId)
{
    if (!classId ||
        QString::fromLatin1(classId).compare(
            QLatin1String(rolefunctionsheet::kClsFunctsRolesClassId), Qt::CaseInsensitive) != 0)
        return nullptr;
    return std::make_unique<rolefunctionsheet::clsFunctsRoles>().release();
}
