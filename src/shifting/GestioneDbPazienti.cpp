// The two shifts share one row loop: open the joined query as updatable rows, keep the values
// as they were read, then per row write the destination, clear the source, update and
// log. A failure stops the loop where it is and says which row that was.
#include "GestioneDbPazienti.h"

#include "ShiftLog.h"
#include "ShiftTexts.h"

#include "ConnectionString.h"
#include "Error.h"

#include <QLocale>

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
QString Displayed(const QVariant& value)
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        const QLocale locale = QLocale::system();
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
    QString text(size_t row, const QString& name) const { return Displayed(value(row, name)); }

private:
    QStringList names_;
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

// What one row does: assign its fields and update them, once or twice. It sets logText before
// its first update and `halfway` once an update has reached the database.
using RowWork = std::function<void(dbport::UpdatableRows& rs, const Snapshot& rows, size_t row,
                                   QString& logText, bool& halfway)>;

struct Shift {
    QString routine;
    QString startText;
    QString emptyText;
    QString endText;
    QString query;
    QStringList fields;
    RowWork work;
};

class Runner {
public:
    Runner(dbport::Provider& database, const QString& connection, const QString& log,
           const std::function<void()>& events)
        : database_(database), connection_(connection), log_(log), events_(events)
    {
    }

    bool run(const Shift& shift, QString& errore)
    {
        AppendLogLine(log_, kWorkerSource,
                      shift.startText + db::ConnectionStringWithoutPassword(connection_));
        size_t total = 0;
        size_t done = 0;
        QString rowText;
        bool halfway = false;
        bool looping = false;
        std::unique_ptr<dbport::Connection> connection;
        try {
            connection = database_.newConnection();
            connection->open(connection_);
            const std::unique_ptr<dbport::UpdatableRows> rs =
                connection->openUpdatable(shift.query);
            if (rs->eof()) {
                AppendLogLine(log_, kWorkerSource, shift.emptyText);
                rs->close();
                connection->close();
                return true;
            }
            const Snapshot rows(*rs, shift.fields);
            total = rows.size();
            looping = true;
            for (size_t row = 0; row < total; ++row) {
                rowText = PatientLogHead(rows, row);
                halfway = false;
                QString logText;
                shift.work(*rs, rows, row, logText, halfway);
                AppendLogLine(log_, kWorkerSource, logText);
                ++done;
                rs->moveNext();
                if (events_)
                    events_();
            }
            looping = false;
            rs->close();
            connection->close();
            AppendLogLine(log_, kWorkerSource, shift.endText);
            return true;
        } catch (const db::Error& error) {
            dbport::CloseAfterFailure(connection.get());
            fail(shift, error.number(), error.description(), errore,
                 stopText(looping, done, total, rowText, halfway));
        } catch (const std::exception& error) {
            dbport::CloseAfterFailure(connection.get());
            fail(shift, db::kConnectionFailed, QString::fromUtf8(error.what()), errore,
                 stopText(looping, done, total, rowText, halfway));
        }
        return false;
    }

    void refuse(const Shift& shift, int origine, int destinazione, QString& errore)
    {
        AppendLogLine(log_, kWorkerSource,
                      shift.startText + db::ConnectionStringWithoutPassword(connection_));
        fail(shift, db::kInvalidArgument,
             kUnsupportedShift.arg(QString::number(origine), QString::number(destinazione)), errore,
             QString());
    }

private:
    static QString stopText(bool looping, size_t done, size_t total, const QString& rowText,
                            bool halfway)
    {
        if (!looping)
            return kStoppedBeforeRows;
        const QString row = rowText.trimmed();
        return (halfway ? kStoppedHalfway : kStoppedAtRow)
            .arg(done + 1)
            .arg(total)
            .arg(row)
            .arg(done);
    }

    void fail(const Shift& shift, long number, const QString& description, QString& errore,
              const QString& where)
    {
        const QString tail = where.isEmpty() ? QString() : QStringLiteral("\r\n") + where;
        errore = QLatin1Char('[') + kErrorPlace + shift.routine + QStringLiteral("] ") +
                 QString::number(number) + QStringLiteral(": ") + description + tail;
        AppendLogLine(log_, kWorkerSource,
                      kErrorLogHead + shift.routine + QStringLiteral(": ") +
                          QString::number(number) + kCommentSeparator + description +
                          (where.isEmpty() ? QString() : QLatin1Char(' ') + where));
    }

    dbport::Provider& database_;
    const QString& connection_;
    const QString& log_;
    const std::function<void()>& events_;
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
    Shift shift{kPatientRoutine,
                kStartPatient,
                kAllPatCode1Empty,
                kEndPatient,
                PatientShiftQuery(Origine),
                kPersonFields +
                    QStringList{QStringLiteral("Pat_Code_1"), QStringLiteral("Pat_Code_2"),
                                QStringLiteral("Comment"), QStringLiteral("Ins_Number"),
                                QStringLiteral("Ins_Company"), QStringLiteral("Marker")},
                {}};
    Runner runner(database_, strConnSpDb, Logfile, pendingEvents_);
    if (!IsPatientShift(Origine, Destinazione)) {
        runner.refuse(shift, Origine, Destinazione, errore);
        return false;
    }
    shift.work = [Origine, Destinazione](dbport::UpdatableRows& rs, const Snapshot& rows,
                                         size_t row, QString& logText, bool&) {
        const QString code = rows.text(row, QStringLiteral("Pat_Code_1"));
        const QString moved =
            Origine == kPatientCode1 ? code : rows.text(row, QStringLiteral("Marker"));
        logText = PatientLogHead(rows, row) +
                  (Origine == kPatientCode1 ? kOldPatCode1 : kOldMarker) + moved;
        switch (Destinazione) {
        case kPatientCode2:
            logText += kOldPatCode2 + rows.text(row, QStringLiteral("Pat_Code_2"));
            rs.setValue(QStringLiteral("Pat_Code_2"), code);
            break;
        case kComment: {
            const QString comment = rows.text(row, QStringLiteral("Comment"));
            logText += kOldComment + comment;
            rs.setValue(QStringLiteral("Comment"), AddedToComment(comment, moved));
            break;
        }
        case kInsuranceNumber:
            logText += kOldInsuranceNumber + rows.text(row, QStringLiteral("Ins_Number"));
            rs.setValue(QStringLiteral("Ins_Number"), code.left(kInsuranceLength));
            break;
        case kInsuranceCompany:
            logText += kOldInsuranceCompany + rows.text(row, QStringLiteral("Ins_Company"));
            rs.setValue(QStringLiteral("Ins_Company"), code.left(kInsuranceLength));
            break;
        }
        if (Origine == kPatientCode1)
            rs.setValue(QStringLiteral("Pat_Code_1"), QString(QLatin1String("")));
        else
            rs.setValue(QStringLiteral("ID_Marker"), kEmptyMarker);
        rs.update();
    };
    return runner.run(shift, errore);
}

bool GestioneDbPazienti::ShiftExamFields(const QString& strConnSpDb, const QString& Logfile,
                                         int Origine, int Destinazione, QString& errore)
{
    errore.clear();
    QStringList fields = kPersonFields;
    for (int flag = 1; flag <= 8; ++flag)
        fields << QuickSearchColumn(flag);
    fields << QStringLiteral("Marker") << QStringLiteral("Comment");
    Shift shift{kExamRoutine, kStartExam, kNothingToShift, kEndExam, ExamShiftQuery(Origine),
                fields,       {}};
    Runner runner(database_, strConnSpDb, Logfile, pendingEvents_);
    if (!IsExamShift(Origine, Destinazione)) {
        runner.refuse(shift, Origine, Destinazione, errore);
        return false;
    }
    // rv_7 is quick search 6, rv_8 quick search 7.
    const QString source = Origine == kQuickSearch6   ? QuickSearchColumn(7)
                           : Origine == kQuickSearch7 ? QuickSearchColumn(8)
                                                      : QStringLiteral("ID_Marker");
    shift.work = [Origine, Destinazione, source](dbport::UpdatableRows& rs, const Snapshot& rows,
                                                 size_t row, QString& logText, bool& halfway) {
        logText = PatientLogHead(rows, row);
        if (Origine == kExamMarker)
            logText += kOldMarker + rows.text(row, QStringLiteral("Marker"));
        else
            logText += (Origine == kQuickSearch6 ? kOldQuickSearch6 : kOldQuickSearch7) +
                       rows.text(row, source);
        if (Destinazione == kComment) {
            const QString comment = rows.text(row, QStringLiteral("Comment"));
            logText += kOldComment + comment;
            rs.setValue(QStringLiteral("Comment"),
                        AddedToComment(comment, rows.text(row, QStringLiteral("Marker"))));
        } else {
            const int number = Destinazione - kFirstQuickSearch; // quick search 0..5
            const QString destination = QuickSearchColumn(number + 1);
            logText += kOldQuickSearch + QString::number(number) + QLatin1Char('=') +
                       rows.text(row, destination);
            // The destination takes the source's value; it is not combined with its own.
            rs.setValue(destination, rows.value(row, source).toBool());
        }
        rs.update();
        halfway = true;
        if (Origine == kExamMarker)
            rs.setValue(source, kEmptyMarker);
        else
            rs.setValue(source, false);
        rs.update();
        halfway = false;
    };
    return runner.run(shift, errore);
}

} // namespace sqllumo::shifting
