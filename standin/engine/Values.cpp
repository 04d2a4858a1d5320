// Value conversions, comparisons, arithmetic and DATETIME text under SQL Server's rules.
#include "Values.h"

#include "Errors.h"
#include "Parser.h"
#include "Text.h"
#include "TypeTable.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace standin {

using text::widen;

bool isText(SqlType t)
{
    return typeInfo(t).family == TypeFamily::Text;
}
bool isNationalText(SqlType t)
{
    return typeInfo(t).national;
}
bool isBinary(SqlType t)
{
    return typeInfo(t).family == TypeFamily::Binary;
}
bool isInteger(SqlType t)
{
    return typeInfo(t).family == TypeFamily::Integer;
}
bool isNumeric(SqlType t)
{
    TypeFamily f = typeInfo(t).family;
    return f == TypeFamily::Integer || f == TypeFamily::Decimal || f == TypeFamily::Float;
}

int precedence(SqlType t)
{
    return typeInfo(t).precedence;
}

std::u16string typeName(const TypeName& t)
{
    return std::u16string(typeInfo(t.type).name);
}

TypeName typeOfValue(const Value& v)
{
    if (std::holds_alternative<int64_t>(v)) {
        int64_t n = std::get<int64_t>(v);
        if (n >= INT32_MIN && n <= INT32_MAX)
            return {SqlType::Int, 4, 10, 0};
        return {SqlType::BigInt, 8, 19, 0};
    }
    if (std::holds_alternative<double>(v))
        return {SqlType::Float, 8, 53, 0};
    if (auto* s = std::get_if<std::u16string>(&v))
        return {SqlType::NVarChar, std::max<int32_t>(1, static_cast<int32_t>(s->size())), 0, 0};
    if (auto* b = std::get_if<Bytes>(&v))
        return {SqlType::VarBinary, std::max<int32_t>(1, static_cast<int32_t>(b->size())), 0, 0};
    if (std::holds_alternative<DateTimeValue>(v))
        return {SqlType::DateTime, 8, 23, 3};
    return {SqlType::Int, 4, 10, 0};
}

// ---- numbers as text ----

std::u16string formatInteger(int64_t v)
{
    return widen(std::to_string(v));
}

std::u16string formatDecimal(int64_t unscaled, int scale)
{
    bool negative = unscaled < 0;
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
    std::string digits = std::to_string(mag);
    if (scale > 0) {
        while (static_cast<int>(digits.size()) <= scale)
            digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - scale, '.');
    }
    return widen((negative ? "-" : "") + digits);
}

std::u16string formatFloat(double v)
{
    // Style 0 keeps six significant digits and writes three-digit exponents.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    std::string s = buffer;
    auto e = s.find('e');
    if (e != std::string::npos) {
        std::string mantissa = s.substr(0, e);
        char sign = s[e + 1];
        std::string exponent = s.substr(e + 2);
        while (exponent.size() < 3)
            exponent.insert(exponent.begin(), '0');
        s = mantissa + "e" + sign + exponent;
    }
    return widen(s);
}

namespace {

constexpr int64_t kPow10[19] = {1LL,
                                10LL,
                                100LL,
                                1000LL,
                                10000LL,
                                100000LL,
                                1000000LL,
                                10000000LL,
                                100000000LL,
                                1000000000LL,
                                10000000000LL,
                                100000000000LL,
                                1000000000000LL,
                                10000000000000LL,
                                100000000000000LL,
                                1000000000000000LL,
                                10000000000000000LL,
                                100000000000000000LL,
                                1000000000000000000LL};

struct IntRange {
    int64_t lo, hi;
};

IntRange rangeOf(SqlType t)
{
    const SqlTypeInfo& info = typeInfo(t);
    return {info.minValue, info.maxValue};
}

[[noreturn]] void overflow(const TypeName& to, const std::u16string& shown, const TypeName& from)
{
    if (to.type == SqlType::TinyInt || to.type == SqlType::SmallInt)
        throw terminated(err::kArithmeticOverflow, {typeName(to), shown});
    std::u16string source = isText(from.type) ? typeName(from) : std::u16string(u"expression");
    throw terminated(err::kOverflowConverting, {source, typeName(to)});
}

int64_t checkedInteger(int64_t v, const TypeName& to, const TypeName& from)
{
    if (to.type == SqlType::Bit)
        return v != 0 ? 1 : 0;
    IntRange r = rangeOf(to.type);
    if (v < r.lo || v > r.hi)
        overflow(to, formatInteger(v), from);
    return v;
}

std::u16string trimBlanks(std::u16string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t' || s[b] == u'\r' || s[b] == u'\n'))
        ++b;
    while (e > b &&
           (s[e - 1] == u' ' || s[e - 1] == u'\t' || s[e - 1] == u'\r' || s[e - 1] == u'\n'))
        --e;
    return std::u16string(s.substr(b, e - b));
}

// Parses [sign]digits[.digits] into unscaled/scale; false when not a number.
bool parseDecimalText(std::u16string_view s, int64_t& unscaled, int& scale, bool& tooBig)
{
    size_t i = 0;
    bool negative = false;
    tooBig = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    bool digits = false;
    unscaled = 0;
    scale = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9')
            return false;
        digits = true;
        if (unscaled > (INT64_MAX - 9) / 10) {
            if (point)
                continue; // extra fraction digits are rounded away
            tooBig = true;
            continue;
        }
        unscaled = unscaled * 10 + (c - u'0');
        if (point)
            ++scale;
    }
    if (negative)
        unscaled = -unscaled;
    return digits;
}

int64_t rescale(int64_t unscaled, int from, int to, bool& overflowed)
{
    overflowed = false;
    if (to == from)
        return unscaled;
    if (to > from) {
        int64_t f = kPow10[std::min(18, to - from)];
        if (unscaled > INT64_MAX / f || unscaled < INT64_MIN / f) {
            overflowed = true;
            return 0;
        }
        return unscaled * f;
    }
    int64_t f = kPow10[std::min(18, from - to)];
    int64_t q = unscaled / f;
    int64_t r = unscaled % f;
    // round half away from zero, as SQL Server does for numeric
    if (r * 2 >= f)
        ++q;
    else if (r * 2 <= -f)
        --q;
    return q;
}

int64_t decimalFromDouble(double d, int scale, bool& overflowed)
{
    double scaled = std::round(d * static_cast<double>(kPow10[scale]));
    overflowed = !(scaled < 9.2e18 && scaled > -9.2e18);
    return overflowed ? 0 : static_cast<int64_t>(scaled);
}

bool fitsPrecision(int64_t unscaled, int precision)
{
    if (precision >= 19)
        return true;
    int64_t limit = kPow10[precision];
    return unscaled < limit && unscaled > -limit;
}

double toDouble(const Typed& t)
{
    if (auto* n = std::get_if<int64_t>(&t.value)) {
        if (t.type.type == SqlType::Decimal)
            return static_cast<double>(*n) / static_cast<double>(kPow10[t.type.scale]);
        return static_cast<double>(*n);
    }
    if (auto* d = std::get_if<double>(&t.value))
        return *d;
    if (auto* dt = std::get_if<DateTimeValue>(&t.value))
        return dt->days + static_cast<double>(dt->ticks) / kTicksPerDay;
    return 0;
}

std::u16string bytesAsNational(const Bytes& b)
{
    std::u16string out;
    out.reserve((b.size() + 1) / 2);
    for (size_t i = 0; i < b.size(); i += 2) {
        uint16_t lo = b[i];
        uint16_t hi = i + 1 < b.size() ? b[i + 1] : 0;
        out.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return out;
}

Bytes nationalAsBytes(const std::u16string& s)
{
    Bytes out;
    out.reserve(s.size() * 2);
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// Single-byte texts keep one unit per byte in the server's code page; Latin-1 stands in for it.
std::u16string toSingleByte(const std::u16string& s)
{
    std::u16string out(s);
    for (auto& c : out)
        if (c > 0xFF)
            c = u'?';
    return out;
}

std::u16string cut(std::u16string s, int32_t length)
{
    if (length >= 0 && static_cast<int32_t>(s.size()) > length)
        s.resize(static_cast<size_t>(length));
    return s;
}

} // namespace

// ---- DATETIME ----

namespace {

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp + (mp < 10 ? 3 : -9);
    year = static_cast<int>(y + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

const int64_t kEpoch1900 = daysFromCivil(1900, 1, 1);

bool leap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int monthFromName(std::u16string_view word)
{
    static const char* const full[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                       "MAY",       "JUNE",     "JULY",     "AUGUST",
                                       "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
    std::u16string w = text::upper(word);
    for (int i = 0; i < 12; ++i) {
        std::u16string f = widen(full[i]);
        if (w == f || w == f.substr(0, 3))
            return i + 1;
    }
    return 0;
}

} // namespace

DateTimeValue dateTimeFromParts(int year, int month, int day, int hour, int minute, int second,
                                int millisecond)
{
    DateTimeValue v;
    v.days = static_cast<int32_t>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch1900);
    int64_t ms = ((hour * 60LL + minute) * 60LL + second) * 1000LL + millisecond;
    int64_t ticks = (ms * 3 + 5) / 10;
    if (ticks >= kTicksPerDay) {
        ticks -= kTicksPerDay;
        ++v.days;
    }
    v.ticks = static_cast<uint32_t>(ticks);
    return v;
}

void dateTimeToParts(const DateTimeValue& v, int& year, int& month, int& day, int& hour,
                     int& minute, int& second, int& millisecond)
{
    civilFromDays(v.days + kEpoch1900, year, month, day);
    int64_t ms = (static_cast<int64_t>(v.ticks) * 10 + 1) / 3;
    millisecond = static_cast<int>(ms % 1000);
    int64_t s = ms / 1000;
    second = static_cast<int>(s % 60);
    minute = static_cast<int>((s / 60) % 60);
    hour = static_cast<int>(s / 3600);
}

DateTimeValue now()
{
    auto tp = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm local{};
    localtime_r(&t, &local);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count() % 1000;
    return dateTimeFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec, static_cast<int>(ms));
}

namespace {

// A date or time text being read from its start, and the parts read so far.
struct DateText {
    std::u16string s;
    size_t i = 0;
    int year = 1900, month = 1, day = 1;
    bool haveDate = false;
    int hour = 0, minute = 0, second = 0, ms = 0;

    void skipSpaces()
    {
        while (i < s.size() && s[i] == u' ')
            ++i;
    }
    // Up to nine digits.
    bool number(int& value, int& digits)
    {
        value = 0;
        digits = 0;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9' && digits < 9) {
            value = value * 10 + (s[i] - u'0');
            ++digits;
            ++i;
        }
        return digits > 0;
    }
};

// The date part: month names, yyyymmdd, the separated forms in the session's date order, or
// nothing when the text starts with a time.
bool readDate(DateText& r, DateOrder order)
{
    const std::u16string& s = r.s;
    size_t& i = r.i;
    auto skipSpaces = [&] { r.skipSpaces(); };
    auto number = [&](int& value, int& digits) { return r.number(value, digits); };
    int& year = r.year;
    int& month = r.month;
    int& day = r.day;
    bool& haveDate = r.haveDate;
    size_t save = i;
    int a = 0, ad = 0;
    // alphabetic month first: "Jan 1 1900", "January 1, 1900"
    if (i < s.size() && ((s[i] >= u'A' && s[i] <= u'Z') || (s[i] >= u'a' && s[i] <= u'z'))) {
        size_t j = i;
        while (j < s.size() && ((s[j] >= u'A' && s[j] <= u'Z') || (s[j] >= u'a' && s[j] <= u'z')))
            ++j;
        month = monthFromName(std::u16string_view(s).substr(i, j - i));
        if (month == 0)
            return false;
        i = j;
        skipSpaces();
        int dd = 0;
        if (!number(day, dd) || dd > 2)
            return false;
        if (i < s.size() && s[i] == u',')
            ++i;
        skipSpaces();
        int yd = 0;
        if (!number(year, yd) || (yd != 4 && yd != 2))
            return false;
        if (yd == 2)
            year += year < 50 ? 2000 : 1900;
        haveDate = true;
    } else if (number(a, ad)) {
        if (i < s.size() && s[i] == u':') {
            i = save; // time only
        } else if (ad == 8 && (i == s.size() || s[i] == u' ' || s[i] == u'T')) {
            year = a / 10000;
            month = (a / 100) % 100;
            day = a % 100;
            haveDate = true;
        } else if (i < s.size() && (s[i] == u'-' || s[i] == u'/' || s[i] == u'.')) {
            char16_t sep = s[i];
            ++i;
            int b = 0, bd = 0, c = 0, cd = 0;
            if (!number(b, bd))
                return false;
            if (i >= s.size() || s[i] != sep) {
                // "1/1980"? not a date SQL Server takes
                return false;
            }
            ++i;
            if (!number(c, cd))
                return false;
            if (ad == 4) {
                year = a;
                if (order == DateOrder::YDM || order == DateOrder::DMY || order == DateOrder::DYM) {
                    day = b;
                    month = c;
                } else {
                    month = b;
                    day = c;
                }
                if (cd > 2 || bd > 2)
                    return false;
            } else {
                if (cd != 4 && cd != 2)
                    return false;
                year = cd == 2 ? c + (c < 50 ? 2000 : 1900) : c;
                if (order == DateOrder::DMY || order == DateOrder::DYM) {
                    day = a;
                    month = b;
                } else {
                    month = a;
                    day = b;
                }
                if (ad > 2 || bd > 2)
                    return false;
            }
            haveDate = true;
        } else if (i < s.size() && s[i] == u' ') {
            // "1 Jan 1900"
            skipSpaces();
            size_t j = i;
            while (j < s.size() &&
                   ((s[j] >= u'A' && s[j] <= u'Z') || (s[j] >= u'a' && s[j] <= u'z')))
                ++j;
            month = monthFromName(std::u16string_view(s).substr(i, j - i));
            if (month == 0 || ad > 2)
                return false;
            day = a;
            i = j;
            skipSpaces();
            int yd = 0;
            if (!number(year, yd) || (yd != 4 && yd != 2))
                return false;
            if (yd == 2)
                year += year < 50 ? 2000 : 1900;
            haveDate = true;
        } else {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

// The time part: hh[:mm[:ss[.fff]]] with an optional AM or PM.
bool readTime(DateText& r)
{
    const std::u16string& s = r.s;
    size_t& i = r.i;
    auto skipSpaces = [&] { r.skipSpaces(); };
    auto number = [&](int& value, int& digits) { return r.number(value, digits); };
    int& hour = r.hour;
    int& minute = r.minute;
    int& second = r.second;
    int& ms = r.ms;
    if (r.haveDate) {
        if (i < s.size() && s[i] == u'T')
            ++i;
        skipSpaces();
    }
    if (i < s.size()) {
        int hd = 0, md = 0;
        if (!number(hour, hd) || hd > 2)
            return false;
        bool ampmOnly = false;
        if (i < s.size() && s[i] == u':') {
            ++i;
            if (!number(minute, md) || md > 2)
                return false;
            if (i < s.size() && s[i] == u':') {
                ++i;
                int sd = 0;
                if (!number(second, sd) || sd > 2)
                    return false;
                if (i < s.size() && (s[i] == u'.' || s[i] == u':')) {
                    bool colon = s[i] == u':';
                    ++i;
                    int frac = 0, fd = 0;
                    if (!number(frac, fd))
                        return false;
                    if (colon || fd <= 3) {
                        ms = colon ? frac : frac * static_cast<int>(kPow10[3 - std::min(fd, 3)]);
                    } else {
                        ms = static_cast<int>(
                            std::lround(frac / static_cast<double>(kPow10[fd - 3])));
                    }
                    if (ms > 999)
                        return false;
                }
            }
        } else {
            ampmOnly = true;
        }
        skipSpaces();
        if (i + 1 < s.size() + 1 && i < s.size()) {
            std::u16string rest = text::upper(std::u16string_view(s).substr(i));
            if (rest == u"AM" || rest == u"PM") {
                if (hour < 1 || hour > 12)
                    return false;
                if (rest == u"AM" && hour == 12)
                    hour = 0;
                else if (rest == u"PM" && hour != 12)
                    hour += 12;
                i = s.size();
            } else {
                return false;
            }
        } else if (ampmOnly) {
            return false;
        }
        if (hour > 23 || minute > 59 || second > 59)
            return false;
    }
    return true;
}

} // namespace

std::optional<DateTimeValue> parseDateTime(std::u16string_view input, DateOrder order,
                                           bool* outOfRange)
{
    if (outOfRange)
        *outOfRange = false;
    DateText r;
    r.s = trimBlanks(input);
    if (r.s.empty())
        return DateTimeValue{0, 0};
    if (!readDate(r, order) || !readTime(r))
        return std::nullopt;
    const int year = r.year, month = r.month, day = r.day;
    if (year < 1753 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month)) {
        if (outOfRange)
            *outOfRange = true;
        return std::nullopt;
    }
    return dateTimeFromParts(year, month, day, r.hour, r.minute, r.second, r.ms);
}

std::u16string formatDateTime(const DateTimeValue& v, int style)
{
    int y, mo, d, h, mi, s, ms;
    dateTimeToParts(v, y, mo, d, h, mi, s, ms);
    char buf[64];
    switch (style) {
    case 101:
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", mo, d, y);
        break;
    case 103:
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d, mo, y);
        break;
    case 104:
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, mo, y);
        break;
    case 105:
        std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", d, mo, y);
        break;
    case 108:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
        break;
    case 111:
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, mo, d);
        break;
    case 112:
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, mo, d);
        break;
    case 20:
    case 120:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
        break;
    case 21:
    case 121:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s,
                      ms);
        break;
    case 126:
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s,
                      ms);
        break;
    default: {
        int h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", kMonths[mo - 1], d, y, h12, mi,
                      h < 12 ? "AM" : "PM");
    }
    }
    return widen(buf);
}

// ---- conversion ----

namespace {

// A conversion SQL Server does not make: 529 when asked for, 257 when implied.
[[noreturn]] void notAllowed(const Typed& from, const TypeName& to, ConversionMode mode)
{
    if (mode == ConversionMode::Explicit)
        throw SqlError(err::kExplicitConversion, {typeName(from.type), typeName(to)});
    throw SqlError(err::kImplicitConversion, {typeName(from.type), typeName(to)});
}

// Integers and BIT: decimals truncated, texts parsed, binaries read from their last bytes.
Value toInteger(const Typed& from, const TypeName& to, ConversionMode mode,
                const ConversionContext&, int)
{
    const SqlType ft = from.type.type;
    const SqlType tt = to.type;
    if (auto* n = std::get_if<int64_t>(&from.value)) {
        if (ft == SqlType::Decimal) {
            int64_t whole = *n / kPow10[from.type.scale]; // truncates, as SQL Server does
            return checkedInteger(whole, to, from.type);
        }
        return checkedInteger(*n, to, from.type);
    }
    if (auto* d = std::get_if<double>(&from.value)) {
        double t = std::trunc(*d);
        if (!(t >= -9.2e18 && t <= 9.2e18))
            overflow(to, formatFloat(*d), from.type);
        return checkedInteger(static_cast<int64_t>(t), to, from.type);
    }
    if (auto* s = std::get_if<std::u16string>(&from.value)) {
        std::u16string t = trimBlanks(*s);
        if (tt == SqlType::Bit) {
            if (text::equalsIgnoreCase(t, u"TRUE"))
                return int64_t{1};
            if (text::equalsIgnoreCase(t, u"FALSE"))
                return int64_t{0};
        }
        int64_t unscaled = 0;
        int scale = 0;
        bool tooBig = false;
        if (t.empty())
            return int64_t{0};
        bool hasPoint = t.find(u'.') != std::u16string::npos;
        if (!parseDecimalText(t, unscaled, scale, tooBig) || (hasPoint && tt != SqlType::Bit))
            throw SqlError(err::kConversionFailed, {typeName(from.type), *s, typeName(to)});
        if (tooBig)
            throw terminated(err::kConversionOverflow, {typeName(from.type), *s, typeName(to)});
        int64_t whole = unscaled / kPow10[std::min(scale, 18)];
        if (tt == SqlType::Bit)
            return int64_t{unscaled != 0 ? 1 : 0};
        IntRange r = rangeOf(tt);
        if (whole < r.lo || whole > r.hi)
            throw terminated(err::kConversionOverflow, {typeName(from.type), *s, typeName(to)});
        return whole;
    }
    if (auto* dt = std::get_if<DateTimeValue>(&from.value)) {
        int64_t days = dt->days + (dt->ticks >= kTicksPerDay / 2 ? 1 : 0);
        return checkedInteger(days, to, from.type);
    }
    if (auto* b = std::get_if<Bytes>(&from.value)) {
        if (ft == SqlType::Image)
            notAllowed(from, to, mode);
        size_t width = tt == SqlType::BigInt     ? 8
                       : tt == SqlType::Int      ? 4
                       : tt == SqlType::SmallInt ? 2
                                                 : 1;
        uint64_t v = 0;
        size_t start = b->size() > width ? b->size() - width : 0;
        for (size_t i = start; i < b->size(); ++i)
            v = (v << 8) | (*b)[i];
        int64_t signedValue;
        if (width == 8)
            signedValue = static_cast<int64_t>(v);
        else if (width == 4)
            signedValue = static_cast<int32_t>(static_cast<uint32_t>(v));
        else if (width == 2)
            signedValue = static_cast<int16_t>(static_cast<uint16_t>(v));
        else
            signedValue = static_cast<int64_t>(v & 0xFF);
        if (tt == SqlType::Bit)
            return int64_t{v != 0 ? 1 : 0};
        return signedValue;
    }
    notAllowed(from, to, mode);
}

Value toDecimal(const Typed& from, const TypeName& to, ConversionMode mode,
                const ConversionContext&, int)
{
    const SqlType ft = from.type.type;
    int64_t unscaled = 0;
    bool over = false;
    if (auto* n = std::get_if<int64_t>(&from.value)) {
        int fromScale = ft == SqlType::Decimal ? from.type.scale : 0;
        unscaled = rescale(*n, fromScale, to.scale, over);
    } else if (auto* d = std::get_if<double>(&from.value)) {
        unscaled = decimalFromDouble(*d, to.scale, over);
    } else if (auto* s = std::get_if<std::u16string>(&from.value)) {
        std::u16string t = trimBlanks(*s);
        int scale = 0;
        bool tooBig = false;
        if (!parseDecimalText(t, unscaled, scale, tooBig))
            throw SqlError(err::kConvertError, {typeName(from.type), u"numeric"});
        if (tooBig)
            over = true;
        else
            unscaled = rescale(unscaled, scale, to.scale, over);
    } else {
        notAllowed(from, to, mode);
    }
    if (over || !fitsPrecision(unscaled, to.precision))
        throw terminated(err::kOverflowConverting, {ft == SqlType::Decimal ? u"numeric"
                                                    : isText(ft)           ? typeName(from.type)
                                                                           : u"expression",
                                                    u"numeric"});
    return unscaled;
}

Value toFloat(const Typed& from, const TypeName& to, ConversionMode mode, const ConversionContext&,
              int)
{
    if (std::holds_alternative<int64_t>(from.value) || std::holds_alternative<double>(from.value) ||
        std::holds_alternative<DateTimeValue>(from.value))
        return toDouble(from);
    if (auto* s = std::get_if<std::u16string>(&from.value)) {
        std::string t = text::narrow(trimBlanks(*s));
        if (t.empty())
            return 0.0;
        char* end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (end == nullptr || *end != '\0' || t.find_first_of("xXnNiI") != std::string::npos)
            throw SqlError(err::kConvertError, {typeName(from.type), u"float"});
        return d;
    }
    notAllowed(from, to, mode);
}

Value toDateTime(const Typed& from, const TypeName& to, ConversionMode mode,
                 const ConversionContext& ctx, int)
{
    const SqlType ft = from.type.type;
    const bool explicitCast = mode == ConversionMode::Explicit;
    if (auto* dt = std::get_if<DateTimeValue>(&from.value))
        return *dt;
    if (auto* s = std::get_if<std::u16string>(&from.value)) {
        bool outOfRange = false;
        auto parsed = parseDateTime(*s, ctx.dateOrder, &outOfRange);
        if (!parsed) {
            if (outOfRange)
                throw terminated(err::kDateOutOfRange, {typeName(from.type)});
            throw SqlError(err::kDateConversion);
        }
        return *parsed;
    }
    if (ft == SqlType::Decimal || isInteger(ft) || ft == SqlType::Float) {
        if (ft == SqlType::Bit && !explicitCast)
            notAllowed(from, to, mode);
        double days = toDouble(from);
        double whole = std::floor(days);
        // 1753-01-01 is day -53690; 9999-12-31 is day 2958463
        if (!(whole >= -53690 && whole <= 2958463))
            throw terminated(err::kOverflowConverting, {u"expression", u"datetime"});
        DateTimeValue v;
        v.days = static_cast<int32_t>(whole);
        double frac = days - whole;
        int64_t ticks = std::llround(frac * kTicksPerDay);
        if (ticks >= kTicksPerDay) {
            ticks -= kTicksPerDay;
            ++v.days;
        }
        v.ticks = static_cast<uint32_t>(ticks);
        return v;
    }
    notAllowed(from, to, mode);
}

// Texts: single-byte ones through code page 1252, CHAR and NCHAR padded to their length.
Value toText(const Typed& from, const TypeName& to, ConversionMode mode, const ConversionContext&,
             int style)
{
    const SqlType ft = from.type.type;
    const SqlType tt = to.type;
    const bool explicitCast = mode == ConversionMode::Explicit;
    const bool cutToLength = mode != ConversionMode::Implicit;
    std::u16string out;
    if (auto* s = std::get_if<std::u16string>(&from.value)) {
        out = *s;
    } else if (auto* n = std::get_if<int64_t>(&from.value)) {
        if (ft == SqlType::Decimal)
            out = formatDecimal(*n, from.type.scale);
        else
            out = formatInteger(*n);
        if (!explicitCast && to.length > 0 && static_cast<int32_t>(out.size()) > to.length &&
            isInteger(ft)) {
            // int to a too short text: SQL Server writes '*' (char) or fails (nchar/nvarchar)
            throw terminated(err::kOverflowConverting, {u"expression", typeName(to)});
        }
    } else if (auto* d = std::get_if<double>(&from.value)) {
        out = formatFloat(*d);
    } else if (auto* dt = std::get_if<DateTimeValue>(&from.value)) {
        out = formatDateTime(*dt, style);
    } else if (auto* b = std::get_if<Bytes>(&from.value)) {
        if (isNationalText(tt)) {
            out = bytesAsNational(*b);
        } else {
            out.reserve(b->size());
            for (uint8_t c : *b)
                out.push_back(c);
        }
    }
    if (!isNationalText(tt))
        out = toSingleByte(out);
    if (tt == SqlType::NText)
        return out;
    if (cutToLength)
        out = cut(std::move(out), to.length);
    if (tt == SqlType::NChar || tt == SqlType::Char) {
        if (to.length > 0 && static_cast<int32_t>(out.size()) < to.length)
            out.append(static_cast<size_t>(to.length) - out.size(), u' ');
    }
    return out;
}

Value toBinary(const Typed& from, const TypeName& to, ConversionMode mode, const ConversionContext&,
               int)
{
    const SqlType ft = from.type.type;
    const SqlType tt = to.type;
    const bool explicitCast = mode == ConversionMode::Explicit;
    const bool cutToLength = mode != ConversionMode::Implicit;
    Bytes out;
    if (auto* b = std::get_if<Bytes>(&from.value)) {
        out = *b;
    } else if (auto* s = std::get_if<std::u16string>(&from.value)) {
        if (!explicitCast && tt == SqlType::VarBinary)
            notAllowed(from, to, mode);
        if (isNationalText(ft)) {
            out = nationalAsBytes(*s);
        } else {
            for (char16_t c : *s)
                out.push_back(static_cast<uint8_t>(c > 0xFF ? '?' : c));
        }
    } else if (auto* n = std::get_if<int64_t>(&from.value)) {
        if (tt == SqlType::Image)
            notAllowed(from, to, mode);
        size_t width = ft == SqlType::BigInt     ? 8
                       : ft == SqlType::Int      ? 4
                       : ft == SqlType::SmallInt ? 2
                       : ft == SqlType::Decimal  ? 8
                                                 : 1;
        for (size_t i = width; i-- > 0;)
            out.push_back(static_cast<uint8_t>((static_cast<uint64_t>(*n) >> (8 * i)) & 0xFF));
    } else if (auto* dt = std::get_if<DateTimeValue>(&from.value)) {
        if (tt == SqlType::Image)
            notAllowed(from, to, mode);
        uint32_t days = static_cast<uint32_t>(dt->days);
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<uint8_t>((days >> (8 * i)) & 0xFF));
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<uint8_t>((dt->ticks >> (8 * i)) & 0xFF));
    } else {
        notAllowed(from, to, mode);
    }
    if (cutToLength && to.length > 0 && tt == SqlType::VarBinary &&
        static_cast<int32_t>(out.size()) > to.length)
        out.resize(static_cast<size_t>(to.length));
    return out;
}

Value notConvertible(const Typed& from, const TypeName& to, ConversionMode mode,
                     const ConversionContext&, int)
{
    notAllowed(from, to, mode);
}

using Converter = Value (*)(const Typed& from, const TypeName& to, ConversionMode mode,
                            const ConversionContext& ctx, int style);

// By the target's family, in TypeFamily's order.
const Converter kConverters[] = {toInteger, toDecimal, toFloat,       toDateTime,
                                 toText,    toBinary,  notConvertible};

} // namespace

Value convert(const Typed& from, const TypeName& to, ConversionMode mode,
              const ConversionContext& ctx, int style)
{
    if (from.isNull())
        return std::monostate{};
    return kConverters[static_cast<size_t>(typeInfo(to.type).family)](from, to, mode, ctx, style);
}

std::optional<int> compare(const Typed& a, const Typed& b, const ConversionContext& ctx)
{
    if (a.isNull() || b.isNull())
        return std::nullopt;
    SqlType at = a.type.type, bt = b.type.type;
    if (at == SqlType::NText || at == SqlType::Image || bt == SqlType::NText ||
        bt == SqlType::Image)
        throw SqlError(err::kTextCompare);
    auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (isText(at) && isText(bt))
        return text::collate(std::get<std::u16string>(a.value), std::get<std::u16string>(b.value));
    if (isBinary(at) && isBinary(bt)) {
        const Bytes& x = std::get<Bytes>(a.value);
        const Bytes& y = std::get<Bytes>(b.value);
        // binary comparison pads the shorter with zeros
        size_t n = std::max(x.size(), y.size());
        for (size_t i = 0; i < n; ++i) {
            uint8_t p = i < x.size() ? x[i] : 0, q = i < y.size() ? y[i] : 0;
            if (p != q)
                return p < q ? -1 : 1;
        }
        return 0;
    }
    // Convert to the type of higher precedence.
    const Typed& high = precedence(at) >= precedence(bt) ? a : b;
    const Typed& low = &high == &a ? b : a;
    TypeName target = high.type;
    if (target.type == SqlType::Decimal && low.type.type == SqlType::Decimal)
        target.scale = std::max(a.type.scale, b.type.scale);
    if (target.type == SqlType::Decimal && isInteger(low.type.type))
        target.precision = 38;
    auto toTarget = [&](const Typed& t) -> Typed {
        if (t.type.type == target.type &&
            (target.type != SqlType::Decimal || t.type.scale == target.scale))
            return t;
        TypeName tn = target;
        if (tn.type == SqlType::Decimal)
            tn.precision = 38;
        if (isText(tn.type) || isBinary(tn.type))
            tn.length = -1;
        return Typed{convert(t, tn, ConversionMode::Implicit, ctx), tn};
    };
    if (isInteger(target.type) && isText(low.type.type)) {
        // A text compared with an integer becomes the integer type (245 when it is not one),
        // but a value beyond that type's range still compares correctly.
        target.type = SqlType::BigInt;
    }
    Typed x = toTarget(a);
    Typed y = toTarget(b);
    if (auto* p = std::get_if<int64_t>(&x.value))
        return cmp(*p, std::get<int64_t>(y.value));
    if (auto* p = std::get_if<double>(&x.value))
        return cmp(*p, std::get<double>(y.value));
    if (auto* p = std::get_if<DateTimeValue>(&x.value)) {
        const auto& q = std::get<DateTimeValue>(y.value);
        if (p->days != q.days)
            return cmp(p->days, q.days);
        return cmp(p->ticks, q.ticks);
    }
    if (auto* p = std::get_if<std::u16string>(&x.value))
        return text::collate(*p, std::get<std::u16string>(y.value));
    if (auto* p = std::get_if<Bytes>(&x.value)) {
        const Bytes& q = std::get<Bytes>(y.value);
        return cmp(*p, q);
    }
    return 0;
}

Typed negate(const Typed& a)
{
    if (a.isNull())
        return a;
    if (auto* n = std::get_if<int64_t>(&a.value)) {
        IntRange r = rangeOf(a.type.type == SqlType::Decimal ? SqlType::BigInt : a.type.type);
        if (a.type.type == SqlType::TinyInt || a.type.type == SqlType::Bit)
            r = rangeOf(SqlType::Int);
        if (-*n < r.lo || -*n > r.hi || *n == INT64_MIN)
            throw terminated(err::kOverflowConverting, {u"expression", typeName(a.type)});
        TypeName t = a.type;
        if (t.type == SqlType::TinyInt || t.type == SqlType::Bit)
            t = TypeName{SqlType::Int, 4, 10, 0};
        return Typed{-*n, t};
    }
    if (auto* d = std::get_if<double>(&a.value))
        return Typed{-*d, a.type};
    if (isText(a.type.type))
        return negate(
            Typed{convert(a, TypeName{SqlType::Float, 8, 53, 0}, ConversionMode::Implicit, {}),
                  TypeName{SqlType::Float, 8, 53, 0}});
    throw SqlError(err::kOperandInvalid, {typeName(a.type), u"minus"});
}

namespace {

// One arithmetic operation once its result type is known.
struct Operation {
    char16_t op;
    const Typed& a;
    const Typed& b;
    TypeName result;
    std::u16string opName;
    const ConversionContext& ctx;
    [[noreturn]] void incompatible() const
    {
        throw SqlError(err::kIncompatibleOperator, {typeName(a.type), typeName(b.type), opName});
    }
};

// DATETIME plus or minus a number of days, or two DATETIMEs.
Typed dateArithmetic(const Operation& o)
{
    const char16_t op = o.op;
    const Typed& a = o.a;
    const Typed& b = o.b;
    const TypeName& result = o.result;
    const ConversionContext& ctx = o.ctx;
    if (op != u'+' && op != u'-')
        o.incompatible();
    if (a.isNull() || b.isNull())
        return Typed{std::monostate{}, result};
    auto asDays = [&](const Typed& t) {
        if (auto* dt = std::get_if<DateTimeValue>(&t.value))
            return dt->days + static_cast<double>(dt->ticks) / kTicksPerDay;
        if (isText(t.type.type)) {
            Value v = convert(t, result, ConversionMode::Implicit, ctx);
            auto& dt = std::get<DateTimeValue>(v);
            return dt.days + static_cast<double>(dt.ticks) / kTicksPerDay;
        }
        return toDouble(t);
    };
    double sum = op == u'+' ? asDays(a) + asDays(b) : asDays(a) - asDays(b);
    return Typed{convert(Typed{sum, TypeName{SqlType::Float, 8, 53, 0}}, result,
                         ConversionMode::Implicit, ctx),
                 result};
}

Typed floatArithmetic(const Operation& o)
{
    const char16_t op = o.op;
    const Typed& a = o.a;
    const Typed& b = o.b;
    const TypeName& result = o.result;
    const ConversionContext& ctx = o.ctx;
    const SqlType at = o.a.type.type;
    const SqlType bt = o.b.type.type;
    double x = isText(at) ? std::get<double>(convert(a, result, ConversionMode::Implicit, ctx))
                          : toDouble(a);
    double y = isText(bt) ? std::get<double>(convert(b, result, ConversionMode::Implicit, ctx))
                          : toDouble(b);
    double r = 0;
    switch (op) {
    case u'+':
        r = x + y;
        break;
    case u'-':
        r = x - y;
        break;
    case u'*':
        r = x * y;
        break;
    case u'/':
        if (y == 0)
            throw terminated(err::kDivideByZero, {});
        r = x / y;
        break;
    default:
        o.incompatible();
    }
    if (!std::isfinite(r))
        throw terminated(err::kOverflowConverting, {u"expression", u"float"});
    return Typed{r, result};
}

// DECIMAL within 18 digits: sums at the larger scale, products at the sum of the scales.
Typed decimalArithmetic(const Operation& o)
{
    const char16_t op = o.op;
    const Typed& a = o.a;
    const Typed& b = o.b;
    const ConversionContext& ctx = o.ctx;
    auto asDecimal = [&](const Typed& t, int& scale) -> int64_t {
        if (t.type.type == SqlType::Decimal) {
            scale = t.type.scale;
            return std::get<int64_t>(t.value);
        }
        scale = 0;
        TypeName tn{SqlType::Decimal, 0, 18, 0};
        if (isText(t.type.type)) {
            tn.scale = 6;
            scale = 6;
        }
        return std::get<int64_t>(convert(t, tn, ConversionMode::Implicit, ctx));
    };
    int sx = 0, sy = 0;
    int64_t x = asDecimal(a, sx), y = asDecimal(b, sy);
    bool over = false;
    int64_t r = 0;
    int scale = std::max(sx, sy);
    if (op == u'+' || op == u'-') {
        int64_t xx = rescale(x, sx, scale, over);
        bool over2 = false;
        int64_t yy = rescale(y, sy, scale, over2);
        over =
            over || over2 ||
            (op == u'+' ? __builtin_add_overflow(xx, yy, &r) : __builtin_sub_overflow(xx, yy, &r));
    } else if (op == u'*') {
        scale = std::min(18, sx + sy);
        __int128 p = static_cast<__int128>(x) * y;
        int drop = sx + sy - scale;
        for (int i = 0; i < drop; ++i)
            p /= 10;
        over = p > INT64_MAX || p < INT64_MIN;
        r = static_cast<int64_t>(p);
    } else if (op == u'/') {
        if (y == 0)
            throw terminated(err::kDivideByZero, {});
        scale = std::max(6, sx);
        double q = (static_cast<double>(x) / kPow10[sx]) / (static_cast<double>(y) / kPow10[sy]);
        r = decimalFromDouble(q, scale, over);
    } else if (op == u'%') {
        if (y == 0)
            throw terminated(err::kDivideByZero, {});
        int64_t xx = rescale(x, sx, scale, over);
        int64_t yy = rescale(y, sy, scale, over);
        r = xx % yy;
    } else {
        o.incompatible();
    }
    if (over || !fitsPrecision(r, 18))
        throw terminated(err::kOverflowConverting, {u"expression", u"numeric"});
    return Typed{r, TypeName{SqlType::Decimal, 0, 18, static_cast<uint8_t>(scale)}};
}

// Integers, with the overflow errors of the result type.
Typed integerArithmetic(const Operation& o)
{
    const char16_t op = o.op;
    const Typed& a = o.a;
    const Typed& b = o.b;
    const TypeName& result = o.result;
    const ConversionContext& ctx = o.ctx;
    auto asInt = [&](const Typed& t) -> int64_t {
        if (isText(t.type.type))
            return std::get<int64_t>(convert(t, result, ConversionMode::Implicit, ctx));
        return std::get<int64_t>(t.value);
    };
    int64_t x = asInt(a), y = asInt(b), r = 0;
    bool over = false;
    switch (op) {
    case u'+':
        over = __builtin_add_overflow(x, y, &r);
        break;
    case u'-':
        over = __builtin_sub_overflow(x, y, &r);
        break;
    case u'*':
        over = __builtin_mul_overflow(x, y, &r);
        break;
    case u'/':
        if (y == 0)
            throw terminated(err::kDivideByZero, {});
        if (x == INT64_MIN && y == -1)
            over = true;
        else
            r = x / y;
        break;
    case u'%':
        if (y == 0)
            throw terminated(err::kDivideByZero, {});
        r = (y == -1) ? 0 : x % y;
        break;
    case u'&':
        r = x & y;
        break;
    case u'|':
        r = x | y;
        break;
    case u'^':
        r = x ^ y;
        break;
    default:
        break;
    }
    IntRange range = rangeOf(result.type);
    if (over || r < range.lo || r > range.hi) {
        if (result.type == SqlType::TinyInt || result.type == SqlType::SmallInt)
            throw terminated(err::kArithmeticOverflow, {typeName(result), formatInteger(r)});
        throw terminated(err::kOverflowConverting, {u"expression", typeName(result)});
    }
    return Typed{r, result};
}

} // namespace

Typed arithmetic(char16_t op, const Typed& a, const Typed& b, const ConversionContext& ctx)
{
    SqlType at = a.type.type, bt = b.type.type;
    std::u16string opName = op == u'+'   ? u"add"
                            : op == u'-' ? u"subtract"
                            : op == u'*' ? u"multiply"
                            : op == u'/' ? u"divide"
                            : op == u'%' ? u"modulo"
                                         : u"boolean";
    // Text concatenation.
    if (op == u'+' && isText(at) && isText(bt)) {
        bool national = isNationalText(at) || isNationalText(bt);
        TypeName t{national ? SqlType::NVarChar : SqlType::VarChar, 0, 0, 0};
        int32_t cap = national ? 4000 : 8000;
        t.length = (a.type.length < 0 || b.type.length < 0)
                       ? -1
                       : std::min<int32_t>(cap, a.type.length + b.type.length);
        if (a.isNull() || b.isNull())
            return Typed{std::monostate{}, t};
        return Typed{std::get<std::u16string>(a.value) + std::get<std::u16string>(b.value), t};
    }
    if (op == u'+' && isBinary(at) && isBinary(bt)) {
        TypeName t{SqlType::VarBinary, std::min<int32_t>(8000, a.type.length + b.type.length), 0,
                   0};
        if (a.isNull() || b.isNull())
            return Typed{std::monostate{}, t};
        Bytes out = std::get<Bytes>(a.value);
        const Bytes& tail = std::get<Bytes>(b.value);
        out.insert(out.end(), tail.begin(), tail.end());
        return Typed{out, t};
    }
    if (typeInfo(at).isLong || typeInfo(bt).isLong)
        throw SqlError(err::kIncompatibleOperator, {typeName(a.type), typeName(b.type), opName});
    // Result type: the higher precedence; texts convert to it.
    TypeName result = precedence(at) >= precedence(bt) ? a.type : b.type;
    if (isText(result.type) || isBinary(result.type)) {
        // text + number: the number wins
        result = isText(at) || isBinary(at) ? b.type : a.type;
    }
    if (isText(at) && isText(bt))
        throw SqlError(err::kIncompatibleOperator, {typeName(a.type), typeName(b.type), opName});
    if (result.type == SqlType::Bit)
        result = TypeName{SqlType::Int, 4, 10, 0};
    bool bitwise = op == u'&' || op == u'|' || op == u'^';
    if (bitwise && (!isInteger(at) && !isText(at) ? true : false))
        throw SqlError(err::kIncompatibleOperator, {typeName(a.type), typeName(b.type), opName});
    Operation o{op, a, b, result, opName, ctx};
    if (result.type == SqlType::DateTime)
        return dateArithmetic(o);
    if (a.isNull() || b.isNull())
        return Typed{std::monostate{}, result};
    if (result.type == SqlType::Float)
        return floatArithmetic(o);
    if (result.type == SqlType::Decimal)
        return decimalArithmetic(o);
    return integerArithmetic(o);
}

std::u16string displayValue(const Typed& v)
{
    if (v.isNull())
        return u"<NULL>";
    if (auto* s = std::get_if<std::u16string>(&v.value))
        return *s;
    if (auto* n = std::get_if<int64_t>(&v.value))
        return v.type.type == SqlType::Decimal ? formatDecimal(*n, v.type.scale)
                                               : formatInteger(*n);
    if (auto* d = std::get_if<double>(&v.value))
        return formatFloat(*d);
    if (auto* dt = std::get_if<DateTimeValue>(&v.value))
        return formatDateTime(*dt, 121);
    if (auto* b = std::get_if<Bytes>(&v.value)) {
        static const char* hex = "0123456789ABCDEF";
        std::u16string out = u"0x";
        for (uint8_t c : *b) {
            out.push_back(static_cast<char16_t>(hex[c >> 4]));
            out.push_back(static_cast<char16_t>(hex[c & 15]));
        }
        return out;
    }
    return {};
}

} // namespace standin
