#pragma once
// The field-shifting worker: moves patient codes and markers (ShiftPatientFields) and the exam
// quick-search flags and marker (ShiftExamFields) through updatable joined rows of the database
// port, in batches: the old values of a batch's rows are on disk in the shift log before the
// batch's writes are sent.

#include "DatabasePort.h"

#include <QString>

#include <functional>

namespace sqllumo::shifting {

// Origine of ShiftPatientFields.
enum PatientSource : int { kPatientCode1 = 0, kPatientMarker = 1 };
// Origine of ShiftExamFields.
enum ExamSource : int { kQuickSearch6 = 0, kQuickSearch7 = 1, kExamMarker = 2 };
// Destinazione codes: 0 to 3 for patients, 1 (the file comment) and 4 to 9 (rv_1 to rv_6) for
// exams.
enum Destination : int {
    kPatientCode2 = 0,
    kComment = 1,
    kInsuranceNumber = 2,
    kInsuranceCompany = 3,
    kFirstQuickSearch = 4, // quick search n is kFirstQuickSearch + n, n = 0..5
    kLastQuickSearch = 9,
};

// The marker every cleared marker points to: the empty row of T_Marker.
inline constexpr int kEmptyMarker = 3;
// Destination texts are cut to what their columns hold.
inline constexpr int kCommentLength = 250;
inline constexpr int kInsuranceLength = 30;
// Rows whose old values are logged together and whose writes go to the server together.
inline constexpr size_t kShiftBatchRows = 500;

// True for the pairs the worker carries out; any other pair would clear its source without
// writing it anywhere.
bool IsPatientShift(int origine, int destinazione);
bool IsExamShift(int origine, int destinazione);

// The joined query a shift from that source opens for changes.
QString PatientShiftQuery(int origine);
QString ExamShiftQuery(int origine);

class GestioneDbPazienti {
public:
    // database: the port each shift opens its connection through. pendingEvents runs after
    // every row so the window stays alive during a long shift.
    explicit GestioneDbPazienti(dbport::Provider& database,
                                std::function<void()> pendingEvents = {});

    // Each returns true when the shift ran to its end (also when there was nothing to move).
    // On failure errore names the routine, the error and the row where the shift stopped;
    // the rows moved before it stay moved. errore is emptied first.
    bool ShiftPatientFields(const QString& strConnSpDb, const QString& Logfile, int Origine,
                            int Destinazione, QString& errore);
    bool ShiftExamFields(const QString& strConnSpDb, const QString& Logfile, int Origine,
                         int Destinazione, QString& errore);
    // Rows (of the joined query: one per exam and file) the last shift moved.
    size_t rowsShifted() const { return rowsShifted_; }

private:
    dbport::Provider& database_;
    std::function<void()> pendingEvents_;
    size_t rowsShifted_ = 0;
};

} // namespace sqllumo::shifting
