// libmdb access for the round-trip tests.
#include "LibmdbReader.h"

#include <mdbtools.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace mdbwriter::testing {
namespace {

struct Handle {
    explicit Handle(const std::string& path) : mdb(mdb_open(path.c_str(), MDB_NOFLAGS))
    {
        if (!mdb)
            throw std::runtime_error("libmdb cannot open " + path);
    }
    ~Handle() { mdb_close(mdb); }
    MdbHandle* mdb;
};

} // namespace

std::vector<std::string> userTables(const std::string& path)
{
    Handle h(path);
    if (!mdb_read_catalog(h.mdb, MDB_TABLE))
        throw std::runtime_error("libmdb cannot read the catalogue of " + path);
    std::vector<std::string> names;
    for (unsigned i = 0; i < h.mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(h.mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names.push_back(entry->object_name);
    }
    return names;
}

ReadTable readTable(const std::string& path, const std::string& name)
{
    Handle h(path);
    MdbHandle* mdb = h.mdb;
    mdb_set_bind_size(mdb, 1 << 20);
    std::string tableName = name;
    MdbTableDef* table = mdb_read_table_by_name(mdb, tableName.data(), MDB_TABLE);
    if (!table)
        throw std::runtime_error("libmdb finds no table " + name);
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> guard(table, mdb_free_tabledef);
    if (!mdb_read_columns(table))
        throw std::runtime_error("libmdb cannot read the columns of " + name);
    ReadTable out;
    out.name = name;
    out.declaredRows = static_cast<long>(table->num_rows);
    const unsigned count = table->num_cols;
    std::vector<std::vector<char>> buffers(count, std::vector<char>(1 << 20));
    std::vector<int> lengths(count);
    for (unsigned i = 0; i < count; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        out.columns.push_back({col->name, col->col_type, col->col_size, col->is_long_auto != 0});
        mdb_bind_column(table, static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
    }
    std::vector<MdbField> fields(count);
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0)
            throw std::runtime_error("libmdb cannot locate a row it just read");
        if (mdb_crack_row(table, start & 0x1FFF, size, fields.data()) < 0)
            throw std::runtime_error("libmdb cannot take a row apart");
        std::vector<Cell> row(count);
        for (unsigned i = 0; i < count; ++i) {
            const MdbField& f = fields[i];
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, f.colnum));
            Cell& cell = row[f.colnum];
            cell.null = f.is_null != 0;
            cell.text.assign(buffers[f.colnum].data(), std::strlen(buffers[f.colnum].data()));
            if (!cell.null && f.siz > 0)
                cell.stored.assign(static_cast<const std::uint8_t*>(f.value),
                                   static_cast<const std::uint8_t*>(f.value) + f.siz);
            if (col->col_type == MDB_OLE && !cell.null) {
                size_t length = 0;
                void* whole = mdb_ole_read_full(mdb, col, &length);
                if (!whole)
                    throw std::runtime_error("libmdb cannot read an OLE value");
                cell.longValue.assign(static_cast<std::uint8_t*>(whole),
                                      static_cast<std::uint8_t*>(whole) + length);
                std::free(whole);
                // Reading the long value moved libmdb to other pages; come back to the row's.
                mdb_read_pg(mdb, table->cur_phys_pg);
            }
        }
        out.rows.push_back(std::move(row));
    }
    return out;
}

std::string runCommand(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string out;
    std::array<char, 65536> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
        out.append(chunk.data(), n);
    const int status = pclose(pipe.release());
    if (status != 0)
        throw std::runtime_error(command + " failed with status " + std::to_string(status));
    return out;
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mdbwriter-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::filesystem::remove_all(path);
}

} // namespace mdbwriter::testing
