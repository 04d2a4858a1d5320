// Creating, removing and building a password database: CreaDB, EraseDB and
// TestTabellePassword, which brings any older or empty database to the current schema.
#include "GestioneDbPassword.h"

#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "ServerStatements.h"

#include <set>
#include <utility>

namespace sqllumo::password {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// One pass of the schema steps over an open connection; `current` names the table being
// checked, for the failure message.
class SchemaBuilder {
public:
    SchemaBuilder(dbport::Connection& connection, dbport::Catalog& catalog, QString& current)
        : connection_(connection), catalog_(catalog), current_(current)
    {
    }

    void run(const QString& adminPassword)
    {
        versionTable();
        userTable();
        adminPasswordTable(adminPassword);
        genericPasswordTable();
        roleTable();
        groupTable();
        functionTable();
        rightsTable();
        foreignKeys();
        connection_.execute(q(SetCurrentVersionStatement()));
    }

private:
    // Names the table being checked; true when it is missing.
    bool missing(const char* name)
    {
        current_ = QString::fromLatin1(name);
        return !dbport::HasTable(catalog_, current_);
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
        // user name.
        std::optional<std::string> key;
        const dbport::ResultSet keys = connection_.query(q(UserKeyListingCall()));
        if (keys.isOpen() && !keys.isEmpty())
            key = keys.text(0, QStringLiteral("PK_NAME")).toStdString();
        for (const std::string& statement : WidenUserNameStatements(key))
            connection_.execute(q(statement));
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
        // Only the functions the database lacks, so running it again adds nothing twice.
        std::vector<std::string> lacking;
        for (const std::string& name : FunctionsOfCurrentVersion())
            if (connection_.query(q(FunctionIdQuery(name))).isEmpty())
                lacking.push_back(name);
        addFunctions(lacking);
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
        std::vector<QVariant> newFunctions;
        for (const std::string& name : FunctionsOfCurrentVersion())
            newFunctions.push_back(firstValue(FunctionIdQuery(name), "ID_Function"));
        const auto rights = rows("T_SecurityRolesFunctions");
        std::set<std::pair<int, int>> present;
        for (; !rights->eof(); rights->moveNext())
            present.emplace(rights->value(QStringLiteral("ID_Role")).toInt(),
                            rights->value(QStringLiteral("ID_Function")).toInt());
        const dbport::ResultSet roles = connection_.query(q(AllRoleIdsQuery()));
        for (size_t row = 0; row < roles.rowCount(); ++row) {
            const int role = roles.value(row, QStringLiteral("ID_Role")).toInt();
            for (const QVariant& function : newFunctions) {
                if (!present.emplace(role, function.toInt()).second)
                    continue;
                rights->addNew();
                rights->setValue(QStringLiteral("ID_Role"), role);
                rights->setValue(QStringLiteral("ID_Function"), function);
                rights->update();
            }
        }
        rights->close();
    }

    void foreignKeys()
    {
        for (const PasswordForeignKey& key : PasswordForeignKeys()) {
            current_ = q(key.table);
            bool found = false;
            bool cascades = false;
            const dbport::ResultSet listing = connection_.query(q(key.listingCall()));
            for (size_t row = 0; listing.isOpen() && row < listing.rowCount(); ++row) {
                if (listing.text(row, QStringLiteral("fktable_name")).toUpper() !=
                        q(key.table).toUpper() ||
                    listing.text(row, QStringLiteral("fkcolumn_name")).toUpper() !=
                        q(key.column).toUpper())
                    continue;
                found = true;
                cascades = listing.value(row, QStringLiteral("update_rule")).toInt() == 0 &&
                           listing.value(row, QStringLiteral("delete_rule")).toInt() == 0;
            }
            if (found && cascades)
                continue;
            if (found)
                connection_.execute(q(key.dropStatement()));
            connection_.execute(q(key.addStatement()));
        }
    }

    dbport::Connection& connection_;
    dbport::Catalog& catalog_;
    QString& current_;
    int administratorId_ = 0;
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
    const QString connectionString =
        BuildConnectionString(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword);
    std::unique_ptr<dbport::Catalog> catalog;
    try {
        catalog = database_.newCatalog();
        catalog->setActiveConnection(connectionString);
    } catch (const db::Error& error) {
        showConnectionFailure(error.number(), error.description());
        return false;
    }
    QString current;
    std::unique_ptr<dbport::Connection> connection;
    try {
        connection = database_.newConnection();
        connection->open(connectionString);
        SchemaBuilder(*connection, *catalog, current).run(AdminPasswd1);
        connection->close();
        return true;
    } catch (const db::Error& error) {
        CodErr = db::SignedNumber(error.number()) + error.description();
    } catch (const std::exception& other) {
        const auto [number, description] = describe(other);
        CodErr = db::SignedNumber(number) + description;
    }
    dbport::CloseAfterFailure(connection.get());
    showPlain(texts::kTableCheckError + current + QStringLiteral("\r\n") + CodErr,
              MessageIcon::None);
    return false;
}

} // namespace sqllumo::password
