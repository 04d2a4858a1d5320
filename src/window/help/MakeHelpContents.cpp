// Writes the help's contents page from its template and the catalogue's descriptors, so every
// function the window lists or the console offers is on it, with its page and its command.
// Usage: make-help-contents TEMPLATE HELP_FOLDER OUT
#include "FunctionCatalogue.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <cstdio>

namespace {

using namespace sqllumo;

struct Catalogue {
    MenuMode mode;
    const char* word; // as sqllumo names it
    const char* marker;
};
const Catalogue kCatalogues[] = {
    {MenuMode::Archive, "archive", "@ARCHIVE_FUNCTIONS@"},
    {MenuMode::Password, "password", "@PASSWORD_FUNCTIONS@"},
};
const QString kConsoleOnlyMarker = QStringLiteral("@CONSOLE_ONLY_FUNCTIONS@");

QString pageOf(int topic)
{
    return QStringLiteral("topic%1.html").arg(topic);
}

// Empty when the console does not offer the function.
QString commandOf(const Catalogue& catalogue, const FunctionDescriptor& function)
{
    if (function.consoleName.isEmpty() || !function.operation)
        return {};
    return QStringLiteral("<code>sqllumo %1 %2</code>")
        .arg(QString::fromLatin1(catalogue.word), function.consoleName.toHtmlEscaped());
}

QString titleOf(const QDir& help, const QString& page)
{
    QFile file(help.filePath(page));
    if (!file.open(QIODevice::ReadOnly))
        return page;
    static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
    const QRegularExpressionMatch found = title.match(QString::fromUtf8(file.readAll()));
    return found.hasMatch() ? found.captured(1) : page;
}

// The window's functions of one catalogue, each linked to its page; every one must have one.
bool windowList(const Catalogue& catalogue, const QDir& help, QString& list, QString& error)
{
    for (const FunctionDescriptor* function : FunctionsOf(CatalogueFunctions(), catalogue.mode)) {
        if (!function->windowEntry)
            continue;
        const QString page = pageOf(function->panel.helpTopic);
        if (!help.exists(page)) {
            error = QStringLiteral("the help has no page %1 for \"%2\" (%3 catalogue)")
                        .arg(page, function->entry, QString::fromLatin1(catalogue.word));
            return false;
        }
        list += QStringLiteral("  <li><a href=\"%1\">%2</a>")
                    .arg(page, function->entry.toHtmlEscaped());
        const QString command = commandOf(catalogue, *function);
        if (!command.isEmpty())
            list += QStringLiteral(": ") + command;
        list += QStringLiteral("</li>\n");
    }
    return true;
}

// The console's own functions, with what they do, and the page that tells of them if any.
QString consoleOnlyList(const QDir& help)
{
    QString list;
    for (const Catalogue& catalogue : kCatalogues) {
        for (const FunctionDescriptor* function :
             FunctionsOf(CatalogueFunctions(), catalogue.mode)) {
            const QString command = commandOf(catalogue, *function);
            if (function->windowEntry || command.isEmpty())
                continue;
            list += QStringLiteral("  <li>") + command + QStringLiteral(": ") +
                    function->consoleSummary.toHtmlEscaped();
            const QString page = pageOf(function->panel.helpTopic);
            if (help.exists(page))
                list += QStringLiteral(" (<a href=\"%1\">%2</a>)").arg(page, titleOf(help, page));
            list += QStringLiteral("</li>\n");
        }
    }
    return list;
}

// Puts `list` in place of the template line holding only `marker`.
bool fillIn(QString& page, const QString& marker, const QString& list, QString& error)
{
    const QString line = marker + QLatin1Char('\n');
    if (page.count(line) != 1) {
        error = QStringLiteral("the template needs the line %1 once").arg(marker);
        return false;
    }
    page.replace(line, list);
    return true;
}

bool writeContents(const QString& templatePath, const QDir& help, const QString& outPath,
                   QString& error)
{
    QFile in(templatePath);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read ") + templatePath;
        return false;
    }
    QString page = QString::fromUtf8(in.readAll());
    // The template's own notes are not for readers of the page.
    static const QRegularExpression note(QStringLiteral("<!--.*?-->\\n?"),
                                         QRegularExpression::DotMatchesEverythingOption);
    page.remove(note);
    for (const Catalogue& catalogue : kCatalogues) {
        QString list;
        if (!windowList(catalogue, help, list, error) ||
            !fillIn(page, QString::fromLatin1(catalogue.marker), list, error))
            return false;
    }
    if (!fillIn(page, kConsoleOnlyMarker, consoleOnlyList(help), error))
        return false;
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0 ||
        !out.flush()) {
        error = QStringLiteral("cannot write ") + outPath;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make-help-contents TEMPLATE HELP_FOLDER OUT\n");
        return 2;
    }
    QString error;
    if (!writeContents(QString::fromLocal8Bit(argv[1]), QDir(QString::fromLocal8Bit(argv[2])),
                       QString::fromLocal8Bit(argv[3]), error)) {
        std::fprintf(stderr, "make-help-contents: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
