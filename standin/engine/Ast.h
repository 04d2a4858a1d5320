// Parsed T-SQL: expressions and the statements of the server's subset.
#pragma once

#include "Engine.h"
#include "server/ServerStatements.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace standin::sql {

struct TypeName {
    SqlType type = SqlType::Int;
    int32_t length = 0; // characters or bytes; -1 = MAX
    uint8_t precision = 0;
    uint8_t scale = 0;
};

enum class ExprKind {
    Literal,
    Column,
    Variable,
    Negate,
    BitNot,
    Arithmetic, // op: + - * / % & | ^
    Compare,    // op: = <> < > <= >=
    And,
    Or,
    Not,
    IsNull,   // negated: IS NOT NULL
    Like,     // args: value, pattern [, escape]; negated: NOT LIKE
    In,       // args[0] IN (args[1..]); negated
    Between,  // args: value, low, high; negated
    Function, // name in `name`, upper case
    Cast,     // CAST / CONVERT; args[0] the value, args[1] the style
    Case,     // args: [operand], when, then, ..., [else]; hasOperand, hasElse
    CountStar,
};

struct Expr {
    ExprKind kind = ExprKind::Literal;
    // Literal: the value and the type SQL Server gives the literal.
    Value value;
    TypeName literalType;
    // Column: the name parts as written (table alias or table, column); Variable and Function
    // name in `name` (functions upper case).
    std::vector<std::u16string> parts;
    std::u16string name;
    std::u16string op;
    bool negated = false;
    bool distinct = false;
    bool hasOperand = false;
    bool hasElse = false;
    TypeName castType;
    std::vector<std::unique_ptr<Expr>> args;
    int32_t line = 1;
    // Set when the statement is bound to its tables: which source and column a name denotes.
    int boundSource = -1;
    int boundColumn = -1;
};
using ExprPtr = std::unique_ptr<Expr>;

struct TableName {
    std::vector<std::u16string> parts; // database.schema.table as written
    const std::u16string& table() const { return parts.back(); }
    std::u16string alias;
};

struct SelectItem {
    ExprPtr expr; // empty for * and t.*
    std::u16string starQualifier;
    bool star = false;
    std::u16string alias;
    bool hasAlias = false;
};

struct JoinClause {
    TableName table;
    ExprPtr on;
    bool left = false;
    bool cross = false;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStmt {
    bool distinct = false;
    ExprPtr top;
    bool topPercent = false;
    std::vector<SelectItem> items;
    std::optional<TableName> from;
    std::vector<JoinClause> joins;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;
    std::vector<std::pair<std::u16string, ExprPtr>> assignments; // SELECT @v = expr
};

struct InsertStmt {
    TableName table;
    std::vector<std::u16string> columns;
    bool hasColumnList = false;
    std::vector<std::vector<ExprPtr>> rows;
    std::unique_ptr<SelectStmt> select;
    bool defaultValues = false;
    // The target columns as found for the table definitions of `generation` (see
    // store::Database::schemaGeneration), so that a statement run again does not look them up.
    struct Targets {
        uint64_t generation = 0;
        bool identityInsert = false;
        std::vector<int> columns;
    };
    Targets resolved;
};

struct UpdateStmt {
    TableName table;
    std::vector<std::pair<std::u16string, ExprPtr>> assignments;
    ExprPtr where;
};

struct DeleteStmt {
    TableName table;
    ExprPtr where;
};

enum class ReferentialAction { NoAction, Cascade };

struct ConstraintDef {
    enum class Kind { PrimaryKey, Unique, ForeignKey };
    Kind kind = Kind::PrimaryKey;
    std::u16string name; // empty: a generated one
    std::vector<std::u16string> columns;
    bool clustered = true;
    bool clusteredGiven = false;
    std::u16string refTable;
    std::vector<std::u16string> refColumns;
    ReferentialAction onDelete = ReferentialAction::NoAction;
    ReferentialAction onUpdate = ReferentialAction::NoAction;
};

struct ColumnDefinition {
    std::u16string name;
    TypeName type;
    std::optional<bool> nullable;
    bool identity = false;
    int64_t seed = 1;
    int64_t increment = 1;
    std::vector<ConstraintDef> constraints; // inline ones, columns filled in
};

struct CreateTableStmt {
    TableName table;
    std::vector<ColumnDefinition> columns;
    std::vector<ConstraintDef> constraints;
};

struct AlterTableStmt {
    enum class Action { Add, DropConstraint, AlterColumn, DropColumn };
    TableName table;
    Action action = Action::Add;
    std::vector<ColumnDefinition> addColumns;
    std::vector<ConstraintDef> addConstraints;
    std::vector<std::u16string> dropNames;
    ColumnDefinition alterColumn;
};

struct CreateIndexStmt {
    bool unique = false;
    bool clustered = false;
    std::u16string name;
    TableName table;
    std::vector<std::u16string> columns;
};

struct DropIndexStmt {
    std::vector<std::pair<TableName, std::u16string>> indexes; // table, index
};

struct DropTableStmt {
    std::vector<TableName> tables;
    bool ifExists = false;
};

struct UseStmt {
    std::u16string database;
};

struct SetOptionStmt {
    std::u16string option; // upper case; several for SET A, B ON
    std::vector<std::u16string> options;
    std::u16string value; // ON, OFF, a number or a word, as written
};

struct SetIdentityInsertStmt {
    TableName table;
    bool on = false;
};

struct TransactionStmt {
    enum class Kind { Begin, Commit, Rollback };
    Kind kind = Kind::Begin;
};

struct ProcArg {
    std::u16string name; // @name = value
    ExprPtr value;
    bool output = false;
};

struct ExecStmt {
    std::vector<std::u16string> procedure; // name parts; master..name leaves the schema empty
    bool explicitExec = true;              // false for a bare name first in a batch
    std::vector<ProcArg> args;
};

struct DeclareStmt {
    std::vector<std::pair<std::u16string, TypeName>> variables;
    std::vector<ExprPtr> initial; // parallel, may be empty pointers
};

struct SetVariableStmt {
    std::u16string variable;
    ExprPtr value;
};

struct WaitForStmt {
    std::u16string delay; // 'hh:mm[:ss[.mmm]]'
};

// CREATE/DROP DATABASE, BACKUP and RESTORE, run by the server catalogue.
struct ServerStmt {
    server::ServerStatement statement;
};

using StatementBody = std::variant<SelectStmt, InsertStmt, UpdateStmt, DeleteStmt, CreateTableStmt,
                                   AlterTableStmt, CreateIndexStmt, DropIndexStmt, DropTableStmt,
                                   UseStmt, SetOptionStmt, SetIdentityInsertStmt, TransactionStmt,
                                   ExecStmt, DeclareStmt, SetVariableStmt, WaitForStmt, ServerStmt>;

struct Statement {
    StatementBody body;
    int32_t line = 1;
    std::u16string text; // source text of the statement
};

} // namespace standin::sql
