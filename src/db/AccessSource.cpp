// The Access reader over libmdb. Rows are found and cracked with libmdb, but every value is
// decoded here from the row's bytes and its null mask: libmdb's bound-column path shows an
// empty text as NULL and renders dates before 1900 wrongly.
#include "AccessSource.h"

#include "SqlText.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
#include <QtEndian>

#include <mdbtools.h>

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sqllumo::db {

namespace {

constexpr int kOffsetMask = 0x1FFF;
constexpr int kDeletedRow = 0x4000;
constexpr int kOverflowRow = 0x8000;
constexpr int kMemoHeaderSize = 12;

[[noreturn]] void closedObject()
{
    throw Error(kClosedObject, texts::kClosedObject);
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

// Where one row's bytes lie on a page held in buf: nullopt for a slot past the page's rows.
struct RowSlot {
    int start = 0;
    int size = 0;
    int flags = 0;
};

std::optional<RowSlot> rowSlot(const MdbHandle* mdb, const unsigned char* buf, int row)
{
    const int rco = mdb->fmt->row_count_offset;
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    const int rows = readLittle<quint16>(buf + rco);
    if (row < 0 || row >= rows)
        return std::nullopt;
    const int raw = readLittle<quint16>(buf + rco + 2 + row * 2);
    const int next = row == 0 ? pageSize : (readLittle<quint16>(buf + rco + row * 2) & kOffsetMask);
    RowSlot slot;
    slot.start = raw & kOffsetMask;
    slot.flags = raw & ~kOffsetMask;
    slot.size = next - slot.start;
    if (slot.start >= pageSize || slot.size < 0 || next > pageSize)
        return std::nullopt;
    return slot;
}

// The file opened with its table list read; the caller closes it.
MdbHandle* openCatalogue(const QString& path)
{
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

struct AccessRecordsetState {
    MdbHandle* mdb = nullptr;
    MdbTableDef* table = nullptr;
    iconv_t codePage = reinterpret_cast<iconv_t>(-1); // Jet 3 text -> UTF-16LE
    bool jet3 = false;
    QString tableName;
    bool open = false;

    std::vector<QString> names;
    std::vector<int> mdbTypes;
    std::vector<int> definedSizes;

    // Walking the file: the data page scanned, the slot on it, the page and bytes of the
    // current row (another page for a row that overflowed), and the page libmdb holds.
    long scanPage = 0;
    int scanRow = -1;
    long rowPage = 0;
    RowSlot row;
    long loadedPage = -1;
    bool atEnd = true;
    long long position = 0; // 0-based index of the current row
    long long count = -1;
    std::vector<MdbField> fields;
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

    void load(long page)
    {
        if (loadedPage == page)
            return;
        if (mdb_read_pg(mdb, static_cast<unsigned long>(page)) != mdb->fmt->pg_size)
            throw Error(kConnectionFailed,
                        QStringLiteral("Page %1 of the Access file cannot be read.").arg(page));
        loadedPage = page;
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

    // Moves to the next live row of the table; atEnd when there is none.
    void advance()
    {
        decoded.assign(names.size(), std::nullopt);
        for (;;) {
            if (scanPage != 0) {
                load(scanPage);
                ++scanRow;
                const auto slot = rowSlot(mdb, mdb->pg_buf, scanRow);
                if (slot) {
                    if (slot->flags & kDeletedRow)
                        continue;
                    rowPage = scanPage;
                    row = *slot;
                    if (slot->flags & kOverflowRow)
                        followOverflow();
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

    // A row that grew past its page leaves a pointer (page << 8 | row) to where it went.
    void followOverflow()
    {
        const quint32 pointer = readLittle<quint32>(mdb->pg_buf + row.start);
        rowPage = static_cast<long>(pointer >> 8);
        load(rowPage);
        const auto slot = rowSlot(mdb, mdb->pg_buf, static_cast<int>(pointer & 0xFF));
        if (!slot)
            throw Error(kConnectionFailed,
                        QStringLiteral("A row of table %1 in the Access file points to a row "
                                       "that does not exist.")
                            .arg(tableName));
        row = *slot;
    }

    void crack()
    {
        load(rowPage);
        fields.assign(std::max<size_t>(names.size(), MDB_MAX_COLS), MdbField{});
        mdb_crack_row(table, row.start, static_cast<size_t>(row.size), fields.data());
    }

    long long countRows()
    {
        long long n = 0;
        mdb_rewind_table(table);
        loadedPage = -1;
        for (int page = mdb_read_next_dpg(table); page > 0; page = mdb_read_next_dpg(table)) {
            const int rows = readLittle<quint16>(mdb->pg_buf + mdb->fmt->row_count_offset);
            for (int r = 0; r < rows; ++r)
                if (const auto slot = rowSlot(mdb, mdb->pg_buf, r);
                    slot && !(slot->flags & kDeletedRow))
                    ++n;
        }
        return n;
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
        QString out(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
        for (size_t i = 0; i + 1 < size; i += 2)
            out[static_cast<qsizetype>(i / 2)] =
                QChar(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        return out;
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
        return TextFromUtf16Bytes(out);
    }

    // The bytes of a memo or OLE field: inline after its header, on one other page, or on a
    // chain of pages each naming the next.
    QByteArray longValue(const unsigned char* header, int size, int column) const
    {
        if (size < kMemoHeaderSize)
            return QByteArray();
        const quint32 lengthAndFlags = readLittle<quint32>(header);
        const quint32 length = lengthAndFlags & 0x3FFFFFFF;
        if (lengthAndFlags & 0x80000000)
            return QByteArray(reinterpret_cast<const char*>(header + kMemoHeaderSize),
                              std::min<qsizetype>(length, size - kMemoHeaderSize));
        quint32 pointer = readLittle<quint32>(header + 4);
        const bool single = lengthAndFlags & 0x40000000;
        QByteArray out;
        for (int pages = 0; pointer != 0; ++pages) {
            if (pages > 100000 || mdb_read_alt_pg(mdb, pointer >> 8) != mdb->fmt->pg_size)
                throw Error(kConnectionFailed,
                            QStringLiteral("The long value in column %1 of table %2 cannot be "
                                           "read from the Access file.")
                                .arg(names[static_cast<size_t>(column)], tableName));
            const auto slot = rowSlot(mdb, mdb->alt_pg_buf, static_cast<int>(pointer & 0xFF));
            if (!slot)
                break;
            const unsigned char* data = mdb->alt_pg_buf + slot->start;
            if (single) {
                out.append(reinterpret_cast<const char*>(data), slot->size);
                break;
            }
            if (slot->size < 4)
                break;
            pointer = readLittle<quint32>(data);
            out.append(reinterpret_cast<const char*>(data + 4), slot->size - 4);
        }
        if (static_cast<quint32>(out.size()) > length)
            out.truncate(static_cast<qsizetype>(length));
        return out;
    }

    QVariant decode(int column) const
    {
        const MdbField& field = fields[static_cast<size_t>(column)];
        const int type = mdbTypes[static_cast<size_t>(column)];
        // A yes/no column has no bytes: its null-mask bit is its value.
        if (type == MDB_BOOL)
            return QVariant(!field.is_null);
        if (field.is_null)
            return QVariant();
        const unsigned char* p = mdb->pg_buf + field.start;
        const int size = field.siz;
        auto need = [&](int bytes) {
            if (size < bytes)
                throw Error(kConnectionFailed,
                            QStringLiteral("Column %1 of table %2 in the Access file holds a "
                                           "damaged value.")
                                .arg(names[static_cast<size_t>(column)], tableName));
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
                throw Error(kConnectionFailed,
                            QStringLiteral("Column %1 of table %2 in the Access file holds a "
                                           "date that is not valid.")
                                .arg(names[static_cast<size_t>(column)], tableName));
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
            const MdbColumn* col =
                static_cast<MdbColumn*>(g_ptr_array_index(table->columns, column));
            char* textValue =
                mdb_numeric_to_string(mdb, field.start, col->col_scale, col->col_prec);
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
        QStringLiteral("^\\s*(?:SELECT\\s+(\\*|\\[?\\w+\\]?)\\s+FROM\\s+)?\\[?(\\w+)\\]?"
                       "(?:\\s+ORDER\\s+BY\\s+\\[?(\\w+)\\]?)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(statement);
    const QString select = match.captured(1);
    const QString orderBy = match.captured(3);
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
    const QString tableName = match.captured(2);

    const QString path = AccessSourcePath(sourceString);
    if (path.isEmpty())
        throw Error(kInvalidArgument,
                    QStringLiteral("The Access source names no file (Data Source=...)."));
    auto d = std::make_unique<AccessRecordsetState>();
    d->mdb = openCatalogue(path);
    d->jet3 = d->mdb->f->jet_version == MDB_VER_JET3;
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
    }
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
        d->count = d->countRows();
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
