// Creating, removing and building a password database: CreaDB, EraseDB and
// TestTabellePassword, which brings any older or empty database to the current schema.
#include "GestioneDbPassword.h"

#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "PasswordSchemaState.h"
#include "ServerStatements.h"

#include <algorithm>
#include <csignal>
#include <set>
#include <utility>

namespace sqllumo::password {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The test hook of the interrupted upgrade: when set, the process ends itself as a kill would,
// right after the user table's key was dropped and before it is added again. Read only there.
constexpr const char* kKillAfterKeyDrop = "SQLLUMO_TEST_KILL_AFTER_KEY_DROP";

// One pass of the schema steps over an open connection, inside the caller's transaction;
// `present` lists the tables the database had before, `current` names the table being checked,
// for the failure message.
class SchemaBuilder {
public:
    SchemaBuilder(dbport::Connection& connection, QStringList present, QString& current)
        : connection_(connection), present_(std::move(present)), current_(current)
    {
    }

    void run(const QString& adminPassword)
    {
        olderVersion_ = VersionOf(query(), present_) == VersionState::Older;
        versionTable();
        userTable();
        adminPasswordTable(adminPassword);
        genericPasswordTable();
        roleTable();
        groupTable();
        functionTable();
        primaryKeys();
        rightsTable();
        foreignKeys();
        connection_.execute(q(SetCurrentVersionStatement()));
    }

private:
    SchemaQuery query()
    {
        return [this](const QString& statement) { return connection_.query(statement); };
    }
    // Names the table being checked; true when it is missing.
    bool missing(const char* name)
    {
        current_ = QString::fromLatin1(name);
        return !present_.contains(current_, Qt::CaseSensitive);
    }
    const PasswordTableDef& def(const char* name) { return *FindPasswordTable(name); }
    void create(const char* name)
    {
        connection_.execute(q(CreatePasswordTableStatement(def(name))));
    }
    // Every row of the table, open for changes.
    std::unique_ptr<dbport::UpdatableRows> rows(const char* name)
    {
        return connection_.openUpdatable(q(SelectAllStatement(def(name))));
    }
    QVariant firstValue(const std::string& query, const char* field)
    {
        return connection_.query(q(query)).value(0, QString::fromLatin1(field));
    }

    void versionTable()
    {
        if (!missing("T_DBVersion"))
            return;
        create("T_DBVersion");
        const auto version = rows("T_DBVersion");
        version->addNew();
        version->setValue(q(kVersionField), q(CurrentVersionText()));
        version->update();
        version->close();
    }

    void userTable()
    {
        if (missing("T_GenericUser")) {
            create("T_GenericUser");
            return;
        }
        // The key, under whatever name an older version gave it, must be lifted to widen the
        // user name; a table that lost it gets it back.
        std::optional<std::string> key;
        const dbport::ResultSet keys = connection_.query(q(UserKeyListingCall()));
        if (keys.isOpen() && !keys.isEmpty())
            key = keys.text(0, QStringLiteral("PK_NAME")).toStdString();
        const std::vector<std::string> statements = WidenUserNameStatements(key);
        for (size_t i = 0; i < statements.size(); ++i) {
            connection_.execute(q(statements[i]));
            if (key && i == 0 && qEnvironmentVariableIsSet(kKillAfterKeyDrop))
                std::raise(SIGKILL);
        }
    }

    void adminPasswordTable(const QString& adminPassword)
    {
        if (!missing("T_AdminPassword"))
            return;
        create("T_AdminPassword");
        const auto admin = rows("T_AdminPassword");
        admin->addNew();
        admin->setValue(QStringLiteral("Admin_Passwd"),
                        GestioneDbPassword::FixedKeyCipher(adminPassword));
        admin->update();
        admin->close();
    }

    void genericPasswordTable()
    {
        if (!missing("T_GenPasswords"))
            return;
        create("T_GenPasswords");
        const auto generic = rows("T_GenPasswords");
        generic->addNew();
        for (const auto& [field, plain] : GenPasswordsDefaultRow())
            generic->setValue(q(field), GestioneDbPassword::FixedKeyCipher(q(plain)));
        generic->update();
        generic->close();
    }

    void roleTable()
    {
        if (!missing("T_SecurityRoles")) {
            // An older database may lack the role; its rights then have no owner to go to.
            const dbport::ResultSet found = connection_.query(q(AdministratorRoleIdQuery()));
            if (!found.isEmpty())
                administratorId_ = found.value(0, QStringLiteral("ID_Role")).toInt();
            return;
        }
        create("T_SecurityRoles");
        const auto roles = rows("T_SecurityRoles");
        roles->addNew();
        roles->setValue(QStringLiteral("RoleName"), q(kAdministratorRole));
        roles->setValue(q(kRoleLockedField), true);
        roles->update();
        roles->close();
        administratorId_ = firstValue(AdministratorRoleIdQuery(), "ID_Role").toInt();

        const auto users = rows("T_GenericUser");
        while (!users->eof()) {
            users->setValue(QStringLiteral("Access_Type"), administratorId_);
            users->update();
            users->moveNext();
        }
        users->close();
    }

    void groupTable()
    {
        if (!missing("T_SecurityMacroFunctions"))
            return;
        create("T_SecurityMacroFunctions");
        const auto groups = rows("T_SecurityMacroFunctions");
        groups->addNew();
        groups->setValue(QStringLiteral("Description"), q(kArchiveGroup));
        groups->update();
        groups->close();
    }

    void addFunctions(const std::vector<std::string>& names)
    {
        if (names.empty())
            return;
        const QVariant group = firstValue(ArchiveGroupIdQuery(), "ID_MacroFunction");
        const auto functions = rows("T_SecurityFunctions");
        for (const std::string& name : names) {
            functions->addNew();
            functions->setValue(QStringLiteral("FunctionName"), q(name));
            functions->setValue(QStringLiteral("ID_MacroFunction"), group);
            functions->update();
        }
        functions->close();
    }

    void functionTable()
    {
        if (missing("T_SecurityFunctions")) {
            create("T_SecurityFunctions");
            addFunctions(DefaultFunctionNames());
            return;
        }
        // Only the functions the database lacks, so running it again adds nothing twice; one
        // lost since is put back as well.
        for (const std::string& name : DefaultFunctionNames())
            if (!HasFunction(query(), name))
                added_.push_back(name);
        addFunctions(added_);
    }

    // Tables that were there before and lost their key; the user table's is handled with its
    // name's width.
    void primaryKeys()
    {
        for (const PasswordTableDef& table : PasswordTables()) {
            if (!table.hasIdentity() || !present_.contains(q(table.name), Qt::CaseSensitive))
                continue;
            current_ = q(table.name);
            if (!PrimaryKeyName(query(), table))
                connection_.execute(q(AddPrimaryKeyStatement(table)));
        }
    }

    void rightsTable()
    {
        if (missing("T_SecurityRolesFunctions")) {
            create("T_SecurityRolesFunctions");
            const auto rights = rows("T_SecurityRolesFunctions");
            const auto functions = rows("T_SecurityFunctions");
            while (!functions->eof()) {
                rights->addNew();
                rights->setValue(QStringLiteral("ID_Role"), administratorId_);
                rights->setValue(QStringLiteral("ID_Function"),
                                 functions->value(QStringLiteral("ID_Function")));
                rights->update();
                functions->moveNext();
            }
            rights->close();
            functions->close();
            return;
        }
        // An older database gives the current version's functions to every role; a current one
        // only those it has just got back, so a right taken away on purpose stays away. Any
        // other function put back goes to the Administrator, as in a new database.
        std::vector<std::pair<QVariant, bool>> granted; // function, to every role
        for (const std::string& name : FunctionsOfCurrentVersion())
            if (olderVersion_ || wasAdded(name))
                granted.emplace_back(firstValue(FunctionIdQuery(name), "ID_Function"), true);
        for (const std::string& name : added_)
            if (!IsOfCurrentVersion(name) && administratorId_ > 0)
                granted.emplace_back(firstValue(FunctionIdQuery(name), "ID_Function"), false);
        if (granted.empty())
            return;
        const auto rights = rows("T_SecurityRolesFunctions");
        std::set<std::pair<int, int>> present;
        for (; !rights->eof(); rights->moveNext())
            present.emplace(rights->value(QStringLiteral("ID_Role")).toInt(),
                            rights->value(QStringLiteral("ID_Function")).toInt());
        const dbport::ResultSet roles = connection_.query(q(AllRoleIdsQuery()));
        for (size_t row = 0; row < roles.rowCount(); ++row) {
            const int role = roles.value(row, QStringLiteral("ID_Role")).toInt();
            for (const auto& [function, toEveryRole] : granted) {
                if ((!toEveryRole && role != administratorId_) ||
                    !present.emplace(role, function.toInt()).second)
                    continue;
                rights->addNew();
                rights->setValue(QStringLiteral("ID_Role"), role);
                rights->setValue(QStringLiteral("ID_Function"), function);
                rights->update();
            }
        }
        rights->close();
    }

    bool wasAdded(const std::string& name) const
    {
        return std::find(added_.begin(), added_.end(), name) != added_.end();
    }
    static bool IsOfCurrentVersion(const std::string& name)
    {
        const std::vector<std::string> newest = FunctionsOfCurrentVersion();
        return std::find(newest.begin(), newest.end(), name) != newest.end();
    }

    void foreignKeys()
    {
        for (const PasswordForeignKey& key : PasswordForeignKeys()) {
            current_ = q(key.table);
            const ForeignKeyState state = StateOf(query(), key);
            if (state == ForeignKeyState::Cascading)
                continue;
            if (state == ForeignKeyState::NotCascading)
                connection_.execute(q(key.dropStatement()));
            connection_.execute(q(key.addStatement()));
        }
    }

    dbport::Connection& connection_;
    const QStringList present_;
    QString& current_;
    int administratorId_ = 0;
    bool olderVersion_ = false;
    std::vector<std::string> added_; // functions added to an existing table
};

} // namespace

bool GestioneDbPassword::CreaDB(const QString& NomeSQLServer, const QString& NomeNewDB,
                                const QString& SQLUserName, const QString& SQLPassword,
                                const QString& DirDB)
{
    return withDatabase(NomeSQLServer, server::kMasterDatabase, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& master) {
                            master.execute(server::CreateDatabaseStatement(NomeNewDB, DirDB));
                            return true;
                        });
}

bool GestioneDbPassword::EraseDB(const QString& NomeSQLServer, const QString& NomeNewDB,
                                 const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, server::kMasterDatabase, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& master) {
                            const dbport::ResultSet databases = master.query(server::kHelpDb);
                            for (size_t row = 0; row < databases.rowCount(); ++row) {
                                if (databases.text(row, QStringLiteral("Name")).toUpper() !=
                                    NomeNewDB.toUpper())
                                    continue;
                                master.setCommandTimeout(server::kLongStatementTimeout);
                                master.execute(server::DropDatabaseStatement(NomeNewDB));
                                return true;
                            }
                            return false;
                        });
}

bool GestioneDbPassword::TestTabellePassword(const QString& NomeSQLServer, const QString& NomeNewDB,
                                             const QString& SQLUserName, const QString& SQLPassword,
                                             QString& CodErr, const QString& AdminPasswd1)
{
    return buildSchema({NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, QString()}, CodErr,
                       AdminPasswd1, QString());
}

bool GestioneDbPassword::buildSchema(const UpgradeTarget& target, QString& CodErr,
                                     const QString& AdminPasswd1, const QString& subject)
{
    const QString connectionString =
        BuildConnectionString(target.server, target.database, target.user, target.password);
    // The table list is read before the transaction: inside it, a second connection would wait
    // for the locks the steps hold.
    QStringList present;
    try {
        const std::unique_ptr<dbport::Catalog> catalog = database_.newCatalog();
        catalog->setActiveConnection(connectionString);
        present = catalog->tableNames();
    } catch (const db::Error& error) {
        Message message = trappedErrorMessage(caption_, error.number(), error.description(), true);
        message.text += subject;
        ui_.showMessage(message);
        return false;
    }
    QString current;
    std::unique_ptr<dbport::Connection> connection;
    bool begun = false;
    try {
        connection = database_.newConnection();
        connection->open(connectionString);
        connection->execute(QString::fromLatin1(kBeginTransaction));
        begun = true;
        SchemaBuilder(*connection, present, current).run(AdminPasswd1);
        connection->execute(QString::fromLatin1(kCommitTransaction));
        connection->close();
        return true;
    } catch (const db::Error& error) {
        CodErr = db::SignedNumber(error.number()) + error.description();
    } catch (const std::exception& other) {
        const auto [number, description] = describe(other);
        CodErr = db::SignedNumber(number) + description;
    }
    if (begun) {
        // The server may have ended the transaction itself; closing the connection ends it
        // in any case.
        try {
            connection->execute(QString::fromLatin1(kRollbackTransaction));
        } catch (const db::Error&) {
        }
    }
    dbport::CloseAfterFailure(connection.get());
    showPlain(texts::kTableCheckError + current + QStringLiteral("\r\n") + CodErr + subject,
              MessageIcon::None);
    return false;
}

} // namespace sqllumo::password
