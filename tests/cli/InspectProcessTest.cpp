// sqllumo archive inspect as a process, without any server: the listing and the import check
// on archives the test writes, the CSV of every Access type compared with expected values and
// with mdb-export (an independent reader), and damaged files refused without a crash.
#include "AccessArchiveFixture.h"
#include "MdbWriter.h"
#include "SqllumoProcess.h"

#include <QRegularExpression>
#include <QStandardPaths>

using namespace sqllumo::testing;

namespace {

// Fields of a CSV text, each with whether it was quoted.
struct CsvField {
    QString text;
    bool quoted = false;
    bool operator==(const CsvField&) const = default;
};
using CsvRows = std::vector<std::vector<CsvField>>;

CsvRows parseCsv(const QString& text)
{
    CsvRows rows(1, std::vector<CsvField>(1));
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        CsvField& field = rows.back().back();
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field.text += text[++i];
            else if (c == '"')
                inQuotes = false;
            else
                field.text += c;
        } else if (c == '"') {
            inQuotes = field.quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else {
            field.text += c;
        }
    }
    if (rows.back().size() == 1 && rows.back().front() == CsvField{})
        rows.pop_back();
    return rows;
}

class InspectProcess : public SqllumoProcess {
protected:
    QString archive(const SourceArchive& content, const QString& stem) const
    {
        QString error;
        const QString file = path(stem + ".mdb");
        EXPECT_TRUE(WriteAccessFile(content, file, error)) << error.toStdString();
        return file;
    }
    ProcessRun inspect(const QString& file, QStringList extra = {}) const
    {
        return run(QStringList{"archive", "inspect", "--source", file} + extra);
    }
    static QStringList lines(const ProcessRun& r) { return r.out.split('\n', Qt::SkipEmptyParts); }
};

TEST_F(InspectProcess, ListsEveryTableWithRowsAndColumnsAndPassesASoundArchive)
{
    SourceArchive content = SmallArchive();
    DropSourceTable(content, "T_StatisticSearch");
    SourceTable other{"Notes", {{"Note", AccessType::Text, 20}}, {{"kept aside"}}};
    content.push_back(other);
    const ProcessRun r = inspect(archive(content, "sound"));
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    const QStringList out = lines(r);
    EXPECT_TRUE(out.contains("T_Marker: 3 rows; ID_Marker Long Integer (AutoNumber), Marker "
                             "Text(50)"))
        << r.out.toStdString();
    EXPECT_TRUE(out.contains("T_Storage: 1 row; ID_Storage Long Integer (AutoNumber), "
                             "Description Text(100)"));
    EXPECT_TRUE(out.contains("Notes: 1 row; Note Text(20)"));
    const QString patient = out.filter(QRegularExpression("^T_Patient: ")).value(0);
    EXPECT_TRUE(patient.startsWith("T_Patient: 4 rows; ID_Patient Long Integer (AutoNumber), "
                                   "Title Text(10), "));
    EXPECT_TRUE(patient.contains(", B_Date Date/Time, Sex Yes/No, Height Integer, "));
    EXPECT_TRUE(patient.endsWith(", RecDate Date/Time, Photo OLE Object"));
    // One line per table of the file, before the findings.
    EXPECT_EQ(out.indexOf("What an import of this file would meet:"), 20);
    EXPECT_TRUE(out.contains("skipped table: T_StatisticSearch is not in the file; the import "
                             "leaves its table empty"));
    EXPECT_TRUE(out.contains("photo not copied: T_Patient, ID_Patient 1: Photo holds 2 bytes; "
                             "the import does not copy T_Patient.Photo"));
    EXPECT_TRUE(out.contains("other table: Notes is not an archive table; the import does not "
                             "read it"));
    EXPECT_EQ(out.last(), "An import of this file would succeed.");
}

TEST_F(InspectProcess, NamesEveryProblemAnImportWouldMeet)
{
    SourceArchive content = SmallArchive();
    SourceTable& patients = *FindSourceTable(content, "T_Patient");
    // An older archive whose last names were wider than the server's column.
    patients.columns[static_cast<size_t>(patients.column("L_Name"))].size = 80;
    patients.set(6, "ID_Patient", 5);
    patients.set(2, "M_Name", QVariant());
    patients.set(2, "L_Name", QString(51, 'x'));
    patients.set(1, "B_Date", at(1600, 1, 1));
    FindSourceTable(content, "T_Exam")->set(4, "ID_Patient", 99);
    FindSourceTable(content, "T_City")->rows.push_back({2, "Again"});
    DropSourceTable(content, "T_Storage");
    const ProcessRun r = inspect(archive(content, "faulty"));
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    const QStringList expected = {
        "missing table: T_Storage is not in the file; the import requires it",
        "duplicate key: T_City, ID_City 2 is held by 2 rows",
        "duplicate key: T_Patient, ID_Patient 5 is held by 2 rows",
        "NULL: T_Patient, ID_Patient 2: M_Name is NULL where the archive requires a value",
        "text too long: T_Patient, ID_Patient 2: L_Name has 51 characters; its SQL Server "
        "column holds 50",
        "date out of range: T_Patient, ID_Patient 1: B_Date is 1600-01-01 00:00:00, outside "
        "SQL Server's DATETIME range (1753 to 9999)",
        "missing reference: T_Exam, ID_Multi 4: ID_Patient is 99, and T_Patient has no row "
        "with ID_Patient 99",
        "photo not copied: T_Patient, ID_Patient 1: Photo holds 2 bytes; the import does not "
        "copy T_Patient.Photo",
        "An import of this file would fail: 7 problem(s).",
    };
    const QStringList out = lines(r);
    const qsizetype heading = out.indexOf("What an import of this file would meet:");
    ASSERT_GE(heading, 0) << r.out.toStdString();
    EXPECT_EQ(out.mid(heading + 1), expected) << r.out.toStdString();
}

TEST_F(InspectProcess, DamagedFilesExitTwoWithAMessageAndNoCrash)
{
    const QString good = archive(SmallArchive(), "good");
    QFile source(good);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QByteArray catalogueGone = bytes;
    // The catalogue's own definition and first page overwritten.
    for (qsizetype i = 2 * 4096; i < 4 * 4096 && i < catalogueGone.size(); ++i)
        catalogueGone[i] = static_cast<char>(0xA5 ^ (i * 31));
    QByteArray noise(16 * 4096, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) >> 3);
    const std::pair<const char*, QByteArray> damaged[] = {
        {"cut.mdb", bytes.left(bytes.size() / 2 + 100)},
        {"catalogue.mdb", catalogueGone},
        {"noise.mdb", noise},
        {"text.mdb", "ID;Name\n1;x\n"},
        {"empty.mdb", {}},
    };
    for (const auto& [name, content] : damaged) {
        writeFile(name, content);
        for (const QStringList& extra :
             {QStringList{}, QStringList{"--table", "T_City", "--csv"}}) {
            const ProcessRun r = inspect(path(name), extra);
            EXPECT_EQ(r.exitCode, 2) << name << r.out.toStdString() << r.err.toStdString();
            EXPECT_TRUE(r.err.contains("cannot be read as an Access database"))
                << name << r.err.toStdString();
        }
    }
    const ProcessRun missing = inspect(path("nowhere.mdb"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("nowhere.mdb")) << missing.err.toStdString();
}

TEST_F(InspectProcess, OptionsThatCannotBeUsedExitTwo)
{
    const QString file = archive(SmallArchive(), "options");
    EXPECT_EQ(inspect(file, {"--csv"}).exitCode, 2);
    EXPECT_EQ(inspect(file, {"--table", "T_City"}).exitCode, 2);
    const ProcessRun server = inspect(file, {"--server", "127.0.0.1"});
    EXPECT_EQ(server.exitCode, 2);
    EXPECT_TRUE(server.err.contains("not an option of inspect")) << server.err.toStdString();
    EXPECT_EQ(run({"archive", "inspect"}).exitCode, 2);
    const ProcessRun unknown = inspect(file, {"--table", "T_Nothing", "--csv"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("has no table named T_Nothing")) << unknown.err.toStdString();
    EXPECT_TRUE(run({"archive", "--help"}).out.contains("inspect also takes:"));
}

// One table with every type Access stores, and the CSV each value must give.
class InspectCsv : public InspectProcess {
protected:
    void SetUp() override
    {
        InspectProcess::SetUp();
        using mdbwriter::Column;
        mdbwriter::MdbWriter db(path("types.mdb").toStdString());
        const auto t = db.addTable(
            "Every Type",
            {Column::autoNumberLong("Id"), Column::byte("Small"), Column::integer("Mid"),
             Column::yesNo("Flag"), Column::single("Ratio"), Column::doubleFloat("Exact"),
             Column::currency("Price"), Column::decimal("Amount", 18, 4), Column::dateTime("When"),
             Column::text("Name", 40), Column::memo("Note"), Column::ole("Picture"),
             Column::binary("Raw", 8), Column::replicationId("Guid")});
        const mdbwriter::Null null;
        db.addRow(t, {1LL, 255LL, -32768LL, true, 804983.375, 0.1, 12.3456,
                      std::string("-12345.6789"), mdbwriter::DateTime{1850, 6, 15, 8, 30, 1},
                      std::string("said \"hi\"\nthen, left"), std::string("Łódź memo"),
                      mdbwriter::Bytes{0x00, 0xAB, 0x7F}, mdbwriter::Bytes{0xDE, 0xAD},
                      std::string("{6B29FC40-CA47-1067-B31D-00DD010662DA}")});
        db.addRow(t, {2LL, null, null, false, null, null, null, null, null, null, null, null, null,
                      null});
        db.addRow(t, {3LL, 0LL, 32767LL, false, -1.5, 1e21, -92233720368.5477, std::string("0"),
                      mdbwriter::DateTime{1899, 12, 29, 18, 0, 0}, std::string(""), std::string(""),
                      mdbwriter::Bytes{}, mdbwriter::Bytes{0x01},
                      std::string("{00000000-0000-0000-0000-000000000001}")});
        db.close();
    }
};

TEST_F(InspectCsv, EveryTypeIsWrittenAsItIsStored)
{
    const ProcessRun r = inspect(path("types.mdb"), {"--table", "Every Type", "--csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList expected = {
        "\"Id\",\"Small\",\"Mid\",\"Flag\",\"Ratio\",\"Exact\",\"Price\",\"Amount\",\"When\","
        "\"Name\",\"Note\",\"Picture\",\"Raw\",\"Guid\"",
        QString::fromUtf8("1,255,-32768,1,804983.375,0.1,12.3456,-12345.6789,1850-06-15 08:30:01,"
                          "\"said \"\"hi\"\"\nthen, left\",\"Łódź memo\",00AB7F,DEAD,"
                          "\"{6B29FC40-CA47-1067-B31D-00DD010662DA}\""),
        "2,,,0,,,,,,,,,,",
        "3,0,32767,0,-1.5,1000000000000000000000,-92233720368.5477,0,1899-12-29 18:00:00,\"\","
        "\"\",,01,\"{00000000-0000-0000-0000-000000000001}\"",
    };
    EXPECT_EQ(r.out, expected.join('\n') + '\n');
}

// mdb-export with the same date form, hex for binary values and no header; the columns whose
// forms cannot be made to agree (floating values, which it rounds) are left out by name.
CsvRows mdbExport(const QString& file, const QString& table)
{
    const QString program = QStandardPaths::findExecutable("mdb-export");
    if (program.isEmpty())
        return {};
    QProcess process;
    process.start(program, {"-H", "-D", "%Y-%m-%d %H:%M:%S", "-T", "%Y-%m-%d %H:%M:%S", "-b", "hex",
                            file, table});
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return parseCsv(QString::fromUtf8(process.readAllStandardOutput()));
}

// Compares the texts of the fields; mdb-export writes an empty text as NULL and quotes dates,
// so quoting is checked by the tests of our own output instead. Dates before 1900, which libmdb
// cannot show, are only checked to be before 1900 on our side.
void expectAgreesWithMdbExport(const ProcessRun& ours, const CsvRows& theirs,
                               const QStringList& skipped, const char* table)
{
    CsvRows mine = parseCsv(ours.out);
    ASSERT_FALSE(mine.empty());
    const std::vector<CsvField> header = mine.front();
    mine.erase(mine.begin());
    ASSERT_EQ(mine.size(), theirs.size()) << table;
    int compared = 0;
    for (size_t row = 0; row < mine.size(); ++row) {
        ASSERT_EQ(mine[row].size(), theirs[row].size()) << table << " row " << row;
        for (size_t c = 0; c < header.size(); ++c) {
            if (skipped.contains(header[c].text))
                continue;
            const QString& ours = mine[row][c].text;
            QString other = theirs[row][c].text;
            // libmdb cannot show a date before 1900 and writes this instead.
            if (other == "1900-01-00 00:00:00") {
                EXPECT_LT(ours.left(4).toInt(), 1900) << table << " row " << row;
                continue;
            }
            // It takes a replication id for binary data, and writes its own text of it (one
            // dash fewer) in hex.
            if (ours.startsWith('{') && other.size() > 2 * ours.size() - 4)
                other = QString::fromLatin1(QByteArray::fromHex(other.toLatin1())).remove('-');
            EXPECT_EQ(other.startsWith('{') ? QString(ours).remove('-').toStdString()
                                            : ours.toStdString(),
                      other.toStdString())
                << table << " row " << row << " column " << header[c].text.toStdString();
            ++compared;
        }
    }
    EXPECT_GT(compared, 0) << table;
}

TEST_F(InspectCsv, AgreesWithMdbExportWhereTheFormsAgree)
{
    const CsvRows theirs = mdbExport(path("types.mdb"), "Every Type");
    if (theirs.empty())
        GTEST_SKIP() << "mdb-export is not installed";
    const ProcessRun ours = inspect(path("types.mdb"), {"--table", "Every Type", "--csv"});
    ASSERT_EQ(ours.exitCode, 0) << ours.err.toStdString();
    expectAgreesWithMdbExport(ours, theirs, {"Ratio", "Exact", "Price", "Amount"}, "Every Type");
}

TEST_F(InspectProcess, EveryArchiveTableAgreesWithMdbExport)
{
    const QString file = archive(SmallArchive(), "small");
    for (const sqllumo::archive::TableDef& table : sqllumo::archive::ArchiveTables()) {
        const QString name = QString::fromStdString(table.name);
        const CsvRows theirs = mdbExport(file, name);
        if (theirs.empty() && QStandardPaths::findExecutable("mdb-export").isEmpty())
            GTEST_SKIP() << "mdb-export is not installed";
        const ProcessRun ours = inspect(file, {"--table", name, "--csv"});
        ASSERT_EQ(ours.exitCode, 0) << ours.err.toStdString();
        expectAgreesWithMdbExport(ours, theirs, {}, table.name.c_str());
    }
}

TEST_F(InspectProcess, ARowThatCannotBeReadEndsTheCsvWithExitOne)
{
    mdbwriter::MdbWriter db(path("bad-date.mdb").toStdString());
    const auto t = db.addTable(
        "Visits", {mdbwriter::Column::longInt("Id"), mdbwriter::Column::dateTime("Seen")});
    db.addRow(t, {1LL, mdbwriter::DateTime{2001, 2, 3, 4, 5, 6}});
    db.addRow(t, {2LL, 1e300}); // no date Access could show
    db.addRow(t, {3LL, mdbwriter::DateTime{2001, 2, 3, 4, 5, 6}});
    db.close();
    const ProcessRun r = inspect(path("bad-date.mdb"), {"--table", "Visits", "--csv"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "\"Id\",\"Seen\"\n1,2001-02-03 04:05:06\n");
    EXPECT_TRUE(r.err.contains("Row 2 of table Visits cannot be read")) << r.err.toStdString();
}

} // namespace
