// The server's procedures: sp_helpdb, sp_databases, xp_logininfo and the login procedures.
#include "../Errors.h"
#include "../Text.h"
#include "CatalogImpl.h"
#include "DatabaseFiles.h"
#include "ServerMessages.h"
#include "ServerText.h"

#include <algorithm>

namespace standin::server {

namespace msg = messages;

namespace {
ColumnInfo column(const char16_t* name, SqlType type, int32_t length, bool nullable = false)
{
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    return c;
}

void endResult(Reply& reply, int64_t rows)
{
    reply.sink().done(DoneInfo{DoneInfo::Kind::InProcedure, true, rows, false});
}

// master, tempdb and msdb use the simple recovery model; model, and so every new database, full.
std::u16string databaseStatus(const DatabaseEntry& e)
{
    const bool simple = e.system && e.dbid != 3;
    return std::u16string(
               u"Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, Recovery=") +
           (simple ? u"SIMPLE" : u"FULL") +
           u", Version=904, Collation=SQL_Latin1_General_CP1_CI_AS, SQLSortOrder=52, "
           u"IsAutoCreateStatistics, "
           u"IsAutoUpdateStatistics, IsFullTextEnabled";
}

constexpr const char16_t* kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                       u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

// "Dec  7 2026": the first 11 characters of the date's default conversion to text.
std::u16string shortDate(const DateTimeValue& v)
{
    int64_t z = int64_t(v.days) - 25567 + 719468; // days since 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return std::u16string(kMonths[month - 1]) + u" " + PadLeft(ToU16(day), 2) + u" " + ToU16(year);
}
} // namespace

namespace {
std::vector<DatabaseEntry> allDatabases(ServerCatalog::Impl& catalog)
{
    std::vector<DatabaseEntry> list;
    auto guard = catalog.leases.lock();
    for (const auto& [dbid, registered] : guard.registry().databases())
        list.push_back(registered.entry);
    return list;
}
} // namespace

int32_t HelpDb(ServerCatalog::Impl& catalog, const std::vector<Argument>& args, Reply& reply)
{
    std::vector<DatabaseEntry> list = allDatabases(catalog);
    const std::optional<std::u16string> only = args[0].value;
    if (only) {
        std::erase_if(list, [&](const DatabaseEntry& e) { return !EqualsNoCase(e.name, *only); });
        if (list.empty()) {
            reply.message(makeMessage(err::kHelpDbUnknownDatabase, {*only}));
            return 1;
        }
    }
    std::sort(list.begin(), list.end(), [](const DatabaseEntry& a, const DatabaseEntry& b) {
        return text::collate(a.name, b.name) < 0;
    });

    reply.sink().beginResult(
        {column(u"name", SqlType::NVarChar, 128), column(u"db_size", SqlType::NVarChar, 13, true),
         column(u"owner", SqlType::NVarChar, 128, true), column(u"dbid", SqlType::SmallInt, 2),
         column(u"created", SqlType::NVarChar, 11), column(u"status", SqlType::NVarChar, 600, true),
         column(u"compatibility_level", SqlType::TinyInt, 1)});
    for (const auto& e : list) {
        const int64_t bytes = (DataPages(e.dataFile) + FilePages(e.logFile)) * 8192;
        const std::u16string size =
            PadLeft(FixedPoint((bytes * 100 + 524288) / 1048576, 2), 10) + u" MB";
        reply.sink().row({e.name, size, std::u16string(u"sa"), int64_t(e.dbid),
                          shortDate(e.created), databaseStatus(e), int64_t(150)});
    }
    endResult(reply, int64_t(list.size()));
    if (only) {
        const DatabaseEntry& e = list.front();
        reply.sink().beginResult({column(u"name", SqlType::NChar, 128),
                                  column(u"fileid", SqlType::SmallInt, 2),
                                  column(u"filename", SqlType::NChar, 260),
                                  column(u"filegroup", SqlType::NVarChar, 128, true),
                                  column(u"size", SqlType::NVarChar, 18, true),
                                  column(u"maxsize", SqlType::NVarChar, 18, true),
                                  column(u"growth", SqlType::NVarChar, 18, true),
                                  column(u"usage", SqlType::VarChar, 9)});
        reply.sink().row({PadRight(e.dataLogicalName, 128), int64_t(1),
                          PadRight(e.dataPhysicalName, 260), std::u16string(u"PRIMARY"),
                          ToU16(DataPages(e.dataFile) * 8) + u" KB", std::u16string(u"Unlimited"),
                          std::u16string(u"65536 KB"), std::u16string(u"data only")});
        reply.sink().row(
            {PadRight(e.logLogicalName, 128), int64_t(2), PadRight(e.logPhysicalName, 260), Value{},
             ToU16(FilePages(e.logFile) * 8) + u" KB", std::u16string(u"2147483648 KB"),
             std::u16string(u"65536 KB"), std::u16string(u"log only")});
        endResult(reply, 2);
    }
    return 0;
}

int32_t ListDatabases(ServerCatalog::Impl& catalog, const std::vector<Argument>&, Reply& reply)
{
    std::vector<DatabaseEntry> list = allDatabases(catalog);
    std::sort(list.begin(), list.end(), [](const DatabaseEntry& a, const DatabaseEntry& b) {
        return text::collate(a.name, b.name) < 0;
    });
    reply.sink().beginResult({column(u"DATABASE_NAME", SqlType::NVarChar, 128),
                              column(u"DATABASE_SIZE", SqlType::Int, 4, true),
                              column(u"REMARKS", SqlType::VarChar, 254, true)});
    for (const auto& e : list)
        reply.sink().row(
            {e.name, int64_t((DataPages(e.dataFile) + FilePages(e.logFile)) * 8), Value{}});
    endResult(reply, int64_t(list.size()));
    return 0;
}

int32_t LoginInfo(ServerCatalog::Impl& catalog, const std::vector<Argument>& args, Reply& reply)
{
    std::vector<Login> list;
    {
        auto guard = catalog.leases.lock();
        for (const auto& [folded, login] : guard.registry().logins())
            if (login.type != u'S' && (!args[0].value || EqualsNoCase(login.name, *args[0].value)))
                list.push_back(login);
    }
    reply.sink().beginResult({column(u"account name", SqlType::NVarChar, 128),
                              column(u"type", SqlType::Char, 8, true),
                              column(u"privilege", SqlType::Char, 9, true),
                              column(u"mapped login name", SqlType::NVarChar, 128, true),
                              column(u"permission path", SqlType::NVarChar, 128, true)});
    for (const auto& login : list) {
        reply.sink().row({login.name, PadRight(login.type == u'G' ? u"group" : u"user", 8),
                          PadRight(login.sysadmin() ? u"admin" : u"user", 9), login.name, Value{}});
    }
    endResult(reply, int64_t(list.size()));
    return 0;
}

namespace {
// DOMAIN\name with both parts present and nothing else.
bool isWindowsName(const std::u16string& name)
{
    const size_t slash = name.find(u'\\');
    return slash != std::u16string::npos && slash > 0 && slash + 1 < name.size() &&
           name.find(u'\\', slash + 1) == std::u16string::npos && name.size() <= 128;
}
} // namespace

int32_t GrantLogin(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                   ServerContext& ctx, Reply& reply)
{
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(u"sp_grantlogin"));
        return 1;
    }
    const std::u16string name = args[0].value.value_or(u"");
    if (args[0].name == u"(default)") {
        reply.message(msg::ProcedureExpectsParameter(u"sp_grantlogin", u"@loginame"));
        return 1;
    }
    if (!isWindowsName(name)) {
        reply.message(msg::NotWindowsName(name));
        return 1;
    }
    auto guard = catalog.leases.lock();
    Registry& registry = guard.registry();
    if (!registry.isSysadmin(ctx.login)) {
        reply.message(msg::PermissionDenied(u"CREATE LOGIN"));
        return 1;
    }
    if (registry.login(name)) {
        reply.message(msg::PrincipalExists(name));
        return 1;
    }
    Login login;
    login.name = name;
    login.type = EqualsNoCase(name.substr(0, 8), u"BUILTIN\\") ? u'G' : u'U';
    registry.putLogin(login);
    return 0;
}

int32_t RevokeLogin(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                    ServerContext& ctx, Reply& reply)
{
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(u"sp_revokelogin"));
        return 1;
    }
    const std::u16string name = args[0].value.value_or(u"");
    if (!isWindowsName(name)) {
        reply.message(msg::NotWindowsName(name));
        return 1;
    }
    auto guard = catalog.leases.lock();
    Registry& registry = guard.registry();
    if (!registry.isSysadmin(ctx.login)) {
        reply.message(msg::PermissionDenied(u"DROP LOGIN"));
        return 1;
    }
    const Login* login = registry.login(name);
    if (!login || login->type == u'S') {
        reply.message(msg::NotValidLogin(name));
        return 1;
    }
    registry.removeLogin(name);
    return 0;
}

int32_t ChangeServerRoleMember(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                               ServerContext& ctx, Reply& reply, bool add)
{
    const char16_t* procedure = add ? u"sp_addsrvrolemember" : u"sp_dropsrvrolemember";
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(procedure));
        return 1;
    }
    for (size_t i = 0; i < 2; ++i) {
        if (args[i].name == u"(default)") {
            reply.message(
                msg::ProcedureExpectsParameter(procedure, i == 0 ? u"@loginame" : u"@rolename"));
            return 1;
        }
    }
    const std::u16string loginName = args[0].value.value_or(u"");
    const std::u16string role = args[1].value.value_or(u"");
    int roleBit = -1;
    for (int i = 0; i < int(std::size(kFixedServerRoles)); ++i)
        if (EqualsNoCase(role, kFixedServerRoles[i]))
            roleBit = i;
    if (roleBit < 0) {
        reply.message(msg::NotFixedServerRole(role));
        return 1;
    }
    auto guard = catalog.leases.lock();
    Registry& registry = guard.registry();
    if (!registry.isSysadmin(ctx.login)) {
        reply.message(msg::NotValidLogin(loginName));
        return 1;
    }
    const Login* login = registry.login(loginName);
    if (!login) {
        reply.message(msg::NotValidLogin(loginName));
        return 1;
    }
    // The membership of sa cannot be changed.
    if (EqualsNoCase(login->name, u"sa"))
        return 0;
    Login updated = *login;
    if (add)
        updated.roles |= 1u << roleBit;
    else
        updated.roles &= ~(1u << roleBit);
    registry.putLogin(updated);
    return 0;
}

} // namespace standin::server
