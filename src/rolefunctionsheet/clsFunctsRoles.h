#pragma once
// The editor class of the library: showfrm opens a fresh editor window modally over the
// caller's window and returns when it has closed.

#include "RoleFunctionSheet.h"

namespace rolefunctionsheet {

class clsFunctsRoles final : public _clsFunctsRoles {
public:
    void showfrm(const QString& RoleName, RoleEditorCaller& p,
                 RightsSource& clsrolesfunct) override;
};

} // namespace rolefunctionsheet
