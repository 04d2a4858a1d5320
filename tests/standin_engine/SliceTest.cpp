// A first pass through the engine: log in, set options, create, insert and select.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class SliceTest : public EngineFixture {};

TEST_F(SliceTest, ConnectSetSelectCreateInsertSelect)
{
    ok("SET TEXTSIZE 2147483647 SET ANSI_NULLS ON SET QUOTED_IDENTIFIER ON SET NOCOUNT OFF");
    EXPECT_EQ(rows("SELECT 1 AS one, N'x' AS t, @@SPID"), (std::vector<std::string>{"1|'x'|51"}));
    ok("CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY "
       "KEY, Marker NVARCHAR(50) NOT NULL )");
    RecordingSink ins = run("INSERT INTO T_Marker(Marker) VALUES ('')");
    EXPECT_TRUE(ins.errors().empty()) << ins.errorText();
    EXPECT_EQ(ins.counts(), (std::vector<int64_t>{1}));
    ok("INSERT INTO T_Marker(Marker) VALUES (N'Abc')");
    EXPECT_EQ(rows("SELECT * FROM T_Marker ORDER BY ID_Marker"),
              (std::vector<std::string>{"3|''", "4|'Abc'"}));
    EXPECT_EQ(rows("SELECT Marker FROM T_Marker WHERE Marker = 'ABC  '"),
              (std::vector<std::string>{"'Abc'"}));
}

} // namespace
} // namespace standin::testing
