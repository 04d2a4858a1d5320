// The UserInterface port on a terminal: message printing, questions answered by --yes, by the
// person at the controlling terminal, or No, and the administrator password request.
#include "ConsoleUserInterface.h"

#include "Messages.h"
#include "MoveDatabaseFields.h"
#include "RoleFunctionSheet.h"
#include "Settings.h"
#include "StopSignal.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sqllumo::cli {

namespace {

QString kindOf(const Message& message)
{
    switch (message.icon) {
    case MessageIcon::Information:
        return QStringLiteral("information");
    case MessageIcon::Question:
        return QStringLiteral("question");
    case MessageIcon::Exclamation:
        return QStringLiteral("exclamation");
    case MessageIcon::Critical:
        return QStringLiteral("critical");
    case MessageIcon::None:
        break;
    }
    return message.buttons == MessageButtons::Ok ? QStringLiteral("message")
                                                 : QStringLiteral("question");
}

QString plainLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

bool isYes(const QString& answer)
{
    const QString a = answer.trimmed().toLower();
    return a == QLatin1String("y") || a == QLatin1String("yes") || a == QLatin1String("ok");
}

class TtyFile {
public:
    TtyFile() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~TtyFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TtyFile(const TtyFile&) = delete;
    TtyFile& operator=(const TtyFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace

bool ControllingTerminal::available()
{
    TtyFile tty;
    return tty.fd() >= 0;
}

std::optional<QString> ControllingTerminal::readLine(const QString& prompt, bool hidden)
{
    TtyFile tty;
    if (tty.fd() < 0)
        return std::nullopt;
    const QByteArray p = prompt.toUtf8();
    if (::write(tty.fd(), p.constData(), static_cast<size_t>(p.size())) < 0)
        return std::nullopt;
    termios saved{};
    const bool restore = hidden && tcgetattr(tty.fd(), &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(tty.fd(), TCSAFLUSH, &quiet);
    }
    QByteArray line;
    char c = 0;
    bool any = false;
    while (::read(tty.fd(), &c, 1) == 1) {
        any = true;
        if (c == '\n')
            break;
        if (c != '\r')
            line.append(c);
    }
    if (restore) {
        tcsetattr(tty.fd(), TCSAFLUSH, &saved);
        if (::write(tty.fd(), "\n", 1) < 0) {
            // Only the cosmetic line end is lost.
        }
    }
    if (!any)
        return std::nullopt;
    return QString::fromUtf8(line);
}

ConsoleUserInterface::ConsoleUserInterface(QTextStream& out, Terminal& terminal, bool answerYes,
                                           std::optional<QString> adminPassword)
    : out_(out), err_(&out), terminal_(terminal), answerYes_(answerYes),
      adminPassword_(std::move(adminPassword))
{
}

QString ConsoleUserInterface::format(const Message& message)
{
    // An empty title is where the platform shows the application's name.
    const QString title = message.title.isEmpty() ? kApplicationName : message.title;
    return kindOf(message) + QStringLiteral(" [") + title + QStringLiteral("] ") +
           plainLines(message.text);
}

MessageResult ConsoleUserInterface::showMessage(const Message& message)
{
    if (message.icon == MessageIcon::Critical)
        criticalShown_ = true;
    out_ << format(message) << Qt::endl;
    bool yes = false;
    switch (message.buttons) {
    case MessageButtons::Ok:
        return MessageResult::Ok;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
    case MessageButtons::RetryCancel:
        break;
    }
    const bool okCancel = message.buttons == MessageButtons::OkCancel;
    if (answerYes_) {
        yes = true;
        out_ << (okCancel ? "-> OK (--yes)" : "-> Yes (--yes)") << Qt::endl;
    } else if (auto answer = terminal_.readLine(QStringLiteral("Proceed? [y/N] "), false)) {
        yes = isYes(*answer);
    } else {
        out_ << (okCancel ? "-> Cancel (no terminal)" : "-> No (no terminal)") << Qt::endl;
    }
    if (message.buttons == MessageButtons::RetryCancel)
        return yes ? MessageResult::Retry : MessageResult::Cancel;
    if (okCancel)
        return yes ? MessageResult::Ok : MessageResult::Cancel;
    return yes ? MessageResult::Yes : MessageResult::No;
}

bool ConsoleUserInterface::stopRequested()
{
    return StopSignalReceived();
}

void ConsoleUserInterface::showProgress(const ProgressState& state)
{
    const bool newLabel = state.label != progressLabel_;
    progressLabel_ = state.label;
    if (!state.visible || state.label.isEmpty()) {
        if (progressLineOpen_)
            out_ << Qt::endl;
        progressLineOpen_ = false;
        return;
    }
    if (!progressInPlace_) {
        if (newLabel)
            out_ << plainLines(state.label) << Qt::endl;
        return;
    }
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (newLabel) {
        if (progressLineOpen_)
            out_ << '\n';
        progressStartMs_ = nowMs;
    } else if (progressLineOpen_ &&
               (state.rowsDone == 0 || (state.rowsDone < state.rowsTotal &&
                                        nowMs - progressDrawnMs_ < kProgressRedrawMs))) {
        // Rows come by the thousand a second; a terminal redrawing each would take the time
        // from the copy. No row done under the same label is the next table's count arriving
        // before its label: the finished table's line keeps its own.
        return;
    }
    progressDrawnMs_ = nowMs;
    QString line = plainLines(state.label);
    if (state.rowsTotal > 0) {
        const double seconds = std::max<qint64>(nowMs - progressStartMs_, 1) / 1000.0;
        line += QStringLiteral(": %1 of %2 rows, %3 rows/s")
                    .arg(state.rowsDone)
                    .arg(state.rowsTotal)
                    .arg(static_cast<long long>(state.rowsDone / seconds));
    }
    // Rewritten in place; the escape clears what a longer earlier text left.
    out_ << '\r' << line << "\x1b[K";
    out_.flush();
    progressLineOpen_ = true;
}

PasswordRequestResult ConsoleUserInterface::passwordRequest(PasswordRequestMode mode,
                                                            AdminSecret secret)
{
    const QString prompt = AdminPasswordConsolePrompt(secret);
    PasswordRequestResult result;
    if (mode == PasswordRequestMode::ChangePassword) {
        const auto old = adminPassword_ ? adminPassword_ : terminal_.readLine(prompt, true);
        if (!old)
            return result;
        result.oldPasswd = *old;
        if (newAdminPassword_) {
            result.adminPasswd1 = result.adminPasswd2 = *newAdminPassword_;
            return result;
        }
        if (auto typed = terminal_.readLine(QStringLiteral("New password: "), true)) {
            result.adminPasswd1 = *typed;
            if (auto again = terminal_.readLine(QStringLiteral("Confirm password: "), true))
                result.adminPasswd2 = *again;
        }
        return result;
    }
    if (adminPassword_) {
        result.adminPasswd1 = *adminPassword_;
        if (mode != PasswordRequestMode::ConfirmPassword)
            result.adminPasswd2 = *adminPassword_;
        return result;
    }
    auto typed = terminal_.readLine(prompt, true);
    if (!typed)
        return result;
    result.adminPasswd1 = *typed;
    if (mode != PasswordRequestMode::ConfirmPassword) {
        if (auto again = terminal_.readLine(QStringLiteral("Confirm password: "), true))
            result.adminPasswd2 = *again;
    }
    return result;
}

bool ConsoleUserInterface::shiftDatabaseFields(const ShiftDialogRequest& request)
{
    const std::optional<shifting::ShiftRequest> shift =
        shiftChoice_ ? shifting::ShiftRequestForChoice(shiftChoice_->first, shiftChoice_->second)
                     : std::nullopt;
    // The command line is checked before the run, so a missing choice cannot get here.
    const bool moved =
        shift && request.database &&
        shifting::ApplyShift(*this, *shift, *request.database, request.connectionString,
                             request.logPath) == shifting::ApplyResult::Succeeded;
    if (!moved)
        criticalShown_ = true;
    return moved;
}

GenericPasswordResult ConsoleUserInterface::genericPassword(const GenericPasswordResult& shown)
{
    GenericPasswordResult result = shown;
    result.canSave = false;
    const std::pair<const std::optional<QString>*, QString*> edits[] = {
        {&genericEdits_.reportPasswd, &result.reportPasswd},
        {&genericEdits_.montagePasswd, &result.montagePasswd},
        {&genericEdits_.resourcePasswd, &result.resourcePasswd}};
    for (const auto& [edit, field] : edits) {
        if (*edit) {
            *field = **edit;
            result.canSave = true;
        }
    }
    // Shown in plain text, as the dialog shows them.
    out_ << "report password: " << shown.reportPasswd << '\n'
         << "montage password: " << shown.montagePasswd << '\n'
         << "resource password: " << shown.resourcePasswd << Qt::endl;
    return result;
}

UserDetailsResult ConsoleUserInterface::userDetails(const UserDetailsRequest& request)
{
    const UserRoleOptions& o = userRole_;
    QStringList roles;
    if (!request.roleName.isEmpty())
        roles << request.roleName;
    if (o.role)
        roles << *o.role;
    UserDetailsBoxes boxes = LoadedUserDetails(request, roles);
    if (o.role)
        boxes.role = *o.role;
    // The name box is closed when a user is changed.
    if (request.mode == UserDetailsMode::NewUser && o.name)
        boxes.userName = *o.name;
    if (userPassword_)
        boxes.password = boxes.confirmation = *userPassword_;
    const std::pair<const std::optional<QString>*, QString*> texts[] = {
        {&o.firstName, &boxes.firstName}, {&o.lastName, &boxes.lastName}, {&o.title, &boxes.title}};
    for (const auto& [given, box] : texts)
        if (*given)
            *box = **given;
    if (o.birthDate) {
        boxes.year = QString::number(o.birthDate->year());
        boxes.month = QString::number(o.birthDate->month());
        boxes.day = QString::number(o.birthDate->day());
    }
    if (o.doctor)
        boxes.technician = !*o.doctor;
    if (o.internal)
        boxes.internal = *o.internal;
    if (const QString failed = FirstFailedUserDetailsCheck(boxes); !failed.isEmpty()) {
        showMessage(accessMessage(failed));
        if (boxes.password.isEmpty() && !userPassword_)
            *err_ << "sqllumo: the user has no password; give one with --user-password-file"
                  << Qt::endl;
        criticalShown_ = true;
        return UserDetailsFromBoxes(boxes, false);
    }
    return UserDetailsFromBoxes(boxes, true);
}

void ConsoleUserInterface::roleFunctionSheet(const QString& roleName,
                                             rolefunctionsheet::RoleEditorCaller& caller,
                                             rolefunctionsheet::RightsSource& rights)
{
    caller.setPuoiModificareRole(false);
    if (caller.isLocked())
        return;
    const int groups = rights.NumeroMacroFunzioni();
    const rolefunctionsheet::Counts counts = rights.NumeroFunzioni();
    const rolefunctionsheet::TextGrid names = rights.Funzioni();
    rolefunctionsheet::FlagGrid allowed = rights.Attivazioni();
    const auto eachCell = [&](const auto& visit) {
        for (int m = 0; m < groups && m < static_cast<int>(counts.size()); ++m)
            for (int f = 0; f < counts[m]; ++f)
                visit(m, f, names[m][f]);
    };
    QStringList unknown;
    for (const QStringList* given : {&userRole_.grants, &userRole_.revokes})
        for (const QString& name : *given) {
            bool found = false;
            eachCell([&](int, int, const QString& cell) { found = found || cell == name; });
            if (!found && !unknown.contains(name))
                unknown << name;
        }
    if (!unknown.isEmpty()) {
        *err_ << "sqllumo: no function is named \"" << unknown.join(QStringLiteral("\", \""))
              << "\"; sqllumo password role rights lists them with their exact names; nothing "
                 "has been changed"
              << Qt::endl;
        criticalShown_ = true;
        return;
    }
    // A name stands for every function that bears it, in any group.
    eachCell([&](int m, int f, const QString& cell) {
        if (userRole_.grants.contains(cell))
            allowed[m][f] = true;
        else if (userRole_.revokes.contains(cell))
            allowed[m][f] = false;
    });
    rights.setAttivazioni(allowed);
    QString name = rights.RoleName();
    if (roleName.isEmpty() && userRole_.name)
        name = *userRole_.name;
    if (userRole_.rename)
        name = *userRole_.rename;
    rights.setRoleName(name);
    caller.setNomeRuolo(name);
    caller.setPuoiModificareRole(true);
}

} // namespace sqllumo::cli
