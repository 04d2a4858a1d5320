// Entry 9 of the archive catalogue and the console's names for the five shifts.
#include "MoveDatabaseFields.h"

#include "ConnectionStrings.h"
#include "DatabaseNames.h"
#include "GestioneDbPazienti.h"
#include "ShiftLog.h"
#include "ShiftTexts.h"

namespace sqllumo::shifting {

namespace {

const QString kFieldsShifted =
    QStringLiteral("Fields have been shifted from original location in database ");

struct ChoiceName {
    ShiftRow row;
    QString name;
    QStringList values; // by list position; empty: the row has no list
    QString help;
};

const std::vector<ChoiceName>& choiceNames()
{
    static const std::vector<ChoiceName> names = [] {
        QStringList positions;
        for (int n = 0; n <= kLastQuickSearch - kFirstQuickSearch; ++n)
            positions << QString::number(n);
        return std::vector<ChoiceName>{
            {ShiftRow::PatientCode1,
             QStringLiteral("--patient-code-to"),
             {QStringLiteral("id2"), QStringLiteral("comment"), QStringLiteral("insurance-number"),
              QStringLiteral("insurance-company")},
             QStringLiteral("move every patient's ID1 to that field")},
            {ShiftRow::PatientMarker,
             QStringLiteral("--patient-marker-to-comment"),
             {},
             QStringLiteral("add every patient's marker to the patient's comment")},
            {ShiftRow::QuickSearch6, QStringLiteral("--quick-search6-to"), positions,
             QStringLiteral("copy quick search 6 of every exam to that quick search")},
            {ShiftRow::QuickSearch7, QStringLiteral("--quick-search7-to"), positions,
             QStringLiteral("copy quick search 7 of every exam to that quick search")},
            {ShiftRow::ExamMarker,
             QStringLiteral("--exam-marker-to-comment"),
             {},
             QStringLiteral("add every exam's marker to its primary files' comments")},
        };
    }();
    return names;
}

} // namespace

OperationOutcome MoveDatabaseFields(OperationContext& context)
{
    if (!context.accessCheck())
        return OperationOutcome::panelOpen();
    const PanelValues& panel = context.panel();
    context.report().clear();
    if (const auto refused = DatabaseNameRefusal(panel.database, DatabaseUse::Changed))
        return context.validation(*refused);
    StoreDatabaseSettings(context.settings(), panel);
    const QString connection =
        BuildConnectionString(panel.server, panel.database, panel.user, panel.password);
    bool& moved = context.state().exchange().SpostatiCampiDB;
    moved = false;
    moved = context.ui().shiftDatabaseFields(
        {connection, ShiftLogPath(context.logFolder()), &context.database()});
    if (moved)
        context.report().setText(kFieldsShifted + panel.database);
    return OperationOutcome::completed();
}

std::vector<ConsoleChoice> ShiftConsoleChoices()
{
    std::vector<ConsoleChoice> choices;
    for (const ChoiceName& choice : choiceNames())
        choices.push_back({choice.name, choice.values, choice.help});
    return choices;
}

std::optional<ShiftRequest> ShiftRequestForChoice(const QString& name, const QString& value)
{
    for (const ChoiceName& choice : choiceNames()) {
        if (choice.name != name)
            continue;
        if (choice.values.isEmpty())
            return ShiftRequest{choice.row, 0};
        const qsizetype position = choice.values.indexOf(value);
        if (position < 0)
            return std::nullopt;
        return ShiftRequest{choice.row, static_cast<int>(position)};
    }
    return std::nullopt;
}

} // namespace sqllumo::shifting
