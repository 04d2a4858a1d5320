// Lists an Access file's user tables and their column definitions through libmdb. The file's
// first page is checked before libmdb sees it, so that a file that is not an Access database,
// or one cut short, is refused with a message instead of being walked.
#include "AccessTables.h"

#include "AccessSource.h"
#include "Error.h"

#include <QFile>

#include <mdbtools.h>

#include <memory>

namespace sqllumo::db {

namespace {

constexpr qint64 kJet3PageSize = 2048;
constexpr qint64 kJet4PageSize = 4096;
constexpr int kVersionOffset = 0x14;
// The header page, the catalogue's definition and at least one page of it.
constexpr qint64 kFewestPages = 3;

[[noreturn]] void unreadable(const QString& path, const QString& why)
{
    throw Error(
        kConnectionFailed,
        QStringLiteral("The file %1 cannot be read as an Access database: %2.").arg(path, why));
}

} // namespace

void CheckAccessFileHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        unreadable(path, file.errorString());
    const QByteArray head = file.read(kVersionOffset + 1);
    const QByteArray signature = head.mid(4, 15);
    if (head.size() <= kVersionOffset || head[0] != '\0' ||
        (signature != "Standard Jet DB" && signature != "Standard ACE DB"))
        unreadable(path, QStringLiteral("it does not begin as an Access file does"));
    const qint64 pageSize = head[kVersionOffset] == 0 ? kJet3PageSize : kJet4PageSize;
    if (file.size() < kFewestPages * pageSize || file.size() % pageSize != 0)
        unreadable(path, QStringLiteral("it is not made of whole pages (%1 bytes); it may have "
                                        "been cut short")
                             .arg(file.size()));
}

namespace {

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

} // namespace

QString AccessColumnInfo::typeText() const
{
    if (size > 0)
        return accessType + QStringLiteral("(%1)").arg(size);
    return autoNumber ? accessType + QStringLiteral(" (AutoNumber)") : accessType;
}

std::vector<AccessTableInfo> AccessUserTables(const QString& path)
{
    CheckAccessFileHeader(path);
    const std::unique_ptr<MdbHandle, HandleCloser> mdb(
        mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        unreadable(path, QStringLiteral("libmdb does not recognise its format"));
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        unreadable(path, QStringLiteral("its table list cannot be read"));
    std::vector<AccessTableInfo> tables;
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (!mdb_is_user_table(entry))
            continue;
        AccessTableInfo info;
        info.name = QString::fromUtf8(entry->object_name);
        const std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            unreadable(path,
                       QStringLiteral("the definition of table %1 cannot be read").arg(info.name));
        for (guint c = 0; c < table->num_cols; ++c) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            AccessColumnInfo column;
            column.name = QString::fromUtf8(col->name);
            column.accessType = AccessTypeName(col->col_type);
            column.autoNumber = col->is_long_auto != 0;
            // Jet 4 keeps a text column's size in bytes of UCS-2.
            if (col->col_type == MDB_TEXT)
                column.size = jet3 ? col->col_size : col->col_size / 2;
            info.columns.push_back(column);
        }
        tables.push_back(std::move(info));
    }
    return tables;
}

} // namespace sqllumo::db
