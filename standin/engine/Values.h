// SQL Server's value rules: conversions (CAST/CONVERT and implicit), comparison under the
// default collation, arithmetic with its overflow errors, and DATETIME text forms.
#pragma once

#include "Ast.h"
#include "Engine.h"

#include <optional>
#include <string>

namespace standin {

using sql::TypeName;

struct Typed {
    Value value;
    TypeName type;
    bool isNull() const { return std::holds_alternative<std::monostate>(value); }
};

enum class DateOrder { MDY, DMY, YMD, YDM, MYD, DYM };

struct ConversionContext {
    DateOrder dateOrder = DateOrder::MDY;
};

enum class ConversionMode {
    Implicit,   // an expression needing another type; disallowed pairs give 257
    Explicit,   // CAST / CONVERT; texts and binaries are cut to the target length
    Assignment, // a variable or procedure parameter taking a value: implicit rules, and texts
                // and binaries longer than the declared length are cut to it without a word
};

std::u16string typeName(const TypeName& t); // "nvarchar(50)", for messages: "nvarchar"
bool isText(SqlType t);
bool isNationalText(SqlType t);
bool isBinary(SqlType t);
bool isInteger(SqlType t); // BIT included
bool isNumeric(SqlType t); // integers, DECIMAL, FLOAT
int precedence(SqlType t);
TypeName typeOfValue(const Value& v); // a reasonable type for an untyped value (parameters)

Value convert(const Typed& from, const TypeName& to, ConversionMode mode,
              const ConversionContext& ctx, int style = 0);

// Three-way comparison after SQL Server's implicit conversion; nullopt when either is NULL.
std::optional<int> compare(const Typed& a, const Typed& b, const ConversionContext& ctx);

Typed arithmetic(char16_t op, const Typed& a, const Typed& b, const ConversionContext& ctx);
Typed negate(const Typed& a);

// DATETIME helpers.
constexpr uint32_t kTicksPerDay = 300u * 86400u;
std::optional<DateTimeValue> parseDateTime(std::u16string_view text, DateOrder order,
                                           bool* outOfRange);
DateTimeValue dateTimeFromParts(int year, int month, int day, int hour, int minute, int second,
                                int millisecond);
void dateTimeToParts(const DateTimeValue& v, int& year, int& month, int& day, int& hour,
                     int& minute, int& second, int& millisecond);
std::u16string formatDateTime(const DateTimeValue& v, int style);
DateTimeValue now();

std::u16string formatInteger(int64_t v);
std::u16string formatDecimal(int64_t unscaled, int scale);
std::u16string formatFloat(double v);
// The text a value shows in a message such as 2627's "duplicate key value".
std::u16string displayValue(const Typed& v);

} // namespace standin
