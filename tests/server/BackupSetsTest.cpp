// Backup files that hold several sets: the restore takes the newest, every backup is read back
// and verified, and a file without a usable set is refused, all through the panels' functions.
#include "ArchiveOpsHarness.h"
#include "CountingProvider.h"

#include <QFile>
#include <QRegularExpression>

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;

namespace {

const QString kBackupFolder = QStringLiteral("C:\\Lumeno SQL Database\\Backup\\");
const QString kRestoreFolder = QStringLiteral("C:\\Lumeno SQL Database\\Restored\\");

class BackupSets : public ArchiveOpsHarness {
protected:
    void SetUp() override
    {
        ArchiveOpsHarness::SetUp();
        if (HasFatalFailure())
            return;
        counting_ = std::make_unique<server::CountingProvider>(*provider_);
        services_.database = counting_.get();
        makeDispatcher();
        ASSERT_TRUE(standin_->makeServerFolder(kRestoreFolder));
    }

    // A database with a patient table holding rows 1..count.
    void createPatients(const QString& database, int count)
    {
        createEmptyDatabase(database);
        execute(database, {"CREATE TABLE T_Patient (ID_Patient INT NOT NULL PRIMARY KEY, "
                           "Name NVARCHAR(50) NULL)"});
        addPatients(database, 1, count);
    }
    void addPatients(const QString& database, int from, int to)
    {
        QStringList inserts;
        for (int id = from; id <= to; ++id)
            inserts << QStringLiteral("INSERT INTO T_Patient VALUES (%1, N'patient %1')").arg(id);
        execute(database, inserts);
    }
    QString patientCount(const QString& database)
    {
        return query(database, "SELECT COUNT(*) AS N FROM T_Patient").text(0, "N");
    }

    std::optional<OperationOutcome> backup(const QString& database, const QString& file)
    {
        ui_ = {};
        return press(archivelist::kBackup, database, file);
    }
    std::optional<OperationOutcome> restore(const QString& database, const QString& file)
    {
        ui_ = {};
        ui_.answerNextPasswordRequest({"Vor36Pelin", "", ""});
        return press(archivelist::kRestore, database, file, kRestoreFolder);
    }

    // Changes bytes of the file's last set, as a failing disk would.
    void damageEndOf(const QString& windowsPath)
    {
        QFile file(standin_->hostPath(windowsPath));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_GT(file.size(), 8192);
        ASSERT_TRUE(file.seek(file.size() - 4096));
        ASSERT_EQ(file.write("\x5A\x5A\x5A\x5A", 4), 4);
    }

    // The " (backup set n of m, taken ...)" ending of a report block, or empty.
    static QString setOf(const QString& block)
    {
        static const QRegularExpression ending(
            QStringLiteral(" \\(backup set \\d+ of \\d+, taken "
                           "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\)\\r\\n$"));
        const QRegularExpressionMatch match = ending.match(block);
        return match.hasMatch() ? match.captured(0) : QString();
    }

    std::unique_ptr<server::CountingProvider> counting_;
};

} // namespace

TEST_F(BackupSets, TwoEveningBackupsToOneFileThenTheRestoreBringsBackTheNewest)
{
    const QString name = freshName("Evening");
    const QString copy = freshName("Mishap");
    const QString file = kBackupFolder + name + ".bak";
    createPatients(name, 3);

    auto outcome = backup(name, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed)
        << (outcome ? outcome->errorDescription.toStdString() : "");
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Complete Backup of database " + name +
                                           " has been created and verified"));
    const QString first = lastLogBlock();
    EXPECT_TRUE(first.startsWith("Complete Backup of database " + name +
                                 " has been created and verified into disk " + file +
                                 " (backup set 1 of 1, "))
        << first.toStdString();
    EXPECT_FALSE(setOf(first).isEmpty()) << first.toStdString();

    addPatients(name, 4, 4);
    counting_->reset();
    outcome = backup(name, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    const QString second = lastLogBlock();
    EXPECT_TRUE(second.contains(" (backup set 2 of 2, taken ")) << second.toStdString();
    EXPECT_EQ(counting_->counts().texts.last(),
              "RESTORE VERIFYONLY FROM DISK='" + file + "' WITH FILE = 2");

    counting_->reset();
    outcome = restore(copy, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed)
        << (outcome ? outcome->errorDescription.toStdString() : "");
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Restore of database " + copy + " has been done"));
    const QString restored = lastLogBlock();
    EXPECT_TRUE(restored.startsWith("Restore of database " + copy + " has been done from disk " +
                                    file + " (backup set 2 of 2, taken "))
        << restored.toStdString();
    EXPECT_EQ(setOf(restored), setOf(second)) << "the set the second backup wrote";
    EXPECT_TRUE(counting_->counts().texts.contains("RESTORE FILELISTONLY FROM DISK='" + file +
                                                   "' WITH FILE = 2"));
    EXPECT_EQ(patientCount(copy), "4") << "the row added between the backups is there";
}

TEST_F(BackupSets, ADamagedNewSetIsAVerifyErrorAndItsRestoreFails)
{
    const QString name = freshName("Faulty");
    const QString file = kBackupFolder + name + ".bak";
    createPatients(name, 2);
    ASSERT_TRUE(backup(name, file)->end == OperationEnd::Completed);

    // The disk spoils the set between its writing and its reading back.
    counting_->setBeforeSend([&](const QString& statement) {
        if (statement.startsWith("RESTORE VERIFYONLY"))
            damageEndOf(file);
    });
    const auto outcome = backup(name, file);
    counting_->setBeforeSend({});
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->end, OperationEnd::Completed);
    ASSERT_EQ(ui_.messages().size(), 1u);
    const Message shown = ui_.messages()[0];
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
    EXPECT_EQ(shown.title, errorMessage(kCaption, {}).title);
    EXPECT_TRUE(shown.text.startsWith("The backup of database " + name + " into disk " + file +
                                      " could not be verified:\r"))
        << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains("Damage to the backup set was detected"));
    const QString block = lastLogBlock();
    EXPECT_TRUE(block.startsWith("Complete Backup of database " + name +
                                 " has been created into disk " + file +
                                 " but could not be verified: "))
        << block.toStdString();
    EXPECT_FALSE(block.contains("verified into disk"));

    const QString copy = freshName("FromFaulty");
    const auto restored = restore(copy, file);
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->end, OperationEnd::Trapped);
    EXPECT_TRUE(restored->errorDescription.contains("Damage to the backup set was detected"))
        << restored->errorDescription.toStdString();
    EXPECT_FALSE(databaseExists(copy));
}

TEST_F(BackupSets, AFileHoldingNoDatabaseBackupIsNotValidDataAndLogsNothing)
{
    const QString name = freshName("Torn");
    const QString file = kBackupFolder + name + ".bak";
    createPatients(name, 1);
    ASSERT_TRUE(backup(name, file)->end == OperationEnd::Completed);
    // A crash in the middle of writing the only set.
    QFile torn(standin_->hostPath(file));
    ASSERT_TRUE(torn.resize(torn.size() / 2));
    const qint64 logBefore = logText().size();

    const QString copy = freshName("FromTorn");
    counting_->reset();
    const auto outcome = restore(copy, file);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages().back(), (Message{"Restoring error: not valid data", kCaption,
                                              MessageIcon::Critical, MessageButtons::Ok}));
    EXPECT_EQ(counting_->counts().texts, QStringList{"RESTORE HEADERONLY FROM DISK='" + file + "'"})
        << "nothing but the header list was asked for";
    EXPECT_EQ(logText().size(), logBefore);
    EXPECT_FALSE(databaseExists(copy));

    // A file that is no backup at all is the server's to name.
    const QString notes = kBackupFolder + name + ".txt";
    QFile text(standin_->hostPath(notes));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a backup");
    text.close();
    const auto refused = restore(copy, notes);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->end, OperationEnd::Trapped);
    EXPECT_TRUE(refused->errorDescription.contains("incorrectly formed"))
        << refused->errorDescription.toStdString();
}

TEST_F(BackupSets, TheConsoleListingNamesEverySetAndWhichOneIsDamaged)
{
    const QString name = freshName("Listed");
    const QString other = freshName("Neighbour");
    const QString file = kBackupFolder + name + ".bak";
    createPatients(name, 2);
    createPatients(other, 1);
    ASSERT_TRUE(backup(name, file)->end == OperationEnd::Completed);
    ASSERT_TRUE(backup(other, file)->end == OperationEnd::Completed);
    addPatients(name, 3, 40);
    ASSERT_TRUE(backup(name, file)->end == OperationEnd::Completed);
    damageEndOf(file);

    ui_ = {};
    host_.values.thirdField = file;
    const auto outcome = dispatcher_->ok(archivelist::kBackupSets);
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->end, OperationEnd::InformationShown)
        << outcome->errorDescription.toStdString();
    const QStringList lines = outcome->information.split("\r\n");
    ASSERT_EQ(lines.size(), 6) << outcome->information.toStdString();
    EXPECT_EQ(lines[0], "Backup sets in " + file + " on SQL Server " + standin_->server() + ":");
    const QString when = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
    const QString size = QStringLiteral("\\d+ KB");
    const QRegularExpression intact("^(\\d)\\t([^\\t]+)\\t" + when + "\\t" + size + "\\tverified$");
    for (int line = 2; line <= 3; ++line) {
        const auto match = intact.match(lines[line]);
        ASSERT_TRUE(match.hasMatch()) << lines[line].toStdString();
        EXPECT_EQ(match.captured(1), QString::number(line - 1));
        EXPECT_EQ(match.captured(2), line == 2 ? name : other);
    }
    EXPECT_TRUE(QRegularExpression("^3\\t" + name + "\\t" + when + "\\t" + size +
                                   "\\tdamaged: .*Damage to the backup set was detected")
                    .match(lines[4])
                    .hasMatch())
        << lines[4].toStdString();
    EXPECT_EQ(lines[5], "");
    EXPECT_TRUE(ui_.messages().empty());
}
