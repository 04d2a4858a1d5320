// The server's own statements (databases, backups, logins) and EXEC of its procedures: the
// catalogue procedures the session answers itself, the rest through the server catalogue.
#include "Executors.h"
#include "Text.h"

namespace standin {

using namespace sql;

void ServerStatementExecutor::run(ServerStmt& s)
{
    server::ServerContext context = session_.serverContext(cx_.line, cx_.firstInBatch);
    session_.engine_.catalog().execute(s.statement, context, cx_.sink);
}

void ServerStatementExecutor::exec(ExecStmt& s)
{
    ResultSink& sink = cx_.sink;
    const int32_t line = cx_.line;
    std::u16string name = text::upper(s.procedure.back());
    std::vector<std::pair<std::u16string, Typed>> args;
    for (auto& a : s.args) {
        if (a.output)
            throw notSupported(u"OUTPUT parameters");
        if (!a.value) {
            args.emplace_back(a.name, Typed{});
            continue;
        }
        RowContext none;
        session_.bind(*a.value, {}, false);
        args.emplace_back(a.name, session_.evaluate(*a.value, none));
    }
    if (s.procedure.size() >= 3 && !s.procedure[0].empty() &&
        !text::equalsIgnoreCase(s.procedure[0], session_.databaseName_) &&
        !text::equalsIgnoreCase(s.procedure[0], u"master"))
        throw notSupported(u"Procedures of another database");
    bool handled = false;
    try {
        handled = session_.runProcedure(name, args, sink, line);
    } catch (const SqlError& e) {
        Message m = e.message();
        m.line = line;
        m.procedure = s.procedure.back();
        sink.message(m);
        session_.lastError_ = m.number;
        sink.returnStatus(1);
        DoneInfo d;
        d.kind = DoneInfo::Kind::Procedure;
        d.error = true;
        sink.done(d);
        if (scopeOf(m.number) == ErrorScope::Batch)
            throw BatchAborted{};
        return;
    }
    if (handled) {
        sink.returnStatus(0);
        DoneInfo d;
        d.kind = DoneInfo::Kind::Procedure;
        sink.done(d);
        return;
    }
    server::ServerContext context = session_.serverContext(line, cx_.firstInBatch);
    if (session_.engine_.catalog().callProcedure(s.procedure, session_.serverArguments(args),
                                                 context, sink))
        return;
    throw SqlError(err::kProcedureMissing, {s.procedure.back()});
}

} // namespace standin
