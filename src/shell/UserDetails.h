#pragma once
// What the user details dialog is given and what it hands back to the window's exchange
// fields.

#include <QDate>
#include <QString>
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

} // namespace sqllumo
