#pragma once
// The transport security seen from the wire: what a server offers in its pre-login answer, the
// CA file handed to a FreeTDS that reads it only from its configuration, and why an encrypted
// connection could not be made.

#include "ConnectionString.h"
#include "TransportSecurity.h"

#include <QString>

#include <utility>

namespace sqllumo::db {

// Host and port of "host,port", "host" (the default port) or "host\\instance" (port 0: the
// server's browser tells it).
std::pair<QString, int> HostAndPort(const QString& server);

// Opens a TCP connection to `server` ("host,port" or "host"), sends a pre-login that offers
// ENCRYPT_OFF, as FreeTDS's request does, and reads the server's encryption answer; closes
// before any login. Unknown for an instance name (no port), no answer within timeoutMs, or
// an answer that is not a pre-login.
dbport::EncryptionOffer ProbeEncryptionOffer(const QString& server, int timeoutMs = 3000);

// FreeTDS 1.3 takes a CA file only from its configuration, read for a "Servername=" (never for
// "Server="). This writes a section of the program's own configuration (in a private
// temporary folder that FREETDSCONF then names) with the server's host, port or instance and
// the CA file (through a link, so any path can be carried), and returns the section's name.
// Raises kConnectionFailed when the file cannot be read or the configuration not written.
QString DriverSectionFor(const QString& caFile, const ServerAddress& address);

// The description of a connection the driver could not make when encryption, or its absence,
// is the cause (its own words say only that it failed); empty when it is not, or cannot be told.
QString DescribeEncryptionFailure(const QString& server, const dbport::TransportSecurity& security);

// "SELECT encrypt_option FROM sys.dm_exec_connections WHERE session_id = @@SPID"
extern const QString kSessionEncryptOption;

} // namespace sqllumo::db
