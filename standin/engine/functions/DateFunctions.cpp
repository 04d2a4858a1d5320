// The date and time functions over DATETIME.
#include "Functions.h"

namespace standin::functions {

using namespace fn;

namespace {

Typed currentTime(FunctionCall&)
{
    return Typed{now(), kDateTime};
}

enum class DatePart { Year, Month, Day };

template <DatePart Part> Typed datePart(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return nullOf(kInt);
    auto dt =
        std::get<DateTimeValue>(convert(a, kDateTime, ConversionMode::Implicit, call.conversion()));
    int y, mo, d, h, mi, s, ms;
    dateTimeToParts(dt, y, mo, d, h, mi, s, ms);
    return integer(Part == DatePart::Year ? y : Part == DatePart::Month ? mo : d);
}

} // namespace

std::span<const BuiltinFunction> dateFunctions()
{
    static const BuiltinFunction entries[] = {
        {u"GETDATE", 0, 0, currentTime},           {u"CURRENT_TIMESTAMP", 0, 0, currentTime},
        {u"SYSDATETIME", 0, 0, currentTime},       {u"GETUTCDATE", 0, 0, currentTime},
        {u"YEAR", 1, 1, datePart<DatePart::Year>}, {u"MONTH", 1, 1, datePart<DatePart::Month>},
        {u"DAY", 1, 1, datePart<DatePart::Day>},
    };
    return entries;
}

} // namespace standin::functions
