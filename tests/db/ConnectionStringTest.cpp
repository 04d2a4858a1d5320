// The mapping of the program's connection strings to ODBC, checked on the text and on what
// FreeTDS really sends to a server.
#include "ConnectionString.h"
#include "Connection.h"
#include "ConnectionStrings.h"
#include "FakeTdsListener.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

using namespace sqllumo;
using namespace sqllumo::db;

namespace {

struct ParseCase {
    const char* name;
    QString server, database, user, password;
};

class ProgramStringRoundTrip : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ProgramStringRoundTrip, ReadsBackEveryValueOfBuildConnectionString)
{
    const ParseCase& c = GetParam();
    const QString text = BuildConnectionString(c.server, c.database, c.user, c.password);
    const auto parsed = ParseProgramConnectionString(text);
    ASSERT_TRUE(parsed.has_value()) << text.toStdString();
    EXPECT_EQ(parsed->server, c.server);
    EXPECT_EQ(parsed->database, c.database);
    EXPECT_EQ(parsed->user, c.user);
    EXPECT_EQ(parsed->password, c.password);
    EXPECT_EQ(parsed->integratedSecurity, c.user.isEmpty() && c.password.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProgramStringRoundTrip,
    ::testing::Values(ParseCase{"plain", "srv", "Archive", "sa", "secret"},
                      ParseCase{"integrated", "srv\\SQLEXPRESS", "Archive", "", ""},
                      ParseCase{"empty_password", "srv,1433", "db", "sa", ""},
                      ParseCase{"empty_user", "srv", "db", "", "pw"},
                      ParseCase{"password_with_separators", "srv", "db", "sa",
                                "a;b=c;Password=d;User ID=e"},
                      ParseCase{"password_with_braces", "srv", "db", "sa", "{x}};y}"},
                      ParseCase{"database_with_data_source", "srv", "a;Data Source=b", "sa", "p"},
                      ParseCase{"user_with_semicolon", "srv", "db", "dom;ain", "p"},
                      ParseCase{"blanks_kept", " srv ", " db ", " u ", " p "},
                      ParseCase{"non_ascii", "srv", QString::fromUtf8("Archivio_è"),
                                QString::fromUtf8("utente€"), QString::fromUtf8("pässwörd")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramString, RefusesStringsThisProgramDoesNotMake)
{
    for (const QString& text :
         {QString(), QStringLiteral("Driver={FreeTDS};Server=x"),
          QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=db"),
          QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=s;User ID=u")}) {
        EXPECT_FALSE(ParseProgramConnectionString(text).has_value()) << text.toStdString();
        try {
            MapConnectionString(text);
            ADD_FAILURE() << "mapped " << text.toStdString();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kInvalidArgument);
        }
    }
}

TEST(ProgramString, PasswordIsMaskedForLogsAndTheRestKept)
{
    // A password holding the very pieces a string is made of is still hidden whole.
    const QString tricky = QStringLiteral("p;Password=x;User ID=y");
    EXPECT_EQ(
        ConnectionStringWithoutPassword(BuildConnectionString("srv,1433", "Archive", "sa", tricky)),
        "Provider=SQLOLEDB.1;Initial Catalog=Archive;Data Source=srv,1433;User ID=sa;"
        "Password=****");
    // An empty password is hidden too: the log says nothing about it.
    EXPECT_EQ(ConnectionStringWithoutPassword(BuildConnectionString("srv", "A", "sa", "")),
              "Provider=SQLOLEDB.1;Initial Catalog=A;Data Source=srv;User ID=sa;Password=****");
    const QString integrated = BuildConnectionString("srv", "A", "", "");
    EXPECT_EQ(ConnectionStringWithoutPassword(integrated), integrated);
    EXPECT_EQ(ConnectionStringWithoutPassword("Driver={FreeTDS};UID=u;PWD={s3cret};Port=1"),
              "Driver={FreeTDS};UID=u;PWD=****");
}

struct ServerCase {
    const char* name;
    QString text;
    QString host;
    int port;
    QString instance;
};

class ServerNames : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ServerNames, AreSplitIntoHostPortAndInstance)
{
    const ServerCase& c = GetParam();
    const ServerAddress a = ParseServerName(c.text);
    EXPECT_EQ(a.host, c.host);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(a.instance, c.instance);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ServerNames,
    ::testing::Values(ServerCase{"host", "dbhost", "dbhost", 0, ""},
                      ServerCase{"host_port", "dbhost,1500", "dbhost", 1500, ""},
                      ServerCase{"tcp_prefix", "tcp:10.0.0.5,1433", "10.0.0.5", 1433, ""},
                      ServerCase{"instance", "dbhost\\SQLEXPRESS", "dbhost", 0, "SQLEXPRESS"},
                      ServerCase{"local", "(local)", "127.0.0.1", 0, ""},
                      ServerCase{"local_instance", "(LOCAL)\\INST", "127.0.0.1", 0, "INST"},
                      ServerCase{"dot", ".", "127.0.0.1", 0, ""},
                      ServerCase{"dot_port", ".,14330", "127.0.0.1", 14330, ""},
                      ServerCase{"localhost", "localhost", "127.0.0.1", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServerNames, RefuseEmptyNamesAndBadPorts)
{
    for (const QString& text :
         {QString(), QStringLiteral("  "), QStringLiteral("host,"), QStringLiteral("host,0"),
          QStringLiteral("host,70000"), QStringLiteral("host,12x"), QStringLiteral(",1433")}) {
        try {
            ParseServerName(text);
            ADD_FAILURE() << "accepted " << text.toStdString();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kInvalidArgument);
            EXPECT_FALSE(e.description().isEmpty());
        }
    }
}

TEST(OdbcString, CarriesTdsVersionCharsetAndTheLoginKind)
{
    const QString sql =
        MapConnectionString(BuildConnectionString("srv,1500", "Archive", "sa", "pw"));
    EXPECT_EQ(sql, "Driver={FreeTDS};Server={srv};Port=1500;Database={Archive};UID={sa};PWD={pw};"
                   "Encryption=request;TDS_Version=7.4;ClientCharset=UTF-8");
    const QString integrated =
        MapConnectionString(BuildConnectionString("srv\\INST", "Archive", "", ""));
    EXPECT_EQ(integrated,
              "Driver={FreeTDS};Server={srv\\INST};Database={Archive};Trusted_Connection=Yes;"
              "Encryption=request;TDS_Version=7.4;ClientCharset=UTF-8");
    EXPECT_FALSE(integrated.contains("UID"));
}

TEST(OdbcString, RefusesValuesThatWouldEndTheirBracesEarly)
{
    for (const auto& [user, password] : {std::pair<QString, QString>{"sa", "x};Server=evil"},
                                         {"sa};PWD={y", "p"},
                                         {"sa", QString("a") + QChar(u'\0') + "b"}}) {
        try {
            MapConnectionString(BuildConnectionString("srv", "db", user, password));
            ADD_FAILURE() << "mapped a value holding \"};\" or NUL";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kInvalidArgument);
            EXPECT_TRUE(e.description().contains("};")) << e.description().toStdString();
        }
    }
}

// What FreeTDS sends must be exactly what the user typed, whatever it holds.
class HostileValuesOnTheWire : public ::testing::TestWithParam<ParseCase> {};

TEST_P(HostileValuesOnTheWire, ReachTheServerUnchanged)
{
    const ParseCase& c = GetParam();
    wire::FakeTdsListener listener;
    Connection connection;
    const QString server = "127.0.0.1," + QString::number(listener.port());
    try {
        connection.open(BuildConnectionString(server, c.database, c.user, c.password));
        ADD_FAILURE() << "the fake listener accepted a login";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_FALSE(e.description().startsWith('[')) << e.description().toStdString();
    }
    const auto login = listener.lastLogin();
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->user, c.user);
    EXPECT_EQ(login->password, c.password);
    EXPECT_EQ(login->database, c.database);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HostileValuesOnTheWire,
    ::testing::Values(ParseCase{"separators", "", "a;b", "u;v", "p;Database=other;UID=x"},
                      ParseCase{"driver_key_inside", "", "db", "sa", "a}b;DRIVER=MDBTools;c"},
                      ParseCase{"braces", "", "{db}", "{u", "}p{}}"},
                      ParseCase{"closing_brace_last", "", "db", "sa", "abc}"},
                      ParseCase{"equals_and_blanks", "", " d b ", " sa", "= x = "},
                      ParseCase{"non_ascii", "", QString::fromUtf8("Archivio_è"),
                                QString::fromUtf8("utente"), QString::fromUtf8("pässwörd€")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionFailure, DeadPortFailsAtOnceWithTheConnectionNumber)
{
    int port = 0;
    {
        wire::FakeTdsListener closed; // take a free port, then let it go
        port = closed.port();
    }
    QElapsedTimer clock;
    clock.start();
    Connection connection;
    try {
        connection.open(
            BuildConnectionString("127.0.0.1," + QString::number(port), "db", "sa", "pw"));
        FAIL() << "connected to a closed port";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_FALSE(e.description().contains("[FreeTDS]"));
    }
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(connection.isOpen());
    try {
        connection.execute("SELECT 1");
        FAIL() << "executed on a connection that never opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kClosedObject);
    }
}

TEST(ConnectionFailure, ServerThatNeverAnswersFailsWithinTheLoginTimeout)
{
    wire::FakeTdsListener silent(true);
    QElapsedTimer clock;
    clock.start();
    Connection connection;
    try {
        connection.open(
            BuildConnectionString("127.0.0.1," + QString::number(silent.port()), "db", "sa", "pw"));
        FAIL() << "connected to a silent server";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        // Which server, at which stage, after how long.
        EXPECT_EQ(e.description(),
                  QString("Timeout expired (no answer from 127.0.0.1,%1 during login within %2 s)")
                      .arg(silent.port())
                      .arg(Connection::kLoginTimeout));
    }
    EXPECT_LT(clock.elapsed(), (Connection::kLoginTimeout + 5) * 1000);
}

TEST(ConnectionFailure, IntegratedSecurityWithoutKerberosTicketSaysSo)
{
    const QByteArray saved = qgetenv("KRB5CCNAME");
    qputenv("KRB5CCNAME", "FILE:/nonexistent/sqllumo-no-ticket");
    Connection connection;
    try {
        connection.open(BuildConnectionString("127.0.0.1,1", "db", "", ""));
        FAIL() << "connected without a ticket";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_TRUE(e.description().contains("Kerberos ticket")) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains("kinit"));
    }
    if (saved.isEmpty())
        qunsetenv("KRB5CCNAME");
    else
        qputenv("KRB5CCNAME", saved);
}

} // namespace
