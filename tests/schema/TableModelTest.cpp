// The table model and its statement writer on made-up tables in every style the two schemas
// use, and both schemas checked for references and indexes that point nowhere.
#include "ArchiveSchema.h"
#include "DdlWriter.h"
#include "PasswordSchema.h"

#include <gtest/gtest.h>

#include <set>

using namespace sqllumo::schema;

namespace {

// A parent keyed by its identity and a child keyed by a declared column, with references of
// every kind.
TableDef parent()
{
    TableDef t;
    t.name = "T_Parent";
    t.identityColumn = "ID_Parent";
    t.identitySeed = 5;
    t.columns = {{"Name", NVarChar(20)}, {"[Date]", DateTime(Nullability::Null)}};
    t.indexColumns = {"Name", "[Date]"};
    return t;
}

TableDef child()
{
    TableDef t;
    t.name = "T_Child";
    t.keyColumn = "Code";
    t.columns = {{"Code", NVarChar(10)},
                 ColumnDef("ID_Parent", Nullability::NotNull,
                           ForeignKeyDef{"fk_Child_Parent", "T_Parent", "ID_Parent", true, false}),
                 ColumnDef("ID_Other", Nullability::Null,
                           ForeignKeyDef{"", "T_Parent", "ID_Parent", false, true}),
                 {"Photo", Image()}};
    return t;
}

} // namespace

TEST(TableModel, ColumnDefinitionsFollowTypeNullabilityAndReference)
{
    const std::vector<std::tuple<ColumnDef, std::string, std::string>> rows = {
        {{"A", Int()}, "INT NOT NULL", "INT NOT NULL"},
        {{"A", Int(Nullability::Null)}, "INT NULL", "INT NULL"},
        {{"A", NVarChar(50)}, "NVARCHAR(50) NOT NULL", "NVARCHAR(50) NOT NULL"},
        {{"A", NVarChar(50, Nullability::Null)}, "NVARCHAR(50) NULL", "NVARCHAR(50) NULL"},
        {{"A", SmallInt()}, "SMALLINT NOT NULL", "SMALLINT NOT NULL"},
        {{"A", TinyInt()}, "TINYINT NOT NULL", "TINYINT NOT NULL"},
        {{"A", Bit()}, "BIT NOT NULL", "BIT NOT NULL"},
        {{"A", Image()}, "IMAGE", "IMAGE"},
        {ColumnDef("A", Nullability::NotNull, ForeignKeyDef{"", "T_B", "ID_B"}),
         "INT NOT NULL FOREIGN KEY REFERENCES T_B (ID_B)", "INT NOT NULL"},
        {ColumnDef("A", Nullability::Null, ForeignKeyDef{"", "T_B", "ID_B"}),
         "INT NULL FOREIGN KEY REFERENCES T_B (ID_B)", "INT NULL"},
        {ColumnDef("A", Nullability::NotNull, ForeignKeyDef{"A_fk", "T_B", "ID_B", true}),
         "INT CONSTRAINT A_fk NOT NULL FOREIGN KEY REFERENCES T_B (ID_B) ON DELETE CASCADE ON "
         "UPDATE CASCADE",
         "INT NOT NULL"},
        // A key added afterwards leaves the bare type in the definition.
        {ColumnDef("A", Nullability::NotNull, ForeignKeyDef{"A_fk", "T_B", "ID_B", true, false}),
         "INT NOT NULL", "INT NOT NULL"},
    };
    for (const auto& [column, definition, bare] : rows) {
        EXPECT_EQ(column.definition, definition);
        EXPECT_EQ(column.importDefinition, bare) << definition;
    }
    EXPECT_TRUE(Image().allowsNull());
    EXPECT_FALSE(Int().allowsNull());
}

TEST(TableModel, CreateStatementsInEachStyle)
{
    TableDef p = parent();
    EXPECT_EQ(CreateTableStatement(p),
              "CREATE TABLE T_Parent( ID_Parent INT IDENTITY(5,1) CONSTRAINT PrimaryKey_T_Parent "
              "PRIMARY KEY, Name NVARCHAR(20) NOT NULL, [Date] DATETIME NULL )");
    p.identitySeed = 1;
    EXPECT_NE(CreateTableStatement(p).find("ID_Parent INT IDENTITY CONSTRAINT"), std::string::npos);
    p.seedWrittenWhenOne = true;
    EXPECT_NE(CreateTableStatement(p).find("ID_Parent INT IDENTITY(1,1) CONSTRAINT"),
              std::string::npos);

    TableDef c = child();
    EXPECT_EQ(CreateTableStatement(c),
              "CREATE TABLE T_Child( Code NVARCHAR(10) NOT NULL, ID_Parent INT NOT NULL, ID_Other "
              "INT NULL FOREIGN KEY REFERENCES T_Parent (ID_Parent), Photo IMAGE, CONSTRAINT "
              "PrimaryKey_T_Child PRIMARY KEY (Code) )");
    c.blankBeforeClose = false;
    EXPECT_EQ(CreateTableStatement(c).substr(CreateTableStatement(c).size() - 7), "(Code))");

    EXPECT_EQ(CreateKeylessTableStatement(parent()),
              "CREATE TABLE T_Parent( ID_Parent INT IDENTITY, Name NVARCHAR(20) NOT NULL, [Date] "
              "DATETIME NULL )");
    EXPECT_EQ(KeylessColumnFragments(child()),
              (std::vector<std::string>{"Code NVARCHAR(10) NOT NULL, ", "ID_Parent INT NOT NULL, ",
                                        "ID_Other INT NULL, ", "Photo IMAGE "}));
}

TEST(TableModel, KeysAddedAfterwards)
{
    EXPECT_EQ(AddKeysClause(parent()),
              "ADD CONSTRAINT PrimaryKey_T_Parent PRIMARY KEY (ID_Parent) ");
    TableDef c = child();
    const std::string all = "ADD CONSTRAINT PrimaryKey_T_Child PRIMARY KEY (Code), CONSTRAINT "
                            "fk_Child_Parent FOREIGN KEY (ID_Parent) REFERENCES T_Parent "
                            "(ID_Parent) ON DELETE CASCADE ON UPDATE CASCADE, FOREIGN KEY "
                            "(ID_Other) REFERENCES T_Parent (ID_Parent)";
    EXPECT_EQ(AddKeysClause(c), all + " ");
    c.addedKeysEndWithBlank = false;
    EXPECT_EQ(AddKeysClause(c), all);
    c.keyColumn.clear();
    c.columns.erase(c.columns.begin() + 1, c.columns.end());
    EXPECT_EQ(AddKeysClause(c), "");
    EXPECT_EQ(PrimaryKeyClause(c), "");

    EXPECT_EQ(AlterTableStatement("T_Child", DropConstraintClause("fk_Child_Parent")),
              "ALTER TABLE T_Child DROP CONSTRAINT fk_Child_Parent");
    EXPECT_EQ(AlterColumnStatement(child(), *child().findColumn("Code")),
              "ALTER TABLE T_Child ALTER COLUMN Code NVARCHAR(10) NOT NULL");
    // A reported name cannot close its brackets early and run a statement of its own.
    EXPECT_EQ(BracketedName("PK__x] DROP TABLE T_Child --"), "[PK__x]] DROP TABLE T_Child --]");
    EXPECT_EQ(BracketedName(""), "[]");
}

TEST(TableModel, LookupsAreExact)
{
    const std::vector<TableDef> tables = {parent(), child()};
    ASSERT_NE(FindTable(tables, "T_Child"), nullptr);
    EXPECT_EQ(FindTable(tables, "T_Child")->primaryKeyColumn(), "Code");
    EXPECT_EQ(FindTable(tables, "T_Parent")->primaryKeyColumn(), "ID_Parent");
    EXPECT_EQ(FindTable(tables, "t_child"), nullptr);
    EXPECT_EQ(child().findColumn("code"), nullptr);
    EXPECT_EQ(parent().findColumn("Date"), nullptr); // written with its brackets
    EXPECT_NE(parent().findColumn("[Date]"), nullptr);
    EXPECT_EQ(Unbracketed("[Date]"), "Date");
    EXPECT_EQ(Unbracketed("Date"), "Date");
    EXPECT_EQ(parent().indexName(0), "IX_T_Parent");
    EXPECT_EQ(parent().indexName(1), "IX_T_Parent_1");
    EXPECT_EQ(child().columnCount(), 4u);
    EXPECT_EQ(parent().columnCount(), 3u);
}

// Every reference of both schemas points at the key of a table of the same schema that exists
// when the reference is declared; every index and declared key names a column of its table.
TEST(TableModel, BothSchemasPointOnlyAtWhatExists)
{
    const std::vector<const std::vector<TableDef>*> schemas = {
        &sqllumo::archive::ArchiveTables(), &sqllumo::password::PasswordTables()};
    for (const auto* tables : schemas) {
        std::set<std::string> created;
        for (const TableDef& table : *tables) {
            std::set<std::string> names;
            if (table.hasIdentity())
                names.insert(table.identityColumn);
            for (const ColumnDef& column : table.columns) {
                EXPECT_TRUE(names.insert(Unbracketed(column.name)).second)
                    << table.name << "." << column.name << " twice";
                if (!column.foreignKey)
                    continue;
                const ForeignKeyDef& key = *column.foreignKey;
                const TableDef* referenced = FindTable(*tables, key.table);
                ASSERT_NE(referenced, nullptr) << table.name << "." << column.name;
                EXPECT_EQ(referenced->primaryKeyColumn(), key.column) << table.name;
                if (key.declaredInline) {
                    EXPECT_TRUE(created.count(key.table)) << table.name << " before " << key.table;
                }
            }
            for (const std::string& index : table.indexColumns)
                EXPECT_TRUE(names.count(Unbracketed(index))) << table.name << " index " << index;
            if (!table.keyColumn.empty()) {
                EXPECT_NE(table.findColumn(table.keyColumn), nullptr) << table.name;
            }
            created.insert(table.name);
        }
    }
}
