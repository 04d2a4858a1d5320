// The table behind the dialog's five buttons and the console's shift options.
#include "FieldShifts.h"

#include "GestioneDbPazienti.h"
#include "ShiftLog.h"
#include "ShiftTexts.h"

#include "ConnectionString.h"

#include <QDir>

namespace sqllumo::shifting {

using namespace texts;

QStringList texts::QuickSearchEntries()
{
    QStringList entries;
    for (int n = 0; n <= kLastQuickSearch - kFirstQuickSearch; ++n)
        entries << QStringLiteral("Quick Search %1").arg(n);
    return entries;
}

namespace {

// "Move Pat_Code_1 into Ins_Number for every patient of database X?" and its like.
QString Question(const ShiftRequest& request, const QString& database)
{
    const auto quickSearch = [](int number) {
        return kQuickSearchColumnName.arg(number + 1).arg(number);
    };
    switch (request.row) {
    case ShiftRow::PatientCode1:
        return (request.listPosition == kComment ? kAddQuestion : kMoveQuestion)
            .arg(kPatientCode1Column, kPatientCodeColumns.at(request.listPosition), kEveryPatient,
                 database);
    case ShiftRow::PatientMarker:
        return kAddQuestion.arg(kPatientMarkerName, kPatientCodeColumns.at(kComment), kEveryPatient,
                                database);
    case ShiftRow::QuickSearch6:
    case ShiftRow::QuickSearch7:
        // rv_7 is quick search 6, rv_8 quick search 7.
        return kMoveQuestion.arg(quickSearch(request.row == ShiftRow::QuickSearch6 ? 6 : 7),
                                 quickSearch(request.listPosition), kEveryExam, database);
    case ShiftRow::ExamMarker:
        return kAddQuestion.arg(kExamMarkerName, kPrimaryFileCommentName, kEveryExam, database);
    }
    return QString();
}

} // namespace

std::optional<ShiftAction> ActionFor(const ShiftRequest& request, const QString& database)
{
    const int position = request.listPosition;
    const bool quickSearchPosition =
        position >= 0 && position <= kLastQuickSearch - kFirstQuickSearch;
    switch (request.row) {
    case ShiftRow::PatientCode1:
        if (position < 0 || position >= kPatientCodeLogNames.size())
            return std::nullopt;
        return ShiftAction{Question(request, database),
                           kShiftingId1To + kPatientCodeLogNames.at(position),
                           kId1Done,
                           false,
                           kPatientCode1,
                           position};
    case ShiftRow::PatientMarker:
        return ShiftAction{Question(request, database),
                           kShiftingMarkerToComment,
                           kMarkerDone,
                           false,
                           kPatientMarker,
                           kComment};
    case ShiftRow::QuickSearch6:
    case ShiftRow::QuickSearch7: {
        if (!quickSearchPosition)
            return std::nullopt;
        const bool six = request.row == ShiftRow::QuickSearch6;
        return ShiftAction{Question(request, database),
                           (six ? kShiftingQuickSearch6To : kShiftingQuickSearch7To) +
                               kQuickSearchLogName + QString::number(position),
                           six ? kQuickSearch6Done : kQuickSearch7Done,
                           true,
                           six ? kQuickSearch6 : kQuickSearch7,
                           kFirstQuickSearch + position};
    }
    case ShiftRow::ExamMarker:
        return ShiftAction{Question(request, database),
                           kShiftingExamMarkerToComment,
                           kMarkerDone,
                           true,
                           kExamMarker,
                           kComment};
    }
    return std::nullopt;
}

ApplyResult ApplyShift(UserInterface& ui, const ShiftRequest& request, dbport::Provider& database,
                       const QString& connectionString, const QString& logPath,
                       const std::function<void(bool locked)>& lockControls)
{
    const std::optional<db::ProgramConnection> target =
        db::ParseProgramConnectionString(connectionString);
    const std::optional<ShiftAction> action =
        ActionFor(request, target ? target->database : QString());
    if (!action)
        return ApplyResult::Declined;
    const Message question{action->question, kQuestionTitle, MessageIcon::None,
                           MessageButtons::YesNo};
    if (ui.showMessage(question) != MessageResult::Yes)
        return ApplyResult::Declined;
    if (lockControls)
        lockControls(true);
    ui.setBusy(true);
    // Only here, between two moves, may a full log make way for a new one.
    SetAsideFullLog(logPath);
    ShiftLogWriter log(logPath);
    GestioneDbPazienti worker(database, [&ui] { ui.processPendingEvents(); });
    QString errore;
    bool done = false;
    if (!log.write(kDialogSource, action->logLine)) {
        errore = log.error() + QStringLiteral("\r\n") + kStoppedBeforeRows;
    } else {
        done = action->exam ? worker.ShiftExamFields(connectionString, logPath, action->origine,
                                                     action->destinazione, errore)
                            : worker.ShiftPatientFields(connectionString, logPath, action->origine,
                                                        action->destinazione, errore);
    }
    ui.setBusy(false);
    const QString success =
        action->successMessage + QLatin1Char('\n') +
        kRowsChangedAndLog.arg(worker.rowsShifted()).arg(QDir::toNativeSeparators(logPath));
    // Empty title: the application's name.
    ui.showMessage(
        Message{done ? success : errore, QString(), MessageIcon::None, MessageButtons::Ok});
    if (lockControls)
        lockControls(false);
    return done ? ApplyResult::Succeeded : ApplyResult::Failed;
}

} // namespace sqllumo::shifting
