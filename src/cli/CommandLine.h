#pragma once
// The command line of the console front end: which archive function, the panel's fields as
// options, and where the passwords come from (files or standard input, never arguments).

#include "Dispatcher.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace sqllumo::cli {

struct Invocation {
    bool help = false;
    bool archiveHelp = false;
    int function = -1; // archive catalogue index
    std::optional<QString> server, database, directory, file, login, user;
    std::optional<QString> passwordFile;      // "-" = standard input
    std::optional<QString> adminPasswordFile; // "-" = standard input
    std::optional<QString> logFolder;
    bool yes = false;
};

struct ParseResult {
    std::optional<Invocation> invocation;
    QString error; // set when invocation is empty
};

ParseResult ParseCommandLine(const QStringList& arguments); // arguments without the program name

// The verbs in catalogue order and their indexes.
struct Verb {
    QString name;
    int index;
    QString summary;
};
const std::vector<Verb>& ArchiveVerbs();

QString GeneralHelp();
QString ArchiveHelp();

// The panel as the window would show it for this function: each shown field pre-filled from
// the settings, then overridden by the options given. The password is the one read from the
// password file, when there was one.
PanelValues PanelFor(const Invocation& invocation, const std::optional<QString>& sqlPassword);

// Reads a password: the first line of the file, or of standard input for "-". nullopt with
// error set when it cannot be read.
std::optional<QString> ReadPasswordSource(const QString& source, QString& error);

} // namespace sqllumo::cli
