// The server level's entry: opening the data root (its folders, the password of sa, the system
// databases), logins, and the databases sessions hold in use.
#include "ServerCatalog.h"

#include "../Text.h"
#include "BackupFile.h"
#include "CatalogImpl.h"
#include "DatabaseFiles.h"
#include "ServerMessages.h"
#include "ServerText.h"

#include <fcntl.h>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
std::string generatePassword()
{
    static constexpr char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    std::random_device device;
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) - 2);
    std::string password;
    for (int i = 0; i < 24; ++i)
        password.push_back(alphabet[pick(device)]);
    // Three character classes, so a real server's password policy would accept it too.
    return password + "-7a";
}

// Written beside, then renamed: a crash leaves the old file or the new one, never half of one.
void writeSecretFile(const fs::path& file, const std::string& content)
{
    const fs::path temporary = file.native() + kSecretSuffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot write " + file.string());
    const std::string line = content + "\n";
    const bool ok =
        ::write(fd, line.data(), line.size()) == ssize_t(line.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0)
        throw std::runtime_error("cannot write " + file.string());
    SyncDirectory(file.parent_path());
}

std::string readFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

struct SystemDatabase {
    const char16_t* name;
    int32_t dbid;
    const char16_t* dataLogical;
    const char16_t* dataFile;
    const char16_t* logLogical;
    const char16_t* logFile;
};

constexpr SystemDatabase kSystemDatabases[] = {
    {u"master", 1, u"master", u"master.mdf", u"mastlog", u"mastlog.ldf"},
    {u"tempdb", 2, u"tempdev", u"tempdb.mdf", u"templog", u"templog.ldf"},
    {u"model", 3, u"modeldev", u"model.mdf", u"modellog", u"modellog.ldf"},
    {u"msdb", 4, u"MSDBData", u"MSDBData.mdf", u"MSDBLog", u"MSDBLog.ldf"},
};
// True when the folder is to be made (or is an empty one of ours); false for a data root this
// server made before. Anything else is someone's folder, left exactly as it is.
bool claimDataRoot(const fs::path& root)
{
    std::error_code ec;
    const auto status = fs::status(root, ec);
    if (!fs::exists(status))
        return true;
    const std::string refused = "refusing to use " + root.string() + " as the data root: ";
    if (!fs::is_directory(status))
        throw std::runtime_error(refused + "it is not a folder");
    if (fs::exists(root / kServerFolder / kRegistryFile, ec))
        return false;
    struct stat st {};
    const bool empty = fs::is_empty(root, ec) && !ec;
    if (!empty)
        throw std::runtime_error(refused +
                                 "the folder exists, holds other files and is not a data root of "
                                 "this server; name a new or empty folder");
    if (::stat(root.c_str(), &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & S_IWOTH))
        throw std::runtime_error(refused + "the folder is shared with other users; name a new "
                                           "folder or an empty one of your own");
    return true;
}

// Makes the data root and the server's own folder, and maps server paths into it.
void prepareDataRoot(ServerCatalog::Impl& impl, const fs::path& dataRoot)
{
    std::error_code ec;
    const bool fresh = claimDataRoot(dataRoot);
    fs::create_directories(dataRoot, ec);
    // It will hold patients' data: only its owner may look in.
    if (!ec && fresh)
        ::chmod(dataRoot.c_str(), 0700);
    if (ec)
        throw std::runtime_error("cannot create data root " + dataRoot.string() + ": " +
                                 ec.message());
    impl.root = fs::canonical(dataRoot, ec);
    if (ec)
        throw std::runtime_error("unusable data root " + dataRoot.string() + ": " + ec.message());
    // No BACKUP or CREATE DATABASE may write over the registry or the password.
    impl.mapper = PathMapper(
        impl.root, {kServerFolder, kPasswordFile, std::string(kPasswordFile) + kSecretSuffix});
    const fs::path serverFolder = impl.root / kServerFolder;
    fs::create_directories(serverFolder / "tmp", ec);
    if (ec)
        throw std::runtime_error("cannot create " + serverFolder.string() + ": " + ec.message());
    ::chmod(serverFolder.c_str(), 0700);
    // Left over by a crash in the middle of a backup or restore.
    for (const auto& entry : fs::directory_iterator(serverFolder / "tmp", ec))
        fs::remove(entry.path(), ec);
}

// A password given at start becomes sa's password; without one the kept one stays, and the
// first start generates it.
void keepSaPassword(ServerCatalog::Impl& impl)
{
    const fs::path passwordFile = impl.root / kPasswordFile;
    if (impl.options.saPassword) {
        if (!fs::exists(passwordFile) || readFirstLine(passwordFile) != *impl.options.saPassword)
            writeSecretFile(passwordFile, *impl.options.saPassword);
    } else if (!fs::exists(passwordFile)) {
        writeSecretFile(passwordFile, generatePassword());
        impl.log("generated a new sa password in " + passwordFile.string());
    }
    ::chmod(passwordFile.c_str(), 0600);
    impl.saPassword = text::fromUtf8(readFirstLine(passwordFile));
}

// The system databases and sa, registered on the first start.
void registerSystemEntries(ServerCatalog::Impl& impl, Registry& registry)
{
    const std::u16string dataDirectory = kDefaultDataDirectory;
    registry.begin();
    for (const auto& sys : kSystemDatabases) {
        if (registry.find(sys.dbid))
            continue;
        DatabaseEntry e;
        e.name = sys.name;
        e.dbid = sys.dbid;
        e.dataPhysicalName = dataDirectory + sys.dataFile;
        e.logPhysicalName = dataDirectory + sys.logFile;
        e.dataLogicalName = sys.dataLogical;
        e.logLogicalName = sys.logLogical;
        e.dataFile = impl.mapper.map(e.dataPhysicalName).host;
        e.logFile = impl.mapper.map(e.logPhysicalName).host;
        e.created = Now();
        e.system = true;
        registry.putDatabase(e);
    }
    if (!registry.logins().count(u"SA")) {
        Login sa;
        sa.name = u"sa";
        sa.type = u'S';
        sa.roles = 0xFF;
        registry.putLogin(sa);
    }
    registry.commit();
    registry.load();
}

void createSystemFiles(const Registry& registry)
{
    std::error_code ec;
    for (const auto& [dbid, registered] : registry.databases()) {
        const DatabaseEntry& e = registered.entry;
        if (!e.system)
            continue;
        // tempdb starts empty on every start, as the server rebuilds it.
        if (e.dbid == 2)
            RemoveDatabaseFiles(e.dataFile, e.logFile);
        if (!fs::exists(e.dataFile)) {
            fs::remove(e.logFile, ec);
            if (CreateDatabaseFiles(e.dataFile, e.logFile) != CreateFilesResult::Ok)
                throw std::runtime_error("cannot create the files of " + text::toUtf8(e.name));
        }
    }
}
} // namespace

std::unique_ptr<ServerCatalog> ServerCatalog::open(const Engine::Options& options)
{
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    prepareDataRoot(*impl, options.dataRoot);
    keepSaPassword(*impl);

    auto guard = impl->leases.lock();
    Registry& registry = guard.registry();
    registry.open(impl->root / kServerFolder / kRegistryFile);
    registry.load();
    for (const auto& file : registry.removeAbandonedFiles())
        impl->log("removed " + file.string() + ", left behind by an interrupted CREATE, DROP or " +
                  "RESTORE DATABASE");
    const MappedPath dataHost = impl->mapper.map(kDefaultDataDirectory);
    const MappedPath backupHost = impl->mapper.map(kDefaultBackupDirectory);
    if (!dataHost.ok() || !backupHost.ok())
        throw std::runtime_error("cannot map the default folders under " + impl->root.string());
    std::error_code ec;
    fs::create_directories(dataHost.host, ec);
    fs::create_directories(backupHost.host, ec);
    if (ec)
        throw std::runtime_error("cannot create the default folders: " + ec.message());
    registerSystemEntries(*impl, registry);
    createSystemFiles(registry);
    return std::unique_ptr<ServerCatalog>(new ServerCatalog(std::move(impl)));
}

ServerCatalog::ServerCatalog(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServerCatalog::~ServerCatalog() = default;

const fs::path& ServerCatalog::dataRoot() const
{
    return impl_->root;
}

std::optional<Message> ServerCatalog::authenticate(const std::u16string& user,
                                                   const std::u16string& password) const
{
    auto guard = impl_->leases.lock();
    const Login* login = guard.registry().login(user);
    // Only SQL logins sign in with a password; Windows logins would need the domain's word.
    if (login && login->type == u'S' && EqualsNoCase(login->name, u"sa")) {
        const std::u16string& expected = impl_->saPassword;
        unsigned difference = expected.size() != password.size() ? 1u : 0u;
        for (size_t i = 0; i < password.size() && i < expected.size(); ++i)
            difference |= unsigned(password[i] ^ expected[i]);
        if (difference == 0)
            return std::nullopt;
    }
    return msg::LoginFailed(user);
}

bool ServerCatalog::isSysadmin(const std::u16string& login) const
{
    return impl_->leases.lock().registry().isSysadmin(login);
}

std::optional<DatabaseEntry> ServerCatalog::find(const std::u16string& name) const
{
    auto guard = impl_->leases.lock();
    if (const auto* registered = guard.registry().find(name))
        return registered->entry;
    return std::nullopt;
}

std::vector<DatabaseEntry> ServerCatalog::databases() const
{
    auto guard = impl_->leases.lock();
    std::vector<DatabaseEntry> list;
    for (const auto& [dbid, registered] : guard.registry().databases())
        list.push_back(registered.entry);
    return list;
}

std::unique_ptr<DatabaseUse> ServerCatalog::use(const std::u16string& name)
{
    auto guard = impl_->leases.lock();
    const auto* registered = guard.registry().find(name);
    if (!registered || guard.busy(registered->entry.dbid))
        return nullptr;
    guard.hold(registered->entry.dbid);
    return std::unique_ptr<DatabaseUse>(new DatabaseUse(*this, registered->entry));
}

void ServerCatalog::release(const DatabaseEntry& e)
{
    impl_->leases.lock().release(e.dbid);
}

void ServerCatalog::setFileReleaser(FileReleaser releaser)
{
    impl_->setFileReleaser(std::move(releaser));
}

std::optional<fs::path> ServerCatalog::mapPath(std::u16string_view serverPath) const
{
    const MappedPath mapped = impl_->mapper.map(serverPath);
    if (!mapped.ok())
        return std::nullopt;
    return mapped.host;
}

DatabaseUse::DatabaseUse(ServerCatalog& catalog, DatabaseEntry entry)
    : catalog_(catalog), entry_(std::move(entry))
{
}

DatabaseUse::~DatabaseUse()
{
    catalog_.release(entry_);
}

void ServerCatalog::Impl::setFileReleaser(FileReleaser releaser)
{
    std::lock_guard lock(releaserMutex_);
    releaser_ = std::move(releaser);
}

void ServerCatalog::Impl::releaseFile(const fs::path& dataFile)
{
    FileReleaser copy;
    {
        std::lock_guard lock(releaserMutex_);
        copy = releaser_;
    }
    if (copy)
        copy(dataFile);
}

fs::path ServerCatalog::Impl::temporaryPath(const std::string& stem)
{
    return root / kServerFolder / "tmp" / (stem + "-" + std::to_string(++temporaryCounter_));
}

} // namespace standin::server
