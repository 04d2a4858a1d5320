// Recordsets against a stand-in server: reading every column type, moving, exact text, and
// the updates the layer writes itself.
#include "StandinDatabase.h"

#include "Recordset.h"
#include "SqlText.h"

#include <QDateTime>

#include <ctime>

using namespace sqllumo;
using namespace sqllumo::db;

namespace {

class RecordsetTest : public itest::StandinTest {
protected:
    long long count(const QString& where)
    {
        return connection_.query("SELECT COUNT(*) AS N FROM " + where).value(0).toLongLong();
    }
    // Sending the queue meets a row someone else changed meanwhile.
    static void expectRowNotLocatedOnSend(Recordset& rs)
    {
        try {
            rs.sendUpdates();
            ADD_FAILURE() << "a row changed meanwhile was overwritten";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kRowNotLocated);
        }
    }
    // Text as a cipher leaves it: lone high and low surrogates, NUL, quotes and non-ASCII.
    static QString cipherLikeText()
    {
        QString t;
        const char16_t units[] = {0xD800, 'A',    0xDFFF, 0x0000, '\'',   0xDC00,
                                  0xD83D, 0xDE00, 0x00E8, 0xFFFF, 0xD801, ']'};
        for (char16_t u : units)
            t += QChar(u);
        return t;
    }
};

TEST_F(RecordsetTest, ReadsEveryColumnTypeWithItsAdoCodeAndNulls)
{
    connection_.execute(
        "CREATE TABLE T_Types( ID INT IDENTITY(1,1) CONSTRAINT PrimaryKey_T_Types PRIMARY KEY, "
        "S SMALLINT NULL, Y TINYINT NULL, B BIT NULL, D DATETIME NULL, N NVARCHAR(50) NULL, "
        "P IMAGE NULL )");
    connection_.execute(
        "INSERT INTO T_Types(S, Y, B, D, N, P) VALUES (-2, 255, 1, '2026-12-07T13:05:09.123', "
        "N'Città', 0x00FF7F)");
    connection_.execute("INSERT INTO T_Types(S) VALUES (NULL)");
    Recordset rs = connection_.query("SELECT * FROM T_Types ORDER BY ID");
    ASSERT_TRUE(rs.isOpen());
    ASSERT_EQ(rs.recordCount(), 2);
    struct Expect {
        const char* name;
        int type;
        QVariant first;
    };
    const Expect expect[] = {
        {"ID", adotype::kInteger, 1},
        {"S", adotype::kSmallInt, -2},
        {"Y", adotype::kTinyInt, 255},
        {"B", adotype::kBoolean, true},
        {"D", adotype::kDBTimeStamp, QDateTime(QDate(2026, 12, 7), QTime(13, 5, 9, 123), Qt::UTC)},
        {"N", adotype::kVarWChar, QString::fromUtf8("Città")},
        {"P", adotype::kLongVarBinary, QByteArray("\x00\xff\x7f", 3)},
    };
    ASSERT_EQ(rs.fields().count(), 7);
    for (int i = 0; i < 7; ++i) {
        const Field f = rs.fields().item(i);
        EXPECT_EQ(f.name(), expect[i].name);
        EXPECT_EQ(f.type(), expect[i].type) << expect[i].name;
        EXPECT_EQ(f.value(), expect[i].first) << expect[i].name;
        EXPECT_EQ(rs.field(QString(expect[i].name).toLower()).value(), expect[i].first);
    }
    EXPECT_EQ(rs.fields()["n"].definedSize(), 50);
    rs.moveNext();
    for (int i = 1; i < 7; ++i)
        EXPECT_TRUE(rs.fields()[i].isNull()) << expect[i].name;
    EXPECT_EQ(rs.value(0).toInt(), 2);
}

TEST_F(RecordsetTest, WiderTypesAreReadThroughTheirTypeTableEntries)
{
    connection_.execute("CREATE TABLE T_Wide( G BIGINT NULL, F FLOAT NULL, M DECIMAL(10,2) NULL, "
                        "V VARCHAR(20) NULL, X NVARCHAR(MAX) NULL, B VARBINARY(8) NULL )");
    connection_.execute("INSERT INTO T_Wide VALUES (-9000000000, 0.5, 12.25, 'plain', "
                        "N'long \u00e8', 0x0102)");
    connection_.execute("INSERT INTO T_Wide(G) VALUES (NULL)");
    Recordset rs = connection_.query("SELECT G, F, M, V, X, B FROM T_Wide ORDER BY G DESC");
    struct Expect {
        int type;
        QVariant first;
    };
    const Expect expect[] = {
        {adotype::kBigInt, QVariant(qlonglong(-9000000000LL))},
        {adotype::kDouble, 0.5},
        {adotype::kNumeric, 12.25},
        {adotype::kVarChar, QStringLiteral("plain")},
        {adotype::kLongVarWChar, QString::fromUtf8("long \u00e8")},
        {adotype::kVarBinary, QByteArray("\x01\x02", 2)},
    };
    ASSERT_EQ(rs.recordCount(), 2);
    ASSERT_EQ(rs.fields().count(), 6);
    // NULL sorts last in descending order: the row with values comes first.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rs.fields()[i].type(), expect[i].type) << i;
        EXPECT_EQ(rs.fields()[i].value(), expect[i].first) << i;
        EXPECT_EQ(rs.fields()[i].value().typeId(), expect[i].first.typeId()) << i;
    }
    rs.moveNext();
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(rs.fields()[i].isNull()) << i;
}

TEST_F(RecordsetTest, MovesBetweenBofAndEofAndCountsRows)
{
    connection_.execute("CREATE TABLE T_Nums( N INT NOT NULL )");
    Recordset empty = connection_.query("SELECT N FROM T_Nums");
    EXPECT_TRUE(empty.bof());
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(empty.recordCount(), 0);
    for (int n = 1; n <= 5; ++n)
        connection_.execute(QStringLiteral("INSERT INTO T_Nums VALUES (%1)").arg(n));
    Recordset rs;
    rs.open("SELECT N FROM T_Nums ORDER BY N", connection_, CursorType::Static, LockType::ReadOnly);
    EXPECT_EQ(rs.recordCount(), 5);
    EXPECT_FALSE(rs.bof());
    int sum = 0;
    for (; !rs.eof(); rs.moveNext())
        sum += rs.value("N").toInt();
    EXPECT_EQ(sum, 15);
    for (const auto& work : std::initializer_list<std::function<void()>>{[&] { rs.value("N"); },
                                                                         [&] { rs.moveNext(); }}) {
        try {
            work();
            ADD_FAILURE() << "worked at EOF";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kNoCurrentRow);
        }
    }
    rs.moveLast();
    EXPECT_EQ(rs.value("N").toInt(), 5);
    rs.moveFirst();
    EXPECT_EQ(rs.value("N").toInt(), 1);
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    try {
        rs.fields()["missing"];
        ADD_FAILURE() << "found a field that is not there";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kItemNotFound);
    }
}

TEST_F(RecordsetTest, StatementWithoutResultSetGivesAClosedRecordsetThatRaises3704)
{
    connection_.execute("CREATE TABLE T_NoIndex( a INT NOT NULL )");
    Recordset rs = connection_.query("sp_helpindex 'T_NoIndex'");
    EXPECT_FALSE(rs.isOpen());
    for (const auto& work : std::initializer_list<std::function<void()>>{
             [&] { rs.eof(); }, [&] { rs.recordCount(); }, [&] { rs.value("index_keys"); },
             [&] { rs.moveNext(); }}) {
        try {
            work();
            ADD_FAILURE() << "read a closed recordset";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kClosedObject);
            EXPECT_EQ(e.description(), "Operation is not allowed when the object is closed.");
        }
    }
}

TEST_F(RecordsetTest, SeveralResultSetsComeInOrder)
{
    Recordset rs = connection_.query("SELECT 1 AS a, 4 AS c; SELECT 3 AS c, 2 AS b");
    ASSERT_TRUE(rs.isOpen());
    EXPECT_EQ(rs.value("a").toInt(), 1);
    EXPECT_EQ(rs.value("C").toInt(), 4);
    ASSERT_TRUE(rs.nextRecordset());
    EXPECT_EQ(rs.fields().count(), 2);
    // A name read in the first set is found again among the fields of the second.
    EXPECT_EQ(rs.value("C").toInt(), 3);
    EXPECT_EQ(rs.value("c").toInt(), 3);
    EXPECT_THROW(rs.value("a"), Error);
    EXPECT_FALSE(rs.nextRecordset());
    EXPECT_FALSE(rs.isOpen());
}

TEST_F(RecordsetTest, TextThatIsNotValidUnicodeSurvivesAddNewUpdateAndReading)
{
    connection_.execute(
        "CREATE TABLE T_AdminPassword( ID_AdminPasswd INT IDENTITY(1,1) CONSTRAINT "
        "PrimaryKey_T_AdminPassword PRIMARY KEY, Admin_Passwd NVARCHAR(64) NOT NULL )");
    const QString cipher = cipherLikeText();
    Recordset rs;
    rs.open("SELECT * FROM T_AdminPassword", connection_, CursorType::Keyset, LockType::Optimistic);
    rs.addNew();
    rs.field("Admin_Passwd") = cipher;
    rs.update();
    EXPECT_EQ(rs.value("Admin_Passwd").toString(), cipher);
    rs.close();

    // Read back by a table name as the source, with a static read-only cursor.
    Recordset back;
    back.open("T_AdminPassword", connectionString());
    ASSERT_EQ(back.recordCount(), 1);
    EXPECT_EQ(back.value("Admin_Passwd").toString(), cipher);
    // The server holds the same code units, not a UTF-8 rendering of them.
    Recordset bytes =
        connection_.query("SELECT CAST(Admin_Passwd AS VARBINARY(MAX)) AS B FROM T_AdminPassword");
    EXPECT_EQ(bytes.value("B").toByteArray(), Utf16BytesFromText(cipher));

    // Changing it again finds the row by its exact original text.
    Recordset change;
    change.open("SELECT * FROM T_AdminPassword", connection_, CursorType::Keyset,
                LockType::Optimistic);
    const QString second = cipher + QChar(0xDBFF);
    change.field("Admin_Passwd") = second;
    change.update();
    EXPECT_EQ(connection_.query("SELECT Admin_Passwd FROM T_AdminPassword").value(0).toString(),
              second);
}

TEST_F(RecordsetTest, AddNewOnAnIdentityTableReadsTheKeyBackSoTheRowCanChangeAgain)
{
    connection_.execute("CREATE TABLE T_SecurityRoles( ID_Role INT IDENTITY(5,1) CONSTRAINT "
                        "PrimaryKey_T_SecurityRoles "
                        "PRIMARY KEY, RoleName NVARCHAR(50) NOT NULL, IsLocked BIT NOT NULL)");
    Recordset rs;
    rs.open("SELECT * FROM T_SecurityRoles WHERE RoleName = 'Administrator'", connection_,
            CursorType::Keyset, LockType::Optimistic);
    EXPECT_TRUE(rs.eof());
    rs.addNew();
    rs.field("RoleName") = QStringLiteral("Administrator");
    rs.field("isLocked") = true;
    rs.update();
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value("ID_Role").toInt(), 5);
    rs.field("RoleName") = QStringLiteral("Admin");
    rs.update();
    rs.addNew();
    rs.field("RoleName") = QStringLiteral("Guest");
    rs.field("IsLocked") = false;
    rs.update();
    EXPECT_EQ(rs.value("ID_Role").toInt(), 6);
    Recordset check = connection_.query(
        "SELECT ID_Role, RoleName, IsLocked FROM T_SecurityRoles ORDER BY ID_Role");
    ASSERT_EQ(check.recordCount(), 2);
    EXPECT_EQ(check.value("RoleName").toString(), "Admin");
    EXPECT_TRUE(check.value("IsLocked").toBool());
}

TEST_F(RecordsetTest, TableWithoutKeyIsUpdatedByAllOriginalValuesAndDuplicatesAreRefused)
{
    connection_.execute(
        "CREATE TABLE T_SecurityRolesFunctions( ID_Role INT NOT NULL, ID_Function INT NOT NULL )");
    Recordset rs;
    rs.open("SELECT * FROM T_SecurityRolesFunctions", connection_, CursorType::Keyset,
            LockType::Optimistic);
    for (int f : {1, 2, 2}) {
        rs.addNew();
        rs.field("ID_Role") = 1;
        rs.field("ID_Function") = f;
        rs.update();
    }
    rs.close();
    EXPECT_EQ(count("T_SecurityRolesFunctions"), 3);

    rs.open("SELECT * FROM T_SecurityRolesFunctions WHERE (ID_Function = 1 AND ID_Role = 1)",
            connection_, CursorType::Keyset, LockType::Optimistic);
    rs.field("ID_Function") = 7;
    rs.update();
    EXPECT_EQ(count("T_SecurityRolesFunctions WHERE ID_Function = 7"), 1);
    rs.close();

    // Two identical rows: the update would touch both, so it touches none.
    rs.open("SELECT * FROM T_SecurityRolesFunctions WHERE ID_Function = 2", connection_,
            CursorType::Keyset, LockType::Optimistic);
    ASSERT_EQ(rs.recordCount(), 2);
    rs.field("ID_Function") = 9;
    try {
        rs.update();
        FAIL() << "updated one of two identical rows";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kTooManyRows);
        EXPECT_EQ(e.description(),
                  "Key column information is insufficient or incorrect. Too many rows were "
                  "affected by update.");
    }
    EXPECT_EQ(count("T_SecurityRolesFunctions WHERE ID_Function = 2"), 2);
    EXPECT_EQ(count("T_SecurityRolesFunctions WHERE ID_Function = 9"), 0);
}

TEST_F(RecordsetTest, UpdateOfARowChangedOrRemovedMeanwhileFindsNoRowAndSaysSo)
{
    connection_.execute(
        "CREATE TABLE T_City( ID_City INT IDENTITY CONSTRAINT PrimaryKey_T_City PRIMARY KEY, "
        "City NVARCHAR(50) NOT NULL )");
    connection_.execute("INSERT INTO T_City(City) VALUES ('Pisa')");
    connection_.execute("INSERT INTO T_City(City) VALUES ('Lucca')");
    Recordset rs;
    rs.open("SELECT City FROM T_City ORDER BY ID_City", connection_, CursorType::Keyset,
            LockType::Optimistic);
    Connection other;
    other.open(connectionString());
    other.execute("UPDATE T_City SET City = 'Livorno' WHERE City = 'Pisa'");
    other.execute("DELETE FROM T_City WHERE City = 'Lucca'");
    for (int row = 0; row < 2; ++row) {
        rs.field("City") = QStringLiteral("Siena");
        try {
            rs.update();
            ADD_FAILURE() << "updated row " << row << " that changed meanwhile";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kRowNotLocated);
            EXPECT_EQ(e.description(),
                      "Row cannot be located for updating. Some values may have been changed "
                      "since it was last read.");
        }
        EXPECT_TRUE(rs.editPending());
        rs.cancelUpdate();
        rs.moveNext();
    }
    EXPECT_EQ(count("T_City WHERE City = 'Siena'"), 0);
}

TEST_F(RecordsetTest, BatchedUpdatesGoInOneTransactionOrUpToTheRowThatCannotBeFound)
{
    connection_.execute(
        "CREATE TABLE T_Town( ID_Town INT IDENTITY CONSTRAINT PrimaryKey_T_Town PRIMARY KEY, "
        "Town NVARCHAR(50) NOT NULL )");
    for (int i = 0; i < 6; ++i)
        connection_.execute(QStringLiteral("INSERT INTO T_Town(Town) VALUES ('T%1')").arg(i));
    Recordset rs;
    rs.open("SELECT Town FROM T_Town ORDER BY ID_Town", connection_, CursorType::Keyset,
            LockType::Optimistic);
    rs.setBatchUpdates(true);
    // All six queued: nothing reaches the server until they are sent, then all in one batch and
    // its commit.
    for (int i = 0; i < 6; ++i, rs.moveNext()) {
        rs.field("Town") = QStringLiteral("N%1").arg(i);
        rs.update();
        EXPECT_EQ(rs.value("Town").toString(), QStringLiteral("N%1").arg(i));
    }
    EXPECT_EQ(count("T_Town WHERE Town LIKE 'N%'"), 0);
    const long long before = connection_.batchesSent();
    rs.sendUpdates();
    EXPECT_EQ(connection_.batchesSent() - before, 2);
    EXPECT_EQ(rs.updatesWritten(), 6u);
    EXPECT_EQ(count("T_Town WHERE Town LIKE 'N%'"), 6);
    // The session is as it was: counts come back for the statements that follow.
    EXPECT_EQ(connection_.execute("UPDATE T_Town SET Town = Town WHERE ID_Town < 3"), 2);

    // A row changed by someone else meanwhile: the rows before it are written, it and the rest
    // are not, and its error is the one an update of it alone gives.
    Connection other;
    other.open(connectionString());
    other.execute("UPDATE T_Town SET Town = 'elsewhere' WHERE Town = 'N3'");
    rs.moveFirst();
    for (int i = 0; i < 6; ++i, rs.moveNext()) {
        rs.field("Town") = QStringLiteral("M%1").arg(i);
        rs.update();
    }
    expectRowNotLocatedOnSend(rs);
    EXPECT_EQ(rs.updatesWritten(), 3u);
    EXPECT_EQ(count("T_Town WHERE Town LIKE 'M%'"), 3);
    EXPECT_EQ(count("T_Town WHERE Town IN ('elsewhere', 'N4', 'N5')"), 3);
    EXPECT_EQ(connection_.query("SELECT @@TRANCOUNT AS N").value(0).toInt(), 0);
    EXPECT_EQ(connection_.execute("UPDATE T_Town SET Town = Town WHERE ID_Town < 3"), 2);
}

TEST_F(RecordsetTest, BatchedChangesOfOneRowInARowAreWrittenAsEachAloneWouldBe)
{
    connection_.execute(
        "CREATE TABLE T_Flags( ID_Multi INT IDENTITY CONSTRAINT PrimaryKey_T_Flags PRIMARY KEY, "
        "rv_1 BIT NOT NULL, rv_7 BIT NOT NULL, Code NVARCHAR(20) NOT NULL )");
    for (int i = 0; i < 4; ++i)
        connection_.execute(
            QStringLiteral("INSERT INTO T_Flags(rv_1, rv_7, Code) VALUES (0, 1, 'C%1')").arg(i));
    Recordset rs;
    rs.open("SELECT rv_1, rv_7, Code FROM T_Flags ORDER BY ID_Multi", connection_,
            CursorType::Keyset, LockType::Optimistic);
    rs.setBatchUpdates(true);
    // Row by row: the destination set, then the source cleared; one row's code set twice; a
    // change of the first row again after the second row's.
    for (int i = 0; i < 3; ++i, rs.moveNext()) {
        rs.field("rv_1") = rs.value("rv_7");
        rs.update();
        rs.field("rv_7") = false;
        rs.update();
    }
    rs.field("Code") = QStringLiteral("first");
    rs.update();
    rs.field("Code") = QStringLiteral("second");
    rs.update();
    rs.moveFirst();
    rs.field("Code") = QStringLiteral("again");
    rs.update();
    // One batch and its commit: every change went through together.
    const long long before = connection_.batchesSent();
    rs.sendUpdates();
    EXPECT_EQ(connection_.batchesSent() - before, 2);
    EXPECT_EQ(rs.updatesWritten(), 9u);
    Recordset stored = connection_.query("SELECT rv_1, rv_7, Code FROM T_Flags ORDER BY ID_Multi");
    QStringList rows;
    for (; !stored.eof(); stored.moveNext())
        rows << QStringLiteral("%1 %2 %3")
                    .arg(stored.value(0).toInt())
                    .arg(stored.value(1).toInt())
                    .arg(stored.value(2).toString());
    EXPECT_EQ(rows, QStringList({"1 0 again", "1 0 C1", "1 0 C2", "0 1 second"}));

    // Someone else clears a source meanwhile: the batch as a whole fails, and sent again one
    // change at a time it stops after that row's destination, naming the row it cannot find.
    connection_.execute("UPDATE T_Flags SET rv_1 = 0, rv_7 = 1");
    rs.close();
    rs.open("SELECT rv_1, rv_7, Code FROM T_Flags ORDER BY ID_Multi", connection_,
            CursorType::Keyset, LockType::Optimistic);
    rs.setBatchUpdates(true);
    Connection other;
    other.open(connectionString());
    other.execute("UPDATE T_Flags SET rv_7 = 0 WHERE Code = 'C1'");
    for (int i = 0; i < 3; ++i, rs.moveNext()) {
        rs.field("rv_1") = true;
        rs.update();
        rs.field("rv_7") = false;
        rs.update();
    }
    expectRowNotLocatedOnSend(rs);
    EXPECT_EQ(rs.updatesWritten(), 3u);
    EXPECT_EQ(count("T_Flags WHERE rv_1 = 1 AND rv_7 = 0"), 2);    // the first row, and C1
    EXPECT_EQ(count("T_Flags WHERE Code = 'C1' AND rv_1 = 1"), 1); // its destination written
    EXPECT_EQ(count("T_Flags WHERE Code = 'C2' AND rv_1 = 0 AND rv_7 = 1"), 1);
    EXPECT_EQ(connection_.query("SELECT @@TRANCOUNT AS N").value(0).toInt(), 0);
}

TEST_F(RecordsetTest, JoinedQueryUpdatesColumnsOfTwoBaseTablesInOneRow)
{
    connection_.execute("CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT "
                        "PrimaryKey_T_Marker PRIMARY KEY, "
                        "Marker NVARCHAR(50) NOT NULL )");
    connection_.execute(
        "CREATE TABLE T_Exam( ID_Multi INT IDENTITY CONSTRAINT PrimaryKey_T_Exam PRIMARY KEY, "
        "ID_Marker INT NOT NULL, rv_1 BIT NOT NULL, rv_7 BIT NOT NULL )");
    connection_.execute(
        "CREATE TABLE T_File( ID_Exam INT IDENTITY CONSTRAINT PrimaryKey_T_File PRIMARY KEY, "
        "ID_Multi INT NOT NULL, [Primary] BIT NOT NULL, Comment NVARCHAR(250) NOT NULL )");
    connection_.execute("INSERT INTO T_Marker(Marker) VALUES ('')");
    connection_.execute("INSERT INTO T_Marker(Marker) VALUES ('Red')");
    connection_.execute("INSERT INTO T_Exam(ID_Marker, rv_1, rv_7) VALUES (4, 0, 1)");
    for (const char* comment : {"first", "second"})
        connection_.execute(
            QStringLiteral("INSERT INTO T_File(ID_Multi, [Primary], Comment) VALUES (1, 1, '%1')")
                .arg(comment));

    // The select list lacks both keys; the layer fetches them unseen.
    Recordset rs;
    rs.open("SELECT T_Exam.ID_Marker, T_Exam.rv_7, T_Exam.rv_1, T_Marker.Marker, T_File.[Primary], "
            "T_File.Comment "
            "FROM T_Exam INNER JOIN T_Marker ON T_Exam.ID_Marker = T_Marker.ID_Marker "
            "INNER JOIN T_File ON T_Exam.ID_Multi = T_File.ID_Multi WHERE (T_Exam.ID_Marker<> 3 "
            "AND T_File.[Primary]<>0)",
            connectionString(), CursorType::Static, LockType::Optimistic);
    ASSERT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.fields().count(), 6);
    rs.field("Comment") = rs.value("Comment").toString() + " - " + rs.value("Marker").toString();
    rs.field("rv_1") = rs.value("rv_7");
    rs.update();
    rs.field("ID_Marker") = 3;
    rs.field("rv_7") = false;
    rs.update();
    rs.moveNext();
    // The exam shows in both rows: the second shows what the first wrote, and is found by it.
    EXPECT_EQ(rs.value("ID_Marker").toInt(), 3);
    EXPECT_FALSE(rs.value("rv_7").toBool());
    EXPECT_TRUE(rs.value("rv_1").toBool());
    rs.field("Comment") = rs.value("Comment").toString() + " - " + rs.value("Marker").toString();
    rs.field("rv_7") = false;
    rs.update();
    rs.close();
    Recordset files = connection_.query("SELECT Comment FROM T_File ORDER BY ID_Exam");
    EXPECT_EQ(files.value(0).toString(), "first - Red");
    files.moveNext();
    EXPECT_EQ(files.value(0).toString(), "second - Red");
    Recordset exam = connection_.query("SELECT ID_Marker, rv_1, rv_7 FROM T_Exam");
    EXPECT_EQ(exam.value("ID_Marker").toInt(), 3);
    EXPECT_TRUE(exam.value("rv_1").toBool());
    EXPECT_FALSE(exam.value("rv_7").toBool());
}

TEST_F(RecordsetTest, ByteArrayIntoTextColumnIsStoredAsUpperCaseHex)
{
    connection_.execute("CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )");
    connection_.execute("INSERT INTO T_DBVersion([FreeText]) VALUES ('')");
    Recordset rs;
    rs.open("SELECT [FreeText] FROM T_DBVersion", connectionString(), CursorType::Keyset,
            LockType::Optimistic);
    rs.field("FreeText") = QByteArray("\x01\xab\xff\x00\x7f", 5);
    rs.update();
    rs.close();
    EXPECT_EQ(connection_.query("SELECT [FreeText] FROM T_DBVersion").value(0).toString(),
              "01ABFF007F");
}

TEST_F(RecordsetTest, ReadOnlyRecordsetsAndComputedFieldsRefuseAssignment)
{
    connection_.execute("CREATE TABLE T_Nums( N INT NOT NULL )");
    connection_.execute("INSERT INTO T_Nums VALUES (1)");
    Recordset ro = connection_.query("SELECT N FROM T_Nums");
    Recordset computed;
    computed.open("SELECT N, N + 1 AS M FROM T_Nums", connection_, CursorType::Keyset,
                  LockType::Optimistic);
    for (const auto& work : std::initializer_list<std::function<void()>>{
             [&] { ro.field("N") = 2; }, [&] { ro.addNew(); }, [&] { computed.field("M") = 5; }}) {
        try {
            work();
            ADD_FAILURE() << "assigned to a field that cannot change";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kNotUpdatable);
        }
    }
    EXPECT_EQ(count("T_Nums WHERE N = 1"), 1);
}

TEST_F(RecordsetTest, SelectListKeepsItsNamesAliasesAndOrderWhileTextComesExact)
{
    connection_.execute(
        "CREATE TABLE T_City( ID_City INT IDENTITY CONSTRAINT PrimaryKey_T_City PRIMARY KEY, "
        "City NVARCHAR(50) NOT NULL )");
    const QString lone = QString("c") + QChar(0xDC01);
    for (const QString& city : {QString("b"), QString("A"), lone}) {
        Recordset add;
        add.open("SELECT * FROM T_City", connection_, CursorType::Keyset, LockType::Optimistic);
        add.addNew();
        add.field("City") = city;
        add.update();
    }
    struct Row {
        const char* statement;
        const char* field;
        QStringList order;
        int fields;
    };
    const Row rows[] = {
        {"SELECT City AS Town FROM T_City ORDER BY Town", "Town", {"A", "b", lone}, 1},
        {"SELECT c.City FROM T_City AS c ORDER BY City DESC", "City", {lone, "b", "A"}, 1},
        {"SELECT * FROM T_City ORDER BY 2", "city", {"A", "b", lone}, 2},
        // DISTINCT rows are not table rows: read as the driver gives them, so only valid text is
        // exact.
        {"SELECT DISTINCT City FROM T_City WHERE City <> 'c' ORDER BY City", "City", {"A", "b"}, 1},
    };
    for (const Row& row : rows) {
        Recordset rs;
        rs.open(row.statement, connection_, CursorType::Keyset, LockType::Optimistic);
        QStringList seen;
        for (; !rs.eof() && seen.size() < row.order.size(); rs.moveNext())
            seen << rs.value(row.field).toString();
        EXPECT_EQ(seen, row.order) << row.statement;
        EXPECT_EQ(rs.fields().count(), row.fields) << row.statement;
    }
}
TEST_F(RecordsetTest, DateTimesInALocalDaylightSavingGapComeBackUnchanged)
{
    // Italy moved its clocks from 00:00 to 01:00 on 22 May 1966: midnight did not exist there.
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Rome");
    tzset();
    connection_.execute("CREATE TABLE T_Patient( ID_Patient INT IDENTITY CONSTRAINT "
                        "PrimaryKey_T_Patient PRIMARY KEY, "
                        "B_Date DATETIME NULL, L_Name NVARCHAR(50) NULL )");
    connection_.execute(
        "INSERT INTO T_Patient(B_Date, L_Name) VALUES ('1966-05-22T00:00:00', 'Rossi')");
    Recordset rs;
    rs.open("SELECT * FROM T_Patient", connection_, CursorType::Keyset, LockType::Optimistic);
    const QDateTime born = rs.value("B_Date").toDateTime();
    EXPECT_EQ(born.toString("yyyy-MM-ddTHH:mm:ss.zzz"), "1966-05-22T00:00:00.000");
    rs.field("L_Name") =
        QStringLiteral("Bianchi"); // the date takes part in no condition but must stay
    rs.field("B_Date") = born;
    rs.update();
    rs.close();
    Recordset back = connection_.query("SELECT B_Date, L_Name FROM T_Patient");
    EXPECT_EQ(back.value("B_Date").toDateTime().toString("yyyy-MM-ddTHH:mm:ss.zzz"),
              "1966-05-22T00:00:00.000");
    EXPECT_EQ(back.value("L_Name").toString(), "Bianchi");
    if (savedZone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}

TEST_F(RecordsetTest, KeylessUpdateTouchesOnlyTheRowTheQueryNames)
{
    // Both rows agree in every column the layer can compare (FLOAT is not one): only the
    // query's own condition tells them apart.
    connection_.execute("CREATE TABLE T_Keyless( K INT NOT NULL, F FLOAT NOT NULL, "
                        "D DATETIME NOT NULL )");
    connection_.execute("INSERT INTO T_Keyless(K, F, D) VALUES (1, 1.5, 0)");
    connection_.execute("INSERT INTO T_Keyless(K, F, D) VALUES (1, 2.5, 0)");
    const QDateTime born(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime later(QDate(1931, 4, 2), QTime(7, 8, 9), Qt::UTC);

    // Without a condition of its own the change would match both rows: refused, nothing changed.
    Recordset all;
    all.open("SELECT D FROM T_Keyless", connection_, CursorType::Keyset, LockType::Optimistic);
    all.field("D") = later;
    try {
        all.update();
        ADD_FAILURE() << "an update matching two rows went through";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kTooManyRows);
    }
    all.close();
    EXPECT_EQ(count("T_Keyless WHERE D = '1900-01-01'"), 2);

    Recordset rs;
    rs.open("SELECT D FROM T_Keyless WHERE F = 2.5 ORDER BY K", connection_, CursorType::Keyset,
            LockType::Optimistic);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value("D").toDateTime(), born);
    rs.field("D") = later;
    rs.update();
    rs.close();
    Recordset back = connection_.query("SELECT F, D FROM T_Keyless ORDER BY F");
    EXPECT_EQ(back.value("D").toDateTime(), born);
    back.moveNext();
    EXPECT_EQ(back.value("D").toDateTime(), later);
}

} // namespace
