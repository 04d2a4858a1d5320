// Connections and statements against a stand-in server through unixODBC and FreeTDS.
#include "FreezingProxy.h"
#include "StandinDatabase.h"

#include "Recordset.h"

#include <QElapsedTimer>

#include <iostream>

using namespace sqllumo;
using namespace sqllumo::db;

namespace {

class ConnectionTest : public itest::StandinTest {};

TEST_F(ConnectionTest, LoginWithWrongPasswordIsAConnectionFailureWithTheServersText)
{
    Connection c;
    try {
        c.open(BuildConnectionString(serverName(), database_, "sa", saPassword() + "x"));
        FAIL() << "logged in with a wrong password";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_EQ(e.nativeError(), 18456);
        EXPECT_TRUE(e.description().startsWith("Login failed for user 'sa'"))
            << e.description().toStdString();
    }
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ConnectionTest, ExecutesDdlAndDmlAndCountsTheRowsTouched)
{
    connection_.execute(
        "CREATE TABLE T_Sample( ID INT IDENTITY(1,1) CONSTRAINT PrimaryKey_T_Sample PRIMARY KEY, "
        "Name NVARCHAR(20) NOT NULL )");
    EXPECT_EQ(connection_.execute("INSERT INTO T_Sample(Name) VALUES ('a')"), 1);
    EXPECT_EQ(connection_.execute("INSERT INTO T_Sample(Name) VALUES ('b')"), 1);
    EXPECT_EQ(connection_.execute("UPDATE T_Sample SET Name = 'c'"), 2);
    EXPECT_EQ(connection_.execute("DELETE FROM T_Sample WHERE Name = 'nothing'"), 0);
    Recordset rs = connection_.query("SELECT COUNT(*) AS N FROM T_Sample WHERE Name = 'C'");
    ASSERT_TRUE(rs.isOpen());
    EXPECT_EQ(rs.value("n").toInt(), 2); // names and text compare without regard to case
}

TEST_F(ConnectionTest, ServerErrorsCarryAdoNumbersTheServersNumberAndAPlainDescription)
{
    struct Row {
        const char* statement;
        long number;
        long native;
        const char* startsWith;
    };
    const Row rows[] = {
        {"SELECT * FROM T_Missing", kMissingTable, 208, "Invalid object name 'T_Missing'"},
        {"INSERT INTO T_Missing VALUES (1)", kMissingTable, 208, "Invalid object name"},
        {"SELEC 1", kServerError, 0, ""},
        {"CREATE TABLE T_Twice( a INT ); CREATE TABLE T_Twice( a INT )", kServerError, 2714,
         "There is already an object named 'T_Twice'"},
    };
    for (const Row& row : rows) {
        try {
            connection_.execute(row.statement);
            ADD_FAILURE() << "no error from " << row.statement;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), row.number) << row.statement;
            EXPECT_LT(e.number(), 0) << row.statement;
            if (row.native)
                EXPECT_EQ(e.nativeError(), row.native) << row.statement;
            else
                EXPECT_NE(e.nativeError(), 0) << row.statement;
            EXPECT_TRUE(e.description().startsWith(row.startsWith))
                << e.description().toStdString();
            EXPECT_FALSE(e.description().contains("[FreeTDS]"));
        }
    }
    // The connection stays usable after an error.
    EXPECT_EQ(connection_.query("SELECT 7 AS Seven").value(0).toInt(), 7);
}

TEST_F(ConnectionTest, StatementPastItsCommandTimeoutIsCancelledAndFails)
{
    connection_.setCommandTimeout(1);
    QElapsedTimer clock;
    clock.start();
    try {
        connection_.execute("WAITFOR DELAY '00:00:05'");
        FAIL() << "the wait outlived its time-out";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kQueryTimeout);
    }
    EXPECT_LT(clock.elapsed(), 4000);
    connection_.setCommandTimeout(Connection::kDefaultCommandTimeout);
    EXPECT_EQ(connection_.query("SELECT 1 AS One").value(0).toInt(), 1);
}

TEST_F(ConnectionTest, ClosedConnectionRefusesWorkAndItsRecordsetsToo)
{
    connection_.execute("CREATE TABLE T_Sample( ID INT NOT NULL, Name NVARCHAR(20) NULL )");
    connection_.execute("INSERT INTO T_Sample VALUES (1, 'a')");
    Recordset rs;
    rs.open("SELECT * FROM T_Sample", connection_, CursorType::Keyset, LockType::Optimistic);
    connection_.close();
    rs.field("Name").setValue("b");
    for (const auto& work : std::initializer_list<std::function<void()>>{
             [&] { rs.update(); }, [&] { connection_.execute("SELECT 1"); },
             [&] { connection_.query("SELECT 1"); }}) {
        try {
            work();
            ADD_FAILURE() << "worked on a closed connection";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kClosedObject);
        }
    }
}

TEST_F(ConnectionTest, StatementTextWithLoneSurrogatesReachesTheServerExactly)
{
    connection_.execute("CREATE TABLE T_GenericUser( User_Name NVARCHAR(50) NOT NULL, User_Passwd "
                        "NVARCHAR(64) NOT NULL )");
    const QString cipher =
        QString("p") + QChar(0xD800) + "'" + QChar(0xDFFF) + QChar(0xDC00) + QChar(0xD801);
    QString quoted = cipher;
    quoted.replace("'", "''");
    EXPECT_EQ(connection_.execute("INSERT INTO T_GenericUser VALUES ('Rossi', N'" + quoted + "')"),
              1);
    EXPECT_EQ(
        connection_.execute(
            "UPDATE T_GenericUser SET User_Name = 'Bianchi' WHERE User_Passwd = N'" + quoted + "'"),
        1);
    Recordset rs;
    rs.open("SELECT User_Passwd FROM T_GenericUser WHERE User_Name = 'Bianchi'", connection_);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(0).toString(), cipher);
}

TEST_F(ConnectionTest, StatementWithinItsTimeoutMayRunLongerThanTheLoginTimeout)
{
    // As a BACKUP under its 90 s: nothing but the command time-out may cut it.
    connection_.setCommandTimeout(90);
    QElapsedTimer clock;
    clock.start();
    connection_.execute("WAITFOR DELAY '00:00:16'");
    EXPECT_GE(clock.elapsed(), 15500);
    EXPECT_EQ(connection_.query("SELECT 2 AS Two").value(0).toInt(), 2);
}

TEST_F(ConnectionTest, ServerThatStopsAnsweringEndsTheStatementCloseToItsTimeout)
{
    const int port = serverName().section(',', 1).toInt();
    wire::FreezingProxy proxy(port);
    const QString through = "127.0.0.1," + QString::number(proxy.port());
    Connection c;
    c.open(BuildConnectionString(through, database_, "sa", saPassword()));
    EXPECT_EQ(c.query("SELECT 1 AS One").value(0).toInt(), 1);

    // The server neither answers nor hears the cancel: the driver alone would wait a second
    // full period for the acknowledgement.
    const int asked = 6;
    c.setCommandTimeout(asked);
    proxy.freeze();
    QElapsedTimer clock;
    clock.start();
    try {
        c.execute("SELECT 2");
        FAIL() << "a statement got an answer from a frozen server";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kQueryTimeout);
        EXPECT_TRUE(e.description().startsWith("Timeout expired (no answer from " + through +
                                               " within 6 s"))
            << e.description().toStdString();
    }
    const qint64 took = clock.elapsed();
    std::cout << "time-out of " << asked << " s ended the statement after " << took << " ms\n";
    EXPECT_GE(took, asked * 1000 - 200);
    EXPECT_LT(took, asked * 2000 - 1000);
    // The connection was given up: nothing more is sent on it.
    EXPECT_FALSE(c.isOpen());
    try {
        c.execute("SELECT 3");
        FAIL() << "a dropped connection took a statement";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kClosedObject);
    }
}

TEST_F(ConnectionTest, ConnectionFailuresNameTheServerAndWhatFailed)
{
    // A port nobody listens on: bound and let go again.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(a);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    const QString closed = "127.0.0.1," + QString::number(ntohs(a.sin_port));
    ::close(s);
    Connection c;
    try {
        c.open(BuildConnectionString(closed, "db", "sa", "pw"));
        FAIL() << "connected to a closed port";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_TRUE(e.description().endsWith("(connection refused by " + closed + ")"))
            << e.description().toStdString();
    }
    // The server's own refusal is left as the server worded it.
    try {
        c.open(BuildConnectionString(serverName(), "NoSuchDatabaseHere", "sa", saPassword()));
        FAIL() << "logged in to a database that does not exist";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_EQ(e.nativeError(), 4060);
        EXPECT_FALSE(e.description().contains(serverName())) << e.description().toStdString();
    }
}

} // namespace
