// The two shifts share one row loop: open the joined query as updatable rows, keep the values
// as they were read, then batch by batch log the rows' old values to disk and send their writes
// (destination written, source cleared) together. A failure stops the loop where it is and
// says which row that was.
#include "GestioneDbPazienti.h"

#include "ShiftLog.h"
#include "ShiftTexts.h"

#include "ConnectionString.h"
#include "Error.h"

#include <QLocale>

#include <algorithm>
#include <optional>
#include <vector>

namespace sqllumo::shifting {

using namespace texts;

namespace {

const QString kPatientQuery = QStringLiteral(
    "SELECT T_Patient.Ins_Company, T_Patient.Ins_Number, T_Patient.ID_Marker, "
    "T_Patient.ID_Patient, T_Patient.L_Name, T_Patient.F_Name, T_Patient.B_Date, "
    "T_Patient.Pat_Code_1, T_Patient.Pat_Code_2, T_Patient.Comment, T_Marker.Marker FROM "
    "T_Marker INNER JOIN T_Patient ON T_Marker.ID_Marker = T_Patient.ID_Marker ");
const QString kPatientCodeCondition = QStringLiteral("WHERE T_Patient.Pat_Code_1<>''");
const QString kPatientMarkerCondition = QStringLiteral("WHERE T_Patient.ID_Marker<>");
const QString kExamQuery = QStringLiteral(
    "SELECT T_Exam.ID_Marker, T_Exam.rv_7, T_Exam.rv_8, T_Exam.rv_1, T_Exam.rv_2, T_Exam.rv_3, "
    "T_Exam.rv_4, T_Exam.rv_5, T_Exam.rv_6, T_Patient.ID_Patient, T_Patient.L_Name, "
    "T_Patient.F_Name , T_Patient.B_Date, T_Marker.Marker, T_File.[Primary], T_File.Comment "
    "FROM T_Exam INNER JOIN T_Patient ON T_Exam.ID_Patient = T_Patient.ID_Patient INNER JOIN "
    "T_Marker ON T_Exam.ID_Marker = T_Marker.ID_Marker INNER JOIN T_File ON T_Exam.ID_Multi = "
    "T_File.ID_Multi ");
const QString kExamMarkerConditionHead = QStringLiteral("WHERE (T_Exam.ID_Marker<>");
const QString kExamMarkerConditionTail = QStringLiteral(" AND T_File.[Primary]<>0)");
// A number as the general conversion writes it in a statement: a blank where a sign would go.
QString SignedNumber(int number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}

// Values as the log shows them: flags as their true/false word, dates in the short format.
QString Displayed(const QVariant& value, const QLocale& locale)
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        const QString date = locale.toString(when.date(), QLocale::ShortFormat);
        return when.time() == QTime(0, 0)
                   ? date
                   : date + QLatin1Char(' ') + when.time().toString(QStringLiteral("HH:mm:ss"));
    }
    default:
        return value.toString();
    }
}

// comment + " - " + moved, or moved alone into an empty comment; cut to the column.
QString AddedToComment(const QString& comment, const QString& moved)
{
    return (comment.isEmpty() ? moved : comment + kCommentSeparator + moved).left(kCommentLength);
}

// The values of every row as they were read, by field name. Rows of a join repeat a base row
// (one exam per file); once one of them is updated the layer shows the new values in all of
// them, but each row must be moved with what was there before the shift began.
class Snapshot {
public:
    Snapshot(dbport::UpdatableRows& rs, const QStringList& names) : names_(names)
    {
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            std::vector<QVariant> row;
            row.reserve(static_cast<size_t>(names.size()));
            for (const QString& name : names)
                row.push_back(rs.value(name));
            rows_.push_back(std::move(row));
        }
        rs.moveFirst();
    }
    size_t size() const { return rows_.size(); }
    QVariant value(size_t row, const QString& name) const
    {
        return rows_[row][static_cast<size_t>(names_.indexOf(name))];
    }
    QString text(size_t row, const QString& name) const
    {
        return Displayed(value(row, name), locale_);
    }

private:
    QStringList names_;
    QLocale locale_ = QLocale::system();
    std::vector<std::vector<QVariant>> rows_;
};

const QStringList kPersonFields = {QStringLiteral("ID_Patient"), QStringLiteral("L_Name"),
                                   QStringLiteral("F_Name"), QStringLiteral("B_Date")};

// "Patient SP with ID=7 (Rossi, Anna, 03/04/1950) "
QString PatientLogHead(const Snapshot& rows, size_t row)
{
    return kPatientWithId + rows.text(row, QStringLiteral("ID_Patient")) + QStringLiteral(" (") +
           rows.text(row, QStringLiteral("L_Name")) + QStringLiteral(", ") +
           rows.text(row, QStringLiteral("F_Name")) + QStringLiteral(", ") +
           rows.text(row, QStringLiteral("B_Date")) + QStringLiteral(") ");
}

// What one row's move logs (from the values read at the start) and what it writes: its fields
// assigned and updated, once or twice.
using RowLog = std::function<QString(const Snapshot& rows, size_t row)>;
using RowWrite = std::function<void(dbport::UpdatableRows& rs, const Snapshot& rows, size_t row)>;

struct Shift {
    QString routine;
    QString startText;
    QString emptyText;
    QString endText;
    QString query;
    QStringList fields;
    RowLog log;
    RowWrite write;
};

// The rows the worker writes through, counting the update() calls that had something to write:
// the count maps what a batch managed to write back to the rows of the batch.
class CountedRows : public dbport::UpdatableRows {
public:
    explicit CountedRows(dbport::UpdatableRows& rows) : rows_(rows) {}
    size_t updates() const { return updates_; }

    size_t rowCount() const override { return rows_.rowCount(); }
    bool eof() const override { return rows_.eof(); }
    void moveFirst() override { rows_.moveFirst(); }
    void moveNext() override { rows_.moveNext(); }
    QVariant value(const QString& field) const override { return rows_.value(field); }
    void addNew() override { rows_.addNew(); }
    void setValue(const QString& field, const QVariant& value) override
    {
        rows_.setValue(field, value);
    }
    void update() override
    {
        rows_.update();
        ++updates_;
    }
    void close() override { rows_.close(); }
    void setBatchUpdates(bool on) override { rows_.setBatchUpdates(on); }
    void sendUpdates() override { rows_.sendUpdates(); }
    size_t updatesWritten() const override { return rows_.updatesWritten(); }

private:
    dbport::UpdatableRows& rows_;
    size_t updates_ = 0;
};

// Where a run stopped: the row that is not (or only half) written, and how many precede it.
struct StopPoint {
    enum class Kind { BeforeRows, AtRow, Halfway, Unlogged } kind = Kind::BeforeRows;
    size_t row = 0;
    size_t total = 0;
    QString rowText;
};

class Runner {
public:
    Runner(dbport::Provider& database, const QString& connection, const QString& log,
           const std::function<void()>& events)
        : database_(database), connection_(connection), log_(log), events_(events)
    {
    }

    // Rows moved by the last run, all of them when it succeeded.
    size_t rowsShifted() const { return shifted_; }

    bool run(const Shift& shift, QString& errore)
    {
        shifted_ = 0;
        if (!log_.write(kWorkerSource,
                        shift.startText + db::ConnectionStringWithoutPassword(connection_))) {
            fail(shift, log_.errorNumber(), log_.error(), errore, StopPoint{});
            return false;
        }
        stop_ = StopPoint{};
        std::unique_ptr<dbport::Connection> connection;
        try {
            connection = database_.newConnection();
            connection->open(connection_);
            const std::unique_ptr<dbport::UpdatableRows> rs =
                connection->openUpdatable(shift.query);
            const bool empty = rs->eof();
            // Nothing changes after the empty or the end line, so their failure stops nothing.
            if (empty)
                log_.write(kWorkerSource, shift.emptyText);
            const bool moved = empty || moveAll(shift, *rs);
            rs->close();
            connection->close();
            if (!moved) {
                fail(shift, log_.errorNumber(), log_.error(), errore, stop_);
                return false;
            }
            if (!empty)
                log_.write(kWorkerSource, shift.endText);
            return true;
        } catch (const db::Error& error) {
            dbport::CloseAfterFailure(connection.get());
            fail(shift, error.number(), error.description(), errore, stop_);
        } catch (const std::exception& error) {
            dbport::CloseAfterFailure(connection.get());
            fail(shift, db::kConnectionFailed, QString::fromUtf8(error.what()), errore, stop_);
        }
        return false;
    }

    void refuse(const Shift& shift, int origine, int destinazione, QString& errore)
    {
        log_.write(kWorkerSource,
                   shift.startText + db::ConnectionStringWithoutPassword(connection_));
        fail(shift, db::kInvalidArgument,
             kUnsupportedShift.arg(QString::number(origine), QString::number(destinazione)), errore,
             std::nullopt);
    }

private:
    // Batch by batch: the old values of its rows on disk, then its writes sent together. False
    // when the log could not be written (stop_ says where); a database failure raises, with
    // stop_ at the row it reached.
    bool moveAll(const Shift& shift, dbport::UpdatableRows& rs)
    {
        const Snapshot rows(rs, shift.fields);
        const size_t total = rows.size();
        CountedRows counted(rs);
        counted.setBatchUpdates(true);
        for (size_t from = 0; from < total; from += kShiftBatchRows) {
            const size_t to = std::min(total, from + kShiftBatchRows);
            QStringList lines;
            for (size_t row = from; row < to; ++row)
                lines << shift.log(rows, row);
            if (!log_.write(kWorkerSource, lines)) {
                stop_ = {StopPoint::Kind::Unlogged, from, total, PatientLogHead(rows, from)};
                return false;
            }
            // The first update of each row of the batch, counted from the batch's start.
            std::vector<size_t> firstUpdate;
            const size_t base = counted.updates();
            bool sending = false;
            try {
                for (size_t row = from; row < to; ++row) {
                    firstUpdate.push_back(counted.updates() - base);
                    shift.write(counted, rows, row);
                    counted.moveNext();
                    if (events_)
                        events_();
                }
                sending = true;
                counted.sendUpdates();
            } catch (...) {
                // Updates before the failing one are in the database; the failing one is not.
                const size_t failing =
                    sending ? counted.updatesWritten() : counted.updates() - base;
                size_t at = 0;
                while (at + 1 < firstUpdate.size() && firstUpdate[at + 1] <= failing)
                    ++at;
                const size_t row = from + at;
                const bool halfway = !firstUpdate.empty() && failing > firstUpdate[at];
                stop_ = {halfway ? StopPoint::Kind::Halfway : StopPoint::Kind::AtRow, row, total,
                         PatientLogHead(rows, row)};
                shifted_ = row;
                throw;
            }
            shifted_ = to;
        }
        return true;
    }

    QString stopText(const StopPoint& stop) const
    {
        const QString row = stop.rowText.trimmed();
        switch (stop.kind) {
        case StopPoint::Kind::BeforeRows:
            return kStoppedBeforeRows;
        case StopPoint::Kind::AtRow:
        case StopPoint::Kind::Halfway:
            return (stop.kind == StopPoint::Kind::Halfway ? kStoppedHalfway : kStoppedAtRow)
                .arg(stop.row + 1)
                .arg(stop.total)
                .arg(row)
                .arg(stop.row);
        case StopPoint::Kind::Unlogged:
            return kStoppedUnlogged.arg(stop.row + 1).arg(stop.total).arg(row).arg(stop.row);
        }
        return QString();
    }

    void fail(const Shift& shift, long number, const QString& description, QString& errore,
              const std::optional<StopPoint>& stop)
    {
        const QString where = stop ? stopText(*stop) : QString();
        const QString tail = where.isEmpty() ? QString() : QStringLiteral("\r\n") + where;
        errore = QLatin1Char('[') + kErrorPlace + shift.routine + QStringLiteral("] ") +
                 QString::number(number) + QStringLiteral(": ") + description + tail;
        // Where the log itself failed this may be lost too; the message still says it all.
        log_.write(kWorkerSource, kErrorLogHead + shift.routine + QStringLiteral(": ") +
                                      QString::number(number) + kCommentSeparator + description +
                                      (where.isEmpty() ? QString() : QLatin1Char(' ') + where));
    }

    dbport::Provider& database_;
    const QString& connection_;
    ShiftLogWriter log_;
    const std::function<void()>& events_;
    StopPoint stop_;
    size_t shifted_ = 0;
};

QString QuickSearchColumn(int flagNumber) // 1..8
{
    return QStringLiteral("rv_%1").arg(flagNumber);
}

} // namespace

bool IsPatientShift(int origine, int destinazione)
{
    if (origine == kPatientCode1)
        return destinazione >= kPatientCode2 && destinazione <= kInsuranceCompany;
    return origine == kPatientMarker && destinazione == kComment;
}

bool IsExamShift(int origine, int destinazione)
{
    if (origine == kQuickSearch6 || origine == kQuickSearch7)
        return destinazione >= kFirstQuickSearch && destinazione <= kLastQuickSearch;
    return origine == kExamMarker && destinazione == kComment;
}

QString PatientShiftQuery(int origine)
{
    return kPatientQuery + (origine == kPatientCode1
                                ? kPatientCodeCondition
                                : kPatientMarkerCondition + SignedNumber(kEmptyMarker));
}

QString ExamShiftQuery(int origine)
{
    return origine == kExamMarker ? kExamQuery + kExamMarkerConditionHead +
                                        SignedNumber(kEmptyMarker) + kExamMarkerConditionTail
                                  : kExamQuery;
}

GestioneDbPazienti::GestioneDbPazienti(dbport::Provider& database,
                                       std::function<void()> pendingEvents)
    : database_(database), pendingEvents_(std::move(pendingEvents))
{
}

bool GestioneDbPazienti::ShiftPatientFields(const QString& strConnSpDb, const QString& Logfile,
                                            int Origine, int Destinazione, QString& errore)
{
    errore.clear();
    rowsShifted_ = 0;
    Shift shift{kPatientRoutine,
                kStartPatient,
                kAllPatCode1Empty,
                kEndPatient,
                PatientShiftQuery(Origine),
                kPersonFields +
                    QStringList{QStringLiteral("Pat_Code_1"), QStringLiteral("Pat_Code_2"),
                                QStringLiteral("Comment"), QStringLiteral("Ins_Number"),
                                QStringLiteral("Ins_Company"), QStringLiteral("Marker")},
                {},
                {}};
    Runner runner(database_, strConnSpDb, Logfile, pendingEvents_);
    if (!IsPatientShift(Origine, Destinazione)) {
        runner.refuse(shift, Origine, Destinazione, errore);
        return false;
    }
    // The value moved: the code itself, or the text of the patient's marker.
    const auto moved = [Origine](const Snapshot& rows, size_t row) {
        return Origine == kPatientCode1 ? rows.text(row, QStringLiteral("Pat_Code_1"))
                                        : rows.text(row, QStringLiteral("Marker"));
    };
    shift.log = [Origine, Destinazione, moved](const Snapshot& rows, size_t row) {
        QString logText = PatientLogHead(rows, row) +
                          (Origine == kPatientCode1 ? kOldPatCode1 : kOldMarker) + moved(rows, row);
        switch (Destinazione) {
        case kPatientCode2:
            return logText + kOldPatCode2 + rows.text(row, QStringLiteral("Pat_Code_2"));
        case kComment:
            return logText + kOldComment + rows.text(row, QStringLiteral("Comment"));
        case kInsuranceNumber:
            return logText + kOldInsuranceNumber + rows.text(row, QStringLiteral("Ins_Number"));
        default:
            return logText + kOldInsuranceCompany + rows.text(row, QStringLiteral("Ins_Company"));
        }
    };
    shift.write = [Origine, Destinazione, moved](dbport::UpdatableRows& rs, const Snapshot& rows,
                                                 size_t row) {
        const QString code = rows.text(row, QStringLiteral("Pat_Code_1"));
        switch (Destinazione) {
        case kPatientCode2:
            rs.setValue(QStringLiteral("Pat_Code_2"), code);
            break;
        case kComment:
            rs.setValue(
                QStringLiteral("Comment"),
                AddedToComment(rows.text(row, QStringLiteral("Comment")), moved(rows, row)));
            break;
        case kInsuranceNumber:
            rs.setValue(QStringLiteral("Ins_Number"), code.left(kInsuranceLength));
            break;
        case kInsuranceCompany:
            rs.setValue(QStringLiteral("Ins_Company"), code.left(kInsuranceLength));
            break;
        }
        if (Origine == kPatientCode1)
            rs.setValue(QStringLiteral("Pat_Code_1"), QString(QLatin1String("")));
        else
            rs.setValue(QStringLiteral("ID_Marker"), kEmptyMarker);
        rs.update();
    };
    const bool done = runner.run(shift, errore);
    rowsShifted_ = runner.rowsShifted();
    return done;
}

bool GestioneDbPazienti::ShiftExamFields(const QString& strConnSpDb, const QString& Logfile,
                                         int Origine, int Destinazione, QString& errore)
{
    errore.clear();
    rowsShifted_ = 0;
    QStringList fields = kPersonFields;
    for (int flag = 1; flag <= 8; ++flag)
        fields << QuickSearchColumn(flag);
    fields << QStringLiteral("Marker") << QStringLiteral("Comment");
    Shift shift{
        kExamRoutine, kStartExam, kNothingToShift, kEndExam, ExamShiftQuery(Origine), fields,
        {},           {}};
    Runner runner(database_, strConnSpDb, Logfile, pendingEvents_);
    if (!IsExamShift(Origine, Destinazione)) {
        runner.refuse(shift, Origine, Destinazione, errore);
        return false;
    }
    // rv_7 is quick search 6, rv_8 quick search 7.
    const QString source = Origine == kQuickSearch6   ? QuickSearchColumn(7)
                           : Origine == kQuickSearch7 ? QuickSearchColumn(8)
                                                      : QStringLiteral("ID_Marker");
    // Quick search 0..5 is rv_1..rv_6.
    const int number = Destinazione - kFirstQuickSearch;
    const QString destination = QuickSearchColumn(number + 1);
    shift.log = [Origine, Destinazione, source, number, destination](const Snapshot& rows,
                                                                     size_t row) {
        QString logText = PatientLogHead(rows, row);
        if (Origine == kExamMarker)
            logText += kOldMarker + rows.text(row, QStringLiteral("Marker"));
        else
            logText += (Origine == kQuickSearch6 ? kOldQuickSearch6 : kOldQuickSearch7) +
                       rows.text(row, source);
        if (Destinazione == kComment)
            return logText + kOldComment + rows.text(row, QStringLiteral("Comment"));
        return logText + kOldQuickSearch + QString::number(number) + QLatin1Char('=') +
               rows.text(row, destination);
    };
    shift.write = [Origine, Destinazione, source, destination](dbport::UpdatableRows& rs,
                                                               const Snapshot& rows, size_t row) {
        if (Destinazione == kComment)
            rs.setValue(QStringLiteral("Comment"),
                        AddedToComment(rows.text(row, QStringLiteral("Comment")),
                                       rows.text(row, QStringLiteral("Marker"))));
        else
            // The destination takes the source's value; it is not combined with its own.
            rs.setValue(destination, rows.value(row, source).toBool());
        rs.update();
        if (Origine == kExamMarker)
            rs.setValue(source, kEmptyMarker);
        else
            rs.setValue(source, false);
        rs.update();
    };
    const bool done = runner.run(shift, errore);
    rowsShifted_ = runner.rowsShifted();
    return done;
}

} // namespace sqllumo::shifting
