// What a front end without a user details dialog or role editor does when asked for one.
#include "UserInterface.h"

#include <stdexcept>

namespace sqllumo {

UserDetailsResult UserInterface::userDetails(const UserDetailsRequest&)
{
    return {};
}

GenericPasswordResult UserInterface::genericPassword(const GenericPasswordResult&)
{
    return {};
}

void UserInterface::roleFunctionSheet(const QString&, rolefunctionsheet::RoleEditorCaller&,
                                      rolefunctionsheet::RightsSource&)
{
    throw std::runtime_error("The role editor cannot be shown by this front end.");
}

} // namespace sqllumo
