#pragma once
// The five shifts offered to the person (one per row of the dialog and per console option):
// each one's question, log line, success message and worker call, and the sequence one
// "Apply" runs through the UserInterface port.

#include "DatabasePort.h"
#include "UserInterface.h"

#include <QString>

#include <functional>
#include <optional>

namespace sqllumo::shifting {

enum class ShiftRow { PatientCode1, PatientMarker, QuickSearch6, QuickSearch7, ExamMarker };

struct ShiftRequest {
    ShiftRow row = ShiftRow::PatientCode1;
    // The entry chosen in the row's list: 0..3 for the patient code, 0..5 for the quick
    // searches; ignored by the marker rows.
    int listPosition = 0;
};

struct ShiftAction {
    QString question;
    QString logLine;
    QString successMessage;
    bool exam = false; // ShiftExamFields, else ShiftPatientFields
    int origine = 0;
    int destinazione = 0;
};

// nullopt for a list position the row's list does not have. database: named in the question.
std::optional<ShiftAction> ActionFor(const ShiftRequest& request, const QString& database);

enum class ApplyResult {
    Declined,  // No to the question: nothing ran
    Failed,    // the worker's error was shown
    Succeeded, // the success message was shown
};

// One "Apply": the question naming the move and the database (Yes/No, "Warning"); on Yes the
// controls locked and the pointer busy, a full shift log set aside, the button's line in the
// log, the worker, then the error or the success message with the rows changed and the log's
// place (OK, the application's title), with the pointer and the controls back. A log that
// cannot be written stops the move before any row. The worker reaches the database at
// connectionString through database.
ApplyResult ApplyShift(UserInterface& ui, const ShiftRequest& request, dbport::Provider& database,
                       const QString& connectionString, const QString& logPath,
                       const std::function<void(bool locked)>& lockControls = {});

} // namespace sqllumo::shifting
