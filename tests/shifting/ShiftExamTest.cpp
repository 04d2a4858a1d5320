// Moving quick-search flags and the exam marker through the join of exams, patients, markers
// and files: one row per file, so an exam with several files is met several times.
#include "ShiftingArchive.h"

#include "FieldShifts.h"
#include "ScriptedUserInterface.h"

#include <QFileInfo>

using namespace sqllumo;
using namespace sqllumo::shifting;
using sqllumo::shifting::testing::ShiftingArchive;
using sqllumo::testing::ScriptedUserInterface;

namespace {

class ExamShift : public ShiftingArchive {
protected:
    ApplyResult apply(ShiftRow row, int position = 0)
    {
        ScriptedUserInterface ui;
        ui.answerNextMessage(MessageResult::Yes);
        const ApplyResult result =
            ApplyShift(ui, {row, position}, port(), connectionString(), logPath());
        EXPECT_EQ(ui.unscriptedPrompts(), 0);
        messages_ = ui.messages();
        pendingEvents_ = ui.pendingEventCalls();
        return result;
    }
    std::vector<Message> messages_;
    int pendingEvents_ = 0;
};

// Source 6 or 7 into each of the quick searches 0 to 5.
class QuickSearchDestinations : public ExamShift,
                                public ::testing::WithParamInterface<std::tuple<int, int>> {};

} // namespace

TEST_P(QuickSearchDestinations, TheFlagIsCopiedToEveryExamOnceAndItsSourceCleared)
{
    const auto [source, destination] = GetParam();
    const size_t from = source == 6 ? 6 : 7; // rv_7 or rv_8
    const size_t to = static_cast<size_t>(destination);
    Patient person;
    const int owner = addPatient(person);
    // Three files, two of them primary: the exam appears in three rows of the join.
    std::array<bool, 8> set{};
    set[from] = true;
    const int three = addExam(owner, set);
    for (bool primary : {true, false, true})
        addFile(three, primary, "f");
    // Source off, destination on: the destination takes the source, it is not combined.
    std::array<bool, 8> off{};
    off[to] = true;
    const int copiedOff = addExam(owner, off);
    addFile(copiedOff, true, "");
    // No file: not in the join, not touched.
    const int lonely = addExam(owner, set);

    EXPECT_EQ(apply(source == 6 ? ShiftRow::QuickSearch6 : ShiftRow::QuickSearch7, destination),
              ApplyResult::Succeeded);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].text,
              QString("Move rv_%1 (Quick Search %2) into rv_%3 (Quick Search %4) for every exam of "
                      "database %5?")
                  .arg(source + 1)
                  .arg(source)
                  .arg(destination + 1)
                  .arg(destination)
                  .arg(database_));
    EXPECT_EQ(messages_[1].text, QString("Shifting QuickSearch%1 successfully done!\nRows "
                                         "changed: 4. Their old values are in the shift log %2")
                                     .arg(source)
                                     .arg(logPath()));
    EXPECT_EQ(pendingEvents_, 4);

    std::array<bool, 8> moved{};
    moved[to] = true;
    EXPECT_EQ(flags(three), moved);
    EXPECT_EQ(flags(copiedOff), (std::array<bool, 8>{}));
    EXPECT_EQ(flags(lonely), set);

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], QString("Gen_ShiftDBField: Shifting  QuickSearch%1 to QuickSearch%2")
                            .arg(source)
                            .arg(destination));
    EXPECT_TRUE(
        lines[1].startsWith("GestioneDBPazienti: Start ShiftQuickSearch. Connection String: "));
    // Each row logs the values read when the shift began, also after an earlier row of the
    // same exam changed them.
    const QString label = QString("with old QUICKSEARCH%1 =").arg(source);
    const QString oldDestination = QString(" old QUICKSEARCH%1=").arg(destination);
    QStringList rows = lines.mid(2, 4);
    rows.sort();
    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected << head(owner, person) + label + "True" + oldDestination + "False";
    expected << head(owner, person) + label + "False" + oldDestination + "True";
    expected.sort();
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(lines[6], "GestioneDBPazienti: End ShiftQuickSearch");
}

INSTANTIATE_TEST_SUITE_P(EveryListEntry, QuickSearchDestinations,
                         ::testing::Combine(::testing::Values(6, 7), ::testing::Range(0, 6)));

TEST_F(ExamShift, ASecondQuickSearchRunCopiesTheClearedSourceOverTheDestination)
{
    const int owner = addPatient(Patient());
    std::array<bool, 8> set{};
    set[6] = true;
    const int id = addExam(owner, set);
    addFile(id, true, "");
    addFile(id, false, "");
    ASSERT_EQ(apply(ShiftRow::QuickSearch6, 0), ApplyResult::Succeeded);
    EXPECT_TRUE(flags(id)[0]);
    ASSERT_EQ(apply(ShiftRow::QuickSearch6, 0), ApplyResult::Succeeded);
    EXPECT_EQ(flags(id), (std::array<bool, 8>{}));
}

TEST_F(ExamShift, TheExamMarkerGoesOnlyIntoThePrimaryFilesComments)
{
    const int marker = addMarker("Sleep study");
    Patient person;
    person.lastName = "Neri";
    const int owner = addPatient(person);
    const int id = addExam(owner, {}, marker);
    const int primaryWithComment = addFile(id, true, "night 1");
    const int secondary = addFile(id, false, "video");
    const int primaryEmpty = addFile(id, true, "");
    // An exam without a marker is left alone.
    const int plain = addExam(owner, {});
    const int plainFile = addFile(plain, true, "plain");
    const int full = addExam(owner, {}, marker);
    const int fullFile = addFile(full, true, QString(245, QChar('x')));

    EXPECT_EQ(apply(ShiftRow::ExamMarker), ApplyResult::Succeeded);
    EXPECT_EQ(messages_[0].text, "Add the exam's Marker to the Comment of each of its primary "
                                 "files for every exam of database " +
                                     database_ + "?");
    EXPECT_EQ(messages_[1].text, "Shifting Marker successfully done!\nRows changed: 3. Their old "
                                 "values are in the shift log " +
                                     logPath());
    EXPECT_EQ(file(primaryWithComment, "Comment").toString(), "night 1 - Sleep study");
    EXPECT_EQ(file(primaryEmpty, "Comment").toString(), "Sleep study");
    EXPECT_EQ(file(secondary, "Comment").toString(), "video");
    EXPECT_EQ(file(plainFile, "Comment").toString(), "plain");
    EXPECT_EQ(file(fullFile, "Comment").toString(), QString(245, QChar('x')) + " - Sl");
    EXPECT_EQ(exam(id, "ID_Marker").toInt(), 3);
    EXPECT_EQ(exam(full, "ID_Marker").toInt(), 3);

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "Gen_ShiftDBField: Shifting  Exam Marker to Comment");
    QStringList rows = lines.mid(2, 3);
    rows.sort();
    QStringList expected = {
        head(owner, person) + "with old Marker =Sleep study old Comment=night 1",
        head(owner, person) + "with old Marker =Sleep study old Comment=",
        head(owner, person) + "with old Marker =Sleep study old Comment=" + QString(245, 'x')};
    expected.sort();
    EXPECT_EQ(rows, expected);
}

TEST_F(ExamShift, NoExamWithAFileLogsNothingToShiftAndSucceeds)
{
    const int owner = addPatient(Patient());
    std::array<bool, 8> set{};
    set[7] = true;
    const int id = addExam(owner, set);
    EXPECT_EQ(apply(ShiftRow::QuickSearch7, 5), ApplyResult::Succeeded);
    EXPECT_EQ(flags(id), set);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], "GestioneDBPazienti: Nothing to shift");
}

TEST_F(ExamShift, AFullLogIsSetAsideAndTogetherWithTheNewOneHoldsEveryOldValueOfTwoMoves)
{
    constexpr int kExams = 20000;
    addPatientsInBulk(kExams, "P", true);
    // A log just past its limit, as months of moves leave it.
    ASSERT_TRUE(AppendLogLine(logPath(), "GestioneDBPazienti", "an earlier move"));
    ASSERT_TRUE(QFile(logPath()).resize(kShiftLogLimit + 1));
    const QString aside = SetAsideLogPath(logPath());

    EXPECT_EQ(apply(ShiftRow::QuickSearch6, 0), ApplyResult::Succeeded);
    EXPECT_EQ(QFileInfo(aside).size(), kShiftLogLimit + 1);
    EXPECT_EQ(apply(ShiftRow::QuickSearch6, 0), ApplyResult::Succeeded);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_TRUE(messages_[1].text.contains("Rows changed: 20000."));
    // The second move did not set the first one's log aside: both are there, with the old one.
    EXPECT_EQ(QFileInfo(aside).size(), kShiftLogLimit + 1);

    QByteArray both;
    for (const QString& path : {aside, logPath()}) {
        QFile log(path);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        both += log.readAll();
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        EXPECT_EQ(log.permissions() & others, QFile::Permissions()) << path.toStdString();
    }
    EXPECT_TRUE(both.contains(") GestioneDBPazienti: an earlier move\r\n"));
    // First move: every flag 6 was set and flag 0 clear; second: the reverse.
    EXPECT_EQ(both.count("with old QUICKSEARCH6 =True old QUICKSEARCH0=False\r\n"), kExams);
    EXPECT_EQ(both.count("with old QUICKSEARCH6 =False old QUICKSEARCH0=True\r\n"), kExams);
    EXPECT_EQ(both.count("GestioneDBPazienti: End ShiftQuickSearch\r\n"), 2);
    db::Recordset left =
        connection_.query("SELECT COUNT(*) FROM T_Exam WHERE rv_1 <> 0 OR rv_7 <> 0");
    EXPECT_EQ(left.value(0).toInt(), 0);
}
