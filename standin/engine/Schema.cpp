// Storing and reading the engine's table definitions inside each database file.
#include "Schema.h"

#include "Text.h"

#include <stdexcept>

namespace standin::store {

int TableMeta::findColumn(const std::u16string& n) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (text::equalsIgnoreCase(columns[i].name, n))
            return static_cast<int>(i);
    return -1;
}

int TableMeta::identityColumn() const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].identity)
            return static_cast<int>(i);
    return -1;
}

namespace {

constexpr uint32_t kFormat = 1;

class Writer {
public:
    void u64(uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void flag(bool b) { out.push_back(b ? 1 : 0); }
    void str(const std::u16string& s)
    {
        u64(s.size());
        for (char16_t c : s) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
    }
    void ints(const std::vector<int>& v)
    {
        u64(v.size());
        for (int x : v)
            i64(x);
    }
    void type(const TypeName& t)
    {
        i64(static_cast<int64_t>(t.type));
        i64(t.length);
        i64(t.precision);
        i64(t.scale);
    }
    std::string out;
};

class Reader {
public:
    explicit Reader(const std::string& s) : in(s) {}
    uint64_t u64()
    {
        if (pos + 8 > in.size())
            throw std::runtime_error("damaged table definition");
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<uint64_t>(static_cast<unsigned char>(in[pos + i])) << (8 * i);
        pos += 8;
        return v;
    }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    bool flag()
    {
        if (pos >= in.size())
            throw std::runtime_error("damaged table definition");
        return in[pos++] != 0;
    }
    size_t count()
    {
        uint64_t n = u64();
        if (n > in.size())
            throw std::runtime_error("damaged table definition");
        return static_cast<size_t>(n);
    }
    std::u16string str()
    {
        size_t n = count();
        if (pos + 2 * n > in.size())
            throw std::runtime_error("damaged table definition");
        std::u16string s;
        s.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            s.push_back(static_cast<char16_t>(static_cast<unsigned char>(in[pos]) |
                                              (static_cast<unsigned char>(in[pos + 1]) << 8)));
            pos += 2;
        }
        return s;
    }
    std::vector<int> ints()
    {
        size_t n = count();
        std::vector<int> v;
        for (size_t i = 0; i < n; ++i)
            v.push_back(static_cast<int>(i64()));
        return v;
    }
    TypeName type()
    {
        TypeName t;
        const int64_t code = i64();
        // A damaged definition must not name a type past the end of the type table.
        if (code < 0 || code > static_cast<int64_t>(SqlType::UniqueIdentifier))
            throw std::runtime_error("damaged table definition");
        t.type = static_cast<SqlType>(code);
        t.length = static_cast<int32_t>(i64());
        t.precision = static_cast<uint8_t>(i64());
        t.scale = static_cast<uint8_t>(i64());
        return t;
    }
    const std::string& in;
    size_t pos = 0;
};

void writeKey(Writer& w, const KeyMeta& k)
{
    w.str(k.name);
    w.ints(k.columns);
    w.flag(k.primary);
    w.flag(k.clustered);
    w.i64(k.objectId);
}

KeyMeta readKey(Reader& r)
{
    KeyMeta k;
    k.name = r.str();
    k.columns = r.ints();
    k.primary = r.flag();
    k.clustered = r.flag();
    k.objectId = r.i64();
    return k;
}

} // namespace

std::string serialize(const TableMeta& t)
{
    Writer w;
    w.u64(kFormat);
    w.i64(t.id);
    w.str(t.name);
    w.i64(t.nextStorage);
    w.i64(t.created.days);
    w.i64(t.created.ticks);
    w.u64(t.columns.size());
    for (const auto& c : t.columns) {
        w.str(c.name);
        w.type(c.type);
        w.flag(c.nullable);
        w.flag(c.identity);
        w.i64(c.seed);
        w.i64(c.increment);
        w.i64(c.storage);
    }
    w.flag(t.primaryKey.has_value());
    if (t.primaryKey)
        writeKey(w, *t.primaryKey);
    w.u64(t.uniques.size());
    for (const auto& k : t.uniques)
        writeKey(w, k);
    w.u64(t.foreignKeys.size());
    for (const auto& f : t.foreignKeys) {
        w.str(f.name);
        w.ints(f.columns);
        w.i64(f.refTable);
        w.ints(f.refColumns);
        w.flag(f.deleteCascade);
        w.flag(f.updateCascade);
        w.i64(f.objectId);
    }
    w.u64(t.indexes.size());
    for (const auto& i : t.indexes) {
        w.str(i.name);
        w.ints(i.columns);
        w.flag(i.unique);
        w.flag(i.clustered);
        w.i64(i.storageId);
    }
    return w.out;
}

TableMeta deserialize(const std::string& bytes)
{
    Reader r(bytes);
    if (r.u64() != kFormat)
        throw std::runtime_error("table definition of an unknown format");
    TableMeta t;
    t.id = r.i64();
    t.name = r.str();
    t.nextStorage = static_cast<int32_t>(r.i64());
    t.created.days = static_cast<int32_t>(r.i64());
    t.created.ticks = static_cast<uint32_t>(r.i64());
    size_t n = r.count();
    for (size_t i = 0; i < n; ++i) {
        ColumnMeta c;
        c.name = r.str();
        c.type = r.type();
        c.nullable = r.flag();
        c.identity = r.flag();
        c.seed = r.i64();
        c.increment = r.i64();
        c.storage = static_cast<int32_t>(r.i64());
        t.columns.push_back(c);
    }
    if (r.flag())
        t.primaryKey = readKey(r);
    n = r.count();
    for (size_t i = 0; i < n; ++i)
        t.uniques.push_back(readKey(r));
    n = r.count();
    for (size_t i = 0; i < n; ++i) {
        ForeignKeyMeta f;
        f.name = r.str();
        f.columns = r.ints();
        f.refTable = r.i64();
        f.refColumns = r.ints();
        f.deleteCascade = r.flag();
        f.updateCascade = r.flag();
        f.objectId = r.i64();
        t.foreignKeys.push_back(f);
    }
    n = r.count();
    for (size_t i = 0; i < n; ++i) {
        IndexMeta x;
        x.name = r.str();
        x.columns = r.ints();
        x.unique = r.flag();
        x.clustered = r.flag();
        x.storageId = r.i64();
        t.indexes.push_back(x);
    }
    auto valid = [&](const std::vector<int>& cols, size_t limit) {
        for (int c : cols)
            if (c < 0 || static_cast<size_t>(c) >= limit)
                throw std::runtime_error("damaged table definition");
    };
    if (t.primaryKey)
        valid(t.primaryKey->columns, t.columns.size());
    for (const auto& k : t.uniques)
        valid(k.columns, t.columns.size());
    for (const auto& f : t.foreignKeys)
        valid(f.columns, t.columns.size());
    for (const auto& x : t.indexes)
        valid(x.columns, t.columns.size());
    return t;
}

} // namespace standin::store
