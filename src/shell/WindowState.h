#pragma once
// Window state that outlives one OK press: active catalogue, confirmed administrator
// password, the report buffer and the fields through which modal dialogs hand back results.

#include "ReportLog.h"

#include <QString>
#include <cstdint>

namespace sqllumo {

enum class MenuMode : int { Archive = 0, Password = 1 };

// Fixed administrator pass phrase of the archive catalogue, compared without regard to case.
inline const QString kArchiveAdminPassPhrase = QStringLiteral("vor36pelin");

struct ExchangeFields {
    QString AdminPasswd1;
    QString AdminPasswd2;
    QString OldPasswd;
    bool InserisciUser = false;
    QString UserName;
    QString PassWord;
    QString Cognome;
    QString Nome;
    QString DatadiNascita;
    QString Title;
    QString NomeRuolo;
    std::uint8_t Tipo = 0;
    std::uint8_t Posizione = 0;
    QString ReportPasswd;
    QString MontagePasswd;
    QString ResourcePasswd;
    bool GenPasswdCanSave = false;
    bool PuoiModificareRole = false;
    bool isLocked = false;
    bool SpostatiCampiDB = false;
};

class WindowState {
public:
    MenuMode menuMode() const { return menuMode_; }
    const QString& confirmedAdminPassword() const { return confirmedAdminPassword_; }
    void setConfirmedAdminPassword(const QString& password) { confirmedAdminPassword_ = password; }
    void forgetAdminPassword() { confirmedAdminPassword_.clear(); }

    // Choosing a catalogue forgets the confirmed password and empties the report.
    void chooseCatalogue(MenuMode mode);
    // A key released in an input field: in password mode the password must be given again.
    void inputFieldKeyReleased();

    ReportBuffer& report() { return report_; }
    const ReportBuffer& report() const { return report_; }
    ExchangeFields& exchange() { return exchange_; }
    const ExchangeFields& exchange() const { return exchange_; }

private:
    MenuMode menuMode_ = MenuMode::Archive;
    QString confirmedAdminPassword_;
    ReportBuffer report_;
    ExchangeFields exchange_;
};

// Design caption, one blank, then major.minor.revision each with a blank sign position.
QString WindowCaption(const QString& designCaption, int major, int minor, int revision);
// The caption of this build, from the project version.
QString ApplicationCaption();
inline const QString kDesignCaption = QStringLiteral("Lumeno SQL Manager");

} // namespace sqllumo
