// What the window remembers between OK presses, and when it forgets the confirmed password.
#include "WindowState.h"

namespace sqllumo {

void WindowState::chooseCatalogue(MenuMode mode)
{
    menuMode_ = mode;
    confirmedAdminPassword_.clear();
    report_.clear();
}

void WindowState::inputFieldKeyReleased()
{
    if (menuMode_ == MenuMode::Password)
        confirmedAdminPassword_.clear();
}

namespace {
// The general number-to-text conversion: a blank where a non-negative number's sign would be.
QString signedNumber(int n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}
} // namespace

QString WindowCaption(const QString& designCaption, int major, int minor, int revision)
{
    return designCaption + QLatin1Char(' ') + signedNumber(major) + QLatin1Char('.') +
           signedNumber(minor) + QLatin1Char('.') + signedNumber(revision);
}

QString ApplicationCaption()
{
    return WindowCaption(kDesignCaption, SQLLUMO_VERSION_MAJOR, SQLLUMO_VERSION_MINOR,
                         SQLLUMO_VERSION_PATCH);
}

} // namespace sqllumo
