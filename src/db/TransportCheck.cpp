// The pre-login probe, the driver's CA-file configuration and the messages of a connection that
// encryption stopped.
#include "TransportCheck.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace sqllumo::db {

const QString kSessionEncryptOption =
    QStringLiteral("SELECT encrypt_option FROM sys.dm_exec_connections WHERE session_id = @@SPID");

namespace {

constexpr unsigned char kPreLogin = 0x12;
constexpr unsigned char kOptionVersion = 0x00;
constexpr unsigned char kOptionEncryption = 0x01;
constexpr unsigned char kOptionEnd = 0xFF;

// Closes its descriptor on every path.
struct Socket {
    int fd = -1;
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & events);
}

bool connectTo(Socket& socket, const QString& host, int port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints,
                      &found) != 0 ||
        !found)
        return false;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
    socket.fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket.fd < 0)
        return false;
    if (::connect(socket.fd, found->ai_addr, found->ai_addrlen) == 0)
        return true;
    if (errno != EINPROGRESS || !waitFor(socket.fd, POLLOUT, timeoutMs))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error == 0;
}

bool sendAll(int fd, const std::vector<unsigned char>& bytes, int timeoutMs)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(fd, POLLOUT, timeoutMs))
            return false;
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool readExactly(int fd, unsigned char* into, size_t n, int timeoutMs)
{
    while (n > 0) {
        if (!waitFor(fd, POLLIN, timeoutMs))
            return false;
        const ssize_t got = ::recv(fd, into, n, 0);
        if (got <= 0)
            return false;
        into += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

// VERSION (6 bytes) and ENCRYPTION (1 byte: ENCRYPT_OFF) and the terminator.
std::vector<unsigned char> preLoginPacket()
{
    const std::vector<unsigned char> body = {kOptionVersion,
                                             0,
                                             11,
                                             0,
                                             6,
                                             kOptionEncryption,
                                             0,
                                             17,
                                             0,
                                             1,
                                             kOptionEnd,
                                             0,
                                             0,
                                             0,
                                             0,
                                             0,
                                             0,
                                             0};
    std::vector<unsigned char> packet = {
        kPreLogin, 0x01, 0, static_cast<unsigned char>(8 + body.size()), 0, 0, 1, 0};
    packet.insert(packet.end(), body.begin(), body.end());
    return packet;
}

// The ENCRYPTION option's byte in a pre-login answer's body.
std::optional<unsigned char> encryptionByte(const std::vector<unsigned char>& body)
{
    for (size_t at = 0; at + 5 <= body.size() && body[at] != kOptionEnd; at += 5) {
        const size_t offset = (body[at + 1] << 8) | body[at + 2];
        const size_t length = (body[at + 3] << 8) | body[at + 4];
        if (body[at] == kOptionEncryption && length >= 1 && offset < body.size())
            return body[offset];
    }
    return std::nullopt;
}

} // namespace

std::pair<QString, int> HostAndPort(const QString& server)
{
    if (server.contains(QLatin1Char('\\')))
        return {server.section(QLatin1Char('\\'), 0, 0), 0};
    const qsizetype comma = server.lastIndexOf(QLatin1Char(','));
    if (comma < 0)
        return {server, 1433};
    return {server.left(comma), server.mid(comma + 1).toInt()};
}

dbport::EncryptionOffer ProbeEncryptionOffer(const QString& server, int timeoutMs)
{
    using dbport::EncryptionOffer;
    const auto [host, port] = HostAndPort(server);
    Socket socket;
    if (port <= 0 || !connectTo(socket, host, port, timeoutMs) ||
        !sendAll(socket.fd, preLoginPacket(), timeoutMs))
        return EncryptionOffer::Unknown;
    unsigned char header[8];
    if (!readExactly(socket.fd, header, sizeof header, timeoutMs) || header[0] != 0x04)
        return EncryptionOffer::Unknown;
    const size_t length = (header[2] << 8) | header[3];
    if (length <= sizeof header)
        return EncryptionOffer::Unknown;
    std::vector<unsigned char> body(length - sizeof header);
    if (!readExactly(socket.fd, body.data(), body.size(), timeoutMs))
        return EncryptionOffer::Unknown;
    switch (encryptionByte(body).value_or(0xFF)) {
    case 0: // ENCRYPT_OFF: the login, and nothing after it
        return EncryptionOffer::LoginOnly;
    case 1: // ENCRYPT_ON
    case 3: // ENCRYPT_REQ
        return EncryptionOffer::Whole;
    case 2: // ENCRYPT_NOT_SUP
        return EncryptionOffer::NotSupported;
    default:
        return EncryptionOffer::Unknown;
    }
}

namespace {

// One section of the program's configuration: a server's address and the CA file for it.
struct DriverSection {
    QString name;
    ServerAddress address;
    QString caLink;
};

std::mutex gConfigMutex;
std::unique_ptr<QTemporaryDir> gConfigFolder;
std::vector<DriverSection> gSections;
std::map<QString, QString> gCaLinks; // CA file -> its link in the folder

[[noreturn]] void cannotPrepare(const QString& why)
{
    throw Error(kConnectionFailed, why);
}

// FreeTDS reads a configuration value up to ";" or "#" and folds blanks.
bool plainValue(const QString& value)
{
    static const QRegularExpression kPlain(QStringLiteral("^[^;#\\s\\[\\]]+$"));
    return kPlain.match(value).hasMatch();
}

QDir configFolder()
{
    if (!gConfigFolder) {
        gConfigFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                        QStringLiteral("/sqllumo-tds-XXXXXX"));
        if (!gConfigFolder->isValid())
            cannotPrepare(QStringLiteral("No private folder for the driver's configuration could "
                                         "be made in %1.")
                              .arg(QDir::tempPath()));
    }
    if (!plainValue(gConfigFolder->path()))
        cannotPrepare(QStringLiteral("The temporary folder %1 has blanks, \";\" or \"#\" in its "
                                     "name, which the driver's configuration cannot carry; set "
                                     "TMPDIR to another folder.")
                          .arg(gConfigFolder->path()));
    return QDir(gConfigFolder->path());
}

// The CA file as the configuration names it: a link of plain name, so any path can be carried.
QString caLink(const QString& caFile)
{
    if (const auto found = gCaLinks.find(caFile); found != gCaLinks.end())
        return found->second;
    const QDir folder = configFolder();
    const QString link = folder.filePath(QStringLiteral("ca-%1.crt").arg(gCaLinks.size() + 1));
    QFile::remove(link);
    if (!QFile::link(QFileInfo(caFile).absoluteFilePath(), link))
        cannotPrepare(QStringLiteral("The CA file \"%1\" could not be linked into %2.")
                          .arg(caFile, folder.path()));
    gCaLinks[caFile] = link;
    return link;
}

void writeConfiguration()
{
    QString text;
    for (const DriverSection& section : gSections) {
        text += QStringLiteral("[%1]\n\thost = %2\n").arg(section.name, section.address.host);
        if (section.address.port != 0)
            text += QStringLiteral("\tport = %1\n").arg(section.address.port);
        else if (!section.address.instance.isEmpty())
            text += QStringLiteral("\tinstance = %1\n").arg(section.address.instance);
        text += QStringLiteral("\tca file = %1\n\tcheck certificate hostname = yes\n")
                    .arg(section.caLink);
    }
    QFile conf(configFolder().filePath(QStringLiteral("freetds.conf")));
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate) || conf.write(text.toUtf8()) < 0 ||
        !conf.flush())
        cannotPrepare(QStringLiteral("The driver's configuration %1 could not be written: %2")
                          .arg(conf.fileName(), conf.errorString()));
    qputenv("FREETDSCONF", conf.fileName().toLocal8Bit());
}

} // namespace

QString DriverSectionFor(const QString& caFile, const ServerAddress& address)
{
    std::lock_guard lock(gConfigMutex);
    const QFileInfo file(caFile);
    if (!file.isFile() || !file.isReadable())
        cannotPrepare(QStringLiteral("The CA file \"%1\" (setting CAFile) %2; no connection was "
                                     "made.")
                          .arg(caFile, file.exists() ? QStringLiteral("cannot be read")
                                                     : QStringLiteral("does not exist")));
    if (!plainValue(address.host) || (!address.instance.isEmpty() && !plainValue(address.instance)))
        cannotPrepare(QStringLiteral("The server name \"%1\" cannot be checked against a CA file: "
                                     "it holds blanks, \";\", \"#\" or brackets.")
                          .arg(address.instance.isEmpty()
                                   ? address.host
                                   : address.host + QLatin1Char('\\') + address.instance));
    const QString link = caLink(caFile);
    for (const DriverSection& section : gSections)
        if (section.address.host == address.host && section.address.port == address.port &&
            section.address.instance == address.instance && section.caLink == link) {
            qputenv("FREETDSCONF",
                    configFolder().filePath(QStringLiteral("freetds.conf")).toLocal8Bit());
            return section.name;
        }
    gSections.push_back(
        {QStringLiteral("sqllumo-server-%1").arg(gSections.size() + 1), address, link});
    writeConfiguration();
    return gSections.back().name;
}

QString DescribeEncryptionFailure(const QString& server, const dbport::TransportSecurity& security)
{
    using dbport::EncryptionOffer;
    const EncryptionOffer offer = ProbeEncryptionOffer(server);
    if (security.encryption == dbport::Encryption::Off) {
        // A client that claims no TLS at all is turned away by a server that forces it.
        if (offer != EncryptionOffer::Whole)
            return QString();
        return QStringLiteral("The server %1 accepts only encrypted connections, and the setting "
                              "Encryption is off: the login was not sent.")
            .arg(server);
    }
    if (offer == EncryptionOffer::NotSupported) {
        if (security.encryption != dbport::Encryption::Require)
            return QString();
        return QStringLiteral("The server %1 cannot encrypt the connection, and the setting "
                              "Encryption is require: the login was not sent.")
            .arg(server);
    }
    if (offer == EncryptionOffer::Unknown)
        return QString();
    if (!security.caFile.isEmpty())
        return QStringLiteral("The certificate of the server %1 was refused: it is not signed by "
                              "the certificate authority in the CA file \"%2\" (setting CAFile), "
                              "or it is not made out to the name %3; the login was not sent.")
            .arg(server, security.caFile, HostAndPort(server).first);
    return QStringLiteral("The encryption of the connection to the server %1 could not be set "
                          "up (setting Encryption: %2); the login was not sent.")
        .arg(server, dbport::EncryptionName(security.encryption));
}

} // namespace sqllumo::db
