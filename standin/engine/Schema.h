// A database's tables as the engine keeps them: columns with SQL Server types, keys, foreign
// keys and indexes. Persisted inside the database file itself.
#pragma once

#include "Ast.h"
#include "Engine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::store {

using sql::TypeName;

struct ColumnMeta {
    std::u16string name;
    TypeName type;
    bool nullable = true;
    bool identity = false;
    int64_t seed = 1;
    int64_t increment = 1;
    int32_t storage = 0; // the SQLite column is "c<storage>"
};

struct KeyMeta {
    std::u16string name;
    std::vector<int> columns;
    bool primary = true;
    bool clustered = true;
    int64_t objectId = 0; // its SQLite unique index is "k<objectId>"
};

struct ForeignKeyMeta {
    std::u16string name;
    std::vector<int> columns;
    int64_t refTable = 0;
    std::vector<int> refColumns;
    bool deleteCascade = false;
    bool updateCascade = false;
    int64_t objectId = 0;
};

struct IndexMeta {
    std::u16string name;
    std::vector<int> columns;
    bool unique = false;
    bool clustered = false;
    int64_t storageId = 0; // the SQLite index is "i<storageId>"
};

struct TableMeta {
    int64_t id = 0;
    std::u16string name;
    std::vector<ColumnMeta> columns;
    std::optional<KeyMeta> primaryKey;
    std::vector<KeyMeta> uniques;
    std::vector<ForeignKeyMeta> foreignKeys;
    std::vector<IndexMeta> indexes;
    int32_t nextStorage = 0;
    DateTimeValue created;
    // Identity state: the last value handed out. Kept in memory while the database is open;
    // on disk only where the rows cannot tell it (see Database::reload).
    int64_t identityCurrent = 0;
    bool identityUsed = false;

    int findColumn(const std::u16string& name) const; // -1 when absent; case-insensitive
    int identityColumn() const;                       // -1 when none
    std::string storageTable() const { return "d" + std::to_string(id); }
    static std::string storageColumn(const ColumnMeta& c)
    {
        return "c" + std::to_string(c.storage);
    }
};

std::string serialize(const TableMeta& table);
TableMeta deserialize(const std::string& bytes); // throws std::runtime_error when damaged

} // namespace standin::store
