// The table behind the dialog's five buttons and the console's shift options.
#include "FieldShifts.h"

#include "GestioneDbPazienti.h"
#include "ShiftLog.h"
#include "ShiftTexts.h"

namespace sqllumo::shifting {

using namespace texts;

QStringList texts::QuickSearchEntries()
{
    QStringList entries;
    for (int n = 0; n <= kLastQuickSearch - kFirstQuickSearch; ++n)
        entries << QStringLiteral("Quick Search %1").arg(n);
    return entries;
}

std::optional<ShiftAction> ActionFor(const ShiftRequest& request)
{
    const int position = request.listPosition;
    const bool quickSearchPosition =
        position >= 0 && position <= kLastQuickSearch - kFirstQuickSearch;
    switch (request.row) {
    case ShiftRow::PatientCode1:
        if (position < 0 || position >= kPatientCodeLogNames.size())
            return std::nullopt;
        return ShiftAction{kShiftId1Question, kShiftingId1To + kPatientCodeLogNames.at(position),
                           kId1Done,          false,
                           kPatientCode1,     position};
    case ShiftRow::PatientMarker:
        return ShiftAction{kShiftMarkerQuestion, kShiftingMarkerToComment,
                           kMarkerDone,          false,
                           kPatientMarker,       kComment};
    case ShiftRow::QuickSearch6:
    case ShiftRow::QuickSearch7: {
        if (!quickSearchPosition)
            return std::nullopt;
        const bool six = request.row == ShiftRow::QuickSearch6;
        return ShiftAction{six ? kShiftQuickSearch6Question : kShiftQuickSearch7Question,
                           (six ? kShiftingQuickSearch6To : kShiftingQuickSearch7To) +
                               kQuickSearchLogName + QString::number(position),
                           six ? kQuickSearch6Done : kQuickSearch7Done,
                           true,
                           six ? kQuickSearch6 : kQuickSearch7,
                           kFirstQuickSearch + position};
    }
    case ShiftRow::ExamMarker:
        return ShiftAction{kShiftMarkerQuestion, kShiftingExamMarkerToComment,
                           kMarkerDone,          true,
                           kExamMarker,          kComment};
    }
    return std::nullopt;
}

ApplyResult ApplyShift(UserInterface& ui, const ShiftRequest& request, dbport::Provider& database,
                       const QString& connectionString, const QString& logPath,
                       const std::function<void(bool locked)>& lockControls)
{
    const std::optional<ShiftAction> action = ActionFor(request);
    if (!action)
        return ApplyResult::Declined;
    const Message question{action->question, kQuestionTitle, MessageIcon::None,
                           MessageButtons::YesNo};
    if (ui.showMessage(question) != MessageResult::Yes)
        return ApplyResult::Declined;
    if (lockControls)
        lockControls(true);
    ui.setBusy(true);
    AppendLogLine(logPath, kDialogSource, action->logLine);
    GestioneDbPazienti worker(database, [&ui] { ui.processPendingEvents(); });
    QString errore;
    const bool done = action->exam
                          ? worker.ShiftExamFields(connectionString, logPath, action->origine,
                                                   action->destinazione, errore)
                          : worker.ShiftPatientFields(connectionString, logPath, action->origine,
                                                      action->destinazione, errore);
    ui.setBusy(false);
    // Empty title: the application's name.
    ui.showMessage(Message{done ? action->successMessage : errore, QString(), MessageIcon::None,
                           MessageButtons::Ok});
    if (lockControls)
        lockControls(false);
    return done ? ApplyResult::Succeeded : ApplyResult::Failed;
}

} // namespace sqllumo::shifting
