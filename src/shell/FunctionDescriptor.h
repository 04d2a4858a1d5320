#pragma once
// One descriptor per catalogue function: everything the window, the dispatcher, the console
// front end and the help need to know about it. The program's list is CatalogueFunctions()
// in src/catalogue/FunctionCatalogue.cpp.
//
// Adding a function:
//   1. Write its operation, OperationOutcome MyFunction(OperationContext&), in the library of
//      its kind (src/server for whole-database work, ...). It reads the panel, the database
//      port, the settings and the test result registry through the context, calls
//      context.accessCheck() at the step where the check belongs, and returns how it ended;
//      failures of the database port may simply propagate as db::Error (the dispatcher's generic
//      trap shows them).
//   2. Add its descriptor to CatalogueFunctions(): catalogue, index, entry and description,
//      panel layout, access check, the operation, and (optionally) its console name, summary
//      and which option fills each panel field (a new ConsoleOption needs its line in
//      kFieldOptions of src/cli/CommandLine.cpp). A new library of operations is linked to
//      sqllumo_catalogue in src/catalogue/CMakeLists.txt.
//   Check B's second step asks the password database through
//   OperationServices::verifyAdminPassword, handed in by each front end's main() (src/app,
//   src/cli); unset, check B refuses.
//   Nothing else: the window lists it and opens its panel, OK runs it, the console accepts
//   its name, and both helps describe it. A descriptor without an operation is listed and
//   opens its panel; OK on it says the function is not available.

#include "Operation.h"
#include "WindowState.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <vector>

class QTextStream;

namespace sqllumo {

enum class ComboButton { None, UserNames, RoleNames };

struct FieldLayout {
    bool shown = false;
    // Empty for fields 0 and 1 (fixed captions) when not given.
    QString caption;
    // Setting that pre-fills the field; empty = the field stays empty.
    QString settingKey;
};

struct PanelLayout {
    QString frameCaption;
    std::array<FieldLayout, 4> fields;
    QString label3;
    bool browse = false;
    ComboButton combo = ComboButton::None;
    // 0 = no help topic.
    int helpTopic = 0;
    // The import's "copy the patients' photos" check box.
    bool copyPhotosBox = false;
    // Set where the file field names an Access archive that can be looked into before the
    // function runs: the lines of what the file holds and what an import of it would meet.
    std::function<QStringList(const QString& path)> inspectSource{};
};

enum class AccessCheck {
    None,
    A, // the archive administrator's pass phrase
    B, // the administrator password kept in the password database
};

// The console options that can fill a panel field.
enum class ConsoleOption { None, Server, Database, Login, Directory, File, Source };

// A console option of one function alone: "--name VALUE" with VALUE one of `values`, or a
// flag "--name" when `values` is empty. A function with such options takes exactly one of them.
struct ConsoleChoice {
    QString name;
    QStringList values;
    QString help;
};

// What a user or role function takes on the command line besides the panel's fields.
enum class ConsoleInput {
    None,
    ListedName,  // --name: one of the names its list button shows, taken as Combo1's selection
    NewUser,     // --name, --user-password-file, --role and the other user details
    ChangedUser, // --name listed, and the user details to change
    NewRole,     // --name and the functions to --grant
    ChangedRole, // --name listed, and --grant, --revoke, --rename
};

// An option of a console function that runs on its own (consoleRun): "--name VALUE", or a
// flag "--name" when valueName is empty. Any of them may be given, or none.
struct ConsoleOwnOption {
    QString name;
    QString valueName;
    QString help;
};

// What such a function receives: the panel-field options and its own options given (a flag's
// value is empty), and the console's two streams.
struct ConsoleCall {
    std::map<ConsoleOption, QString> fields;
    std::map<QString, QString> options;
    QTextStream& out;
    QTextStream& err;
};

struct FunctionDescriptor {
    MenuMode catalogue = MenuMode::Archive;
    int index = 0; // position in the catalogue's list
    QString entry;
    QString description;
    PanelLayout panel;
    AccessCheck access = AccessCheck::None;
    // Empty: not available in this version.
    Operation operation;
    // Empty: not offered by the console front end.
    QString consoleName;
    QString consoleSummary;
    // The option that fills each of the panel's four fields; None leaves the field as the
    // settings pre-fill it.
    std::array<ConsoleOption, 4> consoleFields{};
    // False for a console-only function: the window does not list it. Such functions come
    // after the window's ones, so list rows stay catalogue indexes.
    bool windowEntry = true;
    // Options of this function alone (see ConsoleChoice).
    std::vector<ConsoleChoice> consoleChoices{};
    ConsoleInput consoleInput = ConsoleInput::None;
    // Console: the function did its work only when it wrote its report line (a refusal it
    // shows as a plain message ends it without one).
    bool consoleNeedsReport = false;
    // Console only, instead of an operation: a function that needs neither a server nor the
    // dispatcher, stores no settings and returns the exit status itself. It takes the options
    // of its consoleFields and consoleOwnOptions, nothing else.
    std::function<int(ConsoleCall&)> consoleRun{};
    std::vector<ConsoleOwnOption> consoleOwnOptions{};
    // Console help: lines printed under the function's own options.
    QString consoleNote{};
    // The function can be stopped while it runs (it asks UserInterface::stopRequested between
    // rows): the window then asks whether to stop on Cancel, Escape and close, and the console
    // stops it on SIGINT and SIGTERM.
    bool stoppable = false;
    // The details under the closing message are open from the start: the run's findings or
    // counts are what the person came for.
    bool resultsOpen = false;
    // Console: --set N chooses the backup set of the file (PanelValues::backupSet).
    bool choosesBackupSet = false;
};

using FunctionList = std::vector<FunctionDescriptor>;

// The descriptors of one catalogue in index order.
std::vector<const FunctionDescriptor*> FunctionsOf(const FunctionList& functions, MenuMode mode);
// nullptr when the catalogue has no function at index.
const FunctionDescriptor* FindFunction(const FunctionList& functions, MenuMode mode, int index);

} // namespace sqllumo
