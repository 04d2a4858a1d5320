// The shifting worker's rules against the scripted port, without a server: which query each
// source opens, what each row gets written, where a failing write or a failing log stops the
// run and what the shift log says.
#include "GestioneDbPazienti.h"
#include "ScriptedDatabase.h"
#include "ShiftLog.h"
#include "ShiftTexts.h"

#include "ConnectionStrings.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace sqllumo;
using namespace sqllumo::shifting;
using dbport::testing::ScriptedDatabase;
using dbport::testing::Sent;
using Kind = Sent::Kind;

namespace {

const QStringList kPatientColumns = {"Ins_Company", "Ins_Number", "ID_Marker", "ID_Patient",
                                     "L_Name",      "F_Name",     "B_Date",    "Pat_Code_1",
                                     "Pat_Code_2",  "Comment",    "Marker"};
const QStringList kExamColumns = {
    "ID_Marker", "rv_7",       "rv_8",   "rv_1",   "rv_2",   "rv_3",   "rv_4",    "rv_5",
    "rv_6",      "ID_Patient", "L_Name", "F_Name", "B_Date", "Marker", "Primary", "Comment"};
const QDateTime kBorn(QDate(1950, 4, 3), QTime(0, 0), Qt::UTC);

std::vector<QVariant> patient(int id, const QString& lastName, const QString& code1,
                              const QString& comment = "seen", const QString& marker = "")
{
    return {"Mutua", "N-7", 3, id, lastName, "Anna", kBorn, code1, "old2", comment, marker};
}

std::vector<QVariant> exam(int id, bool rv7, const QString& marker = "")
{
    return {4,     rv7, false,   false,  false, false,  false, false,
            false, id,  "Rossi", "Anna", kBorn, marker, true,  "file note"};
}

class ShiftRules : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

    // The log's lines without their time stamps.
    QStringList logLines() const
    {
        QFile file(log_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString& line : QString::fromUtf8(file.readAll()).split("\r\n"))
            if (!line.isEmpty())
                lines << line.mid(line.indexOf(") ") + 2);
        return lines;
    }
    static QString head(int id, const QString& lastName)
    {
        return shifting::texts::kPatientWithId + QString::number(id) + " (" + lastName +
               ", Anna, " + QLocale::system().toString(kBorn.date(), QLocale::ShortFormat) + ") ";
    }

    QTemporaryDir folder_;
    const QString log_ = ShiftLogPath(folder_.path());
    const QString connection_ = BuildConnectionString("srv", "Archive", "sa", "s3cret");
    ScriptedDatabase db_;
    GestioneDbPazienti worker_{db_};
    QString errore_;
};

TEST_F(ShiftRules, EachSourceOpensItsOwnConditionWithTheMarkerNumberAsWritten)
{
    EXPECT_TRUE(PatientShiftQuery(kPatientCode1).endsWith("WHERE T_Patient.Pat_Code_1<>''"));
    EXPECT_TRUE(PatientShiftQuery(kPatientMarker).endsWith("WHERE T_Patient.ID_Marker<> 3"));
    EXPECT_EQ(ExamShiftQuery(kQuickSearch6), ExamShiftQuery(kQuickSearch7));
    EXPECT_FALSE(ExamShiftQuery(kQuickSearch6).contains("WHERE"));
    EXPECT_TRUE(ExamShiftQuery(kExamMarker)
                    .endsWith("WHERE (T_Exam.ID_Marker<> 3 AND T_File.[Primary]<>0)"));
}

TEST_F(ShiftRules, PatientCodesGoToTheInsuranceNumberCutToItsColumnAndAreCleared)
{
    const QString longCode = QString(40, 'X');
    db_.answer(PatientShiftQuery(kPatientCode1), kPatientColumns,
               {patient(7, "Rossi", "A-100"), patient(8, "O'Brien", longCode)});
    ASSERT_TRUE(
        worker_.ShiftPatientFields(connection_, log_, kPatientCode1, kInsuranceNumber, errore_));
    EXPECT_EQ(errore_, "");
    EXPECT_EQ(db_.statements(), QStringList{PatientShiftQuery(kPatientCode1)});
    const QString query = PatientShiftQuery(kPatientCode1);
    EXPECT_EQ(
        db_.writes(),
        (std::vector<Sent>{{Kind::Update, query, {{"Ins_Number", "A-100"}, {"Pat_Code_1", ""}}, 0},
                           {Kind::Update,
                            query,
                            {{"Ins_Number", QString(kInsuranceLength, 'X')}, {"Pat_Code_1", ""}},
                            1}}));
    EXPECT_EQ(db_.sent().front(), (Sent{Kind::Open, connection_}));
    EXPECT_EQ(db_.openCount(), 0);
    // The log names the connection without its password and every row with its old values.
    EXPECT_EQ(logLines(),
              (QStringList{"GestioneDBPazienti: " + shifting::texts::kStartPatient +
                               BuildConnectionString("srv", "Archive", "sa", "****"),
                           "GestioneDBPazienti: " + head(7, "Rossi") +
                               "with old PAT_CODE1 =A-100 old InsuranceNumber=N-7",
                           "GestioneDBPazienti: " + head(8, "O'Brien") +
                               "with old PAT_CODE1 =" + longCode + " old InsuranceNumber=N-7",
                           "GestioneDBPazienti: " + shifting::texts::kEndPatient}));
}

TEST_F(ShiftRules, TheMarkerJoinsTheCommentWithinItsLengthAndPointsToTheEmptyMarker)
{
    const QString longComment = QString(245, 'c');
    db_.answer(PatientShiftQuery(kPatientMarker), kPatientColumns,
               {patient(7, "Rossi", "", "", "Epilepsy"),
                patient(8, "Bianchi", "", longComment, "Epilepsy")});
    ASSERT_TRUE(worker_.ShiftPatientFields(connection_, log_, kPatientMarker, kComment, errore_));
    const QString query = PatientShiftQuery(kPatientMarker);
    EXPECT_EQ(
        db_.writes(),
        (std::vector<Sent>{
            {Kind::Update, query, {{"Comment", "Epilepsy"}, {"ID_Marker", 3}}, 0},
            {Kind::Update,
             query,
             {{"Comment", (longComment + " - Epilepsy").left(kCommentLength)}, {"ID_Marker", 3}},
             1}}));
}

TEST_F(ShiftRules, AFailingWriteStopsAtItsRowAndKeepsTheRowsBefore)
{
    db_.answer(
        PatientShiftQuery(kPatientCode1), kPatientColumns,
        {patient(7, "Rossi", "A-1"), patient(8, "Bianchi", "B-2"), patient(9, "Verdi", "C-3")});
    db_.failWrite(2, db::Error(db::kRowNotLocated, "Row cannot be located for updating."));
    EXPECT_FALSE(
        worker_.ShiftPatientFields(connection_, log_, kPatientCode1, kPatientCode2, errore_));
    EXPECT_EQ(
        errore_,
        "[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] " +
            QString::number(db::kRowNotLocated) + ": Row cannot be located for updating.\r\n" +
            shifting::texts::kStoppedAtRow.arg(2).arg(3).arg(head(8, "Bianchi").trimmed()).arg(1));
    ASSERT_EQ(db_.writes().size(), 1u);
    EXPECT_EQ(db_.writes()[0].row, 0);
    EXPECT_EQ(db_.openCount(), 0);
    // Every row's old values were on disk before its write; the error line says which stayed.
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[2].startsWith("GestioneDBPazienti: " + head(8, "Bianchi")));
    EXPECT_TRUE(lines[4].startsWith("GestioneDBPazienti: Error ShiftPatientFields: "));
    EXPECT_EQ(worker_.rowsShifted(), 1u);
}

TEST_F(ShiftRules, ALogThatCannotBeWrittenStopsTheMoveBeforeTheRowsItWouldDescribe)
{
    // Two batches; the log stops growing while the first is written to the database.
    std::vector<std::vector<QVariant>> patients;
    const size_t total = kShiftBatchRows + 20;
    for (size_t i = 0; i < total; ++i)
        patients.push_back(patient(static_cast<int>(100 + i), "Rossi", "C-" + QString::number(i)));
    db_.answer(PatientShiftQuery(kPatientCode1), kPatientColumns, patients);
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    bool limited = false;
    GestioneDbPazienti worker(db_, [&] {
        if (limited)
            return;
        struct rlimit full = before;
        full.rlim_cur = static_cast<rlim_t>(QFileInfo(log_).size());
        limited = ::setrlimit(RLIMIT_FSIZE, &full) == 0;
    });
    const bool done =
        worker.ShiftPatientFields(connection_, log_, kPatientCode1, kPatientCode2, errore_);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousSignal);
    ASSERT_TRUE(limited);
    EXPECT_FALSE(done);
    EXPECT_EQ(db_.writes().size(), kShiftBatchRows);
    EXPECT_EQ(worker.rowsShifted(), kShiftBatchRows);
    EXPECT_TRUE(errore_.startsWith("[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] " +
                                   QString::number(EFBIG) + ": The shift log " + log_ +
                                   " cannot be written: "))
        << errore_.toStdString();
    EXPECT_TRUE(
        errore_.endsWith(shifting::texts::kStoppedUnlogged.arg(kShiftBatchRows + 1)
                             .arg(total)
                             .arg(head(100 + static_cast<int>(kShiftBatchRows), "Rossi").trimmed())
                             .arg(kShiftBatchRows)))
        << errore_.toStdString();
    // Each row written has its old value in the log.
    const QString lines = logLines().join('\n');
    for (const Sent& write : db_.writes())
        EXPECT_TRUE(lines.contains(head(100 + write.row, "Rossi") + "with old PAT_CODE1 =C-" +
                                   QString::number(write.row) + " "))
            << write.row;
}

TEST_F(ShiftRules, AQuickSearchIsCopiedThenClearedAndAFailureBetweenSaysSo)
{
    const int destination = kFirstQuickSearch + 2; // quick search 2: rv_3
    db_.answer(ExamShiftQuery(kQuickSearch6), kExamColumns, {exam(7, true), exam(8, false)});
    ASSERT_TRUE(worker_.ShiftExamFields(connection_, log_, kQuickSearch6, destination, errore_));
    const QString query = ExamShiftQuery(kQuickSearch6);
    EXPECT_EQ(db_.writes(), (std::vector<Sent>{{Kind::Update, query, {{"rv_3", true}}, 0},
                                               {Kind::Update, query, {{"rv_7", false}}, 0},
                                               {Kind::Update, query, {{"rv_3", false}}, 1},
                                               {Kind::Update, query, {{"rv_7", false}}, 1}}));
    EXPECT_EQ(logLines()[1], "GestioneDBPazienti: " + head(7, "Rossi") +
                                 "with old QUICKSEARCH6 =True old QUICKSEARCH2=False");

    ScriptedDatabase second;
    second.answer(ExamShiftQuery(kQuickSearch7), kExamColumns, {exam(7, true)});
    second.failWrite(2, db::Error(db::kQueryTimeout, "Timeout expired"));
    GestioneDbPazienti worker(second);
    EXPECT_FALSE(worker.ShiftExamFields(connection_, log_, kQuickSearch7, destination, errore_));
    EXPECT_TRUE(errore_.endsWith(
        shifting::texts::kStoppedHalfway.arg(1).arg(1).arg(head(7, "Rossi").trimmed()).arg(0)))
        << errore_.toStdString();
    EXPECT_EQ(second.writes().size(), 1u);
}

TEST_F(ShiftRules, NothingToMoveIsLoggedAndWritesNothing)
{
    db_.answer(PatientShiftQuery(kPatientCode1), kPatientColumns);
    EXPECT_TRUE(worker_.ShiftPatientFields(connection_, log_, kPatientCode1, kComment, errore_));
    EXPECT_TRUE(db_.writes().empty());
    EXPECT_EQ(logLines().last(), "GestioneDBPazienti: " + shifting::texts::kAllPatCode1Empty);
    EXPECT_EQ(db_.openCount(), 0);
}

TEST_F(ShiftRules, AnUnsupportedPairOrAnUnreachableServerChangesNothing)
{
    EXPECT_FALSE(
        worker_.ShiftPatientFields(connection_, log_, kPatientMarker, kPatientCode2, errore_));
    EXPECT_EQ(errore_, "[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] 3001: " +
                           shifting::texts::kUnsupportedShift.arg("1", "0"));
    EXPECT_FALSE(worker_.ShiftExamFields(connection_, log_, kExamMarker, 4, errore_));
    EXPECT_TRUE(db_.sent().empty());

    db_.failNextOpen(db::Error(db::kConnectionFailed, "Connection refused"));
    EXPECT_FALSE(worker_.ShiftExamFields(connection_, log_, kExamMarker, kComment, errore_));
    EXPECT_TRUE(errore_.endsWith(shifting::texts::kStoppedBeforeRows));
    EXPECT_TRUE(db_.statements().empty());
}

} // namespace
