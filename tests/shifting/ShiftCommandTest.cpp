// Entry 9 run through the dispatcher with the program's catalogue, and `sqllumo archive shift`
// as a process without a terminal, on the test's archive.
#include "ShiftingArchive.h"

#include "Dispatcher.h"
#include "FieldShifts.h"
#include "FunctionCatalogue.h"
#include "OwnedChild.h"
#include "ScriptedUserInterface.h"
#include "TestResultRegistry.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <map>
#include <unistd.h>

using namespace sqllumo;
using namespace sqllumo::shifting;
using sqllumo::shifting::testing::ShiftingArchive;
using sqllumo::testing::ScriptedUserInterface;

namespace {

constexpr int kMoveFieldsEntry = 9;

class ClosedPanel : public PanelHost {
public:
    PanelValues values;
    int closed = 0;
    PanelValues panelValues() const override { return values; }
    void closePanel() override { ++closed; }
    void enableOtherCatalogue() override {}
    void showInformation(const QString&) override {}
};

class MoveFieldsEntry : public ShiftingArchive {
protected:
    void SetUp() override
    {
        ShiftingArchive::SetUp();
        state_.chooseCatalogue(MenuMode::Archive);
    }
    std::optional<OperationOutcome> press()
    {
        Settings settings(Settings::fileIn(logFolder_.path()));
        TestResultRegistry registry(settings);
        OperationServices services;
        services.settings = &settings;
        services.registry = &registry;
        services.database = &port();
        host_.values = {QString::fromStdString(server_->serverName()),
                        database_,
                        {},
                        {},
                        "sa",
                        saPassword(),
                        {}};
        Dispatcher dispatcher(state_, ui_, host_, "Caption", CatalogueFunctions(), services);
        dispatcher.setLogFolder(logFolder_.path());
        const auto outcome = dispatcher.ok(kMoveFieldsEntry);
        storedDatabase_ = settings.value(settingkeys::kDatabaseName);
        return outcome;
    }
    QString reportLog() const
    {
        QFile f(ReportLogPath(logFolder_.path()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    ScriptedUserInterface ui_;
    WindowState state_;
    ClosedPanel host_;
    QString storedDatabase_;
};

} // namespace

TEST_F(MoveFieldsEntry, TheDialogGetsTheDatabaseAndTheReportNamesItWhenFieldsMoved)
{
    Patient p;
    p.code1 = "M-1";
    const int id = addPatient(p);
    ui_.answerNextPasswordRequest({"Vor36Pelin", {}, {}});
    // The person picks ID1 to Insurance Number and answers Yes.
    ui_.answerNextShiftDialog([&](const ShiftDialogRequest& request) {
        ui_.answerNextMessage(MessageResult::Yes);
        return ApplyShift(ui_, {ShiftRow::PatientCode1, 2}, *request.database,
                          request.connectionString, request.logPath) == ApplyResult::Succeeded;
    });
    const auto outcome = press();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Completed);
    ASSERT_EQ(ui_.shiftRequests().size(), 1u);
    EXPECT_EQ(ui_.shiftRequests()[0],
              (ShiftDialogRequest{connectionString(), ShiftLogPath(logFolder_.path()), &port()}));
    EXPECT_TRUE(state_.exchange().SpostatiCampiDB);
    EXPECT_EQ(patient(id, "Ins_Number").toString(), "M-1");
    EXPECT_TRUE(reportLog().endsWith(
        "\r\nFields have been shifted from original location in database ShiftArchive\r\n"));
    EXPECT_EQ(storedDatabase_, database_);
    EXPECT_EQ(host_.closed, 1);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);

    // Exit in the dialog: nothing reported; the password stays confirmed.
    ui_.answerNextShiftDialog([](const ShiftDialogRequest&) { return false; });
    press();
    EXPECT_FALSE(state_.exchange().SpostatiCampiDB);
    EXPECT_EQ(ui_.passwordRequests().size(), 1u);
    EXPECT_EQ(reportLog().count("Fields have been shifted"), 1);
}

TEST_F(MoveFieldsEntry, AWrongAdministratorPasswordNeverOpensTheDialog)
{
    ui_.answerNextPasswordRequest({"wrong", {}, {}});
    const auto outcome = press();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    EXPECT_TRUE(ui_.shiftRequests().empty());
    ASSERT_FALSE(ui_.messages().empty());
    EXPECT_EQ(ui_.messages().back().text,
              "Unable to perform operation due to security access level");
}

namespace {

class ShiftCommand : public ShiftingArchive {
protected:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(QStringList arguments, const QString& adminPassword = "vor36pelin")
    {
        QProcess process;
        start(process, arguments, adminPassword);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    void start(QProcess& process, QStringList arguments, const QString& adminPassword)
    {
        const QString passwordFile = QDir(logFolder_.path()).filePath("sql.txt");
        const QString adminFile = QDir(logFolder_.path()).filePath("admin.txt");
        for (const auto& [file, text] :
             {std::pair{passwordFile, saPassword()}, std::pair{adminFile, adminPassword}}) {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text.toUtf8() + "\n");
        }
        arguments = QStringList{"archive",
                                "shift",
                                "--server",
                                QString::fromStdString(server_->serverName()),
                                "--database",
                                database_,
                                "--user",
                                "sa",
                                "--password-file",
                                passwordFile,
                                "--admin-password-file",
                                adminFile,
                                "--log-folder",
                                logFolder_.path()} +
                    arguments;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", logFolder_.path());
        env.insert("HOME", logFolder_.path());
        process.setProcessEnvironment(env);
        process.setChildProcessModifier(sqllumo::testing::DiesWithTest([] { ::setsid(); }));
        const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        process.start(QString::fromStdString((self / "sqllumo").string()), arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        process.closeWriteChannel();
    }
};

} // namespace

TEST_F(ShiftCommand, OneShiftPerRunConfirmedWithYesAndReported)
{
    const int marker = addMarker("Apnea");
    const int owner = addPatient(Patient());
    const int examId = addExam(owner, {}, marker);
    const int primary = addFile(examId, true, "night");
    const int other = addFile(examId, false, "video");

    const Run done = run({"--exam-marker-to-comment", "--yes"});
    EXPECT_EQ(done.exitCode, 0) << done.out.toStdString() << done.err.toStdString();
    EXPECT_TRUE(done.out.contains("Add the exam's Marker to the Comment of each of its primary "
                                  "files for every exam of database " +
                                  database_ + "?"));
    EXPECT_TRUE(done.out.contains("Shifting Marker successfully done!"));
    EXPECT_TRUE(
        done.out.contains("Rows changed: 1. Their old values are in the shift log " + logPath()));
    EXPECT_TRUE(done.out.contains("Fields have been shifted from original location in database " +
                                  database_));
    EXPECT_EQ(file(primary, "Comment").toString(), "night - Apnea");
    EXPECT_EQ(file(other, "Comment").toString(), "video");
    EXPECT_EQ(exam(examId, "ID_Marker").toInt(), 3);
    EXPECT_EQ(logLines().value(0), "Gen_ShiftDBField: Shifting  Exam Marker to Comment");
}

TEST_F(ShiftCommand, WithoutYesOrTerminalOrTheRightPasswordNothingMoves)
{
    Patient p;
    p.code1 = "KEEP-1";
    const int id = addPatient(p);
    const Run declined = run({"--patient-code-to", "comment"});
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_TRUE(declined.out.contains("Add Pat_Code_1 to Comment for every patient of database " +
                                      database_ + "?"));
    EXPECT_FALSE(declined.out.contains("report:"));
    const Run refused = run({"--patient-code-to=comment", "--yes"}, "guess");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.contains("Unable to perform operation due to security access level"));
    EXPECT_EQ(patient(id, "Pat_Code_1").toString(), "KEEP-1");
    EXPECT_FALSE(QFile::exists(logPath()));
    const Run unusable = run({"--patient-code-to", "phone", "--yes"});
    EXPECT_EQ(unusable.exitCode, 2);
    EXPECT_TRUE(unusable.err.contains("--patient-code-to takes one of id2, comment, "
                                      "insurance-number, insurance-company"));
}

TEST_F(ShiftCommand, AShiftKilledInTheMiddleHasTheOldValueOfEveryChangedRowInItsLog)
{
    constexpr int kPatients = 20000;
    addPatientsInBulk(kPatients, "CODE-", false);
    QProcess process;
    start(process, {"--patient-code-to", "insurance-number", "--yes"}, "vor36pelin");
    // Killed as soon as a batch of rows has changed: no chance to finish anything.
    const auto changed = [&] {
        db::Recordset rs =
            connection_.query("SELECT COUNT(*) FROM T_Patient WHERE Pat_Code_1 = ''");
        return rs.value(0).toInt();
    };
    QElapsedTimer clock;
    clock.start();
    int seen = 0;
    while ((seen = changed()) == 0 && process.state() == QProcess::Running &&
           clock.elapsed() < 60000)
        QThread::msleep(2);
    process.kill();
    ASSERT_TRUE(process.waitForFinished(10000));
    ASSERT_EQ(process.exitStatus(), QProcess::CrashExit) << "the shift ended before it was killed";

    const int moved = changed();
    ASSERT_GT(moved, 0);
    ASSERT_LT(moved, kPatients);
    // Every row is either untouched or wholly moved.
    db::Recordset mixed = connection_.query(
        "SELECT COUNT(*) FROM T_Patient WHERE NOT ((Pat_Code_1 = '' AND Ins_Number LIKE 'CODE-%') "
        "OR (Pat_Code_1 LIKE 'CODE-%' AND Ins_Number = ''))");
    EXPECT_EQ(mixed.value(0).toInt(), 0);

    // The old value of each moved row is in the log, with its patient.
    std::map<int, QString> byPatient;
    const QString head = "GestioneDBPazienti: Patient SP with ID=";
    for (const QString& line : logLines())
        if (line.startsWith(head))
            byPatient[line.mid(head.size(), line.indexOf(" (") - head.size()).toInt()] = line;
    int logged = 0;
    for (db::Recordset rs = connection_.query(
             "SELECT ID_Patient, Ins_Number FROM T_Patient WHERE Pat_Code_1 = ''");
         !rs.eof(); rs.moveNext()) {
        const auto line = byPatient.find(rs.value(0).toInt());
        if (line != byPatient.end() &&
            line->second.contains("with old PAT_CODE1 =" + rs.value(1).toString() +
                                  " old InsuranceNumber="))
            ++logged;
        else
            ADD_FAILURE() << "no old value for patient " << rs.value(0).toInt();
    }
    EXPECT_EQ(logged, moved);
}
