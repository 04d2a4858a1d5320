// Creating, removing and building a password database: CreaDB, EraseDB and
// TestTabellePassword, which brings any older or empty database to the current schema.
#include "GestioneDbPassword.h"

#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "ServerStatements.h"

#include "Catalog.h"
#include "Recordset.h"

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
    SchemaBuilder(db::Connection& connection, db::Catalog& catalog, QString& current)
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
        return catalog_.findTable(current_) == nullptr;
    }
    const PasswordTableDef& def(const char* name) { return *FindPasswordTable(name); }
    void create(const char* name)
    {
        connection_.execute(q(CreatePasswordTableStatement(def(name))));
    }
    // An updatable recordset on every row of the table.
    db::Recordset rows(const char* name)
    {
        db::Recordset recordset;
        recordset.open(q(SelectAllStatement(def(name))), connection_, db::CursorType::Keyset,
                       db::LockType::Optimistic);
        return recordset;
    }
    QVariant firstValue(const std::string& query, const char* field)
    {
        db::Recordset found = connection_.query(q(query));
        const QVariant value = found.value(QString::fromLatin1(field));
        found.close();
        return value;
    }

    void versionTable()
    {
        if (!missing("T_DBVersion"))
            return;
        create("T_DBVersion");
        db::Recordset version = rows("T_DBVersion");
        version.addNew();
        version.field(q(kVersionField)) = q(CurrentVersionText());
        version.update();
        version.close();
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
        db::Recordset keys = connection_.query(q(UserKeyListingCall()));
        if (keys.isOpen() && !keys.eof())
            key = keys.value(QStringLiteral("PK_NAME")).toString().toStdString();
        keys.close();
        for (const std::string& statement : WidenUserNameStatements(key))
            connection_.execute(q(statement));
    }

    void adminPasswordTable(const QString& adminPassword)
    {
        if (!missing("T_AdminPassword"))
            return;
        create("T_AdminPassword");
        db::Recordset admin = rows("T_AdminPassword");
        admin.addNew();
        admin.field(QStringLiteral("Admin_Passwd")) =
            GestioneDbPassword::FixedKeyCipher(adminPassword);
        admin.update();
        admin.close();
    }

    void genericPasswordTable()
    {
        if (!missing("T_GenPasswords"))
            return;
        create("T_GenPasswords");
        db::Recordset generic = rows("T_GenPasswords");
        generic.addNew();
        for (const auto& [field, plain] : GenPasswordsDefaultRow())
            generic.field(q(field)) = GestioneDbPassword::FixedKeyCipher(q(plain));
        generic.update();
        generic.close();
    }

    void roleTable()
    {
        if (!missing("T_SecurityRoles")) {
            // An older database may lack the role; its rights then have no owner to go to.
            db::Recordset found = connection_.query(q(AdministratorRoleIdQuery()));
            if (!found.eof())
                administratorId_ = found.value(QStringLiteral("ID_Role")).toInt();
            found.close();
            return;
        }
        create("T_SecurityRoles");
        db::Recordset roles = rows("T_SecurityRoles");
        roles.addNew();
        roles.field(QStringLiteral("RoleName")) = q(kAdministratorRole);
        roles.field(q(kRoleLockedField)) = true;
        roles.update();
        roles.close();
        administratorId_ = firstValue(AdministratorRoleIdQuery(), "ID_Role").toInt();

        db::Recordset users = rows("T_GenericUser");
        while (!users.eof()) {
            users.field(QStringLiteral("Access_Type")) = administratorId_;
            users.update();
            users.moveNext();
        }
        users.close();
    }

    void groupTable()
    {
        if (!missing("T_SecurityMacroFunctions"))
            return;
        create("T_SecurityMacroFunctions");
        db::Recordset groups = rows("T_SecurityMacroFunctions");
        groups.addNew();
        groups.field(QStringLiteral("Description")) = q(kArchiveGroup);
        groups.update();
        groups.close();
    }

    void addFunctions(const std::vector<std::string>& names)
    {
        if (names.empty())
            return;
        const QVariant group = firstValue(ArchiveGroupIdQuery(), "ID_MacroFunction");
        db::Recordset functions = rows("T_SecurityFunctions");
        for (const std::string& name : names) {
            functions.addNew();
            functions.field(QStringLiteral("FunctionName")) = q(name);
            functions.field(QStringLiteral("ID_MacroFunction")) = group;
            functions.update();
        }
        functions.close();
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
        for (const std::string& name : FunctionsOfCurrentVersion()) {
            db::Recordset found = connection_.query(q(FunctionIdQuery(name)));
            if (found.eof())
                lacking.push_back(name);
            found.close();
        }
        addFunctions(lacking);
    }

    void rightsTable()
    {
        if (missing("T_SecurityRolesFunctions")) {
            create("T_SecurityRolesFunctions");
            db::Recordset rights = rows("T_SecurityRolesFunctions");
            db::Recordset functions = rows("T_SecurityFunctions");
            while (!functions.eof()) {
                rights.addNew();
                rights.field(QStringLiteral("ID_Role")) = administratorId_;
                rights.field(QStringLiteral("ID_Function")) =
                    functions.value(QStringLiteral("ID_Function"));
                rights.update();
                functions.moveNext();
            }
            rights.close();
            functions.close();
            return;
        }
        std::vector<QVariant> newFunctions;
        for (const std::string& name : FunctionsOfCurrentVersion())
            newFunctions.push_back(firstValue(FunctionIdQuery(name), "ID_Function"));
        db::Recordset rights = rows("T_SecurityRolesFunctions");
        std::set<std::pair<int, int>> present;
        for (; !rights.eof(); rights.moveNext())
            present.emplace(rights.value(QStringLiteral("ID_Role")).toInt(),
                            rights.value(QStringLiteral("ID_Function")).toInt());
        db::Recordset roles = connection_.query(q(AllRoleIdsQuery()));
        for (; !roles.eof(); roles.moveNext()) {
            const int role = roles.value(QStringLiteral("ID_Role")).toInt();
            for (const QVariant& function : newFunctions) {
                if (!present.emplace(role, function.toInt()).second)
                    continue;
                rights.addNew();
                rights.field(QStringLiteral("ID_Role")) = role;
                rights.field(QStringLiteral("ID_Function")) = function;
                rights.update();
            }
        }
        rights.close();
        roles.close();
    }

    void foreignKeys()
    {
        for (const PasswordForeignKey& key : PasswordForeignKeys()) {
            current_ = q(key.table);
            bool found = false;
            bool cascades = false;
            db::Recordset listing = connection_.query(q(key.listingCall()));
            for (; listing.isOpen() && !listing.eof(); listing.moveNext()) {
                if (listing.value(QStringLiteral("fktable_name")).toString().toUpper() !=
                        q(key.table).toUpper() ||
                    listing.value(QStringLiteral("fkcolumn_name")).toString().toUpper() !=
                        q(key.column).toUpper())
                    continue;
                found = true;
                cascades = listing.value(QStringLiteral("update_rule")).toInt() == 0 &&
                           listing.value(QStringLiteral("delete_rule")).toInt() == 0;
            }
            listing.close();
            if (found && cascades)
                continue;
            if (found)
                connection_.execute(q(key.dropStatement()));
            connection_.execute(q(key.addStatement()));
        }
    }

    db::Connection& connection_;
    db::Catalog& catalog_;
    QString& current_;
    int administratorId_ = 0;
};

} // namespace

bool GestioneDbPassword::CreaDB(const QString& NomeSQLServer, const QString& NomeNewDB,
                                const QString& SQLUserName, const QString& SQLPassword,
                                const QString& DirDB)
{
    return withDatabase(NomeSQLServer, server::kMasterDatabase, SQLUserName, SQLPassword, false,
                        [&](db::Connection& master) {
                            master.execute(server::CreateDatabaseStatement(NomeNewDB, DirDB));
                            return true;
                        });
}

bool GestioneDbPassword::EraseDB(const QString& NomeSQLServer, const QString& NomeNewDB,
                                 const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, server::kMasterDatabase, SQLUserName, SQLPassword, false,
                        [&](db::Connection& master) {
                            db::Recordset databases = master.query(server::kHelpDb);
                            bool dropped = false;
                            for (; !dropped && !databases.eof(); databases.moveNext()) {
                                if (databases.value(QStringLiteral("Name")).toString().toUpper() !=
                                    NomeNewDB.toUpper())
                                    continue;
                                master.setCommandTimeout(server::kLongStatementTimeout);
                                master.execute(server::DropDatabaseStatement(NomeNewDB));
                                dropped = true;
                            }
                            databases.close();
                            return dropped;
                        });
}

bool GestioneDbPassword::TestTabellePassword(const QString& NomeSQLServer, const QString& NomeNewDB,
                                             const QString& SQLUserName, const QString& SQLPassword,
                                             QString& CodErr, const QString& AdminPasswd1)
{
    const QString connectionString =
        BuildConnectionString(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword);
    db::Catalog catalog;
    try {
        catalog.setActiveConnection(connectionString);
    } catch (const db::Error& error) {
        showConnectionFailure(error.number(), error.description());
        return false;
    }
    QString current;
    db::Connection connection;
    try {
        connection.open(connectionString);
        SchemaBuilder(connection, catalog, current).run(AdminPasswd1);
        connection.close();
        return true;
    } catch (const db::Error& error) {
        CodErr = db::SignedNumber(error.number()) + error.description();
    } catch (const std::exception& other) {
        const auto [number, description] = describe(other);
        CodErr = db::SignedNumber(number) + description;
    }
    closeQuietly(connection);
    showPlain(texts::kTableCheckError + current + QStringLiteral("\r\n") + CodErr,
              MessageIcon::None);
    return false;
}

} // namespace sqllumo::password
