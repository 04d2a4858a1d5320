// The server-level statements as the engine's parser reads them: CREATE/DROP DATABASE, BACKUP and
// RESTORE, each an object the server catalogue runs. A form the server does not take is kept as
// the message that refuses it, sent when the statement's turn comes, as the rest of its batch runs.
#pragma once

#include "../Engine.h"
#include "../Lexer.h"

#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace standin::server {

// ( NAME = n, FILENAME = 'f' [, SIZE | MAXSIZE | FILEGROWTH = ...] ) of CREATE DATABASE.
struct FileDefinition {
    bool given = false;
    std::u16string logicalName;
    std::u16string physicalName;
};

struct CreateDatabaseStatement {
    std::u16string name;
    FileDefinition data;
    FileDefinition log;
};

struct DropDatabaseStatement {
    bool ifExists = false;
    std::vector<std::u16string> names;
};

// One option of WITH: a keyword (folded), a value after '=', or MOVE 'logical' TO 'physical'.
struct WithOption {
    std::u16string keyword;
    std::optional<std::u16string> value;
    std::u16string moveTo;
};

struct BackupStatement {
    std::u16string database;
    std::u16string device; // DISK = '...' as written
    std::vector<WithOption> options;
};

struct RestoreStatement {
    enum class Kind { Database, FileListOnly, VerifyOnly, HeaderOnly };
    Kind kind = Kind::Database;
    std::u16string database; // RESTORE DATABASE only
    std::u16string device;
    std::vector<WithOption> options;
};

using ServerStatementBody =
    std::variant<CreateDatabaseStatement, DropDatabaseStatement, BackupStatement, RestoreStatement>;

struct ServerStatement {
    std::optional<ServerStatementBody> body; // empty when refused
    Message refusal;                         // 102 near the bad token, or a form not supported
};

// Reads one statement from the engine's tokens, the first being CREATE, DROP, BACKUP or RESTORE;
// the tokens end where the statement does (an End token there is allowed).
ServerStatement ParseServerStatement(std::span<const sql::Token> tokens);

} // namespace standin::server
