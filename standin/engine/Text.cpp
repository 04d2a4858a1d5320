// UTF-16 helpers and the default collation's comparisons and case folds.
#include "Text.h"

#include <cstdint>

namespace standin::text {

std::u16string widen(std::string_view ascii)
{
    std::u16string out;
    out.reserve(ascii.size());
    for (char c : ascii)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string narrow(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::u16string fromUtf8(std::string_view in)
{
    std::u16string out;
    size_t i = 0;
    auto bad = [&] {
        out.push_back(0xFFFD);
        ++i;
    };
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= in.size()) {
            bad();
            continue;
        }
        char32_t cp = b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto c = static_cast<unsigned char>(in[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok || (extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            bad();
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string toWtf8(std::u16string_view in)
{
    std::string out;
    out.reserve(in.size() + 8);
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

size_t fromWtf8Into(std::string_view in, char16_t* out)
{
    char16_t* const start = out;
    size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            *out++ = b;
            ++i;
        } else if (b >= 0xF0 && i + 3 < in.size()) {
            char32_t cp = ((b & 0x07u) << 18) |
                          ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 12) |
                          ((static_cast<unsigned char>(in[i + 2]) & 0x3Fu) << 6) |
                          (static_cast<unsigned char>(in[i + 3]) & 0x3Fu);
            cp -= 0x10000;
            *out++ = static_cast<char16_t>(0xD800 + ((cp >> 10) & 0x3FF));
            *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += 4;
        } else if (b >= 0xE0 && i + 2 < in.size()) {
            *out++ = static_cast<char16_t>(((b & 0x0Fu) << 12) |
                                           ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 6) |
                                           (static_cast<unsigned char>(in[i + 2]) & 0x3Fu));
            i += 3;
        } else if (b >= 0xC0 && i + 1 < in.size()) {
            *out++ = static_cast<char16_t>(((b & 0x1Fu) << 6) |
                                           (static_cast<unsigned char>(in[i + 1]) & 0x3Fu));
            i += 2;
        } else {
            *out++ = 0xFFFD; // only bytes this engine never writes
            ++i;
        }
    }
    return static_cast<size_t>(out - start);
}

std::u16string fromWtf8(std::string_view in)
{
    std::u16string out(in.size(), u'\0');
    out.resize(fromWtf8Into(in, out.data()));
    return out;
}

char16_t foldCase(char16_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            return static_cast<char16_t>(c - 32);
        if (c == 0xFF)
            return 0x178;
        return c;
    }
    if (c >= 0x100 && c < 0x180) {
        // Latin Extended-A pairs upper/lower on even/odd, shifted by one in two runs.
        bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (shifted)
            return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 80);
    if (c >= 0xFF41 && c <= 0xFF5A)
        return static_cast<char16_t>(c - 32);
    return c;
}

std::u16string upper(std::u16string_view s)
{
    std::u16string out(s);
    for (auto& c : out)
        c = foldCase(c);
    return out;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

namespace {

// Latin-1 letters with marks: the base letter and a mark number (secondary weight).
struct Mark {
    char base;
    uint8_t mark;
};
constexpr Mark kLatin1[64] = {
    {'A', 1}, {'A', 2}, {'A', 3}, {'A', 4}, {'A', 5}, {'A', 6}, {'A', 7}, {'C', 1},
    {'E', 1}, {'E', 2}, {'E', 3}, {'E', 4}, {'I', 1}, {'I', 2}, {'I', 3}, {'I', 4},
    {'D', 1}, {'N', 1}, {'O', 1}, {'O', 2}, {'O', 3}, {'O', 4}, {'O', 5}, {0, 0},
    {'O', 6}, {'U', 1}, {'U', 2}, {'U', 3}, {'U', 4}, {'Y', 1}, {'T', 9}, {'S', 9},
    {'A', 1}, {'A', 2}, {'A', 3}, {'A', 4}, {'A', 5}, {'A', 6}, {'A', 7}, {'C', 1},
    {'E', 1}, {'E', 2}, {'E', 3}, {'E', 4}, {'I', 1}, {'I', 2}, {'I', 3}, {'I', 4},
    {'D', 1}, {'N', 1}, {'O', 1}, {'O', 2}, {'O', 3}, {'O', 4}, {'O', 5}, {0, 0},
    {'O', 6}, {'U', 1}, {'U', 2}, {'U', 3}, {'U', 4}, {'Y', 1}, {'T', 9}, {'Y', 2},
};

// Punctuation sorts before digits, digits before letters, letters before everything else.
struct Weight {
    char32_t primary;
    uint8_t secondary;
};

Weight weigh(char16_t raw)
{
    char16_t c = foldCase(raw);
    if (c >= 'A' && c <= 'Z')
        return {static_cast<char32_t>(0x3000 + (c - 'A') * 16), 0};
    if (c >= '0' && c <= '9')
        return {static_cast<char32_t>(0x2000 + (c - '0')), 0};
    if (c < 0x80)
        return {static_cast<char32_t>(0x1000 + c), 0};
    if (c >= 0xC0 && c <= 0xFF) {
        const Mark& m = kLatin1[c - 0xC0];
        if (m.base != 0)
            return {static_cast<char32_t>(0x3000 + (m.base - 'A') * 16), m.mark};
        return {static_cast<char32_t>(0x1000 + c), 0};
    }
    if (c == 0x178)
        return {static_cast<char32_t>(0x3000 + ('Y' - 'A') * 16), 2};
    if (c < 0xC0)
        return {static_cast<char32_t>(0x1000 + c), 0};
    return {static_cast<char32_t>(0x10000 + c), 0};
}

std::u16string_view trimmed(std::u16string_view s)
{
    size_t n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.substr(0, n);
}

} // namespace

std::u16string trimTrailingBlanks(std::u16string_view s)
{
    return std::u16string(trimmed(s));
}

int collate(std::u16string_view a, std::u16string_view b)
{
    a = trimmed(a);
    b = trimmed(b);
    size_t n = a.size() < b.size() ? a.size() : b.size();
    int secondary = 0;
    for (size_t i = 0; i < n; ++i) {
        Weight wa = weigh(a[i]);
        Weight wb = weigh(b[i]);
        if (wa.primary != wb.primary)
            return wa.primary < wb.primary ? -1 : 1;
        if (secondary == 0 && wa.secondary != wb.secondary)
            secondary = wa.secondary < wb.secondary ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return secondary;
}

std::u32string collationKey(std::u16string_view s)
{
    s = trimmed(s);
    std::u32string key;
    key.reserve(s.size() * 2 + 1);
    std::u32string marks;
    for (char16_t c : s) {
        Weight w = weigh(c);
        key.push_back(w.primary);
        marks.push_back(w.secondary);
    }
    key.push_back(0);
    key += marks;
    return key;
}

namespace {

bool sameChar(char16_t a, char16_t b)
{
    if (a == b)
        return true;
    Weight wa = weigh(a);
    Weight wb = weigh(b);
    return wa.primary == wb.primary && wa.secondary == wb.secondary;
}

// Matches a [...] class at pattern[p] (just after '['); sets p past ']'. Returns -1 when the
// class is not closed (then '[' is an ordinary character).
int matchClass(std::u16string_view pattern, size_t& p, char16_t c)
{
    size_t q = p;
    bool negate = q < pattern.size() && pattern[q] == u'^';
    if (negate)
        ++q;
    bool matched = false;
    bool first = true;
    while (q < pattern.size() && (pattern[q] != u']' || first)) {
        first = false;
        char16_t lo = pattern[q];
        if (q + 2 < pattern.size() && pattern[q + 1] == u'-' && pattern[q + 2] != u']') {
            char16_t hi = pattern[q + 2];
            Weight wc = weigh(c);
            if (wc.primary >= weigh(lo).primary && wc.primary <= weigh(hi).primary)
                matched = true;
            q += 3;
        } else {
            if (sameChar(lo, c))
                matched = true;
            ++q;
        }
    }
    if (q >= pattern.size())
        return -1;
    p = q + 1;
    return matched != negate ? 1 : 0;
}

bool likeAt(std::u16string_view v, size_t i, std::u16string_view pattern, size_t p, char16_t escape,
            int depth)
{
    if (depth > 10000)
        return false;
    while (p < pattern.size()) {
        char16_t pc = pattern[p];
        if (escape != 0 && pc == escape && p + 1 < pattern.size()) {
            if (i >= v.size() || !sameChar(v[i], pattern[p + 1]))
                return false;
            ++i;
            p += 2;
            continue;
        }
        if (pc == u'%') {
            while (p < pattern.size() && pattern[p] == u'%')
                ++p;
            if (p == pattern.size())
                return true;
            for (size_t k = i; k <= v.size(); ++k)
                if (likeAt(v, k, pattern, p, escape, depth + 1))
                    return true;
            return false;
        }
        if (i >= v.size())
            return false;
        if (pc == u'_') {
            ++i;
            ++p;
            continue;
        }
        if (pc == u'[') {
            size_t q = p + 1;
            int r = matchClass(pattern, q, v[i]);
            if (r >= 0) {
                if (r == 0)
                    return false;
                ++i;
                p = q;
                continue;
            }
        }
        if (!sameChar(v[i], pc))
            return false;
        ++i;
        ++p;
    }
    return i == v.size();
}

} // namespace

bool like(std::u16string_view value, std::u16string_view pattern, char16_t escape)
{
    return likeAt(value, 0, pattern, 0, escape, 0);
}

std::u16string throughCodePage1252(std::u16string_view s)
{
    // The characters code page 1252 has at 0x80 to 0x9F; the five bytes it leaves undefined
    // map to the C1 controls of the same value, as Windows' conversion table does.
    static constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            continue;
        bool representable = false;
        for (char16_t h : high)
            representable = representable || h == c;
        if (!representable)
            c = u'?';
    }
    return out;
}

} // namespace standin::text
