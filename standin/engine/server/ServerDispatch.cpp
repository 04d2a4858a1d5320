// Which server-level statement or procedure a session runs, the procedure's arguments bound to its
// parameters, and the statement run with its failures answered.
#include "ServerCatalog.h"

#include "../Errors.h"
#include "../Parser.h"
#include "../Text.h"
#include "../Values.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"

namespace standin::server {

namespace msg = messages;

namespace {
enum class Procedure {
    None,
    HelpDb,
    Databases,
    LoginInfo,
    GrantLogin,
    RevokeLogin,
    AddRoleMember,
    DropRoleMember
};

struct ProcedureName {
    const char16_t* name;
    Procedure procedure;
    std::vector<const char16_t*> parameters;
};

const std::vector<ProcedureName>& procedures()
{
    static const std::vector<ProcedureName> list = {
        {u"sp_helpdb", Procedure::HelpDb, {u"@dbname"}},
        {u"sp_databases", Procedure::Databases, {}},
        {u"xp_logininfo", Procedure::LoginInfo, {u"@acctname", u"@option"}},
        {u"sp_grantlogin", Procedure::GrantLogin, {u"@loginame"}},
        {u"sp_revokelogin", Procedure::RevokeLogin, {u"@loginame"}},
        {u"sp_addsrvrolemember", Procedure::AddRoleMember, {u"@loginame", u"@rolename"}},
        {u"sp_dropsrvrolemember", Procedure::DropRoleMember, {u"@loginame", u"@rolename"}},
    };
    return list;
}

// [master.][dbo.|sys.]name, or master..name: the procedure it names.
const ProcedureName* findProcedure(const std::vector<std::u16string>& parts)
{
    if (parts.empty() || parts.size() > 3)
        return nullptr;
    if (parts.size() == 3 && !EqualsNoCase(parts[0], u"master"))
        return nullptr;
    if (parts.size() >= 2) {
        const std::u16string& schema = parts[parts.size() - 2];
        if (!schema.empty() && !EqualsNoCase(schema, u"dbo") && !EqualsNoCase(schema, u"sys"))
            return nullptr;
    }
    for (const auto& p : procedures())
        if (EqualsNoCase(parts.back(), p.name))
            return &p;
    return nullptr;
}

// Puts named arguments in their declared places.
bool bindArguments(const ProcedureName& p, std::vector<Argument>& args, Reply& reply)
{
    std::vector<Argument> bound(p.parameters.size());
    std::vector<bool> given(p.parameters.size(), false);
    size_t position = 0;
    bool named = false;
    for (auto& arg : args) {
        size_t slot = position;
        if (!arg.name.empty()) {
            named = true;
            slot = p.parameters.size();
            for (size_t i = 0; i < p.parameters.size(); ++i)
                if (EqualsNoCase(arg.name, p.parameters[i]))
                    slot = i;
            if (slot == p.parameters.size()) {
                reply.message(msg::NotAParameter(arg.name, p.name));
                return false;
            }
        } else if (named) {
            reply.message(msg::SyntaxError(arg.value.value_or(u"NULL")));
            return false;
        } else {
            ++position;
        }
        if (slot >= p.parameters.size()) {
            reply.message(msg::TooManyArguments(p.name));
            return false;
        }
        bound[slot] = std::move(arg);
        given[slot] = true;
    }
    for (size_t i = 0; i < bound.size(); ++i)
        if (!given[i])
            bound[i].name = u"(default)";
    args = std::move(bound);
    return true;
}

void runProcedure(ServerCatalog::Impl& impl, const ProcedureName& procedure,
                  std::vector<Argument> args, ServerContext& ctx, ResultSink& sink)
{
    Reply inProcedure(sink, ctx.line, procedure.name);
    int32_t status = 1;
    if (bindArguments(procedure, args, inProcedure)) {
        switch (procedure.procedure) {
        case Procedure::HelpDb:
            status = HelpDb(impl, args, inProcedure);
            break;
        case Procedure::Databases:
            status = ListDatabases(impl, args, inProcedure);
            break;
        case Procedure::LoginInfo:
            status = LoginInfo(impl, args, inProcedure);
            break;
        case Procedure::GrantLogin:
            status = GrantLogin(impl, args, ctx, inProcedure);
            break;
        case Procedure::RevokeLogin:
            status = RevokeLogin(impl, args, ctx, inProcedure);
            break;
        case Procedure::AddRoleMember:
            status = ChangeServerRoleMember(impl, args, ctx, inProcedure, true);
            break;
        case Procedure::DropRoleMember:
            status = ChangeServerRoleMember(impl, args, ctx, inProcedure, false);
            break;
        case Procedure::None:
            break;
        }
    }
    sink.returnStatus(status);
    sink.done(DoneInfo{DoneInfo::Kind::Procedure, false, 0, inProcedure.failed()});
}

// A failure of the registry or of the file system fails the statement; the server stays up.
template <typename F> void guarded(const ServerContext& ctx, ResultSink& sink, F run)
{
    try {
        run();
    } catch (const std::exception& e) {
        Reply reply(sink, ctx.line);
        reply.message(makeMessage(err::kStorageFailure, {text::fromUtf8(e.what())}));
        reply.endStatement();
    }
}
} // namespace

void ServerCatalog::execute(const ServerStatement& statement, ServerContext& ctx, ResultSink& sink)
{
    Reply reply(sink, ctx.line);
    if (!statement.body) {
        reply.message(statement.refusal);
        reply.endStatement();
        return;
    }
    guarded(ctx, sink, [&] {
        std::visit(
            [&](const auto& body) {
                using T = std::decay_t<decltype(body)>;
                if constexpr (std::is_same_v<T, CreateDatabaseStatement>)
                    CreateDatabase(*impl_, body, ctx, reply);
                else if constexpr (std::is_same_v<T, DropDatabaseStatement>)
                    DropDatabase(*impl_, body, ctx, reply);
                else if constexpr (std::is_same_v<T, BackupStatement>)
                    BackupDatabase(*impl_, body, ctx, reply);
                else
                    Restore(*impl_, body, ctx, reply);
            },
            *statement.body);
    });
}

bool ServerCatalog::callProcedure(const std::vector<std::u16string>& nameParts,
                                  std::vector<Argument> args, ServerContext& ctx, ResultSink& sink)
{
    const ProcedureName* procedure = findProcedure(nameParts);
    if (!procedure)
        return false;
    guarded(ctx, sink, [&] { runProcedure(*impl_, *procedure, std::move(args), ctx, sink); });
    return true;
}

bool ServerCatalog::tryExecute(const std::u16string& statementText, ServerContext& ctx,
                               ResultSink& sink)
{
    std::vector<sql::Statement> statements;
    auto answer = [&](Message m) {
        Reply reply(sink, ctx.line);
        reply.message(std::move(m));
        reply.endStatement();
        return true;
    };
    try {
        statements = sql::parseBatch(statementText);
    } catch (const SqlError& e) {
        return answer(e.message());
    }
    if (statements.empty())
        return false;
    auto* server = std::get_if<sql::ServerStmt>(&statements[0].body);
    auto* call = std::get_if<sql::ExecStmt>(&statements[0].body);
    // A bare procedure name is a call only at the start of a batch.
    if (call && ((!call->explicitExec && !ctx.firstInBatch) || !findProcedure(call->procedure)))
        call = nullptr;
    if (!server && !call)
        return false;
    if (statements.size() > 1)
        return answer(
            msg::SyntaxError(statements[1].text.substr(0, statements[1].text.find(u' '))));
    if (server) {
        execute(server->statement, ctx, sink);
        return true;
    }
    // Literal arguments only: there is no session here to evaluate anything else.
    std::vector<Argument> args;
    for (const auto& a : call->args) {
        Argument arg{a.name, std::nullopt};
        const sql::Expr* e = a.value.get();
        std::u16string sign;
        if (e && e->kind == sql::ExprKind::Negate && e->args.size() == 1) {
            sign = u"-";
            e = e->args[0].get();
        }
        if (e && e->kind != sql::ExprKind::Literal)
            return answer(msg::SyntaxError(e->name));
        if (e && !std::holds_alternative<std::monostate>(e->value)) {
            const auto* text = std::get_if<std::u16string>(&e->value);
            arg.value = sign + (text ? *text : displayValue(Typed{e->value, e->literalType}));
        }
        args.push_back(std::move(arg));
    }
    return callProcedure(call->procedure, std::move(args), ctx, sink);
}

} // namespace standin::server
