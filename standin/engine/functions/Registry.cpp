// The table of built-in functions gathered from its families, looked up by name.
#include "EngineImpl.h"
#include "Functions.h"

#include <unordered_map>

namespace standin {

namespace {

using Table = std::unordered_map<std::u16string_view, const BuiltinFunction*>;

const Table& table()
{
    static const Table entries = [] {
        Table t;
        for (auto family :
             {functions::aggregates(), functions::textFunctions(), functions::nullFunctions(),
              functions::mathFunctions(), functions::dateFunctions(), functions::systemFunctions()})
            for (const BuiltinFunction& f : family)
                t.emplace(f.name, &f);
        return t;
    }();
    return entries;
}

} // namespace

Typed FunctionCall::arg(size_t i) const
{
    return session.evaluate(*expr.args[i], row);
}

const ConversionContext& FunctionCall::conversion() const
{
    return session.conversion();
}

std::u16string FunctionCall::text(const Typed& t) const
{
    if (auto* s = std::get_if<std::u16string>(&t.value))
        return *s;
    return std::get<std::u16string>(
        convert(t, TypeName{SqlType::NVarChar, -1, 0, 0}, ConversionMode::Implicit, conversion()));
}

int64_t FunctionCall::integer(const Typed& t) const
{
    return std::get<int64_t>(
        convert(t, TypeName{SqlType::BigInt, 8, 19, 0}, ConversionMode::Implicit, conversion()));
}

const BuiltinFunction* findFunction(std::u16string_view name)
{
    auto it = table().find(name);
    return it == table().end() ? nullptr : it->second;
}

bool isAggregateFunction(std::u16string_view name)
{
    const BuiltinFunction* f = findFunction(name);
    return f && !f->evaluate;
}

std::vector<const BuiltinFunction*> builtinFunctions()
{
    std::vector<const BuiltinFunction*> all;
    for (const auto& [name, f] : table())
        all.push_back(f);
    return all;
}

Typed callBuiltin(FunctionCall& call)
{
    const std::u16string& name = call.expr.name;
    if (name == u"DEFAULT")
        throw notSupported(u"DEFAULT values");
    const BuiltinFunction* f = findFunction(name);
    if (!f)
        throw SqlError(err::kNotBuiltIn, {name});
    if (!f->evaluate)
        throw SqlError(err::kAggregateInWhere);
    if (call.count() < f->minArguments || call.count() > f->maxArguments)
        throw SqlError(err::kArgumentCount,
                       {name, formatInteger(static_cast<int64_t>(f->minArguments))});
    return f->evaluate(call);
}

} // namespace standin
