// The statements that change the session itself: USE, the transaction statements, SET options
// and IDENTITY_INSERT, variables (DECLARE, SET @v) and WAITFOR DELAY. Each ends with its own DONE.
#include "Executors.h"
#include "Text.h"

#include <chrono>
#include <thread>

namespace standin {

using namespace sql;
using store::Database;
using store::TableMeta;
using text::widen;

void SessionStatementExecutor::finish()
{
    DoneInfo d;
    d.kind = cx_.inProcedure ? DoneInfo::Kind::InProcedure : DoneInfo::Kind::Statement;
    cx_.sink.done(d);
}

void SessionStatementExecutor::use(UseStmt& s)
{
    std::u16string from = session_.databaseName_;
    if (auto error = session_.useDatabase(s.database))
        throw SqlError(*error);
    cx_.sink.databaseChanged(from, session_.databaseName_);
    Message m = makeMessage(err::kDatabaseChanged, {session_.databaseName_});
    m.line = cx_.line;
    cx_.sink.message(m);
    finish();
}

void SessionStatementExecutor::transaction(TransactionStmt& s)
{
    int32_t& trancount = session_.trancount_;
    if (s.kind == TransactionStmt::Kind::Begin) {
        ++trancount;
    } else if (s.kind == TransactionStmt::Kind::Commit) {
        if (trancount == 0)
            throw SqlError(err::kCommitWithoutBegin);
        if (--trancount == 0) {
            trancount = 1;
            session_.commitTransaction();
        }
    } else {
        if (trancount == 0)
            throw SqlError(err::kRollbackWithoutBegin);
        session_.rollbackTransaction();
    }
    finish();
}

void SessionStatementExecutor::set(SetOptionStmt& s)
{
    setOption(s);
    finish();
}

void SessionStatementExecutor::set(SetIdentityInsertStmt& s)
{
    setIdentityInsert(s);
    finish();
}

void SessionStatementExecutor::declare(DeclareStmt& s)
{
    for (size_t i = 0; i < s.variables.size(); ++i) {
        SessionImpl::Variable v{s.variables[i].second, std::monostate{}};
        if (s.initial[i]) {
            RowContext none;
            session_.bind(*s.initial[i], {}, false);
            Typed t = session_.evaluate(*s.initial[i], none);
            v.value = convert(t, v.type, ConversionMode::Assignment, session_.conversion_);
        }
        session_.variables_[text::upper(s.variables[i].first)] = std::move(v);
    }
    finish();
}

void SessionStatementExecutor::setVariable(SetVariableStmt& s)
{
    auto it = session_.variables_.find(text::upper(s.variable));
    if (it == session_.variables_.end())
        throw SqlError(err::kMissingVariable, {s.variable});
    RowContext none;
    session_.bind(*s.value, {}, false);
    Typed t = session_.evaluate(*s.value, none);
    it->second.value =
        convert(t, it->second.type, ConversionMode::Assignment, session_.conversion_);
    session_.rowCount_ = 1;
    finish();
}

void SessionStatementExecutor::waitFor(WaitForStmt& s)
{
    bool outOfRange = false;
    auto at = parseDateTime(s.delay, DateOrder::MDY, &outOfRange);
    if (!at || at->days != 0)
        throw SqlError(err::kWaitForSyntax);
    auto until = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<int64_t>(at->ticks) * 10 / 3);
    while (std::chrono::steady_clock::now() < until) {
        if (session_.cancel_ && session_.cancel_->load())
            throw Cancelled{};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    finish();
}

void SessionStatementExecutor::setOption(SetOptionStmt& s)
{
    std::u16string value = text::upper(s.value);
    bool on = value == u"ON";
    bool off = value == u"OFF";
    auto onOff = [&] {
        if (!on && !off)
            throw syntaxError(s.value);
    };
    static const char* const harmless[] = {"ANSI_NULL_DFLT_ON",
                                           "ANSI_PADDING",
                                           "ARITHABORT",
                                           "ARITHIGNORE",
                                           "NUMERIC_ROUNDABORT",
                                           "CURSOR_CLOSE_ON_COMMIT",
                                           "XACT_ABORT",
                                           "NOEXEC",
                                           "PARSEONLY",
                                           "SHOWPLAN_TEXT",
                                           "SHOWPLAN_ALL",
                                           "SHOWPLAN_XML",
                                           "STATISTICS",
                                           "NO_BROWSETABLE",
                                           "FORCEPLAN",
                                           "REMOTE_PROC_TRANSACTIONS",
                                           "ANSI_NULL_DFLT_OFF",
                                           "ANSI_DEFAULTS",
                                           "ANSI_NULLS",
                                           "ANSI_WARNINGS",
                                           "QUOTED_IDENTIFIER",
                                           "CONCAT_NULL_YIELDS_NULL",
                                           "NOCOUNT",
                                           "IMPLICIT_TRANSACTIONS",
                                           "FMTONLY"};
    if (s.option == u"TEXTSIZE") {
        try {
            session_.textSize_ = std::stoll(text::narrow(s.value));
        } catch (...) {
            throw syntaxError(s.value);
        }
        if (session_.textSize_ <= 0)
            session_.textSize_ = 4096;
        return;
    }
    if (s.option == u"DATEFORMAT") {
        static const std::pair<const char16_t*, DateOrder> orders[] = {
            {u"MDY", DateOrder::MDY}, {u"DMY", DateOrder::DMY}, {u"YMD", DateOrder::YMD},
            {u"YDM", DateOrder::YDM}, {u"MYD", DateOrder::MYD}, {u"DYM", DateOrder::DYM}};
        for (const auto& [name, order] : orders)
            if (value == name) {
                session_.conversion_.dateOrder = order;
                return;
            }
        throw notSupported(u"DATEFORMAT " + s.value);
    }
    if (s.option == u"LANGUAGE") {
        if (value != u"US_ENGLISH" && value != u"ENGLISH")
            throw notSupported(u"The language " + s.value);
        session_.language_ = u"us_english";
        Message m = makeMessage(err::kLanguageChanged, {session_.language_});
        m.line = session_.currentLine_;
        cx_.sink.message(m);
        return;
    }
    if (s.option == u"DATEFIRST" || s.option == u"LOCK_TIMEOUT" ||
        s.option == u"DEADLOCK_PRIORITY" || s.option == u"TRANSACTION" ||
        s.option == u"CONTEXT_INFO" || s.option == u"QUERY_GOVERNOR_COST_LIMIT")
        return; // single-lock engine: isolation and waiting rules change nothing here
    if (s.option == u"ROWCOUNT") {
        if (value != u"0")
            throw notSupported(u"SET ROWCOUNT other than 0");
        return;
    }
    for (const auto& option : s.options) {
        bool known = false;
        for (const char* h : harmless)
            if (option == widen(h))
                known = true;
        if (!known)
            throw notSupported(u"SET " + option);
    }
    onOff();
    for (const auto& option : s.options) {
        // Options whose OFF setting would change results are refused rather than ignored.
        if (off && (option == u"ANSI_NULLS" || option == u"ANSI_WARNINGS" ||
                    option == u"CONCAT_NULL_YIELDS_NULL" || option == u"QUOTED_IDENTIFIER"))
            throw notSupported(u"SET " + option + u" OFF");
        if (on &&
            (option == u"FMTONLY" || option == u"NOEXEC" || option == u"PARSEONLY" ||
             option == u"SHOWPLAN_TEXT" || option == u"SHOWPLAN_ALL" || option == u"SHOWPLAN_XML" ||
             option == u"ANSI_NULL_DFLT_OFF" || option == u"ANSI_DEFAULTS"))
            throw notSupported(u"SET " + option + u" ON");
        if (option == u"NOCOUNT")
            session_.nocount_ = on;
        if (option == u"XACT_ABORT")
            session_.xactAbort_ = on;
        if (option == u"IMPLICIT_TRANSACTIONS")
            session_.implicitTransactions_ = on;
    }
}

void SessionStatementExecutor::setIdentityInsert(SetIdentityInsertStmt& s)
{
    Database& db = session_.database();
    session_.checkDatabasePart(s.table);
    const TableMeta* t = db.table(s.table.table());
    if (!t)
        throw SqlError(err::kTableMissingForIndex, {s.table.table()});
    if (t->identityColumn() < 0)
        throw SqlError(err::kNotIdentityTable, {t->name});
    if (s.on) {
        if (session_.identityInsertTable_ != 0 && !(session_.identityInsertTable_ == t->id &&
                                                    session_.identityInsertDb_ == session_.db_)) {
            std::u16string other;
            if (session_.identityInsertDb_)
                if (const auto* o =
                        session_.identityInsertDb_->tableById(session_.identityInsertTable_))
                    other = session_.identityInsertDb_ == session_.db_ ? o->name : o->name;
            throw SqlError(err::kIdentityInsertOther,
                           {session_.databaseName_ + u".dbo." + other, t->name});
        }
        session_.identityInsertTable_ = t->id;
        session_.identityInsertDb_ = session_.db_;
    } else if (session_.identityInsertTable_ == t->id &&
               session_.identityInsertDb_ == session_.db_) {
        session_.identityInsertTable_ = 0;
        session_.identityInsertDb_.reset();
    }
}

} // namespace standin
