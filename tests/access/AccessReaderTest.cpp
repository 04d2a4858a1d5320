// The Access reader on files the writer makes in both versions: table list, column types and
// sizes, and every row and value, checked against what was written and against mdb-export.
#include "AccessSource.h"
#include "MdbWriter.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <optional>

using namespace sqllumo::db;
using mdbwriter::Column;
using mdbwriter::JetVersion;
using mdbwriter::MdbWriter;
using mdbwriter::RowId;

namespace {

const QString kNull = QStringLiteral("<NULL>");

// One value as the checks compare it, whoever read it.
QString rendered(const QVariant& v)
{
    if (v.isNull())
        return kNull;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? "1" : "0";
    case QMetaType::QDateTime:
        return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss");
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    default:
        return v.toString();
    }
}

std::vector<QStringList> readAll(const QString& path, const QString& table,
                                 long long* count = nullptr)
{
    AccessRecordset rows;
    rows.open("SELECT * FROM " + table, "Data Source=" + path);
    if (count)
        *count = rows.recordCount();
    std::vector<QStringList> out;
    for (; !rows.eof(); rows.moveNext()) {
        QStringList row;
        for (int i = 0; i < rows.fieldCount(); ++i)
            row << rendered(rows.value(i));
        out.push_back(row);
    }
    return out;
}

// mdb-export's CSV: a header line, then one line a row; quoted fields may hold commas and
// doubled quotes. NULL and empty text are both empty.
std::vector<QStringList> exported(const QString& path, const QString& table)
{
    QProcess mdbExport;
    mdbExport.start("mdb-export", {"-b", "hex", "-T", "%Y-%m-%d %H:%M:%S", path, table});
    EXPECT_TRUE(mdbExport.waitForFinished(60000));
    EXPECT_EQ(mdbExport.exitCode(), 0) << mdbExport.readAllStandardError().toStdString();
    const QString text = QString::fromUtf8(mdbExport.readAllStandardOutput());
    std::vector<QStringList> rows(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back() << field;
            field.clear();
        } else if (c == '\n') {
            rows.back() << field;
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
    }
    rows.pop_back(); // after the last line's end
    return rows;
}

// The bytes of a written file, to take rows apart and damage them as a failing disk would.
struct RawFile {
    RawFile(const QString& path, JetVersion version)
        : pageSize(version == JetVersion::Jet3 ? 2048 : 4096),
          rco(version == JetVersion::Jet3 ? 8 : 12)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
    }
    void save(const QString& path) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    quint32 u32(qsizetype at) const
    {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
        return v;
    }
    void put(qsizetype at, quint32 value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
    qsizetype entry(RowId id) const { return qsizetype(id.page) * pageSize + rco + 2 + 2 * id.row; }
    int flags(RowId id) const { return static_cast<int>(u32(entry(id)) & 0xE000); }
    void setFlags(RowId id, int flags)
    {
        put(entry(id), (u32(entry(id)) & 0x1FFF) | static_cast<quint32>(flags), 2);
    }
    qsizetype start(RowId id) const
    {
        return qsizetype(id.page) * pageSize + (u32(entry(id)) & 0x1FFF);
    }
    qsizetype end(RowId id) const
    {
        return id.row == 0 ? qsizetype(id.page + 1) * pageSize : start(RowId{id.page, id.row - 1});
    }
    // The places on the table pages whose offset carries exactly the given high bits.
    int placesFlagged(int flags) const
    {
        int found = 0;
        for (quint32 page = 0; qsizetype(page + 1) * pageSize <= bytes.size(); ++page) {
            const qsizetype at = qsizetype(page) * pageSize;
            if (bytes[at] != 0x01 || bytes.mid(at + 4, 4) == "LVAL")
                continue;
            for (quint32 r = 0; r < (u32(at + rco) & 0xFFFF); ++r)
                found += this->flags(RowId{page, r}) == flags;
        }
        return found;
    }
    // Where a moved row went.
    RowId target(RowId id) const
    {
        const quint32 pointer = u32(start(id));
        return {pointer >> 8, pointer & 0xFF};
    }

    int pageSize;
    int rco;
    QByteArray bytes;
};

class AccessReader : public ::testing::TestWithParam<JetVersion> {
protected:
    bool jet3() const { return GetParam() == JetVersion::Jet3; }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QString source(const QString& path) { return "Data Source=" + path; }
    std::string foreign() const { return jet3() ? "Ærøskøbing € ÿ" : "Łódź Ελένη 日本語 €"; }
    QTemporaryDir dir;
};

// One row of the edited table as it should read after every change.
struct Exam {
    long long id = 0;
    std::string code;
    std::optional<std::string> note;
    bool done = false;
    mdbwriter::DateTime taken;
    std::optional<long long> score;
    std::optional<mdbwriter::Bytes> blob;

    std::vector<mdbwriter::Value> values(std::optional<std::string> gone) const
    {
        std::vector<mdbwriter::Value> v;
        v.emplace_back(id);
        v.emplace_back(code);
        if (gone)
            v.emplace_back(*gone);
        addOptional(v, note);
        v.emplace_back(done);
        v.emplace_back(taken);
        addOptional(v, score);
        addOptional(v, blob);
        return v;
    }
    template <typename T>
    static void addOptional(std::vector<mdbwriter::Value>& v, const std::optional<T>& value)
    {
        if (value)
            v.emplace_back(*value);
        else
            v.emplace_back(mdbwriter::Null{});
    }
    QStringList expected() const
    {
        const auto& t = taken;
        QString hex;
        if (blob)
            hex = QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(blob->data()), qsizetype(blob->size()))
                    .toHex()
                    .toUpper());
        return {QString::number(id),
                QString::fromStdString(code),
                note ? QString::fromStdString(*note) : kNull,
                done ? "1" : "0",
                QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second))
                    .toString("yyyy-MM-dd HH:mm:ss"),
                score ? QString::number(*score) : kNull,
                blob ? hex : kNull};
    }
};

mdbwriter::Bytes pattern(std::size_t size, unsigned seed)
{
    mdbwriter::Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return out;
}

std::string longNote(int id, const std::string& foreign)
{
    std::string note;
    while (note.size() < 7000)
        note += "Exam " + std::to_string(id) + " sleep stage notes " + foreign + "; ";
    return note;
}

TEST_P(AccessReader, ListsUserTablesAndEachColumnsTypeAndDefinedSize)
{
    const QString path = file("tables.mdb");
    {
        MdbWriter db(path.toStdString(), GetParam());
        db.addTable("T_Patient",
                    {Column::autoNumberLong("ID_Patient"), Column::text("L_Name", 50),
                     Column::yesNo("Sex"), Column::dateTime("B_Date"), Column::memo("Comment"),
                     Column::integer("Height"), Column::byte("Tiny"), Column::doubleFloat("Weight"),
                     Column::ole("Photo")});
        db.addTable("T_Empty", {Column::text("X", 255)});
        db.close();
    }
    EXPECT_EQ(AccessTableNames(path), (QStringList{"T_Patient", "T_Empty"}));

    AccessRecordset rows;
    rows.open("SELECT * FROM T_Patient", source(path));
    struct Expected {
        const char* name;
        const char* type;
        int size;
    } expected[] = {{"ID_Patient", "Long Integer", 4},
                    {"L_Name", "Text", 50},
                    {"Sex", "Yes/No", 1},
                    {"B_Date", "Date/Time", 8},
                    {"Comment", "Memo", 0},
                    {"Height", "Integer", 2},
                    {"Tiny", "Byte", 1},
                    {"Weight", "Double", 8},
                    {"Photo", "OLE Object", 0}};
    ASSERT_EQ(rows.fieldCount(), 9);
    for (int i = 0; i < rows.fieldCount(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(rows.fieldName(i), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(AccessTypeName(rows.fieldAccessType(i)), QString::fromLatin1(expected[i].type));
        EXPECT_EQ(rows.fieldDefinedSize(i), expected[i].size);
    }
    EXPECT_THROW(rows.fieldDefinedSize(9), Error);
    rows.open("SELECT X FROM T_Empty ORDER BY X", source(path));
    EXPECT_EQ(rows.fieldDefinedSize(0), 255);

    EXPECT_THROW(AccessTableNames(file("missing.mdb")), Error);
}

// A table edited as people edit in Access: rows grown past their page (moved, a pointer left
// behind), one grown twice, rows deleted, a column dropped between rows, memos and OLE values
// over several long-value pages.
TEST_P(AccessReader, ReadsEveryRowOfAnEditedTableOnceAndInPlaceOrder)
{
    const QString path = file("edited.mdb");
    std::map<long long, Exam> exams; // by ID, which is also the order the rows were added in
    {
        MdbWriter db(path.toStdString(), GetParam());
        const auto t = db.addTable("T_Exam", {Column::longInt("ID"), Column::text("Code", 60),
                                              Column::text("Gone", 20), Column::memo("Note"),
                                              Column::yesNo("Done"), Column::dateTime("Taken"),
                                              Column::integer("Score"), Column::ole("Blob")});
        std::map<long long, RowId> places;
        for (int i = 1; i <= 400; ++i) {
            if (i == 261)
                db.dropColumn(t, "Gone");
            Exam e;
            e.id = i;
            e.code = i % 50 == 0 ? "" : "E" + std::to_string(i);
            if (i % 13 != 0)
                e.note = "Note " + std::to_string(i) + (i % 4 == 0 ? " " + foreign() : "");
            e.done = i % 3 == 0;
            e.taken = {1950 + i % 60, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 7};
            if (i % 9 != 0)
                e.score = i * 3 - 500;
            if (i % 5 == 0)
                e.blob = pattern(static_cast<std::size_t>(i * 37 % 300 + 1), i);
            if (i == 100)
                e.blob = pattern(10000, 3);
            places[i] =
                db.addRow(t, e.values(i <= 260 ? std::optional<std::string>("g" + std::to_string(i))
                                               : std::nullopt));
            exams[i] = e;
        }
        for (auto& [id, e] : exams) {
            if (id % 7 != 0)
                continue;
            e.code = "Grown " + std::to_string(id) + " " + foreign() + " " + std::string(20, 'x');
            if (id % 21 == 0)
                e.note = longNote(static_cast<int>(id), foreign());
            db.updateRow(t, places[id], e.values(std::nullopt));
        }
        Exam& twice = exams[14];
        twice.code = std::string(60, 'z');
        twice.score = 32767;
        db.updateRow(t, places[14], twice.values(std::nullopt));
        for (auto it = exams.begin(); it != exams.end();) {
            if (it->first % 11 == 0 && it->first % 7 != 0) {
                db.deleteRow(t, places[it->first]);
                it = exams.erase(it);
            } else {
                ++it;
            }
        }
        EXPECT_EQ(db.rowCount(t), exams.size());
        db.close();
    }
    const RawFile raw(path, GetParam());
    EXPECT_GT(raw.placesFlagged(0x4000), 20) << "rows should have moved";
    EXPECT_EQ(raw.placesFlagged(0x4000), raw.placesFlagged(0x8000));

    long long count = 0;
    const auto read = readAll(path, "T_Exam", &count);
    EXPECT_EQ(count, static_cast<long long>(exams.size()));
    ASSERT_EQ(read.size(), exams.size());
    auto expected = exams.begin();
    for (const QStringList& row : read) {
        SCOPED_TRACE("ID " + std::to_string(expected->first));
        EXPECT_EQ(row, expected->second.expected());
        ++expected;
    }

    // mdb-export meets moved rows where they lie, so its order differs; NULL shows empty.
    auto other = exported(path, "T_Exam");
    ASSERT_EQ(other.size(), exams.size() + 1);
    EXPECT_EQ(other.front(), (QStringList{"ID", "Code", "Note", "Done", "Taken", "Score", "Blob"}));
    other.erase(other.begin());
    std::sort(other.begin(), other.end(), [](const QStringList& a, const QStringList& b) {
        return a.value(0).toLongLong() < b.value(0).toLongLong();
    });
    expected = exams.begin();
    for (QStringList row : other) {
        SCOPED_TRACE("ID " + std::to_string(expected->first));
        QStringList mine = expected->second.expected();
        mine.replaceInStrings(kNull, QString());
        EXPECT_EQ(row, mine);
        ++expected;
    }

    // Sorted by one column, every row still comes once.
    AccessRecordset codes;
    codes.open("SELECT Code FROM T_Exam ORDER BY Code", source(path));
    QStringList sorted;
    for (; !codes.eof(); codes.moveNext())
        sorted << codes.value(0).toString();
    QStringList written;
    for (const auto& [id, e] : exams)
        written << QString::fromStdString(e.code);
    std::sort(written.begin(), written.end());
    EXPECT_EQ(sorted, written);
}

// The first error reading every value of every row gives, or an empty text.
QString readingError(const QString& path, const QString& table)
{
    try {
        readAll(path, table);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        return e.description();
    }
    return QString();
}

TEST_P(AccessReader, AMovedRowIsMetOnceWhetherOrNotItsNewPlaceIsMarkedAndNotOnceDeleted)
{
    const QString path = file("moved.mdb");
    RowId first, second;
    {
        MdbWriter db(path.toStdString(), GetParam());
        const auto t = db.addTable("T_M", {Column::longInt("ID"), Column::text("Name", 200)});
        std::vector<RowId> ids;
        for (int i = 1; i <= 300; ++i)
            ids.push_back(db.addRow(t, {i, "n" + std::to_string(i)}));
        first = ids[4];
        second = ids[9];
        db.updateRow(t, first, {5LL, std::string(150, 'f')});
        db.updateRow(t, second, {10LL, std::string(150, 's')});
        db.close();
    }
    RawFile raw(path, GetParam());
    ASSERT_EQ(raw.flags(first), 0x4000);
    ASSERT_EQ(raw.flags(raw.target(first)), 0x8000);

    const auto ids = [](const std::vector<QStringList>& rows) {
        std::vector<int> out;
        for (const QStringList& row : rows)
            out.push_back(row[0].toInt());
        return out;
    };
    std::vector<int> all(300);
    std::iota(all.begin(), all.end(), 1);
    long long count = 0;
    EXPECT_EQ(ids(readAll(path, "T_M", &count)), all);
    EXPECT_EQ(count, 300);

    // A file whose moved row carries no mark of its own still gives it once.
    raw.setFlags(raw.target(first), 0);
    raw.save(file("unmarked.mdb"));
    EXPECT_EQ(ids(readAll(file("unmarked.mdb"), "T_M", &count)), all);
    EXPECT_EQ(count, 300);

    // A deleted row that had moved is gone, its new place included.
    raw.setFlags(second, 0xC000);
    raw.save(file("deleted.mdb"));
    all.erase(all.begin() + 9);
    EXPECT_EQ(ids(readAll(file("deleted.mdb"), "T_M", &count)), all);
    EXPECT_EQ(count, 299);
}

TEST_P(AccessReader, ADamagedRowIsReportedWithItsTablePageAndRowNeverMisread)
{
    const QString path = file("sound.mdb");
    std::vector<RowId> ids;
    {
        MdbWriter db(path.toStdString(), GetParam());
        const auto t = db.addTable("T_Damaged", {Column::longInt("ID"), Column::text("Name", 40),
                                                 Column::memo("Note", false)});
        for (int i = 1; i <= 5; ++i)
            ids.push_back(db.addRow(t, {i, "Name " + std::to_string(i),
                                        i == 3 ? std::string(7000, 'n') : std::string("short")}));
        db.close();
    }
    ASSERT_TRUE(readingError(path, "T_Damaged").isEmpty());
    const auto expectNamed = [&](const QString& message, RowId id, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(message.contains("T_Damaged")) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("Row %1 on page %2").arg(id.row).arg(id.page)))
            << message.toStdString();
    };

    { // A pointer to a page far past the file's end.
        RawFile raw(path, GetParam());
        raw.setFlags(ids[3], 0x4000);
        raw.put(raw.start(ids[3]), 0xFF000000u | 2u, 4);
        raw.save(file("pointer.mdb"));
        const QString message = readingError(file("pointer.mdb"), "T_Damaged");
        expectNamed(message, ids[3], "pointer");
        EXPECT_TRUE(message.contains("16711680")) << message.toStdString();
    }
    { // A row whose offset table claims far more entries than it has bytes.
        RawFile raw(path, GetParam());
        const qsizetype countAt = raw.end(ids[1]) - 1 - (jet3() ? 1 : 2);
        raw.put(countAt, 0x7FFF, jet3() ? 1 : 2);
        raw.save(file("offsets.mdb"));
        expectNamed(readingError(file("offsets.mdb"), "T_Damaged"), ids[1], "offset table");
    }
    // The long memo: its header in the row (length, then the first long-value row), and the
    // chain of long-value rows each beginning with the next one's place.
    RawFile raw(path, GetParam());
    const quint32 stored = 7000u * (jet3() ? 1 : 2);
    qsizetype header = raw.start(ids[2]);
    while (header < raw.end(ids[2]) && raw.u32(header) != stored)
        ++header;
    ASSERT_LT(header, raw.end(ids[2]));
    { // A length of a gigabyte over a chain of a few pages.
        RawFile damaged = raw;
        damaged.put(header, 0x3FFFFFFF, 4);
        damaged.save(file("length.mdb"));
        const QString message = readingError(file("length.mdb"), "T_Damaged");
        expectNamed(message, ids[2], "length");
        EXPECT_TRUE(message.contains("Note")) << message.toStdString();
    }
    { // A chain whose last row leads back to its first.
        RawFile damaged = raw;
        const quint32 head = raw.u32(header + 4);
        RowId link{head >> 8, head & 0xFF};
        int links = 0;
        while (raw.u32(raw.start(link)) != 0 && ++links < 100) {
            const quint32 next = raw.u32(raw.start(link));
            link = {next >> 8, next & 0xFF};
        }
        ASSERT_GT(links, 0) << "the memo should span several pages";
        damaged.put(damaged.start(link), head, 4);
        damaged.put(header, 0x3FFFFFFF, 4);
        damaged.save(file("circle.mdb"));
        expectNamed(readingError(file("circle.mdb"), "T_Damaged"), ids[2], "circle");
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, AccessReader,
                         ::testing::Values(JetVersion::Jet4, JetVersion::Jet3),
                         [](const auto& info) {
                             return info.param == JetVersion::Jet4 ? "Jet4" : "Jet3";
                         });

} // namespace
