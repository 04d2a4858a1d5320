// The server-level statements read by the engine's parser into statement objects: names and
// literals as the client quoted them, the options of BACKUP and RESTORE, and the forms the server
// refuses answered with the same messages as before the statement runs.
#include "Errors.h"
#include "Parser.h"

#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

using server::BackupStatement;
using server::CreateDatabaseStatement;
using server::DropDatabaseStatement;
using server::RestoreStatement;

// The one statement of a batch, which must be a server-level one.
server::ServerStatement parseOne(const std::u16string& text)
{
    auto batch = sql::parseBatch(text);
    EXPECT_EQ(batch.size(), 1u) << u8(text);
    if (batch.empty() || !std::holds_alternative<sql::ServerStmt>(batch[0].body)) {
        ADD_FAILURE() << "not a server statement: " << u8(text);
        return {};
    }
    return std::get<sql::ServerStmt>(batch[0].body).statement;
}

template <typename T> T bodyOf(const std::u16string& text)
{
    const auto parsed = parseOne(text);
    if (!parsed.body) {
        ADD_FAILURE() << u8(text) << " refused: " << u8(parsed.refusal.text);
        return {};
    }
    return std::get<T>(*parsed.body);
}

TEST(ServerStatementParser, NamesAndLiteralsAreReadAsQuoted)
{
    const auto create = bodyOf<CreateDatabaseStatement>(
        u"create database [My]]Db] ON PRIMARY (NAME = N'My''Dat', FILENAME = N'C:\\D\\It''s.mdf', "
        u"SIZE = 10MB, MAXSIZE = UNLIMITED, FILEGROWTH = 10%) LOG ON (FILENAME = 'C:\\D\\l.ldf', "
        u"NAME = \"Log Name\") COLLATE SQL_Latin1_General_CP1_CI_AS;");
    EXPECT_EQ(create.name, u"My]Db");
    EXPECT_TRUE(create.data.given);
    EXPECT_EQ(create.data.logicalName, u"My'Dat");
    EXPECT_EQ(create.data.physicalName, u"C:\\D\\It's.mdf");
    EXPECT_EQ(create.log.logicalName, u"Log Name");
    EXPECT_EQ(create.log.physicalName, u"C:\\D\\l.ldf");
    const auto plain = bodyOf<CreateDatabaseStatement>(u"CREATE DATABASE /* c */ Xarc -- x");
    EXPECT_EQ(plain.name, u"Xarc");
    EXPECT_FALSE(plain.data.given);
    EXPECT_FALSE(plain.log.given);

    const auto drop = bodyOf<DropDatabaseStatement>(u"DROP DATABASE IF EXISTS a, [b c], [[d]]]");
    EXPECT_TRUE(drop.ifExists);
    EXPECT_EQ(drop.names, (std::vector<std::u16string>{u"a", u"b c", u"[d]"}));
    // A bracketed keyword is a name, never the keyword.
    const auto named = bodyOf<DropDatabaseStatement>(u"DROP DATABASE [IF]");
    EXPECT_FALSE(named.ifExists);
    EXPECT_EQ(named.names, std::vector<std::u16string>{u"IF"});
}

TEST(ServerStatementParser, BackupAndRestoreOptions)
{
    const auto backup = bodyOf<BackupStatement>(
        u"BACKUP DATABASE [X] TO DISK = N'C:\\B\\x''s.bak' WITH FORMAT, INIT, NAME = N'Full '' 1', "
        u"STATS = 10, description = 'd'");
    EXPECT_EQ(backup.database, u"X");
    EXPECT_EQ(backup.device, u"C:\\B\\x's.bak");
    ASSERT_EQ(backup.options.size(), 5u);
    EXPECT_EQ(backup.options[0].keyword, u"FORMAT");
    EXPECT_FALSE(backup.options[0].value.has_value());
    EXPECT_EQ(backup.options[2].value, std::optional<std::u16string>(u"Full ' 1"));
    EXPECT_EQ(backup.options[3].value, std::optional<std::u16string>(u"10"));
    EXPECT_EQ(backup.options[4].keyword, u"DESCRIPTION");

    const auto restore = bodyOf<RestoreStatement>(
        u"RESTORE DATABASE Xarc FROM DISK='C:\\B\\x.bak' WITH FILE = 2, REPLACE, "
        u"MOVE N'Xarc_Dat' TO N'C:\\D\\new''dat.mdf', MOVE 'Xarc_Log' TO 'C:\\D\\l.ldf', RECOVERY");
    EXPECT_EQ(restore.kind, RestoreStatement::Kind::Database);
    EXPECT_EQ(restore.database, u"Xarc");
    ASSERT_EQ(restore.options.size(), 5u);
    EXPECT_EQ(restore.options[0].value, std::optional<std::u16string>(u"2"));
    EXPECT_EQ(restore.options[2].keyword, u"MOVE");
    EXPECT_EQ(restore.options[2].value, std::optional<std::u16string>(u"Xarc_Dat"));
    EXPECT_EQ(restore.options[2].moveTo, u"C:\\D\\new'dat.mdf");
    EXPECT_EQ(restore.options[3].moveTo, u"C:\\D\\l.ldf");

    EXPECT_EQ(bodyOf<RestoreStatement>(u"RESTORE FILELISTONLY FROM DISK = 'a.bak'").kind,
              RestoreStatement::Kind::FileListOnly);
    EXPECT_EQ(bodyOf<RestoreStatement>(u"restore headeronly from disk = 'a.bak'").kind,
              RestoreStatement::Kind::HeaderOnly);
    const auto verify =
        bodyOf<RestoreStatement>(u"RESTORE VERIFYONLY FROM DISK = 'a.bak' WITH FILE = 3");
    EXPECT_EQ(verify.kind, RestoreStatement::Kind::VerifyOnly);
    EXPECT_TRUE(verify.database.empty());
}

TEST(ServerStatementParser, RefusedFormsKeepTheirMessages)
{
    struct Case {
        const char16_t* statement;
        int number;
        const char* text;
    } cases[] = {
        {u"CREATE DATABASE", 102, "Incorrect syntax near 'DATABASE'."},
        {u"CREATE DATABASE X ON (NAME = a)", 102, "Incorrect syntax near ')'."},
        {u"CREATE DATABASE X LOG (NAME = a, FILENAME = 'f')", 102, "Incorrect syntax near '('."},
        {u"CREATE DATABASE X ON (NAME = a, FILENAME = 'f'), (NAME = b, FILENAME = 'g')", 50000,
         "A database with more than one data file"},
        {u"CREATE DATABASE X COLLATE Latin1_General_BIN", 50000, "COLLATE Latin1_General_BIN"},
        {u"DROP DATABASE a,", 102, "Incorrect syntax near ','."},
        {u"DROP DATABASE 'a'", 102, "Incorrect syntax near 'a'."},
        {u"BACKUP LOG X TO DISK = 'f'", 50000, "BACKUP LOG"},
        {u"BACKUP DATABASE X TO TAPE = 'f'", 50000, "Backup to TAPE"},
        {u"BACKUP DATABASE X TO dev", 50000, "A logical backup device"},
        {u"BACKUP DATABASE X TO DISK = 'a', DISK = 'b'", 50000,
         "A backup striped over several devices"},
        {u"BACKUP DATABASE X TO DISK = f", 102, "Incorrect syntax near 'f'."},
        {u"BACKUP DATABASE X TO DISK = 'f' WITH MOVE a TO 'b'", 102, "Incorrect syntax near 'a'."},
        {u"RESTORE DATABASE X FROM DISK = 'f' WITH MOVE 'a' 'b'", 102,
         "Incorrect syntax near 'b'."},
        {u"RESTORE DATABASE X FROM DISK = 'f' WITH", 102, "Incorrect syntax near 'WITH'."},
        {u"RESTORE LABELONLY FROM DISK = 'f'", 50000, "RESTORE LABELONLY"},
        {u"RESTORE DATABASE X FILE = 'a' FROM DISK = 'f'", 50000, "A file or page restore"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseOne(c.statement);
        EXPECT_FALSE(parsed.body.has_value()) << u8(c.statement);
        EXPECT_EQ(parsed.refusal.number, c.number) << u8(c.statement);
        EXPECT_NE(u8(parsed.refusal.text).find(c.text), std::string::npos)
            << u8(c.statement) << ": " << u8(parsed.refusal.text);
    }
    // A statement of the batch that follows is not taken into the server statement.
    auto batch = sql::parseBatch(u"DROP DATABASE a SELECT 1");
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_TRUE(std::get<sql::ServerStmt>(batch[0].body).statement.body.has_value());
    // A quote left open fails the whole batch in the lexer, as for any statement.
    try {
        sql::parseBatch(u"BACKUP DATABASE X TO DISK = 'f");
        ADD_FAILURE() << "an open quote parsed";
    } catch (const SqlError& e) {
        EXPECT_EQ(e.message().number, 105);
    }
}

} // namespace
} // namespace standin::testing
