// The writer's statements on a real server: a table created with its keys inline and the same
// table created bare with its keys added afterwards end with the same keys, and the keys hold.
#include "DdlWriter.h"
#include "Error.h"
#include "StandinDatabase.h"

using namespace sqllumo;
using namespace sqllumo::schema;

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

TableDef parent()
{
    TableDef t;
    t.name = "T_Parent";
    t.identityColumn = "ID_Parent";
    t.identitySeed = 5;
    t.columns = {{"Name", NVarChar(20)}};
    return t;
}

// Keyed by a declared column, with one cascading reference added afterwards and one plain
// reference declared inline.
TableDef child()
{
    TableDef t;
    t.name = "T_Child";
    t.keyColumn = "Code";
    t.columns = {{"Code", NVarChar(10)},
                 ColumnDef("ID_Parent", Nullability::NotNull,
                           ForeignKeyDef{"fk_Child_Parent", "T_Parent", "ID_Parent", true, false}),
                 ColumnDef("ID_Other", Nullability::Null,
                           ForeignKeyDef{"", "T_Parent", "ID_Parent", false, true})};
    return t;
}

class TableModelOnServer : public sqllumo::testing::StandinDatabase {
protected:
    // "KEY_NAME column -> rule" for each key of the parent's listing, keys and rules upper case.
    static std::map<QString, QString> referencesOfParent(dbport::Connection& connection)
    {
        std::map<QString, QString> found;
        const dbport::ResultSet rows = connection.query("sp_fkeys 'T_Parent'");
        for (size_t i = 0; i < rows.rowCount(); ++i)
            found[rows.text(i, "FKTABLE_NAME").toUpper() + "." +
                  rows.text(i, "FKCOLUMN_NAME").toUpper()] =
                rows.text(i, "UPDATE_RULE") + "/" + rows.text(i, "DELETE_RULE");
        return found;
    }
    static QString primaryKeyOf(dbport::Connection& connection, const TableDef& table)
    {
        const dbport::ResultSet rows = connection.query("sp_pkeys '" + q(table.name) + "'");
        return rows.isEmpty() ? QString()
                              : rows.text(0, "PK_NAME") + ":" + rows.text(0, "COLUMN_NAME");
    }
};

} // namespace

TEST_F(TableModelOnServer, InlineAndAddedKeysEndTheSameAndHold)
{
    const QString inlineDb = createDatabase("ModelInline");
    const QString addedDb = createDatabase("ModelAdded");
    auto inlined = connect(inlineDb);
    auto added = connect(addedDb);
    for (const TableDef& table : {parent(), child()}) {
        inlined->execute(q(CreateTableStatement(table)));
        added->execute(q(CreateKeylessTableStatement(table)));
        added->execute(q(AlterTableStatement(table.name, AddKeysClause(table))));
    }
    // The key declared "added afterwards" is added on the inline side as the password
    // database adds its keys.
    const ColumnDef& cascading = *child().findColumn("ID_Parent");
    inlined->execute(q(AlterTableStatement(
        "T_Child", AddConstraintClause(ForeignKeyClause(cascading.name, *cascading.foreignKey)))));

    for (dbport::Connection* c : {inlined.get(), added.get()}) {
        EXPECT_EQ(primaryKeyOf(*c, parent()), "PrimaryKey_T_Parent:ID_Parent");
        EXPECT_EQ(primaryKeyOf(*c, child()), "PrimaryKey_T_Child:Code");
        const std::map<QString, QString> expected = {{"T_CHILD.ID_PARENT", "0/0"},
                                                     {"T_CHILD.ID_OTHER", "1/1"}};
        EXPECT_EQ(referencesOfParent(*c), expected);
    }
    added->close();

    // The identity starts at its seed; the cascade removes the child with its parent, and a
    // child of a parent that does not exist is refused.
    inlined->execute("INSERT INTO T_Parent(Name) VALUES (N'p')");
    EXPECT_EQ(inlined->query("SELECT ID_Parent FROM T_Parent").value(0, "ID_Parent").toInt(), 5);
    inlined->execute("INSERT INTO T_Child(Code, ID_Parent, ID_Other) VALUES (N'c1', 5, NULL)");
    try {
        inlined->execute("INSERT INTO T_Child(Code, ID_Parent) VALUES (N'c2', 6)");
        ADD_FAILURE() << "a child of a missing parent was stored";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.nativeError(), 547);
    }
    try {
        inlined->execute("INSERT INTO T_Child(Code, ID_Parent) VALUES (N'c1', 5)");
        ADD_FAILURE() << "a second row under the same key was stored";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.nativeError(), 2627);
    }
    inlined->execute("DELETE FROM T_Parent WHERE ID_Parent = 5");
    EXPECT_EQ(inlined->query("SELECT COUNT(*) AS N FROM T_Child").value(0, "N").toInt(), 0);
    inlined->close();
}
