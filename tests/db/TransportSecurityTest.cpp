// The connection's encryption settings: their values, the keys they put in the driver's string,
// the CA file handed to the driver's configuration, and the refusals that must come before a
// login is sent (checked on what reaches a listener that cannot encrypt).
#include "TransportSecurity.h"
#include "Connection.h"
#include "ConnectionString.h"
#include "ConnectionStrings.h"
#include "FakeTdsListener.h"
#include "TransportCheck.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace sqllumo;
using namespace sqllumo::db;
using dbport::Encryption;
using dbport::EncryptionOffer;
using dbport::TransportState;

namespace {

// Each test sets the process's security; the next one starts from the default again.
class TransportSecurityTest : public ::testing::Test {
protected:
    void TearDown() override { dbport::SetTransportSecurity({}); }
    static ProgramConnection sa()
    {
        return *ParseProgramConnectionString(BuildConnectionString("srv,1500", "db", "sa", "pw"));
    }
};

TEST_F(TransportSecurityTest, EachSettingBecomesTheDriversEncryptionKey)
{
    for (const auto& [text, key] : {std::pair<QString, QString>{"off", "off"},
                                    {" Request ", "request"},
                                    {"REQUIRE", "require"},
                                    {"", "request"}}) {
        const dbport::TransportSecurity security = dbport::TransportSecurityFrom(text, "");
        EXPECT_TRUE(security.invalidEncryption.isEmpty()) << text.toStdString();
        const QString odbc = OdbcConnectionString(sa(), security);
        EXPECT_TRUE(
            odbc.endsWith(";PWD={pw};Encryption=" + key + ";TDS_Version=7.4;ClientCharset=UTF-8"))
            << odbc.toStdString();
        EXPECT_FALSE(odbc.contains("ServerCertificate"));
    }
    // The process's value is what the one-argument form and the program's strings follow.
    dbport::SetTransportSecurity(dbport::TransportSecurityFrom("off", ""));
    EXPECT_TRUE(MapConnectionString(BuildConnectionString("srv", "db", "sa", "pw"))
                    .contains(";Encryption=off;"));
}

TEST_F(TransportSecurityTest, ACaFileIsCarriedWholeAndOneThatWouldBreakTheStringIsRefused)
{
    dbport::TransportSecurity security;
    security.caFile = "/etc/ssl/a b;c=d/ca.pem";
    EXPECT_TRUE(OdbcConnectionString(sa(), security)
                    .contains(";Encryption=request;ServerCertificate={/etc/ssl/a b;c=d/ca.pem};"));
    security.caFile = "/tmp/x};Server=evil";
    try {
        OdbcConnectionString(sa(), security);
        ADD_FAILURE() << "a CA file holding \"};\" was put in the string";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kInvalidArgument);
        EXPECT_TRUE(e.description().contains("CA file name")) << e.description().toStdString();
    }
}

TEST_F(TransportSecurityTest, AnUnknownSettingRefusesEveryConnectionInsteadOfWeakeningIt)
{
    const dbport::TransportSecurity security = dbport::TransportSecurityFrom("requir", "");
    EXPECT_EQ(security.invalidEncryption, "requir");
    dbport::SetTransportSecurity(security);
    wire::FakeTdsListener listener;
    Connection connection;
    try {
        connection.open(BuildConnectionString("127.0.0.1," + QString::number(listener.port()), "db",
                                              "sa", "pw"));
        ADD_FAILURE() << "connected with an unknown Encryption setting";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kInvalidArgument);
        EXPECT_EQ(e.description(), "The setting Encryption is \"requir\"; it takes off, request "
                                   "or require.");
    }
    EXPECT_FALSE(listener.lastLogin().has_value());
}

TEST_F(TransportSecurityTest, RequireAgainstAServerThatCannotEncryptFailsBeforeTheLogin)
{
    wire::FakeTdsListener listener; // answers the pre-login with ENCRYPT_NOT_SUP
    const QString server = "127.0.0.1," + QString::number(listener.port());
    EXPECT_EQ(ProbeEncryptionOffer(server), EncryptionOffer::NotSupported);

    dbport::SetTransportSecurity(dbport::TransportSecurityFrom("require", ""));
    Connection connection;
    try {
        connection.open(BuildConnectionString(server, "db", "sa", "secret"));
        ADD_FAILURE() << "connected without encryption although it was required";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_TRUE(e.description().startsWith("The server " + server +
                                               " cannot encrypt the connection, and the setting "
                                               "Encryption is require: the login was not sent."))
            << e.description().toStdString();
    }
    EXPECT_FALSE(listener.lastLogin().has_value());

    // Request settles for a server without encryption: the login goes, in clear.
    dbport::SetTransportSecurity(dbport::TransportSecurityFrom("request", ""));
    EXPECT_THROW(connection.open(BuildConnectionString(server, "db", "sa", "secret")), Error);
    ASSERT_TRUE(listener.lastLogin().has_value());
    EXPECT_EQ(listener.lastLogin()->password, "secret");
}

TEST_F(TransportSecurityTest, AMissingCaFileStopsTheConnectionBeforeTheServerIsReached)
{
    wire::FakeTdsListener listener;
    dbport::TransportSecurity security;
    security.caFile = "/nonexistent/ca.pem";
    dbport::SetTransportSecurity(security);
    Connection connection;
    try {
        connection.open(BuildConnectionString("127.0.0.1," + QString::number(listener.port()), "db",
                                              "sa", "pw"));
        ADD_FAILURE() << "connected with a CA file that is not there";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kConnectionFailed);
        EXPECT_EQ(e.description(), "The CA file \"/nonexistent/ca.pem\" (setting CAFile) does not "
                                   "exist; no connection was made.");
    }
    EXPECT_FALSE(listener.lastLogin().has_value());
}

// FreeTDS 1.3 reads a CA file only from its configuration, whose values end at ";" or "#" and
// fold blanks: whatever the path holds, the section the string names must hold the server's
// address and the CA file itself.
TEST_F(TransportSecurityTest, TheDriversSectionNamesTheServerAndTheCaFileWhateverItsPathHolds)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("a  b;c#d"));
    const QString ca = dir.filePath("a  b;c#d/ca.pem");
    QFile file(ca);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("-----BEGIN CERTIFICATE-----\n");
    file.close();

    const QString section = DriverSectionFor(ca, ParseServerName("db.clinic.local,1500"));
    EXPECT_EQ(DriverSectionFor(ca, ParseServerName("db.clinic.local,1500")), section);
    QFile written(qEnvironmentVariable("FREETDSCONF"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << written.fileName().toStdString();
    const QString text = QString::fromUtf8(written.readAll());
    const auto match = QRegularExpression("\\[" + QRegularExpression::escape(section) +
                                          "\\]\\n\\thost = db\\.clinic\\.local\\n\\tport = "
                                          "1500\\n\\tca file = (\\S+)\\n")
                           .match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    const QString named = match.captured(1);
    EXPECT_FALSE(named.contains(';') || named.contains('#'));
    EXPECT_EQ(QFileInfo(named).canonicalFilePath(), QFileInfo(ca).canonicalFilePath());

    // The string names the section instead of the server, and keeps everything else.
    dbport::TransportSecurity security;
    security.caFile = ca;
    const QString odbc = OdbcConnectionString(sa(), security, section);
    EXPECT_TRUE(odbc.startsWith("Driver={FreeTDS};Servername={" + section + "};Database={db};"))
        << odbc.toStdString();
    EXPECT_FALSE(odbc.contains("Server={") || odbc.contains("Port="));

    // A server name the configuration cannot carry is refused, not cut.
    EXPECT_THROW(DriverSectionFor(ca, ParseServerName("bad#host,1500")), Error);
}

TEST(TransportJudgement, TheServersWordAndItsOfferTellEncryptedLoginOnlyAndClear)
{
    struct Row {
        Encryption encryption;
        const char* encryptOption;
        EncryptionOffer offer;
        TransportState expected;
    };
    const Row rows[] = {
        {Encryption::Request, "TRUE", EncryptionOffer::Whole, TransportState::Encrypted},
        {Encryption::Request, "FALSE", EncryptionOffer::LoginOnly, TransportState::LoginOnly},
        {Encryption::Request, "FALSE", EncryptionOffer::NotSupported, TransportState::Clear},
        {Encryption::Request, "", EncryptionOffer::LoginOnly, TransportState::LoginOnly},
        {Encryption::Request, "", EncryptionOffer::Whole, TransportState::Encrypted},
        {Encryption::Request, "", EncryptionOffer::Unknown, TransportState::Unknown},
        {Encryption::Off, "FALSE", EncryptionOffer::LoginOnly, TransportState::Clear},
        {Encryption::Require, "TRUE", EncryptionOffer::Unknown, TransportState::Encrypted},
        {Encryption::Require, "", EncryptionOffer::Unknown, TransportState::Encrypted},
        {Encryption::Require, "FALSE", EncryptionOffer::Unknown, TransportState::Unknown},
    };
    for (const Row& row : rows)
        EXPECT_EQ(dbport::JudgeTransport(row.encryption, row.encryptOption, row.offer),
                  row.expected)
            << dbport::EncryptionName(row.encryption).toStdString() << " " << row.encryptOption
            << " " << static_cast<int>(row.offer);
    EXPECT_EQ(dbport::TransportReportLine(TransportState::LoginOnly),
              "Connection encryption: login only");
}

} // namespace
