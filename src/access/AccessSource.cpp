// The Access reader. libmdb opens the file, lists its tables and reads column definitions and
// pages; rows are found, followed and taken apart here, and every value is decoded from the
// row's bytes and its null mask, so that a damaged row is reported instead of misread.
#include "AccessSource.h"

#include "AccessTables.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>
#include <QtEndian>

#include <mdbtools.h>

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace sqllumo::db {

namespace {

// The high bits of a row's offset on its data page. A row that grew past its page moved to
// another one: its place keeps a 4-byte pointer (page << 8 | row) and carries kPointerRow, the
// moved row carries kDeletedRow so that a walk over the pages passes it by. A deleted row
// carries kDeletedRow, usually with kPointerRow as well.
constexpr int kOffsetMask = 0x1FFF;
constexpr int kPointerRow = 0x4000;
constexpr int kDeletedRow = 0x8000;
constexpr int kMemoHeaderSize = 12;
constexpr unsigned char kDataPage = 0x01;
constexpr int kMaxLongValuePages = 1 << 20;

[[noreturn]] void closedObject()
{
    throw Error(kClosedObject, texts::kClosedObject);
}

// UTF-16LE code units as they are, none checked or replaced.
QString utf16Text(const unsigned char* bytes, size_t size)
{
    QString out(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        out[static_cast<qsizetype>(i / 2)] =
            QChar(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return out;
}

template <typename T> T readLittle(const unsigned char* p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    return qFromLittleEndian(value);
}

int adoTypeOf(int mdbType)
{
    switch (mdbType) {
    case MDB_BOOL:
        return adotype::kBoolean;
    case MDB_BYTE:
        return adotype::kTinyInt;
    case MDB_INT:
        return adotype::kSmallInt;
    case MDB_LONGINT:
        return adotype::kInteger;
    case MDB_MONEY:
        return adotype::kCurrency;
    case MDB_FLOAT:
        return adotype::kSingle;
    case MDB_DOUBLE:
        return adotype::kDouble;
    case MDB_DATETIME:
        return adotype::kDate;
    case MDB_TEXT:
        return adotype::kVarWChar;
    case MDB_MEMO:
        return adotype::kLongVarWChar;
    case MDB_OLE:
        return adotype::kLongVarBinary;
    case MDB_REPID:
        return adotype::kGuid;
    case MDB_NUMERIC:
        return adotype::kNumeric;
    default:
        return adotype::kVarBinary;
    }
}

// The size Access shows for a column: characters for Text (two bytes each in Jet 4 files),
// bytes for Binary and the fixed-size types, nothing for the long values.
int definedSizeOf(const MdbColumn& col, bool jet3)
{
    switch (col.col_type) {
    case MDB_BOOL:
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    case MDB_TEXT:
        return jet3 ? col.col_size : col.col_size / 2;
    case MDB_MEMO:
    case MDB_OLE:
        return 0;
    default:
        return col.col_size;
    }
}

// Where one row's bytes lie on a page held in buf: nullopt for a row the page does not have
// or whose offsets leave the page.
struct RowSlot {
    int start = 0;
    int size = 0;
    int flags = 0;
};

int rowsOnPage(const MdbHandle* mdb, const unsigned char* buf)
{
    return readLittle<quint16>(buf + mdb->fmt->row_count_offset);
}

std::optional<RowSlot> rowSlot(const MdbHandle* mdb, const unsigned char* buf, int row)
{
    const int rco = mdb->fmt->row_count_offset;
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    if (row < 0 || row >= rowsOnPage(mdb, buf) || rco + 4 + row * 2 > pageSize)
        return std::nullopt;
    const int raw = readLittle<quint16>(buf + rco + 2 + row * 2);
    const int next = row == 0 ? pageSize : (readLittle<quint16>(buf + rco + row * 2) & kOffsetMask);
    RowSlot slot;
    slot.start = raw & kOffsetMask;
    slot.flags = raw & ~kOffsetMask;
    slot.size = next - slot.start;
    if (slot.start < rco + 2 || slot.size < 0 || next > pageSize)
        return std::nullopt;
    return slot;
}

// A row's bytes as they are laid out: the column count, the fixed-size values, the variable
// ones, their offset table (one byte an entry in Jet 3, helped by a table of 256-byte jumps),
// and the null mask, one bit a column number.
struct FieldPlace {
    int start = 0; // on the page
    int size = 0;
    bool null = true;
};

// The file opened with its table list read; the caller closes it.
MdbHandle* openCatalogue(const QString& path)
{
    CheckAccessFileHeader(path);
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        throw Error(
            kConnectionFailed,
            QStringLiteral("The file %1 cannot be opened as an Access database.").arg(path));
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        mdb_close(mdb);
        throw Error(
            kConnectionFailed,
            QStringLiteral("The table list of the Access file %1 cannot be read.").arg(path));
    }
    return mdb;
}

} // namespace

QString AccessSourcePath(const QString& sourceString)
{
    static const QRegularExpression dataSource(QStringLiteral("(?:^|;)\\s*Data Source\\s*=([^;]*)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = dataSource.match(sourceString);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

QDateTime AccessDateTime(double storedValue)
{
    static const QDate base(1899, 12, 30);
    const double whole = std::trunc(storedValue);
    long long milliseconds = std::llround(std::fabs(storedValue - whole) * 86400000.0);
    QDate date = base.addDays(static_cast<qint64>(whole));
    if (milliseconds >= 86400000LL) {
        date = date.addDays(1);
        milliseconds = 0;
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds)),
                     Qt::UTC);
}

QString AccessTypeName(int accessType)
{
    switch (accessType) {
    case MDB_BOOL:
        return QStringLiteral("Yes/No");
    case MDB_BYTE:
        return QStringLiteral("Byte");
    case MDB_INT:
        return QStringLiteral("Integer");
    case MDB_LONGINT:
        return QStringLiteral("Long Integer");
    case MDB_MONEY:
        return QStringLiteral("Currency");
    case MDB_FLOAT:
        return QStringLiteral("Single");
    case MDB_DOUBLE:
        return QStringLiteral("Double");
    case MDB_DATETIME:
        return QStringLiteral("Date/Time");
    case MDB_BINARY:
        return QStringLiteral("Binary");
    case MDB_TEXT:
        return QStringLiteral("Text");
    case MDB_OLE:
        return QStringLiteral("OLE Object");
    case MDB_MEMO:
        return QStringLiteral("Memo");
    case MDB_REPID:
        return QStringLiteral("Replication ID");
    case MDB_NUMERIC:
        return QStringLiteral("Decimal");
    default:
        return QStringLiteral("Unknown type 0x%1").arg(accessType, 2, 16, QLatin1Char('0'));
    }
}

QStringList AccessTableNames(const QString& path)
{
    MdbHandle* mdb = openCatalogue(path);
    const std::unique_ptr<MdbHandle, void (*)(MdbHandle*)> guard(mdb, mdb_close);
    QStringList names;
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names.push_back(QString::fromUtf8(entry->object_name));
    }
    return names;
}

namespace detail {

// One column as the rows store it.
struct ColumnLayout {
    int type = 0;
    int number = 0;   // the bit in the null mask; numbers of dropped columns stay unused
    int varIndex = 0; // the entry in the offset table, for variable-length columns
    int fixedOffset = 0;
    int fixedSize = 0;
    bool fixed = false;
    int precision = 0;
    int scale = 0;
};

struct AccessRecordsetState {
    MdbHandle* mdb = nullptr;
    MdbTableDef* table = nullptr;
    iconv_t codePage = reinterpret_cast<iconv_t>(-1); // Jet 3 text -> UTF-16LE
    bool jet3 = false;
    long pageCount = 0; // pages the file holds
    QString tableName;
    bool open = false;

    std::vector<QString> names;
    std::vector<int> mdbTypes;
    std::vector<int> definedSizes;
    std::vector<ColumnLayout> layout;
    bool varTable = false; // rows carry an offset table for variable-length columns

    // Walking the file: the data page scanned and the row on it, the page and bytes of the
    // current row (another page for a row that moved), and the page libmdb holds.
    long scanPage = 0;
    int scanRow = -1;
    long rowPage = 0;
    RowSlot row;
    long loadedPage = -1;
    bool atEnd = true;
    long long position = 0; // 0-based index of the current row
    long long count = -1;
    // Where moved rows lie (page << 8 | row): a walk meets them through their pointers only.
    std::unordered_set<quint32> movedRows;
    std::vector<FieldPlace> fields;
    mutable std::vector<std::optional<QVariant>> decoded;

    // ORDER BY: one column, read whole and sorted.
    bool sorted = false;
    std::vector<QVariant> sortedValues;

    ~AccessRecordsetState() { release(); }
    void release()
    {
        if (codePage != reinterpret_cast<iconv_t>(-1))
            iconv_close(codePage);
        codePage = reinterpret_cast<iconv_t>(-1);
        if (table)
            mdb_free_tabledef(table);
        table = nullptr;
        if (mdb)
            mdb_close(mdb);
        mdb = nullptr;
    }

    [[noreturn]] void rowError(const QString& why) const
    {
        throw Error(kConnectionFailed, QStringLiteral("Row %1 on page %2 of table %3 in the Access "
                                                      "file cannot be read: %4.")
                                           .arg(scanRow)
                                           .arg(scanPage)
                                           .arg(tableName, why));
    }

    void load(long page)
    {
        if (loadedPage == page)
            return;
        if (mdb_read_pg(mdb, static_cast<unsigned long>(page)) != mdb->fmt->pg_size)
            throw Error(kConnectionFailed,
                        QStringLiteral("Page %1 of the Access file cannot be read.").arg(page));
        loadedPage = page;
    }

    // Loads a page a pointer names; false when it is not one of this table's data pages.
    bool loadTablePage(long page)
    {
        if (page <= 0 || page >= pageCount ||
            mdb_read_pg(mdb, static_cast<unsigned long>(page)) != mdb->fmt->pg_size) {
            loadedPage = -1;
            return false;
        }
        loadedPage = page;
        return mdb->pg_buf[0] == kDataPage &&
               readLittle<quint32>(mdb->pg_buf + 4) == table->entry->table_pg;
    }

    void rewind()
    {
        mdb_rewind_table(table);
        scanPage = 0;
        scanRow = -1;
        atEnd = false;
        loadedPage = -1;
        position = -1;
        advance();
    }

    // Moves to the next row of the table, taking its slots in page order and passing by
    // deleted rows and moved ones (met through their pointers); atEnd when there is none.
    void advance()
    {
        decoded.assign(names.size(), std::nullopt);
        for (;;) {
            if (scanPage != 0) {
                load(scanPage);
                ++scanRow;
                if (scanRow < rowsOnPage(mdb, mdb->pg_buf)) {
                    const auto slot = rowSlot(mdb, mdb->pg_buf, scanRow);
                    if (!slot)
                        rowError(QStringLiteral("its place on the page lies outside the page"));
                    if (slot->flags & kDeletedRow ||
                        (!(slot->flags & kPointerRow) &&
                         movedRows.count(static_cast<quint32>(scanPage << 8 | scanRow))))
                        continue;
                    rowPage = scanPage;
                    row = *slot;
                    if (slot->flags & kPointerRow)
                        followPointer();
                    crack();
                    ++position;
                    return;
                }
            }
            const int next = mdb_read_next_dpg(table);
            if (next <= 0) {
                atEnd = true;
                ++position;
                return;
            }
            scanPage = next;
            loadedPage = next;
            scanRow = -1;
        }
    }

    void followPointer()
    {
        if (row.size < 4)
            rowError(QStringLiteral("it is marked as moved but holds no pointer"));
        const quint32 pointer = readLittle<quint32>(mdb->pg_buf + row.start);
        const long page = static_cast<long>(pointer >> 8);
        const int target = static_cast<int>(pointer & 0xFF);
        if (!loadTablePage(page))
            rowError(QStringLiteral("it moved to page %1, which holds none of the table's rows")
                         .arg(page));
        const auto slot = rowSlot(mdb, mdb->pg_buf, target);
        if (!slot)
            rowError(QStringLiteral("it moved to row %1 of page %2, which that page does not have")
                         .arg(target)
                         .arg(page));
        if (slot->flags & kPointerRow)
            rowError(QStringLiteral("it moved to row %1 of page %2, which is deleted or moved "
                                    "itself")
                         .arg(target)
                         .arg(page));
        rowPage = page;
        row = *slot;
    }

    // One pass over the table's pages: the rows a walk meets (every live place, moved rows
    // counted at their pointers) and where the moved rows lie.
    void survey()
    {
        long long places = 0;
        movedRows.clear();
        mdb_rewind_table(table);
        loadedPage = -1;
        for (int page = mdb_read_next_dpg(table); page > 0; page = mdb_read_next_dpg(table)) {
            const int rows = rowsOnPage(mdb, mdb->pg_buf);
            for (int r = 0; r < rows; ++r) {
                const auto slot = rowSlot(mdb, mdb->pg_buf, r);
                if (slot && slot->flags & kDeletedRow)
                    continue;
                ++places;
                if (slot && slot->flags & kPointerRow && slot->size >= 4)
                    movedRows.insert(readLittle<quint32>(mdb->pg_buf + slot->start));
            }
        }
        // A moved row without the mark a walk passes by would otherwise be met twice.
        for (const quint32 moved : movedRows) {
            if (!loadTablePage(static_cast<long>(moved >> 8)))
                continue;
            const auto slot = rowSlot(mdb, mdb->pg_buf, static_cast<int>(moved & 0xFF));
            if (slot && !(slot->flags & (kDeletedRow | kPointerRow)))
                --places;
        }
        loadedPage = -1;
        count = places;
    }

    // Finds each column's bytes in the current row; a row whose lengths and offsets do not
    // fit in its bytes is a damaged row.
    void crack()
    {
        load(rowPage);
        const unsigned char* r = mdb->pg_buf + row.start;
        const int size = row.size;
        const int countSize = jet3 ? 1 : 2;
        if (size < countSize)
            rowError(QStringLiteral("it has no bytes"));
        const int rowColumns = jet3 ? r[0] : readLittle<quint16>(r);
        const int maskSize = (rowColumns + 7) / 8;
        if (size < countSize + maskSize)
            rowError(QStringLiteral("it is shorter than its null mask"));
        const unsigned char* mask = r + size - maskSize;
        std::vector<int> offsets;
        int fixedEnd = size - maskSize;
        if (varTable) {
            offsets = variableOffsets(r, size, maskSize, countSize);
            fixedEnd = offsets.front();
        }
        const int rowVarColumns = std::max(0, static_cast<int>(offsets.size()) - 1);
        fields.assign(layout.size(), FieldPlace{});
        for (size_t i = 0; i < layout.size(); ++i) {
            const ColumnLayout& c = layout[i];
            FieldPlace& f = fields[i];
            // A column added after the row was written is NULL (No) in it.
            if (c.number >= rowColumns)
                continue;
            f.null = !(mask[c.number / 8] & (1 << (c.number % 8)));
            if (f.null || c.type == MDB_BOOL)
                continue;
            int start = 0;
            int end = 0;
            if (c.fixed) {
                start = countSize + c.fixedOffset;
                end = start + c.fixedSize;
                if (end > fixedEnd)
                    rowError(QStringLiteral("the value of column %1 lies outside the row")
                                 .arg(names[i]));
            } else if (c.varIndex < rowVarColumns) {
                start = offsets[static_cast<size_t>(c.varIndex)];
                end = offsets[static_cast<size_t>(c.varIndex) + 1];
            } else {
                f.null = true;
                continue;
            }
            f.start = row.start + start;
            f.size = end - start;
        }
    }

    // The offsets of the variable-length values, then where they end; each checked to lie
    // in order between the fixed-size values and the offset table.
    std::vector<int> variableOffsets(const unsigned char* r, int size, int maskSize,
                                     int countSize) const
    {
        std::vector<int> offsets;
        int tableStart = 0;
        if (jet3) {
            if (size < countSize + maskSize + 2)
                rowError(QStringLiteral("it is too short for its offset table"));
            const int entries = r[size - maskSize - 1] + 1;
            int jumps = (size - 1) / 256;
            const int first = size - maskSize - 2 - jumps; // the entry of the first value
            tableStart = first - entries + 1;
            if (tableStart < countSize)
                rowError(QStringLiteral("it is too short for its offset table"));
            if ((first - entries + 1) / 256 < jumps)
                --jumps; // the last jump is a filler
            int used = 0;
            for (int i = 0; i < entries; ++i) {
                while (used < jumps && r[size - maskSize - 2 - used] == i)
                    ++used;
                offsets.push_back(r[first - i] + 256 * used);
            }
        } else {
            if (size < countSize + maskSize + 2)
                rowError(QStringLiteral("it is too short for its offset table"));
            const int entries = readLittle<quint16>(r + size - maskSize - 2) + 1;
            tableStart = size - maskSize - 2 - 2 * entries;
            if (tableStart < countSize)
                rowError(QStringLiteral("it is too short for its offset table"));
            for (int i = 0; i < entries; ++i)
                offsets.push_back(readLittle<quint16>(r + size - maskSize - 4 - 2 * i));
        }
        int previous = countSize;
        for (const int offset : offsets) {
            if (offset < previous || offset > tableStart)
                rowError(QStringLiteral("its offset table points outside its values"));
            previous = offset;
        }
        return offsets;
    }

    QString text(const unsigned char* bytes, size_t size) const
    {
        if (jet3)
            return codePageText(bytes, size);
        // Jet 4: UTF-16LE, or "compressed": FF FE, then runs of one byte per character
        // (code units up to 0xFF) and of two, each 00 switching between them.
        if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
            QString out;
            out.reserve(static_cast<qsizetype>(size));
            bool compressed = true;
            size_t i = 2;
            while (i < size) {
                if (bytes[i] == 0) {
                    compressed = !compressed;
                    ++i;
                } else if (compressed) {
                    out += QChar(static_cast<char16_t>(bytes[i]));
                    ++i;
                } else if (i + 1 < size) {
                    out += QChar(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
                    i += 2;
                } else {
                    break;
                }
            }
            return out;
        }
        return utf16Text(bytes, size);
    }

    QString codePageText(const unsigned char* bytes, size_t size) const
    {
        if (size == 0)
            return QString();
        QByteArray out(static_cast<qsizetype>(size * 4 + 4), Qt::Uninitialized);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        size_t inLeft = size;
        char* to = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        iconv(codePage, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            if (iconv(codePage, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1))
                break;
            // A byte the code page leaves undefined: U+FFFD, and on with the next one.
            if (outLeft < 2)
                break;
            *to++ = static_cast<char>(0xFD);
            *to++ = static_cast<char>(0xFF);
            outLeft -= 2;
            ++in;
            --inLeft;
        }
        out.truncate(static_cast<qsizetype>(to - out.data()));
        return utf16Text(reinterpret_cast<const unsigned char*>(out.constData()),
                         static_cast<size_t>(out.size()));
    }

    // The bytes of a memo or OLE value: inline after its 12-byte header, in one row of a
    // long-value page, or in a chain of such rows each naming the next. The length in the
    // header must be what the chain holds; a chain that runs short or in a circle is damage.
    QByteArray longValue(const unsigned char* header, int size, int column) const
    {
        const QString& name = names[static_cast<size_t>(column)];
        if (size < kMemoHeaderSize)
            rowError(QStringLiteral("the value of column %1 is shorter than its header").arg(name));
        const quint32 lengthAndFlags = readLittle<quint32>(header);
        const auto length = static_cast<qsizetype>(lengthAndFlags & 0x3FFFFFFF);
        const quint32 form = lengthAndFlags & 0xC0000000;
        if (form == 0x80000000) {
            if (length > size - kMemoHeaderSize)
                rowError(
                    QStringLiteral("the value of column %1 is shorter than its length").arg(name));
            return QByteArray(reinterpret_cast<const char*>(header + kMemoHeaderSize), length);
        }
        if (form != 0x40000000 && form != 0)
            rowError(
                QStringLiteral("the value of column %1 is stored in a form not known").arg(name));
        QByteArray out;
        const auto brokenOff = [&] {
            rowError(QStringLiteral("the value of column %1 breaks off after %2 of its %3 bytes")
                         .arg(name)
                         .arg(out.size())
                         .arg(length));
        };
        quint32 pointer = readLittle<quint32>(header + 4);
        std::unordered_set<quint32> seen;
        while (out.size() < length) {
            if (pointer == 0 || static_cast<long>(pointer >> 8) >= pageCount ||
                !seen.insert(pointer).second || seen.size() > kMaxLongValuePages ||
                mdb_read_alt_pg(mdb, pointer >> 8) != mdb->fmt->pg_size)
                brokenOff();
            const auto slot = rowSlot(mdb, mdb->alt_pg_buf, static_cast<int>(pointer & 0xFF));
            const int skip = form == 0 ? 4 : 0; // a chain's rows begin with the next one's place
            if (!slot || slot->size < skip)
                rowError(QStringLiteral("the value of column %1 points to a row that does not "
                                        "exist")
                             .arg(name));
            const unsigned char* data = mdb->alt_pg_buf + slot->start;
            const qsizetype take = std::min<qsizetype>(slot->size - skip, length - out.size());
            out.append(reinterpret_cast<const char*>(data + skip), take);
            if (form != 0)
                break;
            pointer = readLittle<quint32>(data);
        }
        if (out.size() < length)
            brokenOff();
        return out;
    }

    QVariant decode(int column) const
    {
        const FieldPlace& field = fields[static_cast<size_t>(column)];
        const ColumnLayout& c = layout[static_cast<size_t>(column)];
        const int type = c.type;
        // A yes/no column has no bytes: its null-mask bit is its value.
        if (type == MDB_BOOL)
            return QVariant(!field.null);
        if (field.null)
            return QVariant();
        const unsigned char* p = mdb->pg_buf + field.start;
        const int size = field.size;
        const QString& name = names[static_cast<size_t>(column)];
        auto need = [&](int bytes) {
            if (size < bytes)
                rowError(QStringLiteral("the value of column %1 is too short").arg(name));
        };
        switch (type) {
        case MDB_BYTE:
            need(1);
            return QVariant(static_cast<int>(p[0]));
        case MDB_INT:
            need(2);
            return QVariant(static_cast<int>(readLittle<qint16>(p)));
        case MDB_LONGINT:
        case MDB_COMPLEX:
            need(4);
            return QVariant(static_cast<int>(readLittle<qint32>(p)));
        case MDB_MONEY:
            need(8);
            return QVariant(static_cast<double>(readLittle<qint64>(p)) / 10000.0);
        case MDB_FLOAT: {
            need(4);
            const quint32 bits = readLittle<quint32>(p);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return QVariant(static_cast<double>(value));
        }
        case MDB_DOUBLE:
        case MDB_DATETIME: {
            need(8);
            const quint64 bits = readLittle<quint64>(p);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            if (type == MDB_DOUBLE)
                return QVariant(value);
            if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
                rowError(QStringLiteral("column %1 holds a date that is not valid").arg(name));
            return QVariant(AccessDateTime(value));
        }
        case MDB_TEXT:
            return QVariant(text(p, static_cast<size_t>(size)));
        case MDB_MEMO: {
            const QByteArray bytes = longValue(p, size, column);
            return QVariant(text(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 static_cast<size_t>(bytes.size())));
        }
        case MDB_OLE:
            return QVariant(longValue(p, size, column));
        case MDB_REPID: {
            need(16);
            return QVariant(QUuid(readLittle<quint32>(p), readLittle<quint16>(p + 4),
                                  readLittle<quint16>(p + 6), p[8], p[9], p[10], p[11], p[12],
                                  p[13], p[14], p[15])
                                .toString());
        }
        case MDB_NUMERIC: {
            need(17);
            char* textValue = mdb_numeric_to_string(mdb, field.start, c.scale, c.precision);
            const double value = textValue ? QString::fromLatin1(textValue).toDouble() : 0.0;
            g_free(textValue);
            return QVariant(value);
        }
        default:
            return QVariant(QByteArray(reinterpret_cast<const char*>(p), size));
        }
    }
};

} // namespace detail

using detail::AccessRecordsetState;

AccessRecordset::AccessRecordset() : d_(std::make_unique<AccessRecordsetState>()) {}
AccessRecordset::~AccessRecordset() = default;
AccessRecordset::AccessRecordset(AccessRecordset&&) noexcept = default;
AccessRecordset& AccessRecordset::operator=(AccessRecordset&&) noexcept = default;

void AccessRecordset::open(const QString& statement, const QString& sourceString)
{
    close();
    static const QRegularExpression shape(
        QStringLiteral(
            "^\\s*(?:SELECT\\s+(\\*|\\[?\\w+\\]?)\\s+FROM\\s+)?(?:\\[([^\\]]+)\\]|(\\w+))"
            "(?:\\s+ORDER\\s+BY\\s+\\[?(\\w+)\\]?)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(statement);
    const QString select = match.captured(1);
    const QString orderBy = match.captured(4);
    auto unbracketed = [](QString name) {
        if (name.startsWith(QLatin1Char('[')))
            name = name.mid(1, name.size() - 2);
        return name;
    };
    const bool plain = select.isEmpty() || select == QLatin1String("*");
    if (!match.hasMatch() || (plain && !orderBy.isEmpty()) ||
        (!plain && unbracketed(select).compare(orderBy, Qt::CaseInsensitive) != 0))
        throw Error(kInvalidArgument,
                    QStringLiteral("The Access reader takes \"SELECT * FROM table\" or \"SELECT "
                                   "column FROM table ORDER BY column\", not: %1")
                        .arg(statement));
    // A name in brackets may hold blanks and other signs, as Access allows.
    const QString tableName = match.hasCaptured(2) ? match.captured(2) : match.captured(3);

    const QString path = AccessSourcePath(sourceString);
    if (path.isEmpty())
        throw Error(kInvalidArgument,
                    QStringLiteral("The Access source names no file (Data Source=...)."));
    auto d = std::make_unique<AccessRecordsetState>();
    d->mdb = openCatalogue(path);
    d->jet3 = d->mdb->f->jet_version == MDB_VER_JET3;
    d->pageCount = static_cast<long>(QFileInfo(path).size() / d->mdb->fmt->pg_size);
    if (d->jet3) {
        const int codePage = d->mdb->f->code_page ? d->mdb->f->code_page : 1252;
        d->codePage = iconv_open("UTF-16LE", ("CP" + std::to_string(codePage)).c_str());
        if (d->codePage == reinterpret_cast<iconv_t>(-1))
            d->codePage = iconv_open("UTF-16LE", "CP1252");
    }
    MdbCatalogEntry* entry = nullptr;
    for (guint i = 0; i < d->mdb->num_catalog && !entry; ++i) {
        auto* candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (candidate->object_type == MDB_TABLE &&
            QString::fromUtf8(candidate->object_name).compare(tableName, Qt::CaseInsensitive) == 0)
            entry = candidate;
    }
    if (!entry)
        throw Error(kMissingTable,
                    QStringLiteral("The Access file has no table named %1.").arg(tableName));
    d->table = mdb_read_table(entry);
    if (!d->table || !mdb_read_columns(d->table))
        throw Error(
            kConnectionFailed,
            QStringLiteral("The table %1 of the Access file cannot be read.").arg(tableName));
    d->tableName = QString::fromUtf8(d->table->name);
    for (guint i = 0; i < d->table->num_cols; ++i) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(d->table->columns, i));
        d->names.push_back(QString::fromUtf8(col->name));
        d->mdbTypes.push_back(col->col_type);
        d->definedSizes.push_back(definedSizeOf(*col, d->jet3));
        detail::ColumnLayout c;
        c.type = col->col_type;
        c.number = col->col_num;
        c.varIndex = col->var_col_num;
        c.fixedOffset = col->fixed_offset;
        c.fixedSize = definedSizeOf(*col, d->jet3);
        c.fixed = col->is_fixed;
        c.precision = col->col_prec;
        c.scale = col->col_scale;
        d->varTable = d->varTable || !c.fixed;
        d->layout.push_back(c);
    }
    d->varTable = d->varTable || d->table->num_var_cols > 0;
    d->open = true;

    if (!plain) {
        const auto it = std::find_if(d->names.begin(), d->names.end(), [&](const QString& n) {
            return n.compare(orderBy, Qt::CaseInsensitive) == 0;
        });
        if (it == d->names.end())
            throw Error(kItemNotFound, QStringLiteral("The table %1 of the Access file has no "
                                                      "column %2.")
                                           .arg(d->tableName, orderBy));
        const int column = static_cast<int>(it - d->names.begin());
        d->survey();
        for (d->rewind(); !d->atEnd; d->advance())
            d->sortedValues.push_back(d->decode(column));
        std::stable_sort(d->sortedValues.begin(), d->sortedValues.end(),
                         [](const QVariant& a, const QVariant& b) {
                             if (a.isNull() || b.isNull())
                                 return a.isNull() && !b.isNull();
                             return QVariant::compare(a, b) == QPartialOrdering::Less;
                         });
        d->names = {d->names[static_cast<size_t>(column)]};
        d->mdbTypes = {d->mdbTypes[static_cast<size_t>(column)]};
        d->definedSizes = {d->definedSizes[static_cast<size_t>(column)]};
        d->sorted = true;
        d->count = static_cast<long long>(d->sortedValues.size());
        d->position = 0;
        d->atEnd = d->sortedValues.empty();
        d->release();
    } else {
        d->survey();
        d->rewind();
    }
    d_ = std::move(d);
}

bool AccessRecordset::isOpen() const
{
    return d_->open;
}

void AccessRecordset::close()
{
    d_ = std::make_unique<AccessRecordsetState>();
}

bool AccessRecordset::eof() const
{
    if (!d_->open)
        closedObject();
    return d_->atEnd;
}

bool AccessRecordset::bof() const
{
    if (!d_->open)
        closedObject();
    return d_->count == 0 || d_->position < 0;
}

long long AccessRecordset::recordCount() const
{
    if (!d_->open)
        closedObject();
    return d_->count;
}

void AccessRecordset::moveFirst()
{
    if (!d_->open)
        closedObject();
    if (d_->sorted) {
        d_->position = 0;
        d_->atEnd = d_->sortedValues.empty();
    } else {
        d_->rewind();
    }
}

void AccessRecordset::moveNext()
{
    if (eof())
        throw Error(kNoCurrentRow, texts::kNoCurrentRow);
    if (d_->sorted) {
        ++d_->position;
        d_->atEnd = d_->position >= d_->count;
    } else {
        d_->advance();
    }
}

int AccessRecordset::fieldCount() const
{
    if (!d_->open)
        closedObject();
    return static_cast<int>(d_->names.size());
}

QString AccessRecordset::fieldName(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw Error(kItemNotFound, texts::kItemNotFound);
    return d_->names[static_cast<size_t>(index)];
}

int AccessRecordset::fieldType(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw Error(kItemNotFound, texts::kItemNotFound);
    return adoTypeOf(d_->mdbTypes[static_cast<size_t>(index)]);
}

int AccessRecordset::fieldAccessType(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw Error(kItemNotFound, texts::kItemNotFound);
    return d_->mdbTypes[static_cast<size_t>(index)];
}

int AccessRecordset::fieldDefinedSize(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw Error(kItemNotFound, texts::kItemNotFound);
    return d_->definedSizes[static_cast<size_t>(index)];
}

int AccessRecordset::fieldIndex(const QString& name) const
{
    const int n = fieldCount();
    for (int i = 0; i < n; ++i)
        if (d_->names[static_cast<size_t>(i)].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant AccessRecordset::value(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw Error(kItemNotFound, texts::kItemNotFound);
    if (d_->atEnd || d_->position < 0)
        throw Error(kNoCurrentRow, texts::kNoCurrentRow);
    if (d_->sorted)
        return d_->sortedValues[static_cast<size_t>(d_->position)];
    auto& cached = d_->decoded[static_cast<size_t>(index)];
    if (!cached) {
        d_->load(d_->rowPage);
        cached = d_->decode(index);
    }
    return *cached;
}

QVariant AccessRecordset::value(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw Error(kItemNotFound, QStringLiteral("The table %1 of the Access file has no "
                                                  "column %2.")
                                       .arg(d_->tableName, name));
    return value(index);
}

} // namespace sqllumo::db
