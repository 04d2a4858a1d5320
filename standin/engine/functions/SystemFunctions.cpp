// The system functions: identity values, the session's login and database, objects of the
// current database and the server's properties.
#include "EngineImpl.h"
#include "Functions.h"
#include "Text.h"

namespace standin::functions {

using namespace fn;

namespace {

Typed scopeIdentity(FunctionCall& call)
{
    const auto& id = call.session.scopeIdentity();
    return id ? Typed{*id, kIdentityNumeric} : nullOf(kIdentityNumeric);
}

Typed identCurrent(FunctionCall& call)
{
    Typed name = call.arg(0);
    store::Database* db = call.session.openDatabase();
    if (name.isNull() || !db)
        return nullOf(kIdentityNumeric);
    const store::TableMeta* t = db->table(call.text(name));
    if (!t || t->identityColumn() < 0)
        return nullOf(kIdentityNumeric);
    const auto& c = t->columns[static_cast<size_t>(t->identityColumn())];
    return Typed{t->identityUsed ? t->identityCurrent : c.seed, kIdentityNumeric};
}

Typed loginName(FunctionCall& call)
{
    return textOf(call.session.loginName(), 128);
}

Typed userName(FunctionCall&)
{
    return textOf(u"dbo", 128);
}

Typed databaseName(FunctionCall& call)
{
    if (call.count() == 0)
        return textOf(call.session.currentDatabase(), 128);
    Typed id = call.arg(0);
    if (id.isNull())
        return nullOf(kSysname);
    int64_t want = call.integer(id);
    for (const auto& d : call.session.engine().catalog().databases())
        if (d.dbid == want)
            return textOf(d.name, 128);
    return nullOf(kSysname);
}

Typed databaseId(FunctionCall& call)
{
    std::u16string name = call.session.currentDatabase();
    if (call.count() > 0) {
        Typed a = call.arg(0);
        if (a.isNull())
            return nullOf(kSmallInt);
        name = call.text(a);
    }
    auto entry = call.session.engine().catalog().find(name);
    if (!entry)
        return nullOf(kSmallInt);
    return Typed{int64_t{entry->dbid}, kSmallInt};
}

Typed objectId(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return nullOf(kInt);
    return call.session.objectId(call.text(a));
}

Typed objectName(FunctionCall& call)
{
    Typed a = call.arg(0);
    store::Database* db = call.session.openDatabase();
    if (a.isNull() || !db)
        return nullOf(kSysname);
    if (const auto* t = db->tableById(call.integer(a)))
        return textOf(t->name, 128);
    return nullOf(kSysname);
}

Typed columnProperty(FunctionCall& call)
{
    Typed id = call.arg(0);
    Typed column = call.arg(1);
    return call.session.columnProperty(id, column, call.arg(2));
}

Typed serverProperty(FunctionCall& call)
{
    Typed a = call.arg(0);
    std::u16string p = a.isNull() ? u"" : text::upper(call.text(a));
    if (p == u"PRODUCTVERSION")
        return textOf(u"15.0.2000.5", 128);
    if (p == u"PRODUCTLEVEL")
        return textOf(u"RTM", 128);
    if (p == u"EDITION")
        return textOf(u"Developer Edition (64-bit)", 128);
    if (p == u"ENGINEEDITION")
        return integer(3);
    if (p == u"SERVERNAME" || p == u"MACHINENAME")
        return textOf(call.session.engine().serverName(), 128);
    if (p == u"COLLATION")
        return textOf(u"SQL_Latin1_General_CP1_CI_AS", 128);
    if (p == u"ISINTEGRATEDSECURITYONLY")
        return integer(0);
    return nullOf(kSysname);
}

} // namespace

std::span<const BuiltinFunction> systemFunctions()
{
    static const BuiltinFunction entries[] = {
        {u"SCOPE_IDENTITY", 0, 0, scopeIdentity},
        {u"IDENT_CURRENT", 1, 1, identCurrent},
        {u"SYSTEM_USER", 0, 0, loginName},
        {u"SUSER_SNAME", 0, 1, loginName},
        {u"SUSER_NAME", 0, 1, loginName},
        {u"ORIGINAL_LOGIN", 0, 0, loginName},
        {u"CURRENT_USER", 0, 0, userName},
        {u"SESSION_USER", 0, 0, userName},
        {u"USER", 0, 0, userName},
        {u"USER_NAME", 0, 1, userName},
        {u"DB_NAME", 0, 1, databaseName},
        {u"DB_ID", 0, 1, databaseId},
        {u"OBJECT_ID", 1, 2, objectId},
        {u"OBJECT_NAME", 1, 2, objectName},
        {u"COLUMNPROPERTY", 3, 3, columnProperty},
        {u"SERVERPROPERTY", 1, 1, serverProperty},
    };
    return entries;
}

} // namespace standin::functions
