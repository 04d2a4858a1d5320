#pragma once
// Reads the program's own connection strings (BuildConnectionString) and writes the ODBC
// string for the FreeTDS driver. Every value is braced, so ";", "=", "{", "}" or blanks in a
// name or password can neither break nor extend the string.

#include <QString>
#include <optional>

namespace sqllumo::server {

struct ProgramConnection {
    QString server;
    QString database;
    QString user;
    QString password;
    bool integratedSecurity = false;
};

// nullopt for a string that BuildConnectionString did not make. The password is the last
// piece and is taken whole, so a ";" inside it stays part of it.
std::optional<ProgramConnection> ParseProgramConnectionString(const QString& text);

// Server forms: "host", "host,port", "host\instance", "tcp:host,port", "(local)", ".";
// the last two mean this machine.
QString OdbcConnectionString(const ProgramConnection& connection);

// "{value}" with every "}" doubled.
QString BracedOdbcValue(const QString& value);

} // namespace sqllumo::server
