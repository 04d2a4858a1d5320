// Expression evaluation: operators, CASE, variables and column values, with SQL Server's types
// and NULL rules; calls of built-in functions go to their table (Functions.h).
#include "EngineImpl.h"
#include "Functions.h"
#include "Parser.h"
#include "Text.h"

#include <cmath>

namespace standin {

using namespace sql;
using text::widen;

using namespace fn;

namespace {

const std::u16string& asText(const Typed& t, std::u16string& scratch, const ConversionContext& ctx)
{
    if (auto* s = std::get_if<std::u16string>(&t.value))
        return *s;
    scratch = std::get<std::u16string>(
        convert(t, TypeName{SqlType::NVarChar, -1, 0, 0}, ConversionMode::Implicit, ctx));
    return scratch;
}

int64_t asInteger(const Typed& t, const ConversionContext& ctx)
{
    return std::get<int64_t>(
        convert(t, TypeName{SqlType::BigInt, 8, 19, 0}, ConversionMode::Implicit, ctx));
}

} // namespace

// ---- binding ----

void SessionImpl::bind(Expr& e, const std::vector<Source>& sources, bool allowColumns)
{
    for (auto& a : e.args)
        if (a)
            bind(*a, sources, allowColumns);
    if (e.kind != ExprKind::Column)
        return;
    static const char16_t* const niladic[] = {u"CURRENT_TIMESTAMP", u"SYSTEM_USER", u"CURRENT_USER",
                                              u"SESSION_USER", u"USER"};
    if (e.parts.size() == 1) {
        for (const char16_t* n : niladic)
            if (text::equalsIgnoreCase(e.parts[0], n)) {
                e.kind = ExprKind::Function;
                e.name = n;
                return;
            }
    }
    // The name as written, only for the messages.
    auto written = [&] {
        std::u16string out;
        for (size_t i = 0; i < e.parts.size(); ++i)
            out += (i ? u"." : u"") + e.parts[i];
        return out;
    };
    if (!allowColumns)
        throw SqlError(err::kNameNotPermitted, {written()});
    const std::u16string& column = e.parts.back();
    std::u16string_view qualifier = e.parts.size() >= 2
                                        ? std::u16string_view(e.parts[e.parts.size() - 2])
                                        : std::u16string_view();
    int foundSource = -1, foundColumn = -1;
    bool qualifierMatched = false;
    for (size_t s = 0; s < sources.size(); ++s) {
        const Source& src = sources[s];
        if (!qualifier.empty()) {
            bool match = !src.alias.empty() ? text::equalsIgnoreCase(src.alias, qualifier)
                                            : text::equalsIgnoreCase(src.name, qualifier);
            if (!match)
                continue;
            qualifierMatched = true;
        }
        for (size_t c = 0; c < src.columns.size(); ++c) {
            if (text::equalsIgnoreCase(src.columns[c].name, column)) {
                if (foundSource >= 0 && foundSource != static_cast<int>(s))
                    throw SqlError(err::kAmbiguousColumn, {column});
                foundSource = static_cast<int>(s);
                foundColumn = static_cast<int>(c);
                break;
            }
        }
    }
    if (!qualifier.empty() && !qualifierMatched)
        throw SqlError(err::kMultiPartNotBound, {written()});
    if (foundSource < 0)
        throw SqlError(err::kInvalidColumn, {column});
    e.boundSource = foundSource;
    e.boundColumn = foundColumn;
}

// ---- evaluation ----

std::optional<bool> SessionImpl::truth(const Expr& e, const RowContext& ctx)
{
    switch (e.kind) {
    case ExprKind::And: {
        auto a = truth(*e.args[0], ctx);
        if (a == false)
            return false;
        auto b = truth(*e.args[1], ctx);
        if (b == false)
            return false;
        if (a && b)
            return true;
        return std::nullopt;
    }
    case ExprKind::Or: {
        auto a = truth(*e.args[0], ctx);
        if (a == true)
            return true;
        auto b = truth(*e.args[1], ctx);
        if (b == true)
            return true;
        if (a && b)
            return false;
        return std::nullopt;
    }
    case ExprKind::Not: {
        auto a = truth(*e.args[0], ctx);
        if (!a)
            return std::nullopt;
        return !*a;
    }
    case ExprKind::Compare: {
        Typed a = evaluate(*e.args[0], ctx);
        Typed b = evaluate(*e.args[1], ctx);
        auto c = compare(a, b, conversion_);
        if (!c)
            return std::nullopt;
        const std::u16string& op = e.op;
        if (op == u"=")
            return *c == 0;
        if (op == u"<>")
            return *c != 0;
        if (op == u"<")
            return *c < 0;
        if (op == u">")
            return *c > 0;
        if (op == u"<=")
            return *c <= 0;
        return *c >= 0;
    }
    case ExprKind::IsNull: {
        bool isNull = evaluate(*e.args[0], ctx).isNull();
        return e.negated ? !isNull : isNull;
    }
    case ExprKind::Like: {
        Typed v = evaluate(*e.args[0], ctx);
        Typed p = evaluate(*e.args[1], ctx);
        char16_t escape = 0;
        if (e.args.size() > 2) {
            Typed x = evaluate(*e.args[2], ctx);
            std::u16string scratch;
            if (!x.isNull()) {
                const std::u16string& es = asText(x, scratch, conversion_);
                if (es.size() != 1)
                    throw SqlError(err::kInvalidEscape, {es});
                escape = es[0];
            }
        }
        if (v.isNull() || p.isNull())
            return std::nullopt;
        if (isBinary(v.type.type) && v.type.type == SqlType::Image)
            throw SqlError(err::kTextCompare);
        std::u16string s1, s2;
        bool m = text::like(asText(v, s1, conversion_), asText(p, s2, conversion_), escape);
        return e.negated ? !m : m;
    }
    case ExprKind::In: {
        Typed v = evaluate(*e.args[0], ctx);
        bool unknown = false;
        for (size_t i = 1; i < e.args.size(); ++i) {
            auto c = compare(v, evaluate(*e.args[i], ctx), conversion_);
            if (!c)
                unknown = true;
            else if (*c == 0)
                return !e.negated;
        }
        if (unknown)
            return std::nullopt;
        return e.negated;
    }
    case ExprKind::Between: {
        Typed v = evaluate(*e.args[0], ctx);
        auto lo = compare(v, evaluate(*e.args[1], ctx), conversion_);
        auto hi = compare(v, evaluate(*e.args[2], ctx), conversion_);
        std::optional<bool> a = lo ? std::optional<bool>(*lo >= 0) : std::nullopt;
        std::optional<bool> b = hi ? std::optional<bool>(*hi <= 0) : std::nullopt;
        std::optional<bool> r;
        if (a == false || b == false)
            r = false;
        else if (a && b)
            r = true;
        if (!r)
            return std::nullopt;
        return e.negated ? !*r : *r;
    }
    default:
        break;
    }
    throw SqlError(err::kNonBoolean, {});
}

Typed SessionImpl::evaluate(const Expr& e, const RowContext& ctx)
{
    switch (e.kind) {
    case ExprKind::Literal:
        return Typed{e.value, e.literalType};
    case ExprKind::Column: {
        if (e.boundSource < 0 || !ctx.sources)
            throw SqlError(err::kInvalidColumn, {e.parts.back()});
        const Source& src = (*ctx.sources)[static_cast<size_t>(e.boundSource)];
        const store::ColumnMeta& c = src.columns[static_cast<size_t>(e.boundColumn)];
        const std::vector<Value>* row = ctx.rows[static_cast<size_t>(e.boundSource)];
        if (!row)
            return nullOf(c.type);
        return Typed{(*row)[static_cast<size_t>(e.boundColumn)], c.type};
    }
    case ExprKind::Variable: {
        const std::u16string& n = e.name;
        if (n.rfind(u"@@", 0) == 0) {
            if (n == u"@@VERSION")
                return textOf(engine_.version(), 300);
            if (n == u"@@SERVERNAME")
                return textOf(engine_.serverName(), 128);
            if (n == u"@@SERVICENAME")
                return textOf(u"MSSQLSERVER", 128);
            if (n == u"@@SPID")
                return Typed{int64_t{spid_}, TypeName{SqlType::SmallInt, 2, 5, 0}};
            if (n == u"@@ROWCOUNT")
                return integer(rowCount_);
            if (n == u"@@ERROR")
                return integer(lastError_);
            if (n == u"@@TRANCOUNT")
                return integer(trancount_);
            if (n == u"@@IDENTITY")
                return lastIdentity_ ? Typed{*lastIdentity_, kIdentityNumeric}
                                     : nullOf(kIdentityNumeric);
            if (n == u"@@LANGUAGE")
                return textOf(language_, 128);
            if (n == u"@@TEXTSIZE")
                return integer(textSize_);
            if (n == u"@@MAX_PRECISION")
                return Typed{int64_t{38}, TypeName{SqlType::TinyInt, 1, 3, 0}};
            if (n == u"@@DATEFIRST")
                return Typed{int64_t{7}, TypeName{SqlType::TinyInt, 1, 3, 0}};
            if (n == u"@@LOCK_TIMEOUT")
                return integer(-1);
            if (n == u"@@NESTLEVEL" || n == u"@@PROCID")
                return integer(0);
            if (n == u"@@MICROSOFTVERSION")
                return integer(0x0F0007D0);
            throw SqlError(err::kMissingVariable, {n});
        }
        auto it = variables_.find(text::upper(n));
        if (it == variables_.end())
            throw SqlError(err::kMissingVariable, {n});
        return Typed{it->second.value, it->second.type};
    }
    case ExprKind::Negate:
        return negate(evaluate(*e.args[0], ctx));
    case ExprKind::BitNot: {
        Typed a = evaluate(*e.args[0], ctx);
        if (a.isNull())
            return a;
        if (!isInteger(a.type.type))
            throw SqlError(err::kOperandInvalid, {typeName(a.type), u"~"});
        int64_t v = ~std::get<int64_t>(a.value);
        if (a.type.type == SqlType::TinyInt)
            v &= 0xFF;
        if (a.type.type == SqlType::Bit)
            v &= 1;
        return Typed{v, a.type};
    }
    case ExprKind::Arithmetic:
        return arithmetic(e.op[0], evaluate(*e.args[0], ctx), evaluate(*e.args[1], ctx),
                          conversion_);
    case ExprKind::Cast: {
        Typed v = evaluate(*e.args[0], ctx);
        int style = 0;
        if (e.args.size() > 1) {
            Typed st = evaluate(*e.args[1], ctx);
            if (!st.isNull())
                style = static_cast<int>(asInteger(st, conversion_));
        }
        return Typed{convert(v, e.castType, ConversionMode::Explicit, conversion_, style),
                     e.castType};
    }
    case ExprKind::Case: {
        size_t i = 0;
        Typed operand;
        if (e.hasOperand)
            operand = evaluate(*e.args[i++], ctx);
        size_t end = e.args.size() - (e.hasElse ? 1 : 0);
        // Result type: the highest precedence of the THEN/ELSE branches.
        TypeName resultType;
        bool first = true;
        for (size_t k = i + 1; k < end; k += 2) {
            (void)k;
        }
        std::optional<Typed> chosen;
        for (; i + 1 < end + 1 && i < end; i += 2) {
            bool hit;
            if (e.hasOperand) {
                auto c = compare(operand, evaluate(*e.args[i], ctx), conversion_);
                hit = c && *c == 0;
            } else {
                hit = truth(*e.args[i], ctx) == true;
            }
            if (hit) {
                chosen = evaluate(*e.args[i + 1], ctx);
                break;
            }
        }
        if (!chosen && e.hasElse)
            chosen = evaluate(*e.args.back(), ctx);
        (void)first;
        (void)resultType;
        if (!chosen)
            return nullOf(kInt);
        return *chosen;
    }
    case ExprKind::CountStar:
    case ExprKind::Function:
        if (ctx.aggregates) {
            auto it = ctx.aggregates->find(&e);
            if (it != ctx.aggregates->end())
                return it->second;
        }
        if (e.kind == ExprKind::CountStar || isAggregateFunction(e.name))
            throw SqlError(err::kAggregateInWhere);
        {
            FunctionCall call(*this, e, ctx);
            return callBuiltin(call);
        }
    default: {
        auto t = truth(e, ctx);
        (void)t;
        throw syntaxError(u"=");
    }
    }
}

} // namespace standin
