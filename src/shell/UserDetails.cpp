// The user details dialog's rules apart from its widgets: loading the boxes, the four checks of
// OK in their order, and the exchange fields read from the boxes on closing.
#include "UserDetails.h"

#include "Messages.h"
#include "ServerNames.h"

namespace sqllumo {

namespace {

bool readNumber(const QString& text, int* value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

} // namespace

UserDetailsBoxes LoadedUserDetails(const UserDetailsRequest& request, const QStringList& roles)
{
    UserDetailsBoxes boxes;
    const bool change = request.mode == UserDetailsMode::ChangeUser;
    // A new user gets no role until one is chosen: taking the first listed one would make
    // an administrator of whoever OK is pressed for too soon.
    if (change && !roles.isEmpty())
        boxes.role = roles.first();
    if (change) {
        boxes.password = request.password;
        boxes.confirmation = request.password;
    }
    boxes.userName = request.userName;
    boxes.lastName = request.lastName;
    boxes.firstName = request.firstName;
    boxes.title = request.title;
    if (change && request.birthDate.isValid()) {
        boxes.year = QString::number(request.birthDate.year());
        boxes.month = QString::number(request.birthDate.month());
        boxes.day = QString::number(request.birthDate.day());
    }
    if (roles.contains(request.roleName))
        boxes.role = request.roleName;
    boxes.technician = request.type == 0;
    boxes.internal = request.position != 0;
    return boxes;
}

QString FirstFailedUserDetailsCheck(const UserDetailsBoxes& boxes)
{
    using namespace userdetails;
    if (boxes.password.isEmpty() || boxes.confirmation.isEmpty() ||
        boxes.password != boxes.confirmation)
        return texts::kConfirmPassword;
    if (db::WithoutTrailingBlanks(boxes.userName).isEmpty() || boxes.password.isEmpty())
        return kInvalidUserInfo;
    if (!boxes.role)
        return kSpecifyAccessType;
    if (!boxes.year.isEmpty() && !boxes.month.isEmpty() && !boxes.day.isEmpty()) {
        const QDate date = BirthDateFromBoxes(boxes.day, boxes.month, boxes.year);
        if (!date.isValid() || date.year() < kEarliestBirthYear ||
            date.year() > QDate::currentDate().year())
            return kInvalidBirthDate;
    }
    return {};
}

UserDetailsResult UserDetailsFromBoxes(const UserDetailsBoxes& boxes, bool confirmed)
{
    UserDetailsResult r;
    r.InserisciUser = confirmed;
    // The server would not tell "Ann " from "Ann"; the list and the console should not have to.
    r.UserName = db::WithoutTrailingBlanks(boxes.userName);
    r.PassWord = boxes.password;
    r.Cognome = boxes.lastName;
    r.Nome = boxes.firstName;
    r.Title = boxes.title;
    r.Tipo = boxes.technician ? 0 : 1;
    r.Posizione = boxes.internal ? 1 : 0;
    r.NomeRuolo = boxes.role;
    const QDate birth = BirthDateFromBoxes(boxes.day, boxes.month, boxes.year);
    r.DatadiNascita = (birth.isValid() ? birth : QDate::currentDate()).toString(kBirthDateFormat);
    return r;
}

QDate BirthDateFromBoxes(const QString& day, const QString& month, const QString& year)
{
    int d = 0;
    int m = 0;
    int y = 0;
    if (!readNumber(day, &d) || !readNumber(month, &m) || !readNumber(year, &y))
        return {};
    return QDate(y, m, d);
}

} // namespace sqllumo
