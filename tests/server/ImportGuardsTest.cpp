// The Access import's guards against a stand-in: a file that cannot be imported is refused
// before the server is touched, photos are counted and named when left out and arrive byte for
// byte when asked for, and a stop between two rows leaves the database as it is, saying where.
#include "AccessArchiveFixture.h"
#include "AccessImport.h"
#include "ArchiveOpsHarness.h"
#include "Connection.h"
#include "Recordset.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;
using sqllumo::testing::SourceArchive;
namespace fx = sqllumo::testing;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");

// Bytes of every value, zeros and high bytes included.
QByteArray photoBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(random.bounded(256));
    return bytes;
}

class ImportGuards : public ArchiveOpsHarness {
protected:
    void SetUp() override
    {
        ArchiveOpsHarness::SetUp();
        ASSERT_TRUE(files_.isValid());
        ASSERT_TRUE(standin_->makeServerFolder(kDirectory.chopped(1)));
    }

    QString write(const SourceArchive& archive, const char* stem)
    {
        const QString path = files_.filePath(QString::fromLatin1(stem) + QStringLiteral(".mdb"));
        QString error;
        EXPECT_TRUE(fx::WriteAccessFile(archive, path, error)) << error.toStdString();
        return path;
    }

    std::optional<OperationOutcome> import(const QString& database, const QString& file,
                                           bool copyPhotos = false)
    {
        ui_.answerNextPasswordRequest({QStringLiteral("Vor36Pelin"), "", ""});
        host_.values.copyPhotos = copyPhotos;
        return press(archivelist::kImport, database, kDirectory, file);
    }

    long long scalar(const QString& database, const QString& statement)
    {
        db::Connection connection;
        connection.open(connectionString(database));
        const long long value = connection.query(statement).value(0).toLongLong();
        connection.close();
        return value;
    }

    bool hasPrimaryKey(const QString& database, const QString& table)
    {
        db::Connection connection;
        connection.open(connectionString(database));
        const bool keyed = !connection.query("sp_pkeys " + table).eof();
        connection.close();
        return keyed;
    }

    // ID_Patient -> Photo as the database holds it (a null QVariant for NULL).
    std::map<int, QVariant> photos(const QString& database)
    {
        db::Connection connection;
        connection.open(connectionString(database));
        db::Recordset rows = connection.query("SELECT ID_Patient, Photo FROM T_Patient");
        std::map<int, QVariant> out;
        for (; !rows.eof(); rows.moveNext())
            out[rows.value(0).toInt()] = rows.value(1);
        connection.close();
        return out;
    }

    // The pending-event call at which the copy has just copied `rows` rows of `table`: one
    // call before each table's rows and one after each row.
    static int callAfterRows(const SourceArchive& archive, const QString& table, int rows)
    {
        int calls = 0;
        for (const QString& name : archive::CopyOrder()) {
            const fx::SourceTable* source =
                fx::FindSourceTable(const_cast<SourceArchive&>(archive), name);
            if (!source)
                continue;
            if (name == table)
                return calls + 1 + rows;
            calls += 1 + static_cast<int>(source->rows.size());
        }
        return -1;
    }

    QTemporaryDir files_;
};

} // namespace

TEST_F(ImportGuards, AFileThatCannotBeImportedCreatesNothing)
{
    // A text file named .mdb, an empty one, an archive without a table the copy needs and one
    // without a column it reads: each refused with what is wrong, and no database made.
    const QString text = files_.filePath("notes.mdb");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Patients to call back:\nRossi, Mario\n");
    }
    const QString empty = files_.filePath("empty.mdb");
    {
        QFile f(empty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    SourceArchive noExams = fx::SmallArchive();
    fx::DropSourceTable(noExams, "T_Exam");
    SourceArchive noName = fx::SmallArchive();
    fx::SourceTable& patients = *fx::FindSourceTable(noName, "T_Patient");
    const auto at = static_cast<size_t>(patients.column("L_Name"));
    patients.columns.erase(patients.columns.begin() + static_cast<std::ptrdiff_t>(at));
    for (auto& row : patients.rows)
        row.erase(row.begin() + static_cast<std::ptrdiff_t>(at));

    struct Case {
        QString file;
        QString reason;
    };
    const Case cases[] = {
        {text, "The file cannot be read as an Access database: "},
        {empty, "The file cannot be read as an Access database: "},
        {write(noExams, "noexams"), "The file has no table T_Exam, which every archive has."},
        {write(noName, "noname"), "The table T_Patient of the file has no column L_Name."},
    };
    for (const Case& c : cases) {
        ui_ = {};
        const QString name = freshName("Refused");
        const auto outcome = import(name, c.file);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->end, OperationEnd::PanelOpen) << c.file.toStdString();
        ASSERT_EQ(ui_.messages().size(), 1u) << c.file.toStdString();
        const Message& refusal = ui_.messages()[0];
        EXPECT_TRUE(refusal.text.startsWith("Invalid Access file!\r\n" + c.reason))
            << refusal.text.toStdString();
        EXPECT_TRUE(refusal.text.endsWith("\r\nNothing was done on the server."));
        EXPECT_EQ(refusal.title, QString());
        EXPECT_FALSE(databaseExists(name)) << c.file.toStdString();
        EXPECT_FALSE(stored(settingkeys::kDatabaseName));
        EXPECT_TRUE(host_.panelOpen);
    }
    EXPECT_FALSE(logExists());
}

TEST_F(ImportGuards, PhotosLeftOutAreCountedAndNamedAndCopiedByteForByteOnRequest)
{
    SourceArchive archive = fx::SmallArchive();
    // In the row, on a page of their own, and over several pages.
    const QByteArray small = QByteArray("\x01\x02", 2);
    const QByteArray page = photoBytes(3000, 5);
    const QByteArray large = photoBytes(70000, 6);
    fx::SourceTable& patients = *fx::FindSourceTable(archive, "T_Patient");
    patients.set(2, "Photo", page);
    patients.set(6, "Photo", large);
    const QString file = write(archive, "photos");

    QString name = freshName("PhotosLeft");
    auto outcome = import(name, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_FALSE(outcome->incomplete);
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Database " + name +
                                           " has been created and imported successfully\r\n"
                                           "3 patients had a photo that was not copied."));
    EXPECT_TRUE(lastLogBlock().contains(
        "\r\n3 patients had a photo that was not copied: ID_Patient 1, 2, 6\r\n"))
        << lastLogBlock().toStdString();
    for (const auto& [id, photo] : photos(name))
        EXPECT_TRUE(photo.isNull()) << id;

    ui_ = {};
    name = freshName("PhotosCopied");
    outcome = import(name, file, true);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully");
    EXPECT_TRUE(lastLogBlock().contains("\r\nPhotos copied with their patients: 3"));
    EXPECT_FALSE(lastLogBlock().contains("had a photo"));
    const std::map<int, QVariant> kept = photos(name);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.at(1).toByteArray(), small);
    EXPECT_EQ(kept.at(2).toByteArray(), page);
    EXPECT_EQ(kept.at(6).toByteArray(), large);
    EXPECT_TRUE(kept.at(5).isNull());
    EXPECT_EQ(scalar(name, "SELECT DATALENGTH(Photo) FROM T_Patient WHERE ID_Patient = 6"), 70000);
}

TEST_F(ImportGuards, AStopBetweenTwoRowsLeavesTheDatabaseAsItIsAndSaysWhere)
{
    const SourceArchive archive = fx::SmallArchive();
    const QString file = write(archive, "stop");

    // Asked for just after the second of the four patients was copied.
    QString name = freshName("StoppedCopy");
    ui_.stopAtPendingEventCall(callAfterRows(archive, "T_Patient", 2));
    auto outcome = import(name, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->stopped);
    EXPECT_TRUE(outcome->incomplete);
    const QString where = "The import was stopped at the user's request at table T_Patient, "
                          "before row 3 of 4 (ID_Patient = 5). Copied: the tables before "
                          "T_Patient in full, 2 of the 4 rows of T_Patient, none of the tables "
                          "after it. No key and no index was added.";
    const QString incomplete = "The database " + name + " is left as it is and is incomplete.";
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0],
              successMessage(kCaption, "Database " + name +
                                           " has been created successfully but not fully "
                                           "imported \r\n" +
                                           where + "\r\n" + incomplete +
                                           "\r\n1 patient had a photo that was not copied."));
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 2);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Doc_Tech"), 2);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Exam"), 0);
    for (const char* table : {"T_Marker", "T_Patient"})
        EXPECT_FALSE(hasPrimaryKey(name, table)) << table;
    const QString log = lastLogBlock();
    EXPECT_TRUE(log.contains("\r\nCopying table T_Patient\r\n" + where +
                             "\r\n1 patient had a "
                             "photo that was not copied: ID_Patient 1\r\n" +
                             incomplete))
        << log.toStdString();
    EXPECT_FALSE(log.contains("START to DEFINE INDEXES"));
    EXPECT_FALSE(ui_.progress().back().visible);
    EXPECT_EQ(host_.closed, 1);

    // Asked for while the keys of the third table (T_City) were about to be added: every row is
    // there, the keys of the tables before it too, and none after.
    ui_ = {};
    name = freshName("StoppedKeys");
    const int copyCalls = callAfterRows(archive, "T_StatisticFileType", 2);
    ui_.stopAtPendingEventCall(copyCalls + 3);
    outcome = import(name, file);
    ASSERT_TRUE(outcome && outcome->stopped);
    const QString third = QString::fromStdString(archive::ArchiveTables()[2].name);
    ASSERT_EQ(third, "T_City");
    EXPECT_TRUE(ui_.messages().back().text.contains(
        "The import was stopped at the user's request while defining indexes and keys, at table " +
        third + ": the keys and indexes of " + third +
        " and of the tables after it were not added.\r\nThe database " + name +
        " is left as it is and is incomplete."))
        << ui_.messages().back().text.toStdString();
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 4);
    EXPECT_TRUE(hasPrimaryKey(name, "T_Marker"));
    for (const char* table : {"T_City", "T_Patient", "T_File"})
        EXPECT_FALSE(hasPrimaryKey(name, table)) << table;
    EXPECT_TRUE(
        lastLogBlock().contains("Table T_Patient: 4 rows in the source, 4 in the database"));
}
