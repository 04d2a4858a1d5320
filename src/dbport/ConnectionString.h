#pragma once
// Reads the program's own connection strings (BuildConnectionString) and writes the ODBC
// string for the FreeTDS driver.
//
// Reading: the pieces come in a fixed order and their values are not quoted. The password is
// the last piece and runs to the end of the string, so a ";" inside it stays part of it; the
// user is everything between "User ID=" and the first ";Password=" after it; the database is
// everything between "Initial Catalog=" and the last ";Data Source=" before the user. A user
// name holding ";Password=" therefore cannot be told apart and is read up to it.
//
// Writing: every value is enclosed in braces. FreeTDS ends a braced value at the first "}"
// that is directly followed by ";" and takes every other character as it is ("}}" is not
// folded), so ";", "=", "{", "}", blanks and non-ASCII characters pass unchanged. The one
// sequence that cannot be carried is "};" (and NUL); such a value is refused with a clear
// message rather than cut, so it can never end a value early or add a key of its own.

#include "Error.h"
#include "TransportSecurity.h"

#include <QString>

#include <optional>

namespace sqllumo::db {

struct ProgramConnection {
    QString server;
    QString database;
    QString user;
    QString password;
    bool integratedSecurity = false;
};

// nullopt for a string that BuildConnectionString does not make.
std::optional<ProgramConnection> ParseProgramConnectionString(const QString& text);

// Where the server name points: "host", "host,port", "tcp:host,port", "host\instance";
// "(local)", "." and "localhost" (alone or before ",port" / "\instance") mean this machine.
struct ServerAddress {
    QString host;
    int port = 0;     // 0: the driver's default (1433) or the instance's
    QString instance; // empty: the default instance
};
// Raises kInvalidArgument for an empty name or a port that is not 1..65535.
ServerAddress ParseServerName(const QString& server);

// "Driver={FreeTDS};Server={host};Port={n};Database={db};UID={u};PWD={p};Encryption=request;
// TDS_Version=7.4;ClientCharset=UTF-8" (instance: "Server={host\\instance}"; integrated
// security: "Trusted_Connection=Yes" instead of UID and PWD, which is FreeTDS's Kerberos
// login). With a CA file, driverSection names the section of the driver's configuration that
// holds the server's address and the CA file: "Servername={section}" stands for Server and
// Port, and "ServerCertificate={file}" is added for FreeTDS 1.4, which reads it there.
// Raises kInvalidArgument when a value cannot be carried (see above) or the Encryption
// setting is none of its three values.
QString OdbcConnectionString(const ProgramConnection& connection,
                             const dbport::TransportSecurity& security,
                             const QString& driverSection = QString());
// With the process's transport security.
QString OdbcConnectionString(const ProgramConnection& connection);

// "{value}"; raises kInvalidArgument for a value holding "};" or NUL. `what` names the value
// in the message ("password", "user name", ...).
QString BracedOdbcValue(const QString& value, const QString& what);

// The string with its password written as "****" and every other piece unchanged, for logs
// that must not carry it. One this program does not make is cut after its first "Password="
// or "PWD=" instead; one without a password comes back as it is.
QString ConnectionStringWithoutPassword(const QString& connectionString);

// Program string -> ODBC string; raises kInvalidArgument for a string this program does not make.
QString MapConnectionString(const QString& programConnectionString);

} // namespace sqllumo::db
