// The schema catalogue against a stand-in server.
#include "StandinDatabase.h"

#include "Catalog.h"
#include "Recordset.h"

using namespace sqllumo;
using namespace sqllumo::db;

namespace {

class CatalogTest : public itest::StandinTest {};

TEST_F(CatalogTest, BindingToAnUnreachableServerIsAConnectionFailure)
{
    Catalog catalog;
    try {
        catalog.setActiveConnection(
            BuildConnectionString(serverName(), database_, "sa", saPassword() + "!"));
        FAIL() << "bound with a wrong password";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
    }
    EXPECT_FALSE(catalog.isOpen());
}

TEST_F(CatalogTest, SeesTablesMadeEarlierInTheRunAfterRefreshWithExactNamesInStableOrder)
{
    Catalog catalog;
    catalog.setActiveConnection(connectionString());
    EXPECT_EQ(catalog.tableCount(), 0);
    connection_.execute(
        "CREATE TABLE T_Patient( ID_Patient INT IDENTITY CONSTRAINT PrimaryKey_T_Patient PRIMARY "
        "KEY, "
        "L_Name NVARCHAR(50) NOT NULL, Used_By SMALLINT NULL, Sex TINYINT NULL, Quick BIT NULL, "
        "B_Date DATETIME NULL, Photo IMAGE NULL, Note NVARCHAR(MAX) NULL )");
    connection_.execute("CREATE TABLE T_city( ID_City INT NOT NULL )");
    EXPECT_EQ(catalog.tableCount(), 0); // read once, kept until refreshed
    catalog.refresh();
    EXPECT_EQ(catalog.tableNames(), (QStringList{"T_Patient", "T_city"}));
    EXPECT_EQ(catalog.findTable("T_City"), nullptr); // presence is exact, case and all
    ASSERT_NE(catalog.findTable("T_city"), nullptr);

    struct Expect {
        const char* name;
        int type;
        long size;
    };
    const Expect expect[] = {
        {"ID_Patient", adotype::kInteger, 4},
        {"L_Name", adotype::kVarWChar, 50},
        {"Used_By", adotype::kSmallInt, 2},
        {"Sex", adotype::kTinyInt, 1},
        {"Quick", adotype::kBoolean, 2},
        {"B_Date", adotype::kDBTimeStamp, 8},
        {"Photo", adotype::kLongVarBinary, 2147483647},
        {"Note", adotype::kLongVarWChar, 1073741823},
    };
    const auto& columns = catalog.table("T_Patient").columns();
    ASSERT_EQ(columns.size(), std::size(expect));
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].name, expect[i].name);
        EXPECT_EQ(columns[i].type, expect[i].type) << expect[i].name;
        EXPECT_EQ(columns[i].definedSize, expect[i].size) << expect[i].name;
    }
    try {
        catalog.table("T_Missing");
        FAIL() << "found a missing table";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kItemNotFound);
    }
}

TEST_F(CatalogTest, AppendedIndexIsSeenBySpHelpindex)
{
    connection_.execute(
        "CREATE TABLE T_Item( ID_Item INT IDENTITY CONSTRAINT PrimaryKey_T_Item PRIMARY KEY, "
        "ID_Class INT NOT NULL, [Odd ]]Name] INT NULL )");
    Catalog catalog;
    catalog.setActiveConnection(connectionString());
    catalog.table("T_Item").appendIndex({"IX_T_Item_1", {"ID_Class"}});
    catalog.table("T_Item").appendIndex({"IX_T_Item_2", {"Odd ]Name"}});
    Recordset rs = connection_.query("sp_helpindex 'T_Item'");
    ASSERT_TRUE(rs.isOpen());
    QStringList keys;
    for (; !rs.eof(); rs.moveNext())
        if (rs.value("index_name").toString().startsWith("IX_"))
            keys << rs.value("index_keys").toString();
    EXPECT_EQ(keys, (QStringList{"ID_Class", "Odd ]Name"}));
}

} // namespace
