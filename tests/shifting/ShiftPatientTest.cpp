// Moving patient codes and markers on a real archive: every destination of the ID1 list, the
// marker into the comment, the cuts, the rows left alone, the log and a shift that stops.
#include "ShiftingArchive.h"

#include "FieldShifts.h"
#include "GestioneDbPazienti.h"
#include "ScriptedUserInterface.h"

using namespace sqllumo;
using namespace sqllumo::shifting;
using sqllumo::shifting::testing::ShiftingArchive;
using sqllumo::testing::ScriptedUserInterface;

namespace {

class PatientShift : public ShiftingArchive {
protected:
    // One Apply answered Yes; the message shown at its end is returned.
    Message apply(ShiftRow row, int position = 0)
    {
        ui_.answerNextMessage(MessageResult::Yes);
        const ApplyResult result =
            ApplyShift(ui_, {row, position}, port(), connectionString(), logPath());
        EXPECT_EQ(ui_.unscriptedPrompts(), 0);
        EXPECT_FALSE(ui_.busy());
        last_ = result;
        return ui_.messages().empty() ? Message() : ui_.messages().back();
    }
    // The success text, the rows changed and where their old values are.
    Message okMessage(const QString& text, int rows) const
    {
        return Message{text + "\nRows changed: " + QString::number(rows) +
                           ". Their old values are in the shift log " + logPath(),
                       QString(), MessageIcon::None, MessageButtons::Ok};
    }

    ScriptedUserInterface ui_;
    ApplyResult last_ = ApplyResult::Declined;
};

struct CodeDestination {
    int position;
    const char* column;
    const char* logName;
    const char* oldLabel;
};

class PatientCodeDestinations : public PatientShift,
                                public ::testing::WithParamInterface<CodeDestination> {};

} // namespace

TEST_P(PatientCodeDestinations, MoveTheCodeClearItAndLogTheOldValues)
{
    const CodeDestination d = GetParam();
    Patient moved;
    moved.code1 = "A-100";
    moved.code2 = "old2";
    moved.comment = "seen twice";
    moved.insNumber = "N-7";
    moved.insCompany = "Mutua";
    const int id = addPatient(moved);
    Patient empty;
    empty.lastName = "Bianchi";
    empty.code2 = "keep";
    const int untouched = addPatient(empty);

    EXPECT_EQ(apply(ShiftRow::PatientCode1, d.position),
              okMessage("Shifting ID1 successfully done!", 1));
    EXPECT_EQ(last_, ApplyResult::Succeeded);
    ASSERT_EQ(ui_.messages().size(), 2u);
    const QString question =
        QString(d.column) == "Comment"
            ? "Add Pat_Code_1 to Comment for every patient of database "
            : QString("Move Pat_Code_1 into ") + d.column + " for every patient of database ";
    EXPECT_EQ(ui_.messages().front(), (Message{question + database_ + "?", "Warning",
                                               MessageIcon::None, MessageButtons::YesNo}));

    EXPECT_EQ(patient(id, "Pat_Code_1").toString(), "");
    const QString expected = QString(d.column) == "Comment" ? "seen twice - A-100" : "A-100";
    EXPECT_EQ(patient(id, d.column).toString(), expected);
    // The other destinations keep what they held.
    const std::map<QString, QString> before = {{"Pat_Code_2", "old2"},
                                               {"Comment", "seen twice"},
                                               {"Ins_Number", "N-7"},
                                               {"Ins_Company", "Mutua"}};
    for (const auto& [column, value] : before) {
        if (column != d.column) {
            EXPECT_EQ(patient(id, column).toString(), value) << column.toStdString();
        }
    }
    EXPECT_EQ(patient(untouched, "Pat_Code_2").toString(), "keep");

    const QString oldValue = QString(d.column) == "Pat_Code_2"   ? "old2"
                             : QString(d.column) == "Comment"    ? "seen twice"
                             : QString(d.column) == "Ins_Number" ? "N-7"
                                                                 : "Mutua";
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QString("Gen_ShiftDBField: Shifting ID1 to ") + d.logName);
    EXPECT_TRUE(
        lines[1].startsWith("GestioneDBPazienti: Start ShiftPatCode1. Connection String: "));
    EXPECT_EQ(lines[2], head(id, moved) + "with old PAT_CODE1 =A-100" + d.oldLabel + oldValue);
    EXPECT_EQ(lines[3], "GestioneDBPazienti: End ShiftPatientFields");
}

INSTANTIATE_TEST_SUITE_P(
    EveryListEntry, PatientCodeDestinations,
    ::testing::Values(CodeDestination{0, "Pat_Code_2", "ID2", " old PAT_CODE2="},
                      CodeDestination{1, "Comment", "Comment", " old Comment="},
                      CodeDestination{2, "Ins_Number", "InsuranceNumber", " old InsuranceNumber="},
                      CodeDestination{3, "Ins_Company", "InsuranceCompany",
                                      " old InsuranceCompany="}));

TEST_F(PatientShift, CommentsAreJoinedWithoutSeparatorWhenEmptyAndCutAt250)
{
    Patient blank;
    blank.code1 = "CODE-000012"; // 11 characters
    const int alone = addPatient(blank);
    Patient full;
    full.code1 = "ABCDEFGHIJKL"; // 12 characters
    full.comment = QString(240, QChar('c'));
    const int cut = addPatient(full);

    apply(ShiftRow::PatientCode1, 1);
    EXPECT_EQ(last_, ApplyResult::Succeeded);
    EXPECT_EQ(patient(alone, "Comment").toString(), "CODE-000012");
    const QString comment = patient(cut, "Comment").toString();
    EXPECT_EQ(comment.size(), 250);
    EXPECT_EQ(comment, QString(240, QChar('c')) + " - ABCDEFG");
}

TEST_F(PatientShift, ALongCodeIsCutToTheThirtyCharactersOfTheInsuranceFields)
{
    // An archive imported from an older layout may carry longer codes than a new one allows.
    connection_.execute("ALTER TABLE T_Patient ALTER COLUMN Pat_Code_1 NVARCHAR(50) NOT NULL");
    Patient p;
    p.code1 = "0123456789012345678901234567890123456789"; // 40 characters
    const int first = addPatient(p);
    apply(ShiftRow::PatientCode1, 2);
    EXPECT_EQ(last_, ApplyResult::Succeeded);
    EXPECT_EQ(patient(first, "Ins_Number").toString(), p.code1.left(30));
    EXPECT_EQ(patient(first, "Pat_Code_1").toString(), "");
    // The log keeps the whole code, so nothing of it is lost.
    EXPECT_TRUE(logLines().join('\n').contains("with old PAT_CODE1 =" + p.code1));
    connection_.execute("ALTER TABLE T_Patient ALTER COLUMN Pat_Code_1 NVARCHAR(30) NOT NULL");
}

TEST_F(PatientShift, MarkerGoesIntoTheCommentAndBecomesTheEmptyMarker)
{
    const int epilepsy = addMarker("Epilepsy");
    Patient marked;
    marked.comment = "first visit";
    marked.marker = epilepsy;
    const int id = addPatient(marked);
    Patient plain;
    plain.lastName = "Verdi";
    plain.comment = "no marker";
    const int other = addPatient(plain);

    EXPECT_EQ(apply(ShiftRow::PatientMarker), okMessage("Shifting Marker successfully done!", 1));
    EXPECT_EQ(ui_.messages().front().text,
              "Add the patient's Marker to Comment for every patient of database " + database_ +
                  "?");
    EXPECT_EQ(patient(id, "Comment").toString(), "first visit - Epilepsy");
    EXPECT_EQ(patient(id, "ID_Marker").toInt(), 3);
    EXPECT_EQ(patient(other, "Comment").toString(), "no marker");

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Gen_ShiftDBField: Shifting Marker to Comment");
    EXPECT_EQ(lines[2], head(id, marked) + "with old Marker =Epilepsy old Comment=first visit");

    // A second run finds nothing: the markers were cleared.
    clearLog();
    apply(ShiftRow::PatientMarker);
    EXPECT_EQ(last_, ApplyResult::Succeeded);
    const QStringList again = logLines();
    ASSERT_EQ(again.size(), 3);
    EXPECT_EQ(again[2], "GestioneDBPazienti: All Pat_Code1 are empty");
}

TEST_F(PatientShift, NoCodeToMoveLogsStartAndEmptyAndSucceeds)
{
    addPatient(Patient());
    EXPECT_EQ(apply(ShiftRow::PatientCode1, 0), okMessage("Shifting ID1 successfully done!", 0));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], "GestioneDBPazienti: All Pat_Code1 are empty");
}

TEST_F(PatientShift, TheLogNamesTheConnectionButNeverItsPassword)
{
    Patient p;
    p.code1 = "X1";
    addPatient(p);
    apply(ShiftRow::PatientCode1, 0);
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    const QString masked = connectionString().left(connectionString().size() - saPassword().size());
    EXPECT_EQ(lines[1],
              "GestioneDBPazienti: Start ShiftPatCode1. Connection String: " + masked + "****");
    QFile log(logPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_FALSE(log.readAll().contains(saPassword().toUtf8()));
    EXPECT_EQ(log.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
}

TEST_F(PatientShift, NoClosesWithoutTouchingAnything)
{
    Patient p;
    p.code1 = "KEEP";
    const int id = addPatient(p);
    ui_.answerNextMessage(MessageResult::No);
    EXPECT_EQ(ApplyShift(ui_, {ShiftRow::PatientCode1, 0}, port(), connectionString(), logPath()),
              ApplyResult::Declined);
    EXPECT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(patient(id, "Pat_Code_1").toString(), "KEEP");
    EXPECT_FALSE(QFile::exists(logPath()));
}

namespace {
// Another user changes a patient while the shift lets events through after a row.
class InterferingUserInterface : public ScriptedUserInterface {
public:
    std::function<void()> afterRow;
    void processPendingEvents() override
    {
        ScriptedUserInterface::processPendingEvents();
        if (afterRow) {
            afterRow();
            afterRow = nullptr;
        }
    }
};
} // namespace

TEST_F(PatientShift, AShiftThatStopsKeepsTheRowsBeforeAndSaysWhereItStopped)
{
    std::vector<int> ids;
    for (const char* code : {"P1", "P2", "P3"}) {
        Patient p;
        p.code1 = code;
        ids.push_back(addPatient(p));
    }
    InterferingUserInterface ui;
    ui.answerNextMessage(MessageResult::Yes);
    ui.afterRow = [&] {
        db::Connection other;
        other.open(connectionString());
        other.execute(QStringLiteral("UPDATE T_Patient SET Pat_Code_1 = 'changed' WHERE "
                                     "ID_Patient = %1")
                          .arg(ids[1]));
        other.close();
    };
    EXPECT_EQ(ApplyShift(ui, {ShiftRow::PatientCode1, 0}, port(), connectionString(), logPath()),
              ApplyResult::Failed);
    ASSERT_EQ(ui.messages().size(), 2u);
    const QString error = ui.messages().back().text;
    EXPECT_TRUE(error.startsWith("[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] " +
                                 QString::number(db::kRowNotLocated) + ": "))
        << error.toStdString();
    const QString where = "Stopped at row 2 of 3, Patient SP with ID=" + QString::number(ids[1]);
    EXPECT_TRUE(error.contains(where)) << error.toStdString();
    EXPECT_TRUE(error.endsWith("which is unchanged; the 1 rows before it have been shifted."));

    EXPECT_EQ(patient(ids[0], "Pat_Code_2").toString(), "P1");
    EXPECT_EQ(patient(ids[1], "Pat_Code_1").toString(), "changed");
    EXPECT_EQ(patient(ids[2], "Pat_Code_1").toString(), "P3");
    // The old values of all three were on disk before the batch was sent.
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[5].startsWith("GestioneDBPazienti: Error ShiftPatientFields: " +
                                    QString::number(db::kRowNotLocated) + " - "));
    EXPECT_TRUE(lines[5].contains(where));
}

TEST_F(PatientShift, PairsThatWouldClearASourceWithoutWritingItAreRefused)
{
    const int epilepsy = addMarker("Epilepsy");
    Patient p;
    p.marker = epilepsy;
    p.code2 = "two";
    const int id = addPatient(p);
    GestioneDbPazienti worker(port());
    QString errore = "stale";
    EXPECT_FALSE(worker.ShiftPatientFields(connectionString(), logPath(), kPatientMarker,
                                           kPatientCode2, errore));
    EXPECT_TRUE(
        errore.startsWith("[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] 3001: "))
        << errore.toStdString();
    EXPECT_EQ(patient(id, "ID_Marker").toInt(), epilepsy);
    EXPECT_EQ(patient(id, "Pat_Code_2").toString(), "two");
    EXPECT_FALSE(worker.ShiftExamFields(connectionString(), logPath(), kExamMarker, 4, errore));
    EXPECT_TRUE(errore.startsWith("[SQLLumenoManager.GestioneDBPazienti.ShiftQuickSearch] 3001: "));
}

TEST_F(PatientShift, AnUnreachableServerFailsBeforeAnyRow)
{
    GestioneDbPazienti worker(port());
    QString errore;
    const QString nowhere = BuildConnectionString("127.0.0.1,1", database_, "sa", "secret");
    EXPECT_FALSE(worker.ShiftPatientFields(nowhere, logPath(), kPatientCode1, kComment, errore));
    EXPECT_TRUE(errore.startsWith("[SQLLumenoManager.GestioneDBPazienti.ShiftPatientFields] " +
                                  QString::number(db::kConnectionFailed) + ": "));
    EXPECT_TRUE(errore.endsWith("Stopped before any row was changed; the database is as it was."));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith("GestioneDBPazienti: Error ShiftPatientFields: "));
    EXPECT_FALSE(lines.join('\n').contains("secret"));
}
