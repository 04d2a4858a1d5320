#pragma once
// How every connection the program opens is protected on the wire: whether FreeTDS encrypts it
// (Encryption: off, request, require) and which certificate authority vouches for the server
// (CAFile; empty: the certificate is not checked). Each front end sets it once from its
// settings and options; the ODBC string and the connection read it from here.

#include <QString>

#include <optional>

namespace sqllumo::dbport {

// FreeTDS's "encryption" values. Request: the client offers none of its own (ENCRYPT_OFF), so a
// server with a certificate encrypts the login only, and one that forces encryption encrypts
// everything. Require: the whole session is encrypted, or there is no connection.
enum class Encryption { Off, Request, Require };

inline const QString kEncryptionOff = QStringLiteral("off");
inline const QString kEncryptionRequest = QStringLiteral("request");
inline const QString kEncryptionRequire = QStringLiteral("require");
inline const QString kDefaultEncryption = kEncryptionRequest;

// "off", "request", "require", as settings and options spell them (any letter case, blanks
// around ignored); nullopt for anything else.
std::optional<Encryption> ParseEncryption(const QString& text);
QString EncryptionName(Encryption encryption);

struct TransportSecurity {
    Encryption encryption = Encryption::Request;
    QString caFile;
    // The settings' value when it is none of the three; connections are refused with
    // InvalidEncryptionMessage rather than opened less protected than the user meant.
    QString invalidEncryption;
};

// From the two settings' texts; an empty encryption text is the default, request.
TransportSecurity TransportSecurityFrom(const QString& encryptionText, const QString& caFile);

// "The setting Encryption is "x"; it takes off, request or require."
QString InvalidEncryptionMessage(const QString& value);

// The process's one value; request with no CA file until a front end sets it.
void SetTransportSecurity(const TransportSecurity& security);
TransportSecurity CurrentTransportSecurity();

// How a connection that is open travels, as the report names it.
enum class TransportState { Encrypted, LoginOnly, Clear, Unknown };
// "encrypted", "login only", "not encrypted", "not known".
QString TransportStateText(TransportState state);
// "Connection encryption: <state>", the report's line.
QString TransportReportLine(TransportState state);

// What the server offers in its pre-login answer to a client that sends ENCRYPT_OFF.
enum class EncryptionOffer { NotSupported, LoginOnly, Whole, Unknown };

// What a connection opened with `encryption` is, from the server's own encrypt_option of the
// session ("TRUE", "FALSE"; empty when it could not be read) and its pre-login offer.
TransportState JudgeTransport(Encryption encryption, const QString& encryptOption,
                              EncryptionOffer offer);

} // namespace sqllumo::dbport
