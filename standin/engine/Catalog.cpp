// The stand-in's catalogue views and procedures (INFORMATION_SCHEMA, sys views, sp_columns,
// sp_pkeys, sp_fkeys, sp_helpindex, sp_tables) built in memory from the engine's table
// definitions.
#include "EngineImpl.h"
#include "Executors.h"
#include "Parser.h"
#include "Text.h"
#include "TypeTable.h"

#include <algorithm>

namespace standin {

using namespace sql;
using store::ColumnMeta;
using store::TableMeta;
using text::widen;

namespace {

const TypeName kSysname{SqlType::NVarChar, 128, 0, 0};
const TypeName kInt{SqlType::Int, 4, 10, 0};
const TypeName kSmallInt{SqlType::SmallInt, 2, 5, 0};
const TypeName kTinyInt{SqlType::TinyInt, 1, 3, 0};

ColumnInfo info(const char16_t* name, TypeName t, bool nullable = true)
{
    ColumnInfo c;
    c.name = name;
    c.type = t.type;
    c.length = t.length;
    c.precision = t.precision;
    c.scale = t.scale;
    c.nullable = nullable;
    return c;
}

ColumnMeta meta(const char16_t* name, TypeName t, bool nullable = true)
{
    ColumnMeta c;
    c.name = name;
    c.type = t;
    c.nullable = nullable;
    return c;
}

const Typed* argument(const std::vector<std::pair<std::u16string, Typed>>& args, size_t position,
                      const char16_t* name)
{
    for (const auto& [n, v] : args)
        if (!n.empty() && text::equalsIgnoreCase(n, name))
            return &v;
    if (position < args.size() && args[position].first.empty())
        return &args[position].second;
    return nullptr;
}

std::optional<std::u16string>
textArgument(const std::vector<std::pair<std::u16string, Typed>>& args, size_t position,
             const char16_t* name)
{
    const Typed* t = argument(args, position, name);
    if (!t || t->isNull())
        return std::nullopt;
    if (auto* s = std::get_if<std::u16string>(&t->value))
        return *s;
    return displayValue(*t);
}

// Names given to catalogue procedures may carry brackets and an owner: [dbo].[T].
std::u16string bareName(const std::u16string& written)
{
    std::u16string current;
    bool bracket = false;
    for (char16_t c : written) {
        if (bracket) {
            if (c == u']')
                bracket = false;
            else
                current.push_back(c);
        } else if (c == u'[') {
            bracket = true;
        } else if (c == u'.') {
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return current;
}

std::u16string dataTypeName(const TypeName& t)
{
    return sql::typeDisplayName(t.type);
}

Value maxLength(const TypeName& t)
{
    const SqlTypeInfo& info = typeInfo(t.type);
    if (info.isLong)
        return info.longCharacters;
    if (info.isVariable())
        return int64_t{t.length};
    return std::monostate{};
}

Value octetLength(const TypeName& t)
{
    const SqlTypeInfo& info = typeInfo(t.type);
    if (info.isLong)
        return info.longOctets;
    if (info.isVariable())
        return info.octets(t.length);
    return std::monostate{};
}

Value numericPrecision(const TypeName& t)
{
    const SqlTypeInfo& info = typeInfo(t.type);
    if (info.numericPrecision < 0)
        return int64_t{t.precision};
    if (info.numericPrecision == 0)
        return std::monostate{};
    return int64_t{info.numericPrecision};
}

int64_t odbcType(const TypeName& t)
{
    return typeInfo(t.type).odbcType;
}

// What a catalogue view is built from.
struct ViewInput {
    const std::u16string& view; // upper case
    const std::u16string& database;
    const std::vector<const TableMeta*>& tables;
    server::ServerCatalog& catalog;
    EngineImpl& engine;
};

Value textValue(const std::u16string& s)
{
    return Value{s};
}

void informationSchemaTables(const ViewInput& in, Source& out)
{
    out.columns = {meta(u"TABLE_CATALOG", kSysname), meta(u"TABLE_SCHEMA", kSysname),
                   meta(u"TABLE_NAME", kSysname, false),
                   meta(u"TABLE_TYPE", TypeName{SqlType::VarChar, 10, 0, 0})};
    for (const TableMeta* t : in.tables)
        out.rows.push_back({textValue(in.database), textValue(u"dbo"), textValue(t->name),
                            textValue(u"BASE TABLE")});
}

void informationSchemaColumns(const ViewInput& in, Source& out)
{
    out.columns = {meta(u"TABLE_CATALOG", kSysname),
                   meta(u"TABLE_SCHEMA", kSysname),
                   meta(u"TABLE_NAME", kSysname, false),
                   meta(u"COLUMN_NAME", kSysname),
                   meta(u"ORDINAL_POSITION", kInt),
                   meta(u"COLUMN_DEFAULT", TypeName{SqlType::NVarChar, 4000, 0, 0}),
                   meta(u"IS_NULLABLE", TypeName{SqlType::VarChar, 3, 0, 0}),
                   meta(u"DATA_TYPE", kSysname),
                   meta(u"CHARACTER_MAXIMUM_LENGTH", kInt),
                   meta(u"CHARACTER_OCTET_LENGTH", kInt),
                   meta(u"NUMERIC_PRECISION", kTinyInt),
                   meta(u"NUMERIC_PRECISION_RADIX", kSmallInt),
                   meta(u"NUMERIC_SCALE", kInt),
                   meta(u"DATETIME_PRECISION", kSmallInt),
                   meta(u"CHARACTER_SET_CATALOG", kSysname),
                   meta(u"CHARACTER_SET_SCHEMA", kSysname),
                   meta(u"CHARACTER_SET_NAME", kSysname),
                   meta(u"COLLATION_CATALOG", kSysname),
                   meta(u"COLLATION_SCHEMA", kSysname),
                   meta(u"COLLATION_NAME", kSysname),
                   meta(u"DOMAIN_CATALOG", kSysname),
                   meta(u"DOMAIN_SCHEMA", kSysname),
                   meta(u"DOMAIN_NAME", kSysname)};
    for (const TableMeta* t : in.tables)
        for (size_t i = 0; i < t->columns.size(); ++i) {
            const ColumnMeta& c = t->columns[i];
            const TypeName& ty = c.type;
            bool textual = isText(ty.type);
            Value radix = std::monostate{};
            Value scale = std::monostate{};
            if (isInteger(ty.type) && ty.type != SqlType::Bit) {
                radix = int64_t{10};
                scale = int64_t{0};
            } else if (ty.type == SqlType::Decimal) {
                radix = int64_t{10};
                scale = int64_t{ty.scale};
            } else if (ty.type == SqlType::Float) {
                radix = int64_t{2};
            }
            out.rows.push_back(
                {textValue(in.database),
                 textValue(u"dbo"),
                 textValue(t->name),
                 textValue(c.name),
                 int64_t{static_cast<int64_t>(i + 1)},
                 std::monostate{},
                 textValue(c.nullable ? u"YES" : u"NO"),
                 textValue(dataTypeName(ty)),
                 maxLength(ty),
                 octetLength(ty),
                 numericPrecision(ty),
                 radix,
                 scale,
                 ty.type == SqlType::DateTime ? Value{int64_t{3}} : Value{},
                 std::monostate{},
                 std::monostate{},
                 textual ? textValue(isNationalText(ty.type) ? u"UNICODE" : u"iso_1") : Value{},
                 std::monostate{},
                 std::monostate{},
                 textual ? textValue(u"SQL_Latin1_General_CP1_CI_AS") : Value{},
                 std::monostate{},
                 std::monostate{},
                 std::monostate{}});
        }
}

// sys.tables, and sys.objects with the keys as objects of their own.
void systemObjects(const ViewInput& in, Source& out)
{
    out.columns = {meta(u"name", kSysname, false),
                   meta(u"object_id", kInt, false),
                   meta(u"schema_id", kInt, false),
                   meta(u"type", TypeName{SqlType::Char, 2, 0, 0}),
                   meta(u"type_desc", TypeName{SqlType::NVarChar, 60, 0, 0}),
                   meta(u"create_date", TypeName{SqlType::DateTime, 8, 23, 3}, false)};
    for (const TableMeta* t : in.tables) {
        out.rows.push_back({textValue(t->name), int64_t{t->id}, int64_t{1}, textValue(u"U "),
                            textValue(u"USER_TABLE"), t->created});
        if (in.view == u"OBJECTS") {
            auto add = [&](const std::u16string& n, int64_t id, const char16_t* type,
                           const char16_t* desc) {
                out.rows.push_back(
                    {textValue(n), id, int64_t{1}, textValue(type), textValue(desc), t->created});
            };
            if (t->primaryKey)
                add(t->primaryKey->name, t->primaryKey->objectId, u"PK", u"PRIMARY_KEY_CONSTRAINT");
            for (const auto& u : t->uniques)
                add(u.name, u.objectId, u"UQ", u"UNIQUE_CONSTRAINT");
            for (const auto& f : t->foreignKeys)
                add(f.name, f.objectId, u"F ", u"FOREIGN_KEY_CONSTRAINT");
        }
    }
}

void systemColumns(const ViewInput& in, Source& out)
{
    out.columns = {meta(u"object_id", kInt, false),
                   meta(u"name", kSysname),
                   meta(u"column_id", kInt, false),
                   meta(u"max_length", kSmallInt, false),
                   meta(u"is_nullable", TypeName{SqlType::Bit, 1, 1, 0}),
                   meta(u"is_identity", TypeName{SqlType::Bit, 1, 1, 0}, false)};
    for (const TableMeta* t : in.tables)
        for (size_t i = 0; i < t->columns.size(); ++i) {
            const ColumnMeta& c = t->columns[i];
            const int64_t bytes = columnBytes(c.type);
            out.rows.push_back({int64_t{t->id}, textValue(c.name),
                                int64_t{static_cast<int64_t>(i + 1)}, bytes,
                                int64_t{c.nullable ? 1 : 0}, int64_t{c.identity ? 1 : 0}});
        }
}

void systemDatabases(const ViewInput& in, Source& out)
{
    out.columns = {meta(u"name", kSysname), meta(u"database_id", kInt, false),
                   meta(u"create_date", TypeName{SqlType::DateTime, 8, 23, 3}, false),
                   meta(u"collation_name", kSysname)};
    for (const auto& d : in.catalog.databases())
        out.rows.push_back({textValue(d.name), int64_t{d.dbid}, d.created,
                            textValue(u"SQL_Latin1_General_CP1_CI_AS")});
}

// One row per open session's connection. A session opened inside this process reports what SQL
// Server reports for a local one.
void connectionsView(const ViewInput& in, Source& out)
{
    const TypeName kText40{SqlType::NVarChar, 40, 0, 0};
    const TypeName kAddress{SqlType::VarChar, 48, 0, 0};
    out.columns = {meta(u"session_id", kInt),
                   meta(u"most_recent_session_id", kInt),
                   meta(u"connect_time", TypeName{SqlType::DateTime, 8, 23, 3}, false),
                   meta(u"net_transport", kText40, false),
                   meta(u"protocol_type", kText40),
                   meta(u"encrypt_option", kText40, false),
                   meta(u"auth_scheme", kText40, false),
                   meta(u"client_net_address", kAddress),
                   meta(u"client_tcp_port", kInt),
                   meta(u"net_packet_size", kInt)};
    for (const auto& c : in.engine.connections()) {
        const bool local = c.info.clientAddress.empty();
        out.rows.push_back({int64_t{c.spid}, int64_t{c.spid}, c.connected,
                            textValue(local ? u"Shared memory" : u"TCP"), textValue(u"TSQL"),
                            textValue(c.info.encrypted ? u"TRUE" : u"FALSE"), textValue(u"SQL"),
                            textValue(local ? u"<local machine>" : widen(c.info.clientAddress)),
                            local ? Value{} : Value{int64_t{c.info.clientPort}},
                            int64_t{c.info.packetSize}});
    }
}

struct CatalogView {
    std::u16string_view schema, name; // upper case
    void (*build)(const ViewInput& in, Source& out);
};

const CatalogView kViews[] = {
    {u"INFORMATION_SCHEMA", u"TABLES", informationSchemaTables},
    {u"INFORMATION_SCHEMA", u"COLUMNS", informationSchemaColumns},
    {u"SYS", u"TABLES", systemObjects},
    {u"SYS", u"OBJECTS", systemObjects},
    {u"SYS", u"COLUMNS", systemColumns},
    {u"SYS", u"DATABASES", systemDatabases},
    {u"SYS", u"DM_EXEC_CONNECTIONS", connectionsView},
};

} // namespace

bool SessionImpl::catalogView(const TableName& name, Source& out)
{
    if (name.parts.size() < 2)
        return false;
    const std::u16string schema = text::upper(name.parts[name.parts.size() - 2]);
    const std::u16string view = text::upper(name.table());
    if (schema != u"INFORMATION_SCHEMA" && schema != u"SYS")
        return false;
    if (name.parts.size() >= 3 && !name.parts[0].empty() &&
        !text::equalsIgnoreCase(name.parts[0], databaseName_))
        throw notSupported(u"Catalogue views of another database");
    out.name = name.table();
    out.table = nullptr;
    const std::vector<const TableMeta*> tables =
        db_ ? db_->tables() : std::vector<const TableMeta*>{};
    for (const CatalogView& v : kViews)
        if (v.schema == schema && v.name == view) {
            v.build(ViewInput{view, databaseName_, tables, engine_.catalog(), engine_}, out);
            return true;
        }
    std::u16string written;
    for (size_t i = 0; i < name.parts.size(); ++i)
        written += (i ? u"." : u"") + name.parts[i];
    throw SqlError(err::kInvalidObject, {written});
}

Typed SessionImpl::objectId(const std::u16string& written)
{
    // 'T', 'dbo.T', '[dbo].[T]', 'db.dbo.T'
    std::vector<std::u16string> parts;
    std::u16string current;
    bool bracket = false;
    for (char16_t c : written) {
        if (bracket) {
            if (c == u']')
                bracket = false;
            else
                current.push_back(c);
        } else if (c == u'[') {
            bracket = true;
        } else if (c == u'.') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    if (parts.size() > 3 || !db_)
        return Typed{std::monostate{}, kInt};
    if (parts.size() == 3 && !parts[0].empty() && !text::equalsIgnoreCase(parts[0], databaseName_))
        return Typed{std::monostate{}, kInt};
    if (parts.size() >= 2 && !parts[parts.size() - 2].empty() &&
        !text::equalsIgnoreCase(parts[parts.size() - 2], u"dbo"))
        return Typed{std::monostate{}, kInt};
    const std::u16string& n = parts.back();
    for (const TableMeta* t : db_->tables()) {
        if (text::equalsIgnoreCase(t->name, n))
            return Typed{t->id, kInt};
        if (t->primaryKey && text::equalsIgnoreCase(t->primaryKey->name, n))
            return Typed{t->primaryKey->objectId, kInt};
        for (const auto& u : t->uniques)
            if (text::equalsIgnoreCase(u.name, n))
                return Typed{u.objectId, kInt};
        for (const auto& f : t->foreignKeys)
            if (text::equalsIgnoreCase(f.name, n))
                return Typed{f.objectId, kInt};
    }
    return Typed{std::monostate{}, kInt};
}

Typed SessionImpl::columnProperty(const Typed& id, const Typed& column, const Typed& property)
{
    Typed none{std::monostate{}, kInt};
    if (id.isNull() || column.isNull() || property.isNull() || !db_)
        return none;
    int64_t objectIdValue = std::get<int64_t>(
        convert(id, TypeName{SqlType::BigInt, 8, 19, 0}, ConversionMode::Implicit, conversion_));
    const TableMeta* t = db_->tableById(objectIdValue);
    if (!t)
        return none;
    std::u16string columnName =
        std::get<std::u16string>(convert(column, kSysname, ConversionMode::Implicit, conversion_));
    std::u16string p = text::upper(std::get<std::u16string>(
        convert(property, kSysname, ConversionMode::Implicit, conversion_)));
    int k = t->findColumn(columnName);
    if (k < 0)
        return none;
    const ColumnMeta& c = t->columns[static_cast<size_t>(k)];
    if (p == u"ISIDENTITY")
        return Typed{int64_t{c.identity ? 1 : 0}, kInt};
    if (p == u"ALLOWSNULL")
        return Typed{int64_t{c.nullable ? 1 : 0}, kInt};
    if (p == u"ISCOMPUTED" || p == u"ISROWGUIDCOL" || p == u"ISFULLTEXTINDEXED")
        return Typed{int64_t{0}, kInt};
    if (p == u"COLUMNID")
        return Typed{int64_t{k + 1}, kInt};
    if (p == u"PRECISION") {
        Value v = numericPrecision(c.type);
        if (std::holds_alternative<std::monostate>(v))
            v = c.type.type == SqlType::DateTime ? Value{int64_t{23}} : maxLength(c.type);
        return Typed{v, kInt};
    }
    if (p == u"SCALE")
        return Typed{isNumeric(c.type.type) ? Value{int64_t{c.type.scale}} : Value{}, kInt};
    return none;
}

// ---- procedures ----

bool CatalogProcedureExecutor::run(const std::u16string& name, const Arguments& args)
{
    if (name == u"SP_PKEYS")
        spPkeys(args);
    else if (name == u"SP_FKEYS")
        spFkeys(args);
    else if (name == u"SP_HELPINDEX")
        spHelpIndex(args);
    else if (name == u"SP_TABLES")
        spTables(args);
    else if (name == u"SP_COLUMNS")
        spColumns(args);
    else
        return false;
    return true;
}

void CatalogProcedureExecutor::spPkeys(const Arguments& args)
{
    ResultSink& sink = cx_.sink;
    auto name = textArgument(args, 0, u"@table_name");
    if (!name)
        throw SqlError(err::kProcedureExpects, {u"sp_pkeys", u"@table_name"});
    Work work(session_, false);
    std::vector<ColumnInfo> columns = {
        info(u"TABLE_QUALIFIER", kSysname), info(u"TABLE_OWNER", kSysname),
        info(u"TABLE_NAME", kSysname),      info(u"COLUMN_NAME", kSysname),
        info(u"KEY_SEQ", kSmallInt),        info(u"PK_NAME", kSysname)};
    sink.beginResult(columns);
    int64_t count = 0;
    if (const TableMeta* t = work.db().table(bareName(*name)); t && t->primaryKey) {
        for (size_t i = 0; i < t->primaryKey->columns.size(); ++i) {
            sink.row({session_.databaseName_, std::u16string(u"dbo"), t->name,
                      t->columns[static_cast<size_t>(t->primaryKey->columns[i])].name,
                      int64_t{static_cast<int64_t>(i + 1)}, t->primaryKey->name});
            ++count;
        }
    }
    work.commit();
    DoneInfo d;
    d.kind = DoneInfo::Kind::InProcedure;
    d.hasCount = !session_.nocount_;
    d.count = count;
    sink.done(d);
}

void CatalogProcedureExecutor::spFkeys(const Arguments& args)
{
    ResultSink& sink = cx_.sink;
    auto pkName = textArgument(args, 0, u"@pktable_name");
    auto fkName = textArgument(args, 3, u"@fktable_name");
    if (!pkName && !fkName)
        throw SqlError(err::kFkeysNeedsTable);
    Work work(session_, false);
    store::Database& db = work.db();
    std::vector<ColumnInfo> columns = {
        info(u"PKTABLE_QUALIFIER", kSysname), info(u"PKTABLE_OWNER", kSysname),
        info(u"PKTABLE_NAME", kSysname),      info(u"PKCOLUMN_NAME", kSysname),
        info(u"FKTABLE_QUALIFIER", kSysname), info(u"FKTABLE_OWNER", kSysname),
        info(u"FKTABLE_NAME", kSysname),      info(u"FKCOLUMN_NAME", kSysname),
        info(u"KEY_SEQ", kSmallInt),          info(u"UPDATE_RULE", kSmallInt),
        info(u"DELETE_RULE", kSmallInt),      info(u"FK_NAME", kSysname),
        info(u"PK_NAME", kSysname),           info(u"DEFERRABILITY", kSmallInt)};
    struct Row {
        std::u16string sortTable;
        int64_t keySeq;
        std::vector<Value> values;
    };
    std::vector<Row> rows;
    const TableMeta* pk = pkName ? db.table(bareName(*pkName)) : nullptr;
    const TableMeta* fkTable = fkName ? db.table(bareName(*fkName)) : nullptr;
    if ((!pkName || pk) && (!fkName || fkTable)) {
        for (const TableMeta* child : db.tables()) {
            if (fkTable && child->id != fkTable->id)
                continue;
            for (const auto& fk : child->foreignKeys) {
                if (pk && fk.refTable != pk->id)
                    continue;
                const TableMeta* parent = db.tableById(fk.refTable);
                if (!parent)
                    continue;
                // The key the foreign key points at: the primary key or a unique one.
                std::u16string keyName;
                auto sameSet = [&](const std::vector<int>& cols) {
                    std::vector<int> a = cols, b = fk.refColumns;
                    std::sort(a.begin(), a.end());
                    std::sort(b.begin(), b.end());
                    return a == b;
                };
                if (parent->primaryKey && sameSet(parent->primaryKey->columns))
                    keyName = parent->primaryKey->name;
                for (const auto& u : parent->uniques)
                    if (keyName.empty() && sameSet(u.columns))
                        keyName = u.name;
                for (const auto& x : parent->indexes)
                    if (keyName.empty() && x.unique && sameSet(x.columns))
                        keyName = x.name;
                for (size_t i = 0; i < fk.columns.size(); ++i) {
                    Row r;
                    r.sortTable = pk ? child->name : parent->name;
                    r.keySeq = static_cast<int64_t>(i + 1);
                    r.values = {session_.databaseName_,
                                std::u16string(u"dbo"),
                                parent->name,
                                parent->columns[static_cast<size_t>(fk.refColumns[i])].name,
                                session_.databaseName_,
                                std::u16string(u"dbo"),
                                child->name,
                                child->columns[static_cast<size_t>(fk.columns[i])].name,
                                r.keySeq,
                                int64_t{fk.updateCascade ? 0 : 1},
                                int64_t{fk.deleteCascade ? 0 : 1},
                                fk.name,
                                keyName.empty() ? Value{} : Value{keyName},
                                int64_t{7}};
                    rows.push_back(std::move(r));
                }
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        int c = text::collate(a.sortTable, b.sortTable);
        if (c != 0)
            return c < 0;
        return a.keySeq < b.keySeq;
    });
    sink.beginResult(columns);
    for (const auto& r : rows)
        sink.row(r.values);
    work.commit();
    DoneInfo d;
    d.kind = DoneInfo::Kind::InProcedure;
    d.hasCount = !session_.nocount_;
    d.count = static_cast<int64_t>(rows.size());
    sink.done(d);
}

void CatalogProcedureExecutor::spHelpIndex(const Arguments& args)
{
    ResultSink& sink = cx_.sink;
    auto name = textArgument(args, 0, u"@objname");
    if (!name)
        throw SqlError(err::kProcedureExpects, {u"sp_helpindex", u"@objname"});
    Work work(session_, false);
    const TableMeta* t = work.db().table(bareName(*name));
    if (!t)
        throw SqlError(err::kObjectMissingInDatabase, {*name, session_.databaseName_});
    struct Row {
        std::u16string name, description, keys;
    };
    std::vector<Row> rows;
    auto keys = [&](const std::vector<int>& cols) {
        std::u16string out;
        for (size_t i = 0; i < cols.size(); ++i)
            out += (i ? u", " : u"") + t->columns[static_cast<size_t>(cols[i])].name;
        return out;
    };
    const std::u16string located = u" located on PRIMARY";
    if (t->primaryKey)
        rows.push_back({t->primaryKey->name,
                        std::u16string(t->primaryKey->clustered ? u"clustered" : u"nonclustered") +
                            u", unique, primary key" + located,
                        keys(t->primaryKey->columns)});
    for (const auto& u : t->uniques)
        rows.push_back({u.name,
                        std::u16string(u.clustered ? u"clustered" : u"nonclustered") +
                            u", unique, unique key" + located,
                        keys(u.columns)});
    for (const auto& x : t->indexes)
        rows.push_back({x.name,
                        std::u16string(x.clustered ? u"clustered" : u"nonclustered") +
                            (x.unique ? u", unique" : u"") + located,
                        keys(x.columns)});
    work.commit();
    if (rows.empty()) {
        // No result set at all: only the message, as SQL Server answers.
        Message m = makeMessage(err::kNoIndexes, {*name});
        m.line = session_.currentLine_;
        sink.message(m);
        return;
    }
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return text::collate(a.name, b.name) < 0; });
    sink.beginResult({info(u"index_name", kSysname, false),
                      info(u"index_description", TypeName{SqlType::VarChar, 210, 0, 0}),
                      info(u"index_keys", TypeName{SqlType::NVarChar, 2126, 0, 0})});
    for (const auto& r : rows)
        sink.row({r.name, r.description, r.keys});
    DoneInfo d;
    d.kind = DoneInfo::Kind::InProcedure;
    d.hasCount = !session_.nocount_;
    d.count = static_cast<int64_t>(rows.size());
    sink.done(d);
}

void CatalogProcedureExecutor::spTables(const Arguments& args)
{
    ResultSink& sink = cx_.sink;
    auto pattern = textArgument(args, 0, u"@table_name");
    Work work(session_, false);
    sink.beginResult({info(u"TABLE_QUALIFIER", kSysname), info(u"TABLE_OWNER", kSysname),
                      info(u"TABLE_NAME", kSysname),
                      info(u"TABLE_TYPE", TypeName{SqlType::VarChar, 32, 0, 0}),
                      info(u"REMARKS", TypeName{SqlType::VarChar, 254, 0, 0})});
    std::vector<const TableMeta*> tables = work.db().tables();
    std::sort(tables.begin(), tables.end(), [](const TableMeta* a, const TableMeta* b) {
        return text::collate(a->name, b->name) < 0;
    });
    int64_t count = 0;
    for (const TableMeta* t : tables) {
        if (pattern && !text::like(t->name, *pattern))
            continue;
        sink.row({session_.databaseName_, std::u16string(u"dbo"), t->name, std::u16string(u"TABLE"),
                  Value{}});
        ++count;
    }
    work.commit();
    DoneInfo d;
    d.kind = DoneInfo::Kind::InProcedure;
    d.hasCount = !session_.nocount_;
    d.count = count;
    sink.done(d);
}

void CatalogProcedureExecutor::spColumns(const Arguments& args)
{
    ResultSink& sink = cx_.sink;
    auto tableName = textArgument(args, 0, u"@table_name");
    if (!tableName)
        throw SqlError(err::kProcedureExpects, {u"sp_columns", u"@table_name"});
    auto columnPattern = textArgument(args, 3, u"@column_name");
    Work work(session_, false);
    sink.beginResult({info(u"TABLE_QUALIFIER", kSysname), info(u"TABLE_OWNER", kSysname),
                      info(u"TABLE_NAME", kSysname), info(u"COLUMN_NAME", kSysname),
                      info(u"DATA_TYPE", kSmallInt), info(u"TYPE_NAME", kSysname),
                      info(u"PRECISION", kInt), info(u"LENGTH", kInt), info(u"SCALE", kSmallInt),
                      info(u"RADIX", kSmallInt), info(u"NULLABLE", kSmallInt),
                      info(u"REMARKS", TypeName{SqlType::VarChar, 254, 0, 0}),
                      info(u"COLUMN_DEF", TypeName{SqlType::NVarChar, 4000, 0, 0}),
                      info(u"SQL_DATA_TYPE", kSmallInt), info(u"SQL_DATETIME_SUB", kSmallInt),
                      info(u"CHAR_OCTET_LENGTH", kInt), info(u"ORDINAL_POSITION", kInt),
                      info(u"IS_NULLABLE", TypeName{SqlType::VarChar, 254, 0, 0}),
                      info(u"SS_DATA_TYPE", kTinyInt)});
    int64_t count = 0;
    std::vector<const TableMeta*> tables = work.db().tables();
    for (const TableMeta* t : tables) {
        if (!text::like(t->name, bareName(*tableName)))
            continue;
        for (size_t i = 0; i < t->columns.size(); ++i) {
            const ColumnMeta& c = t->columns[i];
            if (columnPattern && !text::like(c.name, *columnPattern))
                continue;
            const TypeName& ty = c.type;
            int64_t odbc = odbcType(ty);
            std::u16string typeNameText = dataTypeName(ty) + (c.identity ? u" identity" : u"");
            Value precision = numericPrecision(ty);
            if (std::holds_alternative<std::monostate>(precision))
                precision = ty.type == SqlType::DateTime ? Value{int64_t{23}}
                            : ty.type == SqlType::Bit    ? Value{int64_t{1}}
                                                         : maxLength(ty);
            if (auto* p = std::get_if<int64_t>(&precision); p && *p == -1)
                precision = int64_t{ty.type == SqlType::VarBinary || ty.type == SqlType::VarChar
                                        ? 2147483647
                                        : 1073741823};
            int64_t length = ty.type == SqlType::Int        ? 4
                             : ty.type == SqlType::SmallInt ? 2
                             : ty.type == SqlType::TinyInt  ? 1
                             : ty.type == SqlType::BigInt   ? 8
                             : ty.type == SqlType::Bit      ? 1
                             : ty.type == SqlType::DateTime ? 16
                             : ty.type == SqlType::Float    ? 8
                             : ty.type == SqlType::Decimal  ? ty.precision + 2
                             : std::holds_alternative<int64_t>(octetLength(ty))
                                 ? std::get<int64_t>(octetLength(ty))
                                 : 0;
            if (length == -1)
                length = 0;
            sink.row(
                {session_.databaseName_, std::u16string(u"dbo"), t->name, c.name, odbc,
                 typeNameText, precision, length,
                 isNumeric(ty.type) && ty.type != SqlType::Float ? Value{int64_t{ty.scale}}
                 : ty.type == SqlType::DateTime                  ? Value{int64_t{3}}
                                                                 : Value{},
                 isNumeric(ty.type) ? Value{int64_t{ty.type == SqlType::Float ? 2 : 10}} : Value{},
                 int64_t{c.nullable ? 1 : 0}, Value{}, Value{},
                 int64_t{ty.type == SqlType::DateTime ? 9 : odbc},
                 ty.type == SqlType::DateTime ? Value{int64_t{3}} : Value{},
                 isText(ty.type) || isBinary(ty.type) ? octetLength(ty) : Value{},
                 int64_t{static_cast<int64_t>(i + 1)}, std::u16string(c.nullable ? u"YES" : u"NO"),
                 int64_t{0}});
            ++count;
        }
    }
    work.commit();
    DoneInfo d;
    d.kind = DoneInfo::Kind::InProcedure;
    d.hasCount = !session_.nocount_;
    d.count = count;
    sink.done(d);
}

} // namespace standin
