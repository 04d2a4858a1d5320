// A bounded run of random and mutated statements through the whole front end: every batch is
// answered (rows, messages, errors), none crashes or leaves the session unusable.
#include "EngineTestSupport.h"

#include <random>

namespace standin::testing {
namespace {

class FrontEndRandomTest : public EngineFixture {};

TEST_F(FrontEndRandomTest, RandomAndMutatedBatchesAreAnsweredWithoutCrash)
{
    ok("CREATE TABLE T( id INT IDENTITY PRIMARY KEY, n NVARCHAR(20) NULL, d DATETIME NULL, b BIT "
       "NULL )");
    const std::vector<std::string> seeds = {
        "SELECT * FROM T WHERE id = 1 AND n LIKE 'a%' ORDER BY n DESC",
        "INSERT INTO T(n, d, b) VALUES (N'x''y', '19800101', 5)",
        "UPDATE T SET n = n + 'z', b = ~b WHERE id BETWEEN 1 AND 3",
        "DELETE FROM T WHERE n IS NULL OR d < GETDATE()",
        "SELECT COUNT(*), MAX(id) FROM T GROUP BY b HAVING COUNT(*) > 0",
        "SELECT CAST(0x4100 AS NVARCHAR(10)), CONVERT(VARBINARY(MAX), N'a'), 1/1/1980",
        "CREATE TABLE U( a INT NOT NULL CONSTRAINT PK PRIMARY KEY, r INT REFERENCES T (id) ON "
        "DELETE CASCADE )",
        "ALTER TABLE T ADD x INT NULL, CONSTRAINT UQ UNIQUE (x)",
        "sp_fkeys 'T'",
        "sp_helpindex 'T'",
        "SET IDENTITY_INSERT T ON",
        "BEGIN TRAN SELECT @@TRANCOUNT ROLLBACK",
        "SELECT CASE WHEN id > 1 THEN 'a' ELSE 'b' END FROM T",
        "DECLARE @v INT SET @v = 3 SELECT @v * 2",
    };
    const std::string alphabet = "()',.;=<>+-*/%[]\"@#0123456789 abcdefxyzSELECTFROMWHEREN'\n";
    std::mt19937 random(20261207);
    int answered = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string batch = seeds[random() % seeds.size()];
        int edits = static_cast<int>(random() % 6);
        for (int e = 0; e < edits && !batch.empty(); ++e) {
            size_t at = random() % batch.size();
            switch (random() % 4) {
            case 0:
                batch.erase(at, 1 + random() % 5);
                break;
            case 1:
                batch.insert(at, 1, alphabet[random() % alphabet.size()]);
                break;
            case 2:
                batch.insert(at, seeds[random() % seeds.size()].substr(0, 1 + random() % 12));
                break;
            default:
                batch[at] = alphabet[random() % alphabet.size()];
                break;
            }
        }
        RecordingSink sink = run(batch);
        // Every batch ends with a done (or, for a procedure, its done) or stops on an error.
        EXPECT_FALSE(sink.events.empty()) << batch;
        for (const auto& m : sink.messages)
            EXPECT_FALSE(m.text.empty()) << batch;
        ++answered;
    }
    EXPECT_EQ(answered, 3000);
    // Inputs the fuzzer found: a float literal beyond the type's range.
    EXPECT_EQ(errorOf("SELECT 33E333"), 8115);
    EXPECT_EQ(errorOf("SELECT 1e-400"), 0);
    run("ROLLBACK");
    EXPECT_EQ(rows("SELECT 1"), (std::vector<std::string>{"1"}));
}

} // namespace
} // namespace standin::testing
