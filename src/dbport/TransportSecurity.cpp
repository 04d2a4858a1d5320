// The process's transport security, the names of its values and the report's judgement of an
// open connection.
#include "TransportSecurity.h"

#include <mutex>

namespace sqllumo::dbport {

namespace {
std::mutex gMutex;
TransportSecurity gSecurity;
} // namespace

std::optional<Encryption> ParseEncryption(const QString& text)
{
    const QString word = text.trimmed();
    for (Encryption e : {Encryption::Off, Encryption::Request, Encryption::Require})
        if (word.compare(EncryptionName(e), Qt::CaseInsensitive) == 0)
            return e;
    return std::nullopt;
}

QString EncryptionName(Encryption encryption)
{
    switch (encryption) {
    case Encryption::Off:
        return kEncryptionOff;
    case Encryption::Require:
        return kEncryptionRequire;
    case Encryption::Request:
        break;
    }
    return kEncryptionRequest;
}

TransportSecurity TransportSecurityFrom(const QString& encryptionText, const QString& caFile)
{
    TransportSecurity security;
    security.caFile = caFile.trimmed();
    if (encryptionText.trimmed().isEmpty())
        return security;
    if (const auto parsed = ParseEncryption(encryptionText))
        security.encryption = *parsed;
    else
        security.invalidEncryption = encryptionText;
    return security;
}

QString InvalidEncryptionMessage(const QString& value)
{
    return QStringLiteral("The setting Encryption is \"%1\"; it takes %2, %3 or %4.")
        .arg(value, kEncryptionOff, kEncryptionRequest, kEncryptionRequire);
}

void SetTransportSecurity(const TransportSecurity& security)
{
    std::lock_guard lock(gMutex);
    gSecurity = security;
}

TransportSecurity CurrentTransportSecurity()
{
    std::lock_guard lock(gMutex);
    return gSecurity;
}

QString TransportStateText(TransportState state)
{
    switch (state) {
    case TransportState::Encrypted:
        return QStringLiteral("encrypted");
    case TransportState::LoginOnly:
        return QStringLiteral("login only");
    case TransportState::Clear:
        return QStringLiteral("not encrypted");
    case TransportState::Unknown:
        break;
    }
    return QStringLiteral("not known");
}

QString TransportReportLine(TransportState state)
{
    return QStringLiteral("Connection encryption: ") + TransportStateText(state);
}

TransportState JudgeTransport(Encryption encryption, const QString& encryptOption,
                              EncryptionOffer offer)
{
    // The server's word on the session comes first; SQL Server says TRUE only when everything
    // after the login is encrypted too.
    if (encryptOption.trimmed().compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return TransportState::Encrypted;
    const bool serverSaid = !encryptOption.trimmed().isEmpty();
    switch (encryption) {
    case Encryption::Off:
        // FreeTDS claims no TLS at all, so not even the login is protected.
        return TransportState::Clear;
    case Encryption::Require:
        // No connection opens otherwise; a server that says FALSE here contradicts itself.
        return serverSaid ? TransportState::Unknown : TransportState::Encrypted;
    case Encryption::Request:
        break;
    }
    switch (offer) {
    case EncryptionOffer::NotSupported:
        return TransportState::Clear;
    case EncryptionOffer::LoginOnly:
        return TransportState::LoginOnly;
    case EncryptionOffer::Whole:
        return serverSaid ? TransportState::Unknown : TransportState::Encrypted;
    case EncryptionOffer::Unknown:
        break;
    }
    return TransportState::Unknown;
}

} // namespace sqllumo::dbport
