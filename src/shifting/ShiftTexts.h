#pragma once
// Every text field shifting shows or writes: the dialog's captions and lists, the questions,
// log lines and success messages of its five buttons, and the worker's log and error texts.

#include <QString>
#include <QStringList>

namespace sqllumo::shifting::texts {

// Log sources.
inline const QString kDialogSource = QStringLiteral("Gen_ShiftDBField");
inline const QString kWorkerSource = QStringLiteral("GestioneDBPazienti");

// The dialog.
inline const QString kDialogCaption = QStringLiteral("Move database fields");
inline const QString kPatientFrame = QStringLiteral("Patient");
inline const QString kExamFrame = QStringLiteral("Exam");
inline const QString kId1Label = QStringLiteral("ID1");
inline const QString kMarkerLabel = QStringLiteral("Marker");
inline const QString kQuickSearch6Label = QStringLiteral("Quick Search 6");
inline const QString kQuickSearch7Label = QStringLiteral("Quick Search 7");
inline const QString kAddToCommentLabel = QStringLiteral("Add to Comment");
inline const QString kApply = QStringLiteral("Apply");
inline const QString kExit = QStringLiteral("Exit");
inline const QString kQuestionTitle = QStringLiteral("Warning");
inline const QStringList kPatientCodeEntries = {QStringLiteral("ID2"), kAddToCommentLabel,
                                                QStringLiteral("Insurance Number"),
                                                QStringLiteral("Insurance Company")};
// "Quick Search 0" to "Quick Search 5".
QStringList QuickSearchEntries();

// Questions, log lines and success messages of the buttons.
inline const QString kShiftId1Question = QStringLiteral("Are you sure you want to shift ID1?");
inline const QString kShiftMarkerQuestion =
    QStringLiteral("Are you sure you want to shift Marker?");
inline const QString kShiftQuickSearch6Question =
    QStringLiteral("Are you sure you want to shift QuickSearch6?");
inline const QString kShiftQuickSearch7Question =
    QStringLiteral("Are you sure you want to shift QuickSearch7?");
inline const QString kShiftingId1To = QStringLiteral("Shifting ID1 to ");
inline const QStringList kPatientCodeLogNames = {QStringLiteral("ID2"), QStringLiteral("Comment"),
                                                 QStringLiteral("InsuranceNumber"),
                                                 QStringLiteral("InsuranceCompany")};
inline const QString kShiftingMarkerToComment = QStringLiteral("Shifting Marker to Comment");
// Two blanks after "Shifting" in the three exam lines.
inline const QString kShiftingQuickSearch6To = QStringLiteral("Shifting  QuickSearch6 to ");
inline const QString kShiftingQuickSearch7To = QStringLiteral("Shifting  QuickSearch7 to ");
inline const QString kQuickSearchLogName = QStringLiteral("QuickSearch");
inline const QString kShiftingExamMarkerToComment =
    QStringLiteral("Shifting  Exam Marker to Comment");
inline const QString kId1Done = QStringLiteral("Shifting ID1 successfully done!");
inline const QString kMarkerDone = QStringLiteral("Shifting Marker successfully done!");
inline const QString kQuickSearch6Done = QStringLiteral("Shifting QuickSearch6 successfully done!");
inline const QString kQuickSearch7Done = QStringLiteral("Shifting QuickSearch7 successfully done!");
// After the success message: what the move changed and where its old values are.
inline const QString kRowsChangedAndLog =
    QStringLiteral("Rows changed: %1. Their old values are in the shift log %2");

// The question names the move and the database: "Move Pat_Code_1 into Ins_Number for every
// patient of database X?".
inline const QString kMoveQuestion = QStringLiteral("Move %1 into %2 for every %3 of database %4?");
inline const QString kAddQuestion = QStringLiteral("Add %1 to %2 for every %3 of database %4?");
inline const QString kPatientCode1Column = QStringLiteral("Pat_Code_1");
inline const QStringList kPatientCodeColumns = {
    QStringLiteral("Pat_Code_2"), QStringLiteral("Comment"), QStringLiteral("Ins_Number"),
    QStringLiteral("Ins_Company")};
inline const QString kPatientMarkerName = QStringLiteral("the patient's Marker");
inline const QString kExamMarkerName = QStringLiteral("the exam's Marker");
inline const QString kPrimaryFileCommentName =
    QStringLiteral("the Comment of each of its primary files");
// "rv_7 (Quick Search 6)".
inline const QString kQuickSearchColumnName = QStringLiteral("rv_%1 (Quick Search %2)");
inline const QString kEveryPatient = QStringLiteral("patient");
inline const QString kEveryExam = QStringLiteral("exam");

// The worker's log.
inline const QString kStartPatient = QStringLiteral("Start ShiftPatCode1. Connection String: ");
inline const QString kStartExam = QStringLiteral("Start ShiftQuickSearch. Connection String: ");
inline const QString kAllPatCode1Empty = QStringLiteral("All Pat_Code1 are empty");
inline const QString kNothingToShift = QStringLiteral("Nothing to shift");
inline const QString kEndPatient = QStringLiteral("End ShiftPatientFields");
inline const QString kEndExam = QStringLiteral("End ShiftQuickSearch");
inline const QString kPatientWithId = QStringLiteral("Patient SP with ID=");
inline const QString kOldPatCode1 = QStringLiteral("with old PAT_CODE1 =");
inline const QString kOldMarker = QStringLiteral("with old Marker =");
inline const QString kOldQuickSearch6 = QStringLiteral("with old QUICKSEARCH6 =");
inline const QString kOldQuickSearch7 = QStringLiteral("with old QUICKSEARCH7 =");
inline const QString kOldPatCode2 = QStringLiteral(" old PAT_CODE2=");
inline const QString kOldComment = QStringLiteral(" old Comment=");
inline const QString kOldInsuranceNumber = QStringLiteral(" old InsuranceNumber=");
inline const QString kOldInsuranceCompany = QStringLiteral(" old InsuranceCompany=");
// " old QUICKSEARCH" + n + "=".
inline const QString kOldQuickSearch = QStringLiteral(" old QUICKSEARCH");
inline const QString kCommentSeparator = QStringLiteral(" - ");

// The worker's errors.
inline const QString kErrorPlace = QStringLiteral("SQLLumenoManager.GestioneDBPazienti.");
inline const QString kPatientRoutine = QStringLiteral("ShiftPatientFields");
inline const QString kExamRoutine = QStringLiteral("ShiftQuickSearch");
inline const QString kErrorLogHead = QStringLiteral("Error ");
// Where a failed shift stopped, so the person knows how the data stands.
inline const QString kStoppedBeforeRows =
    QStringLiteral("Stopped before any row was changed; the database is as it was.");
inline const QString kStoppedAtRow = QStringLiteral(
    "Stopped at row %1 of %2, %3, which is unchanged; the %4 rows before it have been shifted.");
inline const QString kStoppedHalfway = QStringLiteral(
    "Stopped at row %1 of %2, %3, after its destination was written and before its source was "
    "cleared; the %4 rows before it have been shifted.");
inline const QString kStoppedUnlogged = QStringLiteral(
    "Stopped before row %1 of %2, %3, as its old values could not be written to the shift log; "
    "it and the rows after it are unchanged, the %4 rows before it have been shifted.");
// The shift log's failure: the file (or its folder) and the system's reason.
inline const QString kShiftLogNotWritten = QStringLiteral("The shift log %1 cannot be written: %2");
inline const QString kUnsupportedShift = QStringLiteral(
    "The source %1 cannot be moved to the destination %2; nothing has been changed.");

} // namespace sqllumo::shifting::texts
