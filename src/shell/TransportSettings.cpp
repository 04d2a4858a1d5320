// Reading the two transport settings into the process's transport security.
#include "TransportSettings.h"

#include "Settings.h"

namespace sqllumo {

dbport::TransportSecurity TransportSecurityFromSettings(const Settings& settings)
{
    return dbport::TransportSecurityFrom(settings.value(settingkeys::kEncryption),
                                         settings.value(settingkeys::kCAFile));
}

dbport::TransportSecurity ApplyTransportSettings(const Settings& settings)
{
    const dbport::TransportSecurity security = TransportSecurityFromSettings(settings);
    dbport::SetTransportSecurity(security);
    return security;
}

} // namespace sqllumo
