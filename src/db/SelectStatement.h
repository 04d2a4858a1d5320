#pragma once
// Just enough of a T-SQL SELECT to know where each output column comes from: the select
// list (stars, column references, other expressions) and the tables of the FROM clause with
// their aliases. Statements outside this shape (no FROM, derived tables, UNION, INTO,
// several statements) are not parsed; the layer then reads them as they are, read-only.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sqllumo::db::detail {

struct SelectItem {
    enum class Kind { Star, Column, Expression };
    Kind kind = Kind::Expression;
    QStringList qualifier; // "T" of T.col or T.*; "dbo","T" of dbo.T.col
    QString column;        // for Kind::Column
    QString alias;         // AS name, empty when none
    QString text;          // the item as written
};

struct TableReference {
    QStringList name; // parts as written, unquoted ("dbo","T_Patient")
    QString alias;
    QString text; // how to name it again in a select list: the alias, else the name, quoted
};

struct SelectStatement {
    QString head;            // "SELECT", with DISTINCT / TOP n when present
    QString tail;            // from "FROM" to the end
    QString where;           // the WHERE condition as written, empty when there is none
    bool aggregated = false; // DISTINCT or GROUP BY: output rows are not table rows
    std::vector<SelectItem> items;
    std::vector<TableReference> tables;
};

std::optional<SelectStatement> ParseSelect(const QString& text);

// The batch as it may pass FreeTDS, which sends statement text through UTF-8: string literals
// holding what UTF-8 cannot carry (unpaired surrogates, NUL) become CAST(0x<UTF-16LE> AS
// NVARCHAR(MAX)), so they reach the server code unit for code unit. Raises kInvalidArgument
// when such a character stands outside a string literal. Other batches come back unchanged.
QString WithExactLiterals(const QString& batch);

// A bare (possibly qualified or bracketed) table name, as ADO takes one for a recordset's
// source; nullopt for anything else.
std::optional<QStringList> ParseTableName(const QString& text);

} // namespace sqllumo::db::detail
