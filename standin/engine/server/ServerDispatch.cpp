// Which server-level statement or procedure a text or an RPC names, its arguments bound to the
// procedure's parameters, and the statement run with its failures answered.
#include "ServerCatalog.h"

#include "../Errors.h"
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

// Reads [master.][dbo.|sys.]name or master..name at the cursor; the procedure it names.
const ProcedureName* procedureAt(const std::vector<Token>& tokens, size_t at, size_t& consumed)
{
    std::vector<std::u16string> parts;
    size_t i = at;
    while (i < tokens.size()) {
        const Token& t = tokens[i];
        if (t.kind == Token::Kind::Word || t.kind == Token::Kind::QuotedName) {
            parts.push_back(t.text);
            ++i;
        } else if (t.kind == Token::Kind::Symbol && t.text == u"." && !parts.empty()) {
            // "master..sp_helpdb" leaves the schema empty.
            if (i + 1 < tokens.size() && tokens[i + 1].kind == Token::Kind::Symbol &&
                tokens[i + 1].text == u".") {
                parts.push_back(u"dbo");
                ++i;
            }
            ++i;
            continue;
        } else {
            break;
        }
        if (i >= tokens.size() || tokens[i].kind != Token::Kind::Symbol || tokens[i].text != u".")
            break;
    }
    if (parts.empty() || parts.size() > 3)
        return nullptr;
    if (parts.size() == 3 && !EqualsNoCase(parts[0], u"master"))
        return nullptr;
    if (parts.size() >= 2 && !EqualsNoCase(parts[parts.size() - 2], u"dbo") &&
        !EqualsNoCase(parts[parts.size() - 2], u"sys"))
        return nullptr;
    for (const auto& p : procedures()) {
        if (EqualsNoCase(parts.back(), p.name)) {
            consumed = i - at;
            return &p;
        }
    }
    return nullptr;
}

enum class Kind { None, CreateDatabase, DropDatabase, Backup, Restore, Procedure };

Kind classify(const std::vector<Token>& tokens, const ProcedureName*& procedure,
              size_t& procedureStart, size_t& procedureLength)
{
    auto word = [&](size_t i, const char16_t* keyword) {
        return i < tokens.size() && tokens[i].kind == Token::Kind::Word &&
               EqualsNoCase(tokens[i].text, keyword);
    };
    if (word(0, u"CREATE") && word(1, u"DATABASE"))
        return Kind::CreateDatabase;
    if (word(0, u"DROP") && word(1, u"DATABASE"))
        return Kind::DropDatabase;
    if (word(0, u"BACKUP") && (word(1, u"DATABASE") || word(1, u"LOG")))
        return Kind::Backup;
    if (word(0, u"RESTORE") &&
        (word(1, u"DATABASE") || word(1, u"FILELISTONLY") || word(1, u"HEADERONLY") ||
         word(1, u"LOG") || word(1, u"VERIFYONLY") || word(1, u"LABELONLY")))
        return Kind::Restore;
    size_t at = 0;
    if (word(0, u"EXEC") || word(0, u"EXECUTE"))
        at = 1;
    procedure = procedureAt(tokens, at, procedureLength);
    if (procedure) {
        procedureStart = at;
        return Kind::Procedure;
    }
    return Kind::None;
}

// Procedure arguments: [@name =] 'text' | N'text' | number | word | NULL, comma-separated.
bool parseArguments(TokenCursor& cursor, std::vector<Argument>& args, Token& bad)
{
    if (cursor.atStatementEnd())
        return true;
    while (true) {
        Argument arg;
        if (cursor.peek().kind == Token::Kind::Variable && cursor.isSymbol(u'=', 1)) {
            arg.name = cursor.next().text;
            cursor.next();
        }
        const Token& value = cursor.next();
        switch (value.kind) {
        case Token::Kind::String:
        case Token::Kind::Number:
        case Token::Kind::QuotedName:
            arg.value = value.text;
            break;
        case Token::Kind::Word:
            if (EqualsNoCase(value.text, u"NULL"))
                arg.value.reset();
            else
                arg.value = value.text;
            break;
        default:
            bad = value;
            return false;
        }
        args.push_back(std::move(arg));
        if (cursor.acceptSymbol(u','))
            continue;
        if (cursor.atStatementEnd())
            return true;
        bad = cursor.peek();
        return false;
    }
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
} // namespace

namespace {
void runProcedure(ServerCatalog::Impl& impl, const ProcedureName& procedure,
                  std::vector<Argument> args, ServerContext& ctx, ResultSink& sink)
{
    Reply inProcedure(sink, ctx.line, procedure.name);
    int32_t status = 1;
    if (bindArguments(procedure, args, inProcedure)) {
        switch (procedure.procedure) {
        case Procedure::HelpDb:
            status = impl.helpDb(args, inProcedure);
            break;
        case Procedure::Databases:
            status = impl.listDatabases(args, inProcedure);
            break;
        case Procedure::LoginInfo:
            status = impl.loginInfo(args, inProcedure);
            break;
        case Procedure::GrantLogin:
            status = impl.grantLogin(args, ctx, inProcedure);
            break;
        case Procedure::RevokeLogin:
            status = impl.revokeLogin(args, ctx, inProcedure);
            break;
        case Procedure::AddRoleMember:
            status = impl.addServerRoleMember(args, ctx, inProcedure, true);
            break;
        case Procedure::DropRoleMember:
            status = impl.addServerRoleMember(args, ctx, inProcedure, false);
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
        reply.message(makeMessage(err::kStorageFailure, {FromUtf8(e.what())}));
        reply.endStatement();
    }
}
} // namespace

bool ServerCatalog::tryExecute(const std::u16string& statementText, ServerContext& ctx,
                               ResultSink& sink)
{
    LexResult lexed = Tokenize(statementText);
    const ProcedureName* procedure = nullptr;
    size_t procedureStart = 0, procedureLength = 0;
    const Kind kind = classify(lexed.tokens, procedure, procedureStart, procedureLength);
    if (kind == Kind::None)
        return false;
    // A bare procedure name is a call only at the start of a batch.
    if (kind == Kind::Procedure && procedureStart == 0 && !ctx.firstInBatch)
        return false;

    Reply reply(sink, ctx.line);
    if (lexed.error) {
        reply.message(msg::SyntaxError(*lexed.error));
        reply.endStatement();
        return true;
    }
    TokenCursor cursor(lexed.tokens);
    guarded(ctx, sink, [&] {
        switch (kind) {
        case Kind::CreateDatabase:
            impl_->createDatabase(cursor, ctx, reply);
            break;
        case Kind::DropDatabase:
            impl_->dropDatabase(cursor, ctx, reply);
            break;
        case Kind::Backup:
            impl_->backupDatabase(cursor, ctx, reply);
            break;
        case Kind::Restore:
            impl_->restore(cursor, ctx, reply);
            break;
        case Kind::Procedure: {
            for (size_t i = 0; i < procedureStart + procedureLength; ++i)
                cursor.next();
            std::vector<Argument> args;
            Token bad;
            if (!parseArguments(cursor, args, bad)) {
                reply.message(msg::SyntaxError(NearText(bad)));
                reply.endStatement();
                break;
            }
            runProcedure(*impl_, *procedure, std::move(args), ctx, sink);
            break;
        }
        case Kind::None:
            break;
        }
    });
    return true;
}

bool ServerCatalog::callProcedure(const std::u16string& name, std::vector<Argument> args,
                                  ServerContext& ctx, ResultSink& sink)
{
    for (const auto& p : procedures()) {
        if (EqualsNoCase(name, p.name)) {
            guarded(ctx, sink, [&] { runProcedure(*impl_, p, std::move(args), ctx, sink); });
            return true;
        }
    }
    return false;
}

} // namespace standin::server
