// The Access import from OK to its log block, against a stand-in through the real ODBC path,
// with Access files the test writes itself: every value arriving exactly, identities kept,
// the structure test passing afterwards, each way the import can stop or fall short, a file
// refused before the server is touched, photos counted or copied, and a stop on request.
#include "AccessArchiveFixture.h"
#include "AccessImport.h"
#include "AccessSource.h"
#include "ArchiveOpsHarness.h"
#include "ArchiveTexts.h"
#include "Connection.h"
#include "Recordset.h"
#include "TestArchiveStructure.h"
#include "TestResultRegistry.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;
using sqllumo::testing::SourceArchive;
using sqllumo::testing::SourceTable;
namespace fx = sqllumo::testing;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");
const QString kPassPhrase = QStringLiteral("Vor36Pelin");
constexpr int kImport = 8;
// The small archive's one photo, left out and counted.
const QString kPhotoLeftOut = QStringLiteral("\r\n1 patient had a photo that was not copied.");
constexpr int kTest = 6;

// A row as text, for comparing tables as sets of rows whatever their order.
QString rowText(const std::vector<QVariant>& row)
{
    QStringList cells;
    for (const QVariant& v : row) {
        if (v.isNull())
            cells << QStringLiteral("<NULL>");
        else if (v.typeId() == QMetaType::QDateTime)
            cells << v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        else if (v.typeId() == QMetaType::Bool)
            cells << (v.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
        else if (v.typeId() == QMetaType::QByteArray)
            cells << QStringLiteral("0x") + QString::fromLatin1(v.toByteArray().toHex());
        else
            cells << QStringLiteral("'") + v.toString() + QStringLiteral("'");
    }
    return cells.join(QStringLiteral("|"));
}

QStringList sortedRows(const std::vector<std::vector<QVariant>>& rows)
{
    QStringList out;
    for (const auto& row : rows)
        out << rowText(row);
    std::sort(out.begin(), out.end());
    return out;
}

// What the database must hold for a source table after the import.
QStringList expectedRows(const SourceTable& table)
{
    std::vector<std::vector<QVariant>> rows = table.rows;
    auto column = [&](const char* name) { return table.column(QString::fromLatin1(name)); };
    for (auto& row : rows) {
        if (table.name == "T_Patient")
            row[static_cast<size_t>(column("Photo"))] = QVariant(); // never copied
        if (table.name == "T_File_Type" &&
            row[static_cast<size_t>(column("File_Priority"))].isNull())
            row[static_cast<size_t>(column("File_Priority"))] = 0;
        if (table.name == "T_File" &&
            row[static_cast<size_t>(column("FileDateLastModify"))].isNull())
            row[static_cast<size_t>(column("FileDateLastModify"))] =
                row[static_cast<size_t>(column("Date"))];
    }
    return sortedRows(rows);
}

// Bytes of every value, zeros and high bytes included.
QByteArray photoBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(random.bounded(256));
    return bytes;
}

class AccessImport : public ArchiveOpsHarness {
protected:
    void SetUp() override
    {
        ArchiveOpsHarness::SetUp();
        ASSERT_TRUE(files_.isValid());
        ASSERT_TRUE(standin_->makeServerFolder(kDirectory.chopped(1)));
    }

    QString write(const SourceArchive& archive, const char* stem = "archive")
    {
        const QString path = files_.filePath(QString::fromLatin1(stem) + QStringLiteral(".mdb"));
        QString error;
        EXPECT_TRUE(fx::WriteAccessFile(archive, path, error)) << error.toStdString();
        return path;
    }

    std::optional<OperationOutcome> import(const QString& database, const QString& file,
                                           bool copyPhotos = false)
    {
        ui_.answerNextPasswordRequest({kPassPhrase, "", ""});
        host_.values.copyPhotos = copyPhotos;
        return press(kImport, database, kDirectory, file);
    }

    std::vector<std::vector<QVariant>> destinationRows(const QString& database,
                                                       const SourceTable& table)
    {
        db::Connection connection;
        connection.open(connectionString(database));
        QStringList columns;
        for (const auto& c : table.columns)
            columns << QLatin1Char('[') + c.name + QLatin1Char(']');
        db::Recordset rs = connection.query(QStringLiteral("SELECT ") + columns.join(',') +
                                            QStringLiteral(" FROM ") + table.name);
        std::vector<std::vector<QVariant>> rows;
        for (; !rs.eof(); rs.moveNext()) {
            std::vector<QVariant> row;
            for (int i = 0; i < rs.fields().count(); ++i)
                row.push_back(rs.value(i));
            rows.push_back(std::move(row));
        }
        connection.close();
        return rows;
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

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message& m : ui_.messages())
            texts << m.text;
        return texts;
    }

    QTemporaryDir files_;
};

} // namespace

TEST_F(AccessImport, TheReaderGivesEveryValueOfTheFileAsWritten)
{
    const SourceArchive archive = fx::SmallArchive();
    const QString path = write(archive);
    for (const SourceTable& table : archive) {
        db::AccessRecordset rs;
        rs.open("SELECT * FROM " + table.name, AccessSourceString(path));
        ASSERT_EQ(rs.fieldCount(), static_cast<int>(table.columns.size()))
            << table.name.toStdString();
        EXPECT_EQ(rs.recordCount(), static_cast<long long>(table.rows.size()));
        std::vector<std::vector<QVariant>> rows;
        for (; !rs.eof(); rs.moveNext()) {
            std::vector<QVariant> row;
            for (int i = 0; i < rs.fieldCount(); ++i)
                row.push_back(rs.value(i));
            rows.push_back(std::move(row));
        }
        // Rows come in the file's order, which is the order they were written in.
        ASSERT_EQ(rows.size(), table.rows.size());
        for (size_t r = 0; r < rows.size(); ++r)
            EXPECT_EQ(rowText(rows[r]), rowText(table.rows[r])) << table.name.toStdString();
    }
    db::AccessRecordset keys;
    keys.open("SELECT ID_Patient FROM T_Patient ORDER BY ID_Patient", AccessSourceString(path));
    QList<int> ids;
    for (; !keys.eof(); keys.moveNext())
        ids << keys.value(0).toInt();
    EXPECT_EQ(ids, (QList<int>{1, 2, 5, 6}));
    db::AccessRecordset missing;
    try {
        missing.open("SELECT * FROM T_Nothing", AccessSourceString(path));
        ADD_FAILURE() << "a missing table was opened";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kMissingTable);
    }
}

TEST_F(AccessImport, StatementsAreWrittenCharacterForCharacter)
{
    const QString source = AccessSourceString(write(fx::SmallArchive()));
    // The statement for the row of the table at the given position, as the copy sees it.
    auto statement = [&](const QString& table, int row) {
        db::AccessRecordset rs;
        rs.open("SELECT * FROM " + table, source);
        for (int i = 0; i < row; ++i)
            rs.moveNext();
        return archive::CopyInsertStatement(table, rs);
    };
    EXPECT_EQ(statement("T_DBVersion", 2),
              "INSERT INTO T_DBVersion([FreeText]) VALUES (N'it''s here')");
    EXPECT_EQ(statement("T_Marker", 1),
              "INSERT INTO T_Marker(ID_Marker,Marker) VALUES (3,N'O''Brien''s mark')");
    EXPECT_EQ(statement("T_Patient", 0),
              "INSERT INTO T_Patient (ID_Patient,Title,L_Name,F_Name,M_Name,B_Date,Sex,Height,"
              "Weight,Address,ID_City,ID_Province,Zip_Code,ID_Country,Tel_Home,Tel_Work,"
              "Ins_Number,Ins_Company,Pat_Code_1,Pat_Code_2,ID_Hosp_Dep,Comment,ID_Doc_Tech,Free1,"
              "Free2,ID_Marker,Used_By,RecDate) VALUES (1,N'Mr',N'D''Angelo',N'Mario',N'',"
              "'1899-12-30T00:00:00.000',1,180,75,N'Via dell''Orto 3\\b',1,1,N'20100',1,"
              "N'02 123',N'',N'INS-1',N'Ins''Co',N'P1',N'',1,N'said \"hello\"',1,N'',N'',1,N'',"
              "'2024-12-06T13:05:09.000')");
    EXPECT_EQ(statement("T_File", 0),
              "INSERT INTO T_File (ID_Exam,ID_Multi,[Primary],ID_Type,[Date],ID_Tech,ID_Doc,"
              "ID_Doc_Req,ID_Hosp_Dep,Duration,Path_Local,Path_Archive,ID_Storage,"
              "FileDateLastModify,FileLen,Comment,Used_By) VALUES (1,1,1,1,"
              "'2024-01-02T10:11:12.000',1,1,2,1,3600,N'C:\\EEG\\O''Neil\\a.eeg',"
              "N'\\\\arch\\a.eeg',1,'2024-01-03T00:00:01.000',123456,N'',N'')");
    // Without ID_Storage, and the missing FileDateLastModify takes the file's date.
    const QString file = statement("T_File", 1);
    EXPECT_TRUE(file.startsWith(
        "INSERT INTO T_File (ID_Exam,ID_Multi,[Primary],ID_Type,[Date],ID_Tech,ID_Doc,"
        "ID_Doc_Req,ID_Hosp_Dep,Duration,Path_Local,Path_Archive,FileDateLastModify,FileLen,"
        "Comment,Used_By) VALUES (3,4,0,2,'1901-02-03T04:05:06.000',2,2,2,9,0,N'',N'',"
        "'1901-02-03T04:05:06.000',0,N'"))
        << file.toStdString();
    EXPECT_EQ(statement("T_File_Type", 1),
              "INSERT INTO T_File_Type (ID_Type,File_Type,File_Primary,File_Priority,File_Visible,"
              "File_Exclude,File_App,File_Prefix,File_Ext) VALUES (2,N'Video',0,0,1,N'x',N'',"
              "N'VID',N'avi')");
    EXPECT_EQ(statement("T_StatisticMask", 0),
              "INSERT INTO T_StatisticMask (ID_Mask,Descr_Mask,DuplofPatients,RecMask,NumTrovFile,"
              "BDayFrom,BDayTo,RecFrom,RecTo) VALUES (1,N'Mask ''a''',1,"
              "'2021-03-04T05:06:07.000',10,'1890-01-01T00:00:00.000','1950-12-31T23:59:59.000',"
              "NULL,NULL)");
    EXPECT_EQ(statement("T_StatisticMask", 1),
              "INSERT INTO T_StatisticMask (ID_Mask,DuplofPatients,RecMask,NumTotFile,BDayFrom,"
              "BDayTo,RecFrom,RecTo) VALUES (2,0,NULL,5,NULL,NULL,NULL,NULL)");
    EXPECT_EQ(statement("T_Statistic", 1),
              "INSERT INTO T_Statistic (ID_Class,ID_Item,ID_SubItem,ID_Exam,ID_Multi,Stat_Memo,"
              "RecDate) VALUES (2,NULL,NULL,3,4,NULL,NULL)");
    EXPECT_EQ(statement("T_StatisticList", 0),
              "INSERT INTO T_StatisticList (ID_Mask,ID_Patient) VALUES (1,1)");
    EXPECT_EQ(statement("T_Exam", 1),
              QString::fromUtf8("INSERT INTO T_Exam (ID_Multi,ID_Patient,Code,rv_1,rv_2,rv_3,rv_4,"
                                "rv_5,rv_6,rv_7,rv_8,ID_Marker,Comment) VALUES (4,2,N'E4',0,0,0,0,"
                                "0,0,0,1,3,N'Łukasz Şahin Ντόρα')"));
}

TEST_F(AccessImport, AnAccess97FileIsReadInItsCodePageAndImported)
{
    SourceArchive archive = fx::SmallArchive();
    // Access 97 keeps text in code page 1252: every letter here has a place in it.
    const QString western = QString::fromUtf8("Città € Œuvre šü «ß»");
    for (SourceTable& table : archive)
        for (auto& row : table.rows)
            for (size_t i = 0; i < row.size(); ++i)
                if (row[i].typeId() == QMetaType::QString && !row[i].toString().isEmpty())
                    row[i] = western.left(table.columns[i].size);
    const QString path = files_.filePath("access97.mdb");
    QString error;
    ASSERT_TRUE(fx::WriteAccessFile(archive, path, error, true)) << error.toStdString();
    const SourceTable& patients = *fx::FindSourceTable(archive, "T_Patient");
    db::AccessRecordset rs;
    rs.open("SELECT * FROM T_Patient", AccessSourceString(path));
    for (const auto& row : patients.rows) {
        ASSERT_FALSE(rs.eof());
        std::vector<QVariant> read;
        for (int i = 0; i < rs.fieldCount(); ++i)
            read.push_back(rs.value(i));
        EXPECT_EQ(rowText(read), rowText(row));
        rs.moveNext();
    }
    rs.close();

    const QString name = freshName("Access97");
    const auto outcome = import(name, path);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully" + kPhotoLeftOut);
    EXPECT_EQ(sortedRows(destinationRows(name, patients)), expectedRows(patients));
}

TEST_F(AccessImport, EveryValueArrivesExactlyAndTheArchivePassesTheStructureTest)
{
    const SourceArchive archive = fx::SmallArchive();
    const QString name = freshName("Imported");
    const auto outcome = import(name, write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed)
        << (outcome ? outcome->errorDescription.toStdString() : "");
    ASSERT_FALSE(ui_.messages().empty());
    EXPECT_FALSE(outcome->incomplete);
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Database " + name +
                                           " has been created and imported successfully" +
                                           kPhotoLeftOut))
        << messageTexts().join('\n').toStdString();

    for (const SourceTable& table : archive) {
        if (table.name == "T_DBVersion")
            continue; // gains its STAT_INIT row, below
        EXPECT_EQ(sortedRows(destinationRows(name, table)), expectedRows(table))
            << table.name.toStdString();
    }
    SourceTable version = *fx::FindSourceTable(const_cast<SourceArchive&>(archive), "T_DBVersion");
    version.rows[1][0] = "STAT_INIT:TRUE";
    EXPECT_EQ(sortedRows(destinationRows(name, version)), expectedRows(version));
    // Text outside code page 1252 is stored letter for letter, not as question marks.
    EXPECT_EQ(scalar(name, QString::fromUtf8("SELECT COUNT(*) FROM T_Patient WHERE "
                                             "L_Name = N'Łukasz Şahin Ντόρα'")),
              1);

    // Identifiers kept, and the server goes on after the highest one.
    {
        db::Connection connection;
        connection.open(connectionString(name));
        connection.execute("INSERT INTO T_Marker(Marker) VALUES (N'new')");
        EXPECT_EQ(connection.query("SELECT MAX(ID_Marker) FROM T_Marker").value(0).toInt(), 8);
        connection.close();
    }

    const QString report = lastLogBlock();
    for (const char* line : {"START to DEFINE TABLES into SQL database named ",
                             "FINISH to DEFINE TABLES into SQL database ",
                             "START to COPY DATA from Access into SQL database named ",
                             "START to DEFINE INDEXES and KEYS for SQL database named "})
        EXPECT_TRUE(report.contains(QString::fromLatin1(line) + name)) << line;
    EXPECT_TRUE(
        report.contains("\r\nCopying table T_Patient - the table has been fully imported."));
    EXPECT_TRUE(report.contains("\r\nFINISH to COPY DATA from Access into SQL database " + name +
                                " - the tables have been fully imported."));
    EXPECT_TRUE(report.contains("\r\nTable T_Patient: 4 rows in the source, 4 in the database"));
    EXPECT_TRUE(report.contains("\r\nTable T_File: 2 rows in the source, 2 in the database"));

    // The key step's meter: 20 steps, then hidden.
    const auto& progress = ui_.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_FALSE(progress.back().visible);
    const auto keys = std::find_if(progress.begin(), progress.end(), [](const ProgressState& p) {
        return p.caption == "Defining indexes and keys";
    });
    ASSERT_NE(keys, progress.end());
    EXPECT_EQ(keys->maximum, 20);
    EXPECT_EQ(progress.back().value, 20);

    ui_ = {};
    const auto tested = press(kTest, name);
    ASSERT_TRUE(tested && tested->end == OperationEnd::Completed);
    const TestResultRegistry& registry = *registry_;
    for (const QString& table : archive::RegistryTableOrder()) {
        EXPECT_EQ(registry.value(registrysections::kTables, table), "Present");
        EXPECT_EQ(registry.value(registrysections::kColumns, table), "Ok") << table.toStdString();
        EXPECT_EQ(registry.value(registrysections::kPrimaryKey, table), "Ok")
            << table.toStdString();
        const bool indexed =
            !archive::TestedIndexColumns(*archive::FindArchiveTable(table.toStdString())).isEmpty();
        EXPECT_EQ(registry.value(registrysections::kIndexes, table), indexed ? "Ok" : "Unchecked")
            << table.toStdString();
    }
    for (const QString& relation : archive::RegistryRelationOrder())
        EXPECT_EQ(registry.value(registrysections::kRelations, relation), "Ok")
            << relation.toStdString();
}

TEST_F(AccessImport, ASourceWithoutStatisticsTablesImportsCompletely)
{
    SourceArchive archive = fx::SmallArchive();
    fx::DropSourceTable(archive, "T_StatisticSearch");
    QString name = freshName("NoSearch");
    auto outcome = import(name, write(archive, "nosearch"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully" + kPhotoLeftOut);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_StatisticSearch"), 0);
    EXPECT_FALSE(lastLogBlock().contains("Copying table T_StatisticSearch"));
    EXPECT_TRUE(
        lastLogBlock().contains("Table T_StatisticSearch: not in the source, 0 in the database"));
    EXPECT_TRUE(lastLogBlock().contains("\r\nTable T_StatisticSearch is correct"));

    for (const char* table : {"T_Class", "T_Item", "T_SubItem", "T_Statistic", "T_StatisticMask",
                              "T_StatisticList", "T_StatisticFileType"})
        fx::DropSourceTable(archive, table);
    ui_ = {};
    name = freshName("NoStatistics");
    outcome = import(name, write(archive, "nostatistics"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully" + kPhotoLeftOut);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Class"), 0);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 4);
}

TEST_F(AccessImport, DuplicateKeysStopTheImportBeforeAnyRowIsCopied)
{
    SourceArchive archive = fx::SmallArchive();
    auto* patients = fx::FindSourceTable(archive, "T_Patient");
    patients->rows.push_back(patients->rows[2]); // a second ID_Patient 5
    auto* files = fx::FindSourceTable(archive, "T_File");
    files->rows.push_back(files->rows[1]); // a second ID_Exam 3
    files->rows.push_back(files->rows[1]); // and a third
    const QString name = freshName("Duplicates");
    const auto outcome = import(name, write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(messageTexts(), (QStringList{"Duplicate on T_Patient - field ID_Patient: 5",
                                           "Duplicate on T_File - field ID_Exam: 3",
                                           "Duplicate on T_File - field ID_Exam: 3",
                                           "An error occurred during check duplicate record - "
                                           "impossible to continue\r"}));
    EXPECT_EQ(ui_.messages()[0].title, QString());
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::None);
    EXPECT_EQ(ui_.messages().back().icon, MessageIcon::Critical);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 0);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_DBVersion"), 0);
    EXPECT_FALSE(lastLogBlock().contains("START to COPY DATA"));
}

TEST_F(AccessImport, AnExamWithoutItsPatientFailsTheKeyStep)
{
    SourceArchive archive = fx::SmallArchive();
    fx::FindSourceTable(archive, "T_Exam")->set(4, "ID_Patient", 99);
    const QString name = freshName("Orphan");
    const auto outcome = import(name, write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    const Message last = ui_.messages().back();
    EXPECT_EQ(last.icon, MessageIcon::Critical);
    EXPECT_TRUE(last.text.startsWith("An error occurred during setting of Indexes and Keys of the "
                                     "database " +
                                     name + ": \r"))
        << last.text.toStdString();
    EXPECT_TRUE(lastLogBlock().contains(
        "\r\nAn error occurred during the definition of indexes or keys for the table T_Exam\r\n"));
    // The copy itself went through: every row is there.
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Exam"), 3);
    EXPECT_FALSE(ui_.progress().back().visible);
}

TEST_F(AccessImport, DatesKeepTheirValueAtTheEdgesAndADateTheServerRefusesNamesItsRow)
{
    SourceArchive archive = fx::SmallArchive();
    SourceTable& patients = *fx::FindSourceTable(archive, "T_Patient");
    // The first day a DATETIME holds and the last second of its last day (Access keeps
    // seconds).
    patients.set(1, "B_Date", fx::at(1753, 1, 1));
    patients.set(1, "RecDate", fx::at(9999, 12, 31, 23, 59, 59));
    SourceTable& files = *fx::FindSourceTable(archive, "T_File");
    files.set(3, "FileDateLastModify", fx::at(1753, 1, 1, 0, 0, 1));
    QString name = freshName("EdgeDates");
    auto outcome = import(name, write(archive, "edges"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_FALSE(outcome->incomplete) << messageTexts().join('\n').toStdString();
    for (const char* table : {"T_Patient", "T_File"})
        EXPECT_EQ(sortedRows(destinationRows(name, *fx::FindSourceTable(archive, table))),
                  expectedRows(*fx::FindSourceTable(archive, table)))
            << table;

    // A day before that range cannot be stored: the copy stops at that row and says which it
    // is; the rows before it are whole, and no row is left with a date it did not have.
    patients.set(2, "B_Date", fx::at(1752, 12, 31, 23, 59, 59));
    ui_ = {};
    name = freshName("EarlyDate");
    outcome = import(name, write(archive, "early"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    QStringList texts = messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts[0].contains("out-of-range") &&
                texts[0].contains("(table T_Patient, row ID_Patient = 2)"))
        << texts[0].toStdString();
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 1);
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient WHERE ID_Patient = 1 AND "
                           "B_Date = '1753-01-01T00:00:00' AND "
                           "RecDate = '9999-12-31T23:59:59'"),
              1);

    // A missing date where the database needs one is named before anything is sent.
    patients.set(2, "B_Date", QVariant());
    ui_ = {};
    name = freshName("NoBirthDate");
    outcome = import(name, write(archive, "nodate"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    texts = messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts[0].contains("Invalid use of Null: table T_Patient, row ID_Patient = 2, "
                                  "column B_Date is NULL"))
        << texts[0].toStdString();
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 1);
}

// The patients of the small archive followed by copies of its first patient, numbered on from
// 1000, so that T_Patient spans several of the copy's batches.
SourceArchive WithManyPatients(int extra)
{
    SourceArchive archive = fx::SmallArchive();
    SourceTable& patients = *fx::FindSourceTable(archive, "T_Patient");
    const std::vector<QVariant> first = patients.rows.front();
    const int code = patients.column(QStringLiteral("Pat_Code_1"));
    for (int i = 0; i < extra; ++i) {
        std::vector<QVariant> row = first;
        row.front() = 1000 + i;
        row[static_cast<size_t>(code)] = QStringLiteral("B%1").arg(i);
        patients.rows.push_back(std::move(row));
    }
    return archive;
}

TEST_F(AccessImport, RowsGoInBatchesAndARefusedRowInABatchIsNamedWithTheRowsBeforeItKept)
{
    // 4 + 996 patients: the second batch ends exactly on the table's last row.
    SourceArchive archive = WithManyPatients(996);
    QString name = freshName("Batches");
    auto outcome = import(name, write(archive, "batches"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_FALSE(outcome->incomplete) << messageTexts().join('\n').toStdString();
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 1000);
    EXPECT_EQ(sortedRows(destinationRows(name, *fx::FindSourceTable(archive, "T_Patient"))),
              expectedRows(*fx::FindSourceTable(archive, "T_Patient")));
    EXPECT_TRUE(
        lastLogBlock().contains("Table T_Patient: 1000 rows in the source, 1000 in the database"));

    // Row 750 of 1200 cannot be stored: it is named, the 749 rows before it are there whole
    // (the first batch and most of the second), and none after it.
    archive = WithManyPatients(1196);
    SourceTable& patients = *fx::FindSourceTable(archive, "T_Patient");
    const int refused = patients.rows[749].front().toInt();
    patients.set(refused, "B_Date", fx::at(1752, 12, 31));
    ui_ = {};
    name = freshName("RefusedInBatch");
    outcome = import(name, write(archive, "refused"));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    const QStringList texts = messageTexts();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(
        texts[0].contains(QStringLiteral("(table T_Patient, row ID_Patient = %1)").arg(refused)))
        << texts[0].toStdString();
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 749);
    EXPECT_EQ(scalar(name, QStringLiteral("SELECT COUNT(*) FROM T_Patient WHERE ID_Patient >= %1")
                               .arg(refused)),
              0);
    SourceTable before = patients;
    before.rows.resize(749);
    EXPECT_EQ(sortedRows(destinationRows(name, before)), expectedRows(before));
}

TEST_F(AccessImport, ANullTheDatabaseCannotHoldNamesItsRowAndTheKeysAreStillAdded)
{
    SourceArchive archive = fx::SmallArchive();
    fx::FindSourceTable(archive, "T_Patient")->set(2, "M_Name", QVariant());
    const QString name = freshName("NullName");
    const auto outcome = import(name, write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->incomplete);
    const QStringList texts = messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts[0].startsWith("An error occurred during the copy of data from Access into "
                                    "SQL database: \r"));
    EXPECT_TRUE(texts[0].contains("T_Patient") && texts[0].contains("ID_Patient = 2") &&
                texts[0].contains("M_Name"))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].endsWith("\r\nCopying table: T_Patient"));
    EXPECT_TRUE(texts[1].startsWith("Database " + name +
                                    " has been created successfully but not fully imported "));
    EXPECT_TRUE(texts[1].contains("T_Patient: 4 rows in the source, 1 in the database"));
    EXPECT_EQ(ui_.messages()[1].icon, MessageIcon::Information);
    // The rows before the faulty one stay, and the keys were added all the same.
    EXPECT_EQ(scalar(name, "SELECT COUNT(*) FROM T_Patient"), 1);
    {
        db::Connection connection;
        connection.open(connectionString(name));
        db::Recordset keys = connection.query("sp_pkeys T_File");
        ASSERT_FALSE(keys.eof());
        EXPECT_EQ(keys.value("PK_NAME").toString(), "PrimaryKey_T_File");
        connection.close();
    }
    EXPECT_TRUE(
        lastLogBlock().contains("\r\nAn error occurred during the copy of table T_Patient\r\n"));
}

TEST_F(AccessImport, NoToTheOverwriteQuestionChangesNothingAndLogsNothing)
{
    const QString name = freshName("Existing");
    createEmptyDatabase(name);
    execute(name, {"CREATE TABLE Keep( K INT NOT NULL )", "INSERT INTO Keep VALUES (7)"});
    const QString path = write(fx::SmallArchive());
    ui_.answerNextMessage(MessageResult::No);
    const auto outcome = import(name.toLower(), path);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_TRUE(outcome->declined);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], (Message{"Database " + name.toLower() +
                                              " is already present.\r\nDo you want to "
                                              "overwrite it?",
                                          kCaption, MessageIcon::Question, MessageButtons::YesNo}));
    EXPECT_EQ(scalar(name, "SELECT K FROM Keep"), 7);
    EXPECT_FALSE(logExists());

    ui_ = {};
    ui_.answerNextMessage(MessageResult::Yes);
    const auto again = import(name, path);
    ASSERT_TRUE(again && again->end == OperationEnd::Completed);
    EXPECT_FALSE(again->declined);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully" + kPhotoLeftOut);
    EXPECT_EQ(
        scalar(name, "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'Keep'"),
        0);
}

TEST_F(AccessImport, AFileThatIsNotThereIsRefusedBeforeTheServerIsTouched)
{
    const QString name = freshName("NoFile");
    ui_.answerNextPasswordRequest({kPassPhrase, "", ""});
    const auto outcome = press(kImport, name, kDirectory, files_.filePath("absent.mdb"));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("Invalid Access file!"));
    EXPECT_FALSE(databaseExists(name));
}

TEST_F(AccessImport, TheMeterCountsRowsUpToItsCapOf10000)
{
    SourceArchive archive = fx::SmallArchive();
    auto& masks = fx::FindSourceTable(archive, "T_StatisticFileType")->rows;
    masks.clear();
    for (int i = 0; i < 12500; ++i)
        masks.push_back({1, i});
    fx::FindSourceTable(archive, "T_StatisticList")->rows.clear();
    const QString name = freshName("Meter");
    const auto outcome = import(name, write(archive));
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text,
              "Database " + name + " has been created and imported successfully" + kPhotoLeftOut);

    // A table's states: from its label on, while its row count stands (the next table's
    // maximum is set before its label is).
    auto statesOf = [&](const QString& label) {
        std::vector<ProgressState> states;
        for (const ProgressState& p : ui_.progress())
            if (p.caption == "Copying Data" && p.label == label &&
                (states.empty() || p.rowsTotal == states.front().rowsTotal))
                states.push_back(p);
        return states;
    };
    const auto big = statesOf("Copying table T_StatisticFileType");
    ASSERT_FALSE(big.empty());
    int highest = 0;
    for (const ProgressState& p : big) {
        EXPECT_EQ(p.maximum, 10000);
        EXPECT_LE(p.value, 10000);
        highest = std::max(highest, p.value);
    }
    // 0.8 added 12500 times in single precision ends a little short of 10000, never above.
    EXPECT_GE(highest, 9990);
    EXPECT_EQ(big.back().rowsDone, 12500);
    // 0.8 per row: the value after the fifth row is 4.
    EXPECT_EQ(big[5].value, 4);
    const auto empty = statesOf("Copying table T_StatisticList");
    ASSERT_FALSE(empty.empty());
    EXPECT_EQ(empty.back().maximum, 1);
    EXPECT_TRUE(lastLogBlock().contains(
        "\r\nCopying table T_StatisticList - the table has been fully imported."));
    const auto small = statesOf("Copying table T_Patient");
    ASSERT_FALSE(small.empty());
    EXPECT_EQ(small.back().maximum, 4);
    EXPECT_EQ(small.back().value, 4);
    EXPECT_GE(ui_.pendingEventCalls(), 12500);
}

TEST_F(AccessImport, AFileThatCannotBeImportedCreatesNothing)
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

TEST_F(AccessImport, PhotosLeftOutAreCountedAndNamedAndCopiedByteForByteOnRequest)
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

TEST_F(AccessImport, AStopBetweenTwoRowsLeavesTheDatabaseAsItIsAndSaysWhere)
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
