// The string functions: case, trimming, slicing, searching and building texts, under the
// server's default collation.
#include "Functions.h"
#include "Text.h"

namespace standin::functions {

using namespace fn;

namespace {

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

Typed length(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return nullOf(kInt);
    return integer(static_cast<int64_t>(text::trimTrailingBlanks(call.text(a)).size()));
}

Typed dataLength(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return nullOf(kInt);
    if (auto* b = std::get_if<Bytes>(&a.value))
        return integer(static_cast<int64_t>(b->size()));
    if (auto* s = std::get_if<std::u16string>(&a.value))
        return integer(static_cast<int64_t>(s->size()) * (isNationalText(a.type.type) ? 2 : 1));
    if (std::holds_alternative<DateTimeValue>(a.value) || std::holds_alternative<double>(a.value))
        return integer(8);
    return integer(a.type.length > 0 ? a.type.length : 4);
}

// UPPER, LOWER and the trims keep a text argument's type; other types come back as varchar(30).
template <std::u16string (*Change)(std::u16string)> Typed reshape(FunctionCall& call)
{
    Typed a = call.arg(0);
    TypeName t = isText(a.type.type) ? a.type : TypeName{SqlType::VarChar, 30, 0, 0};
    if (a.isNull())
        return nullOf(t);
    return Typed{Change(call.text(a)), t};
}

std::u16string toUpper(std::u16string s)
{
    return text::upper(s);
}

std::u16string toLower(std::u16string s)
{
    for (auto& c : s) {
        char16_t u = text::foldCase(c);
        if (u == c && c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
        else if (u == c && c >= 0xC0 && c <= 0xDE && c != 0xD7)
            c = static_cast<char16_t>(c + 32);
    }
    return s;
}

std::u16string trimLeft(std::u16string s)
{
    size_t first = s.find_first_not_of(u' ');
    s.erase(0, first == std::u16string::npos ? s.size() : first);
    return s;
}

std::u16string trimRight(std::u16string s)
{
    return text::trimTrailingBlanks(s);
}

std::u16string trimBoth(std::u16string s)
{
    return trimRight(trimLeft(std::move(s)));
}

enum class Slice { Substring, Left, Right };

// SUBSTRING, LEFT and RIGHT over texts and binaries; the long types come back as their
// 4000/8000 counterparts.
template <Slice Kind> Typed slice(FunctionCall& call)
{
    Typed a = call.arg(0);
    TypeName t = isText(a.type.type) || isBinary(a.type.type)
                     ? a.type
                     : TypeName{SqlType::VarChar, 8000, 0, 0};
    if (t.type == SqlType::NText)
        t = TypeName{SqlType::NVarChar, 4000, 0, 0};
    if (t.type == SqlType::Image)
        t = TypeName{SqlType::VarBinary, 8000, 0, 0};
    Typed b = call.arg(1);
    Typed c = call.count() > 2 ? call.arg(2) : Typed{};
    if (a.isNull() || b.isNull() || (call.count() > 2 && c.isNull()))
        return nullOf(t);
    int64_t start = 1, count = 0;
    if constexpr (Kind == Slice::Substring) {
        start = call.integer(b);
        count = call.integer(c);
        if (count < 0)
            throw SqlError(err::kNegativeLength, {u"substring"});
    } else {
        count = call.integer(b);
        if (count < 0)
            throw SqlError(err::kNegativeLength, {Kind == Slice::Left ? u"left" : u"right"});
    }
    auto cut = [&](auto seq) {
        int64_t size = static_cast<int64_t>(seq.size());
        if constexpr (Kind == Slice::Right)
            start = size - count + 1;
        int64_t from = std::max<int64_t>(start, 1);
        int64_t to = std::min<int64_t>(size + 1, start + count);
        if (to <= from)
            return decltype(seq){};
        return decltype(seq)(seq.begin() + (from - 1), seq.begin() + (to - 1));
    };
    if (auto* bytes = std::get_if<Bytes>(&a.value))
        return Typed{cut(*bytes), t};
    return Typed{cut(call.text(a)), t};
}

Typed replace(FunctionCall& call)
{
    Typed a = call.arg(0), b = call.arg(1), c = call.arg(2);
    const bool national =
        isNationalText(a.type.type) || isNationalText(b.type.type) || isNationalText(c.type.type);
    TypeName t{national ? SqlType::NVarChar : SqlType::VarChar, national ? 4000 : 8000, 0, 0};
    if (a.isNull() || b.isNull() || c.isNull())
        return nullOf(t);
    std::u16string s = call.text(a);
    std::u16string find = call.text(b);
    std::u16string with = call.text(c);
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

Typed charIndex(FunctionCall& call)
{
    Typed a = call.arg(0), b = call.arg(1);
    if (a.isNull() || b.isNull())
        return nullOf(kInt);
    int64_t from = 1;
    if (call.count() > 2) {
        Typed c = call.arg(2);
        if (!c.isNull())
            from = std::max<int64_t>(1, call.integer(c));
    }
    size_t k = findText(call.text(b), call.text(a), static_cast<size_t>(from - 1));
    return integer(k == std::u16string::npos ? 0 : static_cast<int64_t>(k) + 1);
}

// REPLICATE and SPACE: a unit repeated, never beyond 8000 characters.
Typed repeat(const Typed& unitValue, const Typed& count, FunctionCall& call)
{
    TypeName t =
        isText(unitValue.type.type) ? unitValue.type : TypeName{SqlType::VarChar, 8000, 0, 0};
    t.length = -1;
    if (unitValue.isNull() || count.isNull())
        return nullOf(t);
    int64_t k = call.integer(count);
    if (k < 0)
        return nullOf(t);
    std::u16string unit = call.text(unitValue);
    if (static_cast<uint64_t>(k) * unit.size() > 8000)
        k = static_cast<int64_t>(8000 / std::max<size_t>(1, unit.size()));
    std::u16string out;
    for (int64_t i = 0; i < k; ++i)
        out += unit;
    return Typed{out, t};
}

Typed replicate(FunctionCall& call)
{
    Typed unit = call.arg(0);
    return repeat(unit, call.arg(1), call);
}

Typed space(FunctionCall& call)
{
    return repeat(textOf(u" "), call.arg(0), call);
}

template <bool Ascii> Typed codeOf(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return nullOf(kInt);
    const std::u16string s = call.text(a);
    if (s.empty())
        return nullOf(kInt);
    return integer(Ascii ? (s[0] & 0xFF) : s[0]);
}

template <bool National> Typed character(FunctionCall& call)
{
    Typed a = call.arg(0);
    TypeName t{National ? SqlType::NChar : SqlType::Char, 1, 0, 0};
    if (a.isNull())
        return nullOf(t);
    int64_t v = call.integer(a);
    if (v < 0 || v > (National ? 0xFFFF : 0xFF))
        return nullOf(t);
    return Typed{std::u16string(1, static_cast<char16_t>(v)), t};
}

} // namespace

std::span<const BuiltinFunction> textFunctions()
{
    static const BuiltinFunction entries[] = {
        {u"LEN", 1, 1, length},
        {u"DATALENGTH", 1, 1, dataLength},
        {u"UPPER", 1, 1, reshape<toUpper>},
        {u"LOWER", 1, 1, reshape<toLower>},
        {u"LTRIM", 1, 1, reshape<trimLeft>},
        {u"RTRIM", 1, 1, reshape<trimRight>},
        {u"TRIM", 1, 1, reshape<trimBoth>},
        {u"SUBSTRING", 3, 3, slice<Slice::Substring>},
        {u"LEFT", 2, 2, slice<Slice::Left>},
        {u"RIGHT", 2, 2, slice<Slice::Right>},
        {u"REPLACE", 3, 3, replace},
        {u"CHARINDEX", 2, 3, charIndex},
        {u"REPLICATE", 2, 2, replicate},
        {u"SPACE", 1, 1, space},
        {u"UNICODE", 1, 1, codeOf<false>},
        {u"ASCII", 1, 1, codeOf<true>},
        {u"NCHAR", 1, 1, character<true>},
        {u"CHAR", 1, 1, character<false>},
    };
    return entries;
}

} // namespace standin::functions
