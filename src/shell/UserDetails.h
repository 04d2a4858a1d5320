#pragma once
// What the user details dialog is given and what it hands back to the window's exchange
// fields, and the boxes between the two: how they are filled, checked on OK and read back, so
// that the dialog and the console front end answer alike.

#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace sqllumo {

enum class UserDetailsMode { NewUser = 0, ChangeUser = 1 };

struct UserDetailsRequest {
    // The password database whose roles the dialog lists.
    QString server;
    QString database;
    QString sqlUser;
    QString sqlPassword;
    UserDetailsMode mode = UserDetailsMode::NewUser;
    QString userName;
    QString password;
    QString firstName;
    QString lastName;
    // Shown in the three birth-date boxes when changing a user; a null date leaves them empty.
    QDate birthDate;
    QString title;
    QString roleName;
    std::uint8_t position = 0; // Posizione: 1 internal
    std::uint8_t type = 0;     // Tipo: 1 doctor
};

// The exchange fields the dialog writes on every way of closing.
struct UserDetailsResult {
    bool InserisciUser = false;
    QString UserName;
    QString PassWord;
    QString Cognome;
    QString Nome;
    QString Title;
    std::uint8_t Tipo = 0;
    std::uint8_t Posizione = 0;
    // Unset when no role was selected: the window's field keeps what it held.
    std::optional<QString> NomeRuolo;
    // "dd/mm/yyyy"
    QString DatadiNascita;
    bool operator==(const UserDetailsResult&) const = default;
};

inline const QString kBirthDateFormat = QStringLiteral("dd/MM/yyyy");

namespace userdetails {
inline const QString kTitle = QStringLiteral("User information");
inline const QString kInvalidUserInfo = QStringLiteral("Invalid User Info");
inline const QString kSpecifyAccessType = QStringLiteral("You have to specify the access type!");
inline const QString kInvalidBirthDate = QStringLiteral("Invalid Birth Date");
inline const QString kDoctor = QStringLiteral("Doctor");
inline const QString kTechnician = QStringLiteral("Technician");
inline const QString kInternal = QStringLiteral("Internal");
inline const QString kExternal = QStringLiteral("External");
// The most characters each box takes for what is typed new; a longer stored value is shown
// and kept whole.
inline constexpr int kUserNameLength = 30;
inline constexpr int kPasswordLength = 30;
inline constexpr int kNameLength = 50;
inline constexpr int kTitleLength = 32;
inline constexpr int kFirstListedYear = 1880;
inline constexpr int kEarliestBirthYear = 1800;
} // namespace userdetails

// What the dialog's boxes hold.
struct UserDetailsBoxes {
    QString userName;
    QString password;
    QString confirmation;
    // The role selected in the list; none when nothing is.
    std::optional<QString> role;
    QString firstName;
    QString lastName;
    QString title;
    // The birth-date boxes as typed; empty when nothing is chosen.
    QString year;
    QString month;
    QString day;
    bool technician = true;
    bool internal = true;
};

// The boxes as loading the dialog for the request leaves them, with roles the listed names;
// a new user starts with no role selected.
UserDetailsBoxes LoadedUserDetails(const UserDetailsRequest& request, const QStringList& roles);
// The message of the first of OK's four checks that fails, in their order; empty when all pass.
QString FirstFailedUserDetailsCheck(const UserDetailsBoxes& boxes);
// The exchange fields as the boxes give them, the user name without trailing blanks; confirmed
// only after OK passed its checks.
UserDetailsResult UserDetailsFromBoxes(const UserDetailsBoxes& boxes, bool confirmed);
// The birth date the three boxes name, or a null date.
QDate BirthDateFromBoxes(const QString& day, const QString& month, const QString& year);

} // namespace sqllumo
