// Expression evaluation: operators, built-in functions, CASE, variables and column values,
// with SQL Server's types and NULL rules.
#include "EngineImpl.h"
#include "Parser.h"
#include "Text.h"

#include <cmath>

namespace standin {

using namespace sql;
using text::widen;

namespace {

const TypeName kInt{SqlType::Int, 4, 10, 0};
const TypeName kSysname{SqlType::NVarChar, 128, 0, 0};
const TypeName kIdentityNumeric{SqlType::Decimal, 17, 38, 0};

Typed integer(int64_t v)
{
    return Typed{v, kInt};
}
Typed nullOf(TypeName t)
{
    return Typed{std::monostate{}, t};
}
Typed textOf(std::u16string s, int32_t length = 0)
{
    int32_t n = length > 0 ? length : std::max<int32_t>(1, static_cast<int32_t>(s.size()));
    return Typed{std::move(s), TypeName{SqlType::NVarChar, n, 0, 0}};
}

bool isAggregateName(const std::u16string& n)
{
    return n == u"COUNT" || n == u"SUM" || n == u"MIN" || n == u"MAX" || n == u"AVG" ||
           n == u"COUNT_BIG";
}

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

void requireArgs(const Expr& e, size_t low, size_t high)
{
    if (e.args.size() < low || e.args.size() > high)
        throw SqlError(err::kArgumentCount,
                       {text::upper(e.name), formatInteger(static_cast<int64_t>(low))});
}

// Positions in a text under the default collation: the first match of `find` at or after `from`.
size_t findText(const std::u16string& in, const std::u16string& find, size_t from)
{
    if (find.empty())
        return std::u16string::npos;
    for (size_t i = from; i + find.size() <= in.size(); ++i) {
        bool match = true;
        for (size_t k = 0; k < find.size() && match; ++k)
            match = text::collate(std::u16string_view(&in[i + k], 1),
                                  std::u16string_view(&find[k], 1)) == 0 ||
                    in[i + k] == find[k];
        if (match)
            return i;
    }
    return std::u16string::npos;
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
    std::u16string written;
    for (size_t i = 0; i < e.parts.size(); ++i)
        written += (i ? u"." : u"") + e.parts[i];
    if (!allowColumns)
        throw SqlError(err::kNameNotPermitted, {written});
    const std::u16string& column = e.parts.back();
    std::u16string qualifier = e.parts.size() >= 2 ? e.parts[e.parts.size() - 2] : u"";
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
        throw SqlError(err::kMultiPartNotBound, {written});
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
        if (e.kind == ExprKind::CountStar || isAggregateName(e.name))
            throw SqlError(err::kAggregateInWhere);
        return callFunction(e, ctx);
    default: {
        auto t = truth(e, ctx);
        (void)t;
        throw syntaxError(u"=");
    }
    }
}

Typed SessionImpl::callFunction(const Expr& e, const RowContext& ctx)
{
    const std::u16string& n = e.name;
    auto arg = [&](size_t i) { return evaluate(*e.args[i], ctx); };
    std::u16string s1, s2, s3;
    if (n == u"SCOPE_IDENTITY") {
        requireArgs(e, 0, 0);
        return scopeIdentity_ ? Typed{*scopeIdentity_, kIdentityNumeric} : nullOf(kIdentityNumeric);
    }
    if (n == u"IDENT_CURRENT") {
        requireArgs(e, 1, 1);
        Typed name = arg(0);
        if (name.isNull() || !db_)
            return nullOf(kIdentityNumeric);
        const store::TableMeta* t = db_->table(asText(name, s1, conversion_));
        if (!t || t->identityColumn() < 0)
            return nullOf(kIdentityNumeric);
        const auto& c = t->columns[static_cast<size_t>(t->identityColumn())];
        return Typed{t->identityUsed ? t->identityCurrent : c.seed, kIdentityNumeric};
    }
    if (n == u"GETDATE" || n == u"CURRENT_TIMESTAMP" || n == u"SYSDATETIME" || n == u"GETUTCDATE") {
        requireArgs(e, 0, 0);
        return Typed{now(), TypeName{SqlType::DateTime, 8, 23, 3}};
    }
    if (n == u"SYSTEM_USER" || n == u"SUSER_SNAME" || n == u"SUSER_NAME" ||
        n == u"ORIGINAL_LOGIN") {
        return textOf(login_, 128);
    }
    if (n == u"CURRENT_USER" || n == u"SESSION_USER" || n == u"USER" || n == u"USER_NAME") {
        return textOf(u"dbo", 128);
    }
    if (n == u"DB_NAME") {
        requireArgs(e, 0, 1);
        if (e.args.empty())
            return textOf(databaseName_, 128);
        Typed id = arg(0);
        if (id.isNull())
            return nullOf(kSysname);
        int64_t want = asInteger(id, conversion_);
        for (const auto& d : engine_.catalog().databases())
            if (d.dbid == want)
                return textOf(d.name, 128);
        return nullOf(kSysname);
    }
    if (n == u"DB_ID") {
        requireArgs(e, 0, 1);
        std::u16string name = databaseName_;
        if (!e.args.empty()) {
            Typed a = arg(0);
            if (a.isNull())
                return nullOf(TypeName{SqlType::SmallInt, 2, 5, 0});
            name = asText(a, s1, conversion_);
        }
        auto entry = engine_.catalog().find(name);
        if (!entry)
            return nullOf(TypeName{SqlType::SmallInt, 2, 5, 0});
        return Typed{int64_t{entry->dbid}, TypeName{SqlType::SmallInt, 2, 5, 0}};
    }
    if (n == u"OBJECT_ID") {
        requireArgs(e, 1, 2);
        Typed a = arg(0);
        if (a.isNull())
            return nullOf(kInt);
        return objectId(asText(a, s1, conversion_));
    }
    if (n == u"OBJECT_NAME") {
        requireArgs(e, 1, 2);
        Typed a = arg(0);
        if (a.isNull() || !db_)
            return nullOf(kSysname);
        int64_t id = asInteger(a, conversion_);
        if (const auto* t = db_->tableById(id))
            return textOf(t->name, 128);
        return nullOf(kSysname);
    }
    if (n == u"COLUMNPROPERTY") {
        requireArgs(e, 3, 3);
        return columnProperty(arg(0), arg(1), arg(2));
    }
    if (n == u"SERVERPROPERTY") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        std::u16string p = a.isNull() ? u"" : text::upper(asText(a, s1, conversion_));
        if (p == u"PRODUCTVERSION")
            return textOf(u"15.0.2000.5", 128);
        if (p == u"PRODUCTLEVEL")
            return textOf(u"RTM", 128);
        if (p == u"EDITION")
            return textOf(u"Developer Edition (64-bit)", 128);
        if (p == u"ENGINEEDITION")
            return integer(3);
        if (p == u"SERVERNAME" || p == u"MACHINENAME")
            return textOf(engine_.serverName(), 128);
        if (p == u"COLLATION")
            return textOf(u"SQL_Latin1_General_CP1_CI_AS", 128);
        if (p == u"ISINTEGRATEDSECURITYONLY")
            return integer(0);
        if (p == u"INSTANCENAME")
            return nullOf(kSysname);
        return nullOf(kSysname);
    }
    if (n == u"ISNULL") {
        requireArgs(e, 2, 2);
        Typed a = arg(0);
        if (!a.isNull())
            return a;
        Typed b = arg(1);
        return Typed{convert(b, a.type, ConversionMode::Implicit, conversion_), a.type};
    }
    if (n == u"COALESCE") {
        if (e.args.size() < 2)
            throw SqlError(err::kArgumentCount, {u"COALESCE", u"2"});
        std::vector<Typed> values;
        TypeName best = evaluate(*e.args[0], ctx).type;
        for (size_t i = 0; i < e.args.size(); ++i) {
            values.push_back(arg(i));
            if (precedence(values.back().type.type) > precedence(best.type))
                best = values.back().type;
        }
        for (auto& v : values)
            if (!v.isNull())
                return Typed{convert(v, best, ConversionMode::Implicit, conversion_), best};
        return nullOf(best);
    }
    if (n == u"NULLIF") {
        requireArgs(e, 2, 2);
        Typed a = arg(0);
        auto c = compare(a, arg(1), conversion_);
        if (c && *c == 0)
            return nullOf(a.type);
        return a;
    }
    if (n == u"LEN" || n == u"DATALENGTH") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        if (a.isNull())
            return nullOf(kInt);
        if (n == u"DATALENGTH") {
            if (auto* b = std::get_if<Bytes>(&a.value))
                return integer(static_cast<int64_t>(b->size()));
            if (auto* s = std::get_if<std::u16string>(&a.value))
                return integer(static_cast<int64_t>(s->size()) *
                               (isNationalText(a.type.type) ? 2 : 1));
            if (std::holds_alternative<DateTimeValue>(a.value) ||
                std::holds_alternative<double>(a.value))
                return integer(8);
            return integer(a.type.length > 0 ? a.type.length : 4);
        }
        return integer(
            static_cast<int64_t>(text::trimTrailingBlanks(asText(a, s1, conversion_)).size()));
    }
    if (n == u"UPPER" || n == u"LOWER" || n == u"LTRIM" || n == u"RTRIM" || n == u"TRIM") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        TypeName t = isText(a.type.type) ? a.type : TypeName{SqlType::VarChar, 30, 0, 0};
        if (a.isNull())
            return nullOf(t);
        std::u16string s = asText(a, s1, conversion_);
        if (n == u"UPPER") {
            s = text::upper(s);
        } else if (n == u"LOWER") {
            for (auto& c : s) {
                char16_t u = text::foldCase(c);
                if (u == c && c >= u'A' && c <= u'Z')
                    c = static_cast<char16_t>(c + 32);
                else if (u == c && c >= 0xC0 && c <= 0xDE && c != 0xD7)
                    c = static_cast<char16_t>(c + 32);
            }
        } else {
            if (n == u"LTRIM" || n == u"TRIM")
                s.erase(0, s.find_first_not_of(u' ') == std::u16string::npos
                               ? s.size()
                               : s.find_first_not_of(u' '));
            if (n == u"RTRIM" || n == u"TRIM")
                s = text::trimTrailingBlanks(s);
        }
        return Typed{s, t};
    }
    if (n == u"SUBSTRING" || n == u"LEFT" || n == u"RIGHT") {
        requireArgs(e, n == u"SUBSTRING" ? 3 : 2, n == u"SUBSTRING" ? 3 : 2);
        Typed a = arg(0);
        TypeName t = isText(a.type.type) || isBinary(a.type.type)
                         ? a.type
                         : TypeName{SqlType::VarChar, 8000, 0, 0};
        if (t.type == SqlType::NText)
            t = TypeName{SqlType::NVarChar, 4000, 0, 0};
        if (t.type == SqlType::Image)
            t = TypeName{SqlType::VarBinary, 8000, 0, 0};
        Typed b = arg(1);
        Typed c = e.args.size() > 2 ? arg(2) : Typed{};
        if (a.isNull() || b.isNull() || (e.args.size() > 2 && c.isNull()))
            return nullOf(t);
        int64_t start = 1, length = 0;
        if (n == u"SUBSTRING") {
            start = asInteger(b, conversion_);
            length = asInteger(c, conversion_);
            if (length < 0)
                throw SqlError(err::kNegativeLength, {u"substring"});
        } else {
            length = asInteger(b, conversion_);
            if (length < 0)
                throw SqlError(err::kNegativeLength, {n == u"LEFT" ? u"left" : u"right"});
        }
        auto slice = [&](auto seq) {
            int64_t size = static_cast<int64_t>(seq.size());
            if (n == u"RIGHT")
                start = size - length + 1;
            int64_t from = std::max<int64_t>(start, 1);
            int64_t to = std::min<int64_t>(size + 1, start + length);
            if (to <= from)
                return decltype(seq){};
            return decltype(seq)(seq.begin() + (from - 1), seq.begin() + (to - 1));
        };
        if (auto* bytes = std::get_if<Bytes>(&a.value))
            return Typed{slice(*bytes), t};
        return Typed{slice(asText(a, s1, conversion_)), t};
    }
    if (n == u"REPLACE") {
        requireArgs(e, 3, 3);
        Typed a = arg(0), b = arg(1), c = arg(2);
        TypeName t{isNationalText(a.type.type) || isNationalText(b.type.type) ||
                           isNationalText(c.type.type)
                       ? SqlType::NVarChar
                       : SqlType::VarChar,
                   8000, 0, 0};
        if (t.type == SqlType::NVarChar)
            t.length = 4000;
        if (a.isNull() || b.isNull() || c.isNull())
            return nullOf(t);
        std::u16string s = asText(a, s1, conversion_);
        std::u16string find = asText(b, s2, conversion_);
        std::u16string with = asText(c, s3, conversion_);
        if (find.empty())
            return Typed{s, t};
        std::u16string out;
        size_t i = 0;
        for (;;) {
            size_t k = findText(s, find, i);
            if (k == std::u16string::npos)
                break;
            out += s.substr(i, k - i) + with;
            i = k + find.size();
        }
        out += s.substr(i);
        return Typed{out, t};
    }
    if (n == u"CHARINDEX") {
        requireArgs(e, 2, 3);
        Typed a = arg(0), b = arg(1);
        if (a.isNull() || b.isNull())
            return nullOf(kInt);
        int64_t from = 1;
        if (e.args.size() > 2) {
            Typed c = arg(2);
            if (!c.isNull())
                from = std::max<int64_t>(1, asInteger(c, conversion_));
        }
        std::u16string hay = asText(b, s2, conversion_);
        size_t k = findText(hay, asText(a, s1, conversion_), static_cast<size_t>(from - 1));
        return integer(k == std::u16string::npos ? 0 : static_cast<int64_t>(k) + 1);
    }
    if (n == u"REPLICATE" || n == u"SPACE") {
        requireArgs(e, n == u"SPACE" ? 1 : 2, n == u"SPACE" ? 1 : 2);
        Typed a = n == u"SPACE" ? textOf(u" ") : arg(0);
        Typed count = n == u"SPACE" ? arg(0) : arg(1);
        TypeName t = isText(a.type.type) ? a.type : TypeName{SqlType::VarChar, 8000, 0, 0};
        t.length = -1;
        if (a.isNull() || count.isNull())
            return nullOf(t);
        int64_t k = asInteger(count, conversion_);
        if (k < 0)
            return nullOf(t);
        std::u16string unit = asText(a, s1, conversion_);
        if (static_cast<uint64_t>(k) * unit.size() > 8000)
            k = static_cast<int64_t>(8000 / std::max<size_t>(1, unit.size()));
        std::u16string out;
        for (int64_t i = 0; i < k; ++i)
            out += unit;
        return Typed{out, t};
    }
    if (n == u"ABS") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        if (a.isNull())
            return a;
        if (auto* v = std::get_if<int64_t>(&a.value))
            return *v < 0 ? negate(a) : a;
        if (auto* d = std::get_if<double>(&a.value))
            return Typed{std::fabs(*d), a.type};
        throw SqlError(err::kArgumentType, {typeName(a.type), u"1", u"abs"});
    }
    if (n == u"YEAR" || n == u"MONTH" || n == u"DAY") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        if (a.isNull())
            return nullOf(kInt);
        auto dt = std::get<DateTimeValue>(convert(a, TypeName{SqlType::DateTime, 8, 23, 3},
                                                  ConversionMode::Implicit, conversion_));
        int y, mo, d, h, mi, s, ms;
        dateTimeToParts(dt, y, mo, d, h, mi, s, ms);
        return integer(n == u"YEAR" ? y : n == u"MONTH" ? mo : d);
    }
    if (n == u"UNICODE" || n == u"ASCII") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        if (a.isNull())
            return nullOf(kInt);
        const std::u16string& s = asText(a, s1, conversion_);
        if (s.empty())
            return nullOf(kInt);
        return integer(n == u"ASCII" ? (s[0] & 0xFF) : s[0]);
    }
    if (n == u"NCHAR" || n == u"CHAR") {
        requireArgs(e, 1, 1);
        Typed a = arg(0);
        TypeName t{n == u"NCHAR" ? SqlType::NChar : SqlType::Char, 1, 0, 0};
        if (a.isNull())
            return nullOf(t);
        int64_t v = asInteger(a, conversion_);
        if (v < 0 || v > (n == u"NCHAR" ? 0xFFFF : 0xFF))
            return nullOf(t);
        return Typed{std::u16string(1, static_cast<char16_t>(v)), t};
    }
    if (n == u"DEFAULT")
        throw notSupported(u"DEFAULT values");
    if (isAggregateName(n))
        throw SqlError(err::kAggregateInWhere);
    throw SqlError(err::kNotBuiltIn, {e.name});
}

} // namespace standin
