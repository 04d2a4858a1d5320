// The Access import's rules against the scripted database port, without a server: what reaches
// the destination and in which order, a file refused before anything is sent, a row the server
// refuses, photos, a stop between rows, the statistics mark of the key step, and row counts
// that differ. The same import against a stand-in is in tests/server/ImportTest.cpp.
#include "AccessArchiveFixture.h"
#include "AccessImport.h"
#include "AccessSource.h"
#include "ArchiveSchema.h"
#include "ConnectionStrings.h"
#include "DispatcherHarness.h"
#include "FunctionCatalogue.h"
#include "ScriptedDatabase.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace sqllumo;
using dbport::testing::ScriptedDatabase;
using dbport::testing::Sent;
using sqllumo::testing::DispatcherHarness;
using sqllumo::testing::SourceArchive;
namespace fx = sqllumo::testing;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");
const QString kPassPhrase = QStringLiteral("Vor36Pelin");
const QString kDatabase = QStringLiteral("Imported");
constexpr int kImport = 8;

qsizetype rowsOf(const SourceArchive& archive, const QString& table)
{
    for (const auto& source : archive)
        if (source.name == table)
            return static_cast<qsizetype>(source.rows.size());
    return -1;
}

bool hasIdentity(const QString& table)
{
    return archive::FindArchiveTable(table.toStdString())->hasIdentity();
}

// "INSERT INTO T_City(ID_City,City) VALUES (...)" -> "INSERT INTO T_City".
QString insertHead(const QString& statement)
{
    static const QRegularExpression head(QStringLiteral("^INSERT INTO (\\w+)"));
    return head.match(statement).captured(0);
}

class ImportRules : public DispatcherHarness {
protected:
    void SetUp() override
    {
        DispatcherHarness::SetUp();
        ASSERT_TRUE(files_.isValid());
        functions_ = CatalogueFunctions();
        services_.database = &server_;
        makeDispatcher();
        host_.values.server = QStringLiteral("127.0.0.1,14339");
        host_.values.user = QStringLiteral("sa");
        host_.values.password = QStringLiteral("pw");
    }

    QString write(const SourceArchive& archive)
    {
        const QString path = files_.filePath(QStringLiteral("archive.mdb"));
        QString error;
        EXPECT_TRUE(fx::WriteAccessFile(archive, path, error)) << error.toStdString();
        return path;
    }

    std::optional<OperationOutcome> import(const QString& file, bool copyPhotos = false)
    {
        ui_.answerNextPasswordRequest({kPassPhrase, "", ""});
        host_.values.copyPhotos = copyPhotos;
        host_.values.database = kDatabase;
        host_.values.thirdField = kDirectory;
        host_.values.fourthField = file;
        return dispatcher_->ok(kImport);
    }

    // The destination answers the row counts with the source's own.
    void answerCounts(const SourceArchive& archive)
    {
        for (const QString& table : archive::CopyOrder())
            server_.answer(
                QStringLiteral("SELECT COUNT(*) FROM ") + table, {QString()},
                {{static_cast<qlonglong>(std::max<qsizetype>(0, rowsOf(archive, table)))}});
    }

    // The copy's statements with each insert cut to its head.
    QStringList copyStatements() const
    {
        QStringList out;
        for (const QString& statement : server_.statements()) {
            if (statement.startsWith(QStringLiteral("SET IDENTITY_INSERT")))
                out << statement;
            else if (statement.startsWith(QStringLiteral("INSERT INTO ")))
                out << insertHead(statement);
        }
        return out;
    }

    QStringList statementsStarting(const QString& head) const
    {
        QStringList out;
        for (const QString& statement : server_.statements())
            if (statement.startsWith(head))
                out << statement;
        return out;
    }

    qsizetype firstIndexOf(const QString& head) const
    {
        const QStringList all = server_.statements();
        for (qsizetype i = 0; i < all.size(); ++i)
            if (all[i].startsWith(head))
                return i;
        return -1;
    }
    qsizetype lastIndexOf(const QString& head) const
    {
        const QStringList all = server_.statements();
        for (qsizetype i = all.size() - 1; i >= 0; --i)
            if (all[i].startsWith(head))
                return i;
        return -1;
    }

    ScriptedDatabase server_;
    QTemporaryDir files_;
};

TEST_F(ImportRules, TablesAreCopiedInOrderOneInsertPerRowBetweenTheirIdentitySwitches)
{
    SourceArchive archive = fx::SmallArchive();
    fx::DropSourceTable(archive, QStringLiteral("T_StatisticList")); // an older source
    answerCounts(archive);
    const auto outcome = import(write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_FALSE(outcome->incomplete);

    QStringList expected;
    for (const QString& table : archive::CopyOrder()) {
        const qsizetype rows = rowsOf(archive, table);
        if (rows < 0)
            continue; // passed by without a word
        const QString identity = QStringLiteral("SET IDENTITY_INSERT ") + table;
        if (hasIdentity(table))
            expected << identity + QStringLiteral(" ON");
        for (qsizetype i = 0; i < rows; ++i)
            expected << QStringLiteral("INSERT INTO ") + table;
        if (hasIdentity(table))
            expected << identity + QStringLiteral(" OFF");
    }
    EXPECT_EQ(copyStatements(), expected);

    // The destination is made, then its tables, then the rows, then counted, then keyed.
    EXPECT_EQ(server_.statements().value(0), QStringLiteral("sp_helpdb"));
    EXPECT_TRUE(server_.statements().value(1).startsWith(QStringLiteral("CREATE DATABASE")));
    EXPECT_EQ(statementsStarting(QStringLiteral("CREATE TABLE")).size(),
              static_cast<qsizetype>(archive::ArchiveTables().size()));
    EXPECT_LT(lastIndexOf(QStringLiteral("CREATE TABLE")), firstIndexOf(QStringLiteral("SET ")));
    EXPECT_LT(lastIndexOf(QStringLiteral("SET ")), firstIndexOf(QStringLiteral("SELECT COUNT")));
    EXPECT_LT(lastIndexOf(QStringLiteral("SELECT COUNT")), firstIndexOf(QStringLiteral("ALTER")));
    EXPECT_FALSE(server_.sent().empty());
    EXPECT_EQ(server_.sent().back().kind, Sent::Kind::Close);
    EXPECT_EQ(server_.openCount(), 0);
    EXPECT_TRUE(server_.unscripted().contains(QStringLiteral("SELECT * FROM T_DBVersion")));
    EXPECT_TRUE(lastLogBlock().contains(QStringLiteral("Table T_StatisticList: not in the "
                                                       "source, 0 in the database")));
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + kDatabase +
                  " has been created and imported successfully\r\n1 patient had a photo that "
                  "was not copied.");
}

TEST_F(ImportRules, AFileThatCannotBeImportedSendsNothingAndDuplicatesStopBeforeTheRows)
{
    SourceArchive archive = fx::SmallArchive();
    fx::DropSourceTable(archive, QStringLiteral("T_Exam"));
    auto outcome = import(write(archive));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text,
              "Invalid Access file!\r\nThe file has no table T_Exam, which every archive "
              "has.\r\nNothing was done on the server.");
    EXPECT_TRUE(server_.sent().empty());
    EXPECT_FALSE(logExists());

    archive = fx::SmallArchive();
    auto& patients = *fx::FindSourceTable(archive, QStringLiteral("T_Patient"));
    patients.rows.push_back(patients.rows[1]);
    ui_ = {};
    outcome = import(write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    ASSERT_EQ(ui_.messages().size(), 2u);
    EXPECT_EQ(ui_.messages()[0].text,
              "Duplicate on T_Patient - field ID_Patient: " + patients.rows[1][0].toString());
    EXPECT_TRUE(copyStatements().isEmpty());
    EXPECT_EQ(server_.openCount(), 0);
}

TEST_F(ImportRules, ARowTheServerRefusesEndsTheCopyThereAndIsNamed)
{
    const SourceArchive archive = fx::SmallArchive();
    const QString file = write(archive);
    db::AccessRecordset exams;
    exams.open(QStringLiteral("SELECT * FROM T_Exam"), AccessSourceString(file));
    exams.moveNext();
    const QString id = exams.value(QStringLiteral("ID_Multi")).toString();
    server_.fail(archive::CopyInsertStatement(QStringLiteral("T_Exam"), exams),
                 db::Error(db::kServerError, QStringLiteral("Arithmetic overflow"), 8115));
    exams.close();
    answerCounts(archive);
    const auto outcome = import(file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);

    // The first exam went, the refused one was the last statement of the copy.
    const QStringList copy = copyStatements();
    EXPECT_EQ(copy.count(QStringLiteral("INSERT INTO T_Exam")), 2);
    EXPECT_EQ(copy.back(), QStringLiteral("INSERT INTO T_Exam"));
    EXPECT_FALSE(copy.contains(QStringLiteral("SET IDENTITY_INSERT T_Exam OFF")));
    EXPECT_EQ(server_.openCount(), 0);
    ASSERT_FALSE(ui_.messages().empty());
    EXPECT_EQ(ui_.messages()[0].text,
              "An error occurred during the copy of data from Access into SQL database: \r"
              "Arithmetic overflow (table T_Exam, row ID_Multi = " +
                  id + ")" + db::SignedNumber(db::kServerError) + "\r\nCopying table: T_Exam");
    EXPECT_TRUE(lastLogBlock().contains(QStringLiteral("An error occurred during the copy of "
                                                       "table T_Exam\r\n")));
}

TEST_F(ImportRules, PhotosLeftOutAreCountedAndNamed)
{
    SourceArchive archive = fx::SmallArchive();
    fx::FindSourceTable(archive, QStringLiteral("T_Patient"))
        ->set(2, QStringLiteral("Photo"), QByteArray("\x01\x02\xff", 3));
    answerCounts(archive);
    const auto outcome = import(write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    for (const QString& insert : statementsStarting(QStringLiteral("INSERT INTO T_Patient")))
        EXPECT_FALSE(insert.contains(QStringLiteral("Photo"))) << insert.toStdString();
    EXPECT_TRUE(ui_.messages().back().text.endsWith(
        QStringLiteral("\r\n2 patients had a photo that was not copied.")));
    EXPECT_TRUE(lastLogBlock().contains(
        QStringLiteral("2 patients had a photo that was not copied: ID_Patient 1, 2\r\n")));
}

TEST_F(ImportRules, PhotosAskedForGoInTheirRowsInsert)
{
    SourceArchive archive = fx::SmallArchive();
    fx::FindSourceTable(archive, QStringLiteral("T_Patient"))
        ->set(2, QStringLiteral("Photo"), QByteArray("\x01\x02\xff", 3));
    answerCounts(archive);
    const auto outcome = import(write(archive), true);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    const QStringList withPhoto =
        statementsStarting(QStringLiteral("INSERT INTO T_Patient")).filter(QStringLiteral("Photo"));
    ASSERT_EQ(withPhoto.size(), 2);
    EXPECT_TRUE(withPhoto[1].endsWith(QStringLiteral(",0x0102FF)"), Qt::CaseInsensitive))
        << withPhoto[1].toStdString();
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + kDatabase + " has been created and imported successfully");
    EXPECT_TRUE(lastLogBlock().contains(QStringLiteral("Photos copied with their patients: 2")));
}

TEST_F(ImportRules, AStopBetweenTwoRowsSendsNothingMore)
{
    const SourceArchive archive = fx::SmallArchive();
    // One pending-event call before each table's rows and one after each row.
    int call = 0;
    for (const QString& table : archive::CopyOrder()) {
        if (table == QLatin1String("T_Patient"))
            break;
        call += 1 + static_cast<int>(rowsOf(archive, table));
    }
    ui_.stopAtPendingEventCall(call + 1 + 2);
    const auto outcome = import(write(archive));
    ASSERT_TRUE(outcome && outcome->stopped);
    const QStringList copy = copyStatements();
    EXPECT_EQ(copy.count(QStringLiteral("INSERT INTO T_Patient")), 2);
    EXPECT_EQ(copy.back(), QStringLiteral("INSERT INTO T_Patient"));
    EXPECT_EQ(firstIndexOf(QStringLiteral("SELECT COUNT")), -1);
    EXPECT_EQ(firstIndexOf(QStringLiteral("ALTER")), -1);
    EXPECT_EQ(server_.openCount(), 0);
    EXPECT_TRUE(ui_.messages().back().text.contains(
        QStringLiteral("2 of the 4 rows of T_Patient, none of the tables after it.")));
}

TEST_F(ImportRules, TheKeyStepMarksTheStatisticsInitialisedOnceAndAddsTheIndexes)
{
    answerCounts(fx::SmallArchive());
    server_.answer(QStringLiteral("SELECT * FROM T_DBVersion"), {QStringLiteral("FreeText")},
                   {{QStringLiteral("Version:1.01")}, {QStringLiteral("stat_Init:false")}});
    ASSERT_TRUE(import(write(fx::SmallArchive())));
    const std::vector<Sent> writes = server_.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], Sent(Sent::Kind::Update, QStringLiteral("SELECT * FROM T_DBVersion"),
                              {{QStringLiteral("FreeText"), QStringLiteral("STAT_INIT:TRUE")}}, 1));
    int indexes = 0;
    for (const archive::TableDef& table : archive::ArchiveTables())
        indexes += static_cast<int>(table.indexColumns.size());
    const auto appended =
        std::count_if(server_.sent().begin(), server_.sent().end(),
                      [](const Sent& s) { return s.kind == Sent::Kind::AppendIndex; });
    EXPECT_EQ(appended, indexes);

    // A version table without the mark gets a row of its own, written by the step alone.
    ScriptedDatabase fresh;
    const auto catalog = fresh.newCatalog();
    catalog->setActiveConnection(QStringLiteral("destination"));
    ReportBuffer report;
    archive::ImportWork work{ui_, report, *registry_, fresh};
    QString error;
    ASSERT_TRUE(
        archive::DefineImportKeys(kDatabase, QStringLiteral("destination"), *catalog, error, work))
        << error.toStdString();
    ASSERT_EQ(fresh.writes().size(), 1u);
    EXPECT_EQ(fresh.writes()[0].kind, Sent::Kind::Insert);
    EXPECT_EQ(fresh.writes()[0].values, (dbport::testing::Fields{{"FreeText", "STAT_INIT:TRUE"}}));
    EXPECT_EQ(work.batchesSent, static_cast<long long>(fresh.statements().size()) + 1);
}

TEST_F(ImportRules, RowCountsThatDifferAreNamedAndTheCopySendsEachTableInOneBatch)
{
    const SourceArchive archive = fx::SmallArchive();
    server_.answer(QStringLiteral("SELECT COUNT(*) FROM T_City"), {QString()}, {{qlonglong(2)}});
    answerCounts(archive);
    const auto outcome = import(write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    EXPECT_TRUE(ui_.messages().back().text.contains(
        "These tables do not hold in the database the rows of the source:\r\nTable T_City: " +
        QString::number(rowsOf(archive, QStringLiteral("T_City"))) +
        " rows in the source, 2 in the database"))
        << ui_.messages().back().text.toStdString();
    EXPECT_GE(firstIndexOf(QStringLiteral("ALTER")), 0); // the keys are added all the same

    // The copy step on its own: the rows and the identity switches, nothing else.
    ScriptedDatabase fresh;
    ReportBuffer report;
    archive::ImportWork work{ui_, report, *registry_, fresh};
    QString error;
    ASSERT_TRUE(archive::CopyAccessData(kDatabase,
                                        AccessSourceString(files_.filePath("archive.mdb")),
                                        QStringLiteral("destination"), error, work))
        << error.toStdString();
    // A statement per row and switch, but a round trip per table's rows (the sample's tables
    // are smaller than a batch).
    long long statements = 0;
    long long batches = 0;
    for (const QString& table : archive::CopyOrder()) {
        const int switches = hasIdentity(table) ? 2 : 0;
        statements += rowsOf(archive, table) + switches;
        batches += (rowsOf(archive, table) > 0 ? 1 : 0) + switches;
    }
    EXPECT_EQ(work.batchesSent, batches);
    EXPECT_EQ(fresh.statements().size(), statements);
}

} // namespace
