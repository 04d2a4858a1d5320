// The common frame: what happens around a function, whatever the function does.
#include "DispatcherHarness.h"
#include "Error.h"

#include <optional>
#include <stdexcept>

using namespace sqllumo;
using sqllumo::testing::DispatcherHarness;

namespace {
class DispatcherFrame : public DispatcherHarness {};

OperationOutcome writesReport(OperationContext& context)
{
    context.busy();
    context.report().setText(QStringLiteral("line one\r\nline two"));
    return OperationOutcome::completed();
}
} // namespace

TEST_F(DispatcherFrame, CompletionClosesThePanelLogsTheReportOnceAndEnablesTheOtherCatalogue)
{
    setFunction(MenuMode::Archive, 3, writesReport);
    const auto outcome = dispatcher_->ok(3);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->reachedEnd());
    EXPECT_EQ(host_.closed, 1);
    EXPECT_EQ(host_.enabled, 1);
    EXPECT_FALSE(ui_.busy());
    EXPECT_TRUE(state_.report().isEmpty());
    const QString log = logText();
    EXPECT_TRUE(log.startsWith(QStringLiteral("\r\n") + QString(50, '*') + "\r\n"));
    EXPECT_TRUE(log.endsWith(QString(50, '*') + "\r\nline one\r\nline two\r\n"));

    // A second operation appends a second block.
    dispatcher_->ok(3);
    EXPECT_EQ(logText().count(QString(50, '*')), 4);
}

TEST_F(DispatcherFrame, NothingRunsForAnIndexWithoutFunctionOrInTheOtherCatalogue)
{
    setFunction(MenuMode::Archive, 3, writesReport);
    EXPECT_FALSE(dispatcher_->ok(10).has_value());
    EXPECT_FALSE(dispatcher_->ok(-1).has_value());
    state_.chooseCatalogue(MenuMode::Password);
    EXPECT_FALSE(dispatcher_->ok(3).has_value());
    EXPECT_EQ(host_.closed, 0);
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_FALSE(logExists());
}

TEST_F(DispatcherFrame, AFunctionWithoutOperationSaysSoAndKeepsThePanel)
{
    setFunction(MenuMode::Archive, 8, Operation{});
    EXPECT_FALSE(dispatcher_->ok(8).has_value());
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text,
              "This function is not available in this version of SQLLumoManager.");
    EXPECT_EQ(ui_.messages()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(host_.closed, 0);
    EXPECT_FALSE(logExists());
}

TEST_F(DispatcherFrame, TrapsShowTheirMessageKeepThePanelAndTheReportAndLogNothing)
{
    struct Row {
        bool duringConnection;
        QString head;
    };
    const Row rows[] = {{false, "An error occurred..."},
                        {true, "Error during connection to the database"}};
    for (const Row& row : rows) {
        ui_ = {};
        setFunction(MenuMode::Archive, 1, [&](OperationContext& context) {
            context.busy();
            context.report().setText("Database X has been created into SQL Server S");
            return OperationOutcome::trapped(-2147217900, "Database 'X' already exists.",
                                             row.duringConnection);
        });
        dispatcher_->ok(1);
        ASSERT_EQ(ui_.messages().size(), 1u);
        const Message& shown = ui_.messages()[0];
        EXPECT_EQ(shown.text, row.head + "\r-2147217900: Database 'X' already exists.");
        EXPECT_EQ(shown.title, kCaption + " - Warning...");
        EXPECT_EQ(shown.icon, MessageIcon::Critical);
        EXPECT_FALSE(ui_.busy());
        EXPECT_EQ(host_.closed, 0);
        EXPECT_EQ(state_.report().text(), "Database X has been created into SQL Server S");
        EXPECT_FALSE(logExists());
    }
}

TEST_F(DispatcherFrame, AnUnexpectedFailureIsTrappedAsAGenericError)
{
    setFunction(MenuMode::Archive, 5, [](OperationContext&) -> OperationOutcome {
        throw std::runtime_error("out of range");
    });
    const auto outcome = dispatcher_->ok(5);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Trapped);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r"));
    EXPECT_TRUE(ui_.messages()[0].text.endsWith(": out of range"));
}

TEST_F(DispatcherFrame, InformationStaysOverTheOpenPanelAndIsLogged)
{
    setFunction(MenuMode::Archive, 5, [](OperationContext& context) {
        context.report().setText("In the SQL Server named S:\r\n\r\n");
        return OperationOutcome::informationShown("In the SQL Server named S:\r\n\r\n");
    });
    dispatcher_->ok(5);
    EXPECT_EQ(host_.closed, 0);
    EXPECT_EQ(host_.information, QStringList{"In the SQL Server named S:\r\n\r\n"});
    EXPECT_EQ(host_.enabled, 1);
    EXPECT_TRUE(logText().endsWith("In the SQL Server named S:\r\n\r\n\r\n"));
}

TEST_F(DispatcherFrame, AReportLogThatCannotBeWrittenGivesTheGenericErrorAndKeepsTheReport)
{
    setFunction(MenuMode::Archive, 3, writesReport);
    dispatcher_->setLogFolder(folder_.filePath("no/such/folder"));
    dispatcher_->ok(3);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r75: "));
    EXPECT_EQ(state_.report().text(), "line one\r\nline two");
}

TEST_F(DispatcherFrame, PanelClosedEndsAsCancelWithoutLogAndPanelOpenChangesNothing)
{
    setFunction(MenuMode::Archive, 2, [](OperationContext& context) {
        context.report().setText("kept");
        return OperationOutcome::panelClosed();
    });
    setFunction(MenuMode::Archive, 3, [](OperationContext& context) {
        return context.validation("Invalid filename!\r\nPlease, define at least one.");
    });
    dispatcher_->ok(2);
    EXPECT_EQ(host_.closed, 1);
    EXPECT_FALSE(logExists());
    dispatcher_->ok(3);
    EXPECT_EQ(host_.closed, 1);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], (Message{"Invalid filename!\r\nPlease, define at least one.", "",
                                          MessageIcon::None, MessageButtons::Ok}));
    EXPECT_FALSE(logExists());
}

TEST_F(DispatcherFrame, AccessCheckAsksOncePerCatalogueChoiceAndForgetsARefusal)
{
    int runs = 0;
    setFunction(
        MenuMode::Archive, 7,
        [&](OperationContext& context) {
            if (!context.accessCheck())
                return OperationOutcome::panelOpen();
            ++runs;
            return OperationOutcome::completed();
        },
        AccessCheck::A);
    // Nothing typed, a wrong phrase, then the right one in mixed case.
    ui_.answerNextPasswordRequest({});
    ui_.answerNextPasswordRequest({"vor36pelim", "", ""});
    ui_.answerNextPasswordRequest({"VoR36PeLiN", "", ""});
    dispatcher_->ok(7);
    dispatcher_->ok(7);
    EXPECT_TRUE(state_.confirmedAdminPassword().isEmpty());
    dispatcher_->ok(7);
    dispatcher_->ok(7); // confirmed: no further request
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(ui_.passwordRequests().size(), 3u);
    for (auto mode : ui_.passwordRequests())
        EXPECT_EQ(mode, PasswordRequestMode::ConfirmPassword);
    ASSERT_GE(ui_.messages().size(), 2u);
    EXPECT_EQ(ui_.messages()[0], (Message{"You have to confirm password", "Warning",
                                          MessageIcon::None, MessageButtons::Ok}));
    EXPECT_EQ(ui_.messages()[1],
              (Message{"Unable to perform operation due to security access level", "Warning",
                       MessageIcon::None, MessageButtons::Ok}));
    EXPECT_EQ(state_.exchange().AdminPasswd1, "VoR36PeLiN");

    // Choosing the catalogue again forgets it.
    state_.chooseCatalogue(MenuMode::Archive);
    ui_.answerNextPasswordRequest({"vor36pelin", "", ""});
    dispatcher_->ok(7);
    EXPECT_EQ(ui_.passwordRequests().size(), 4u);
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}

TEST_F(DispatcherFrame, AccessCheckBAsksThePasswordDatabaseAndRefusesWithoutOne)
{
    int runs = 0;
    const Operation checked = [&](OperationContext& context) {
        if (!context.accessCheck())
            return OperationOutcome::panelOpen();
        ++runs;
        return OperationOutcome::completed();
    };
    const Message refusal{"Unable to perform operation due to security access level", "Warning",
                          MessageIcon::None, MessageButtons::Ok};

    // No password database to ask: refused, and the typed password is not kept.
    setFunction(MenuMode::Password, 2, checked, AccessCheck::B);
    state_.chooseCatalogue(MenuMode::Password);
    ui_.answerNextPasswordRequest({"secret", "", ""});
    dispatcher_->ok(2);
    EXPECT_EQ(runs, 0);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], refusal);
    EXPECT_TRUE(state_.confirmedAdminPassword().isEmpty());

    // The database's answer decides, exactly as typed (no case folding as in check A).
    QStringList asked;
    services_.verifyAdminPassword = [&](OperationContext&, const QString& password) {
        asked << password;
        return password == "secret";
    };
    makeDispatcher();
    ui_.answerNextPasswordRequest({"SECRET", "", ""});
    ui_.answerNextPasswordRequest({"secret", "", ""});
    dispatcher_->ok(2);
    dispatcher_->ok(2);
    dispatcher_->ok(2); // confirmed: asked again without a request
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(asked, (QStringList{"SECRET", "secret", "secret"}));
    EXPECT_EQ(ui_.passwordRequests().size(), 3u);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}

TEST_F(DispatcherFrame, ADatabaseFailureThatEscapesKeepsItsNumberInTheGenericTrap)
{
    setFunction(MenuMode::Archive, 5, [](OperationContext&) -> OperationOutcome {
        throw db::Error(db::kServerError, "Invalid object name 'T_Marker'.");
    });
    const auto outcome = dispatcher_->ok(5);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Trapped);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text,
              "An error occurred...\r-2147217900: Invalid object name 'T_Marker'.");
    EXPECT_FALSE(logExists());
}

// The closing message is shown once the function has returned: it carries the whole report
// (written after the message was chosen, too) with the summary first, open where the
// function's results are what the person came for. The log gets the report alone.
TEST_F(DispatcherFrame, TheClosingMessageCarriesTheRunsSummaryAndReportAndTheLogOnlyTheReport)
{
    const auto closing = [](OperationContext& context) {
        context.busy();
        context.report().setText(QStringLiteral("\r\nfirst line"));
        OperationOutcome outcome = context.succeeded(QStringLiteral("Done"));
        context.report().append(QStringLiteral("\r\nwritten after the message was chosen"));
        outcome.summary = QStringLiteral("!! one problem\n   one fine\n");
        return outcome;
    };
    setFunction(MenuMode::Archive, 6, closing);
    dispatcher_->ok(6);
    ASSERT_EQ(ui_.messages().size(), 1u);
    Message expected = successMessage(kCaption, "Done");
    expected.report = "!! one problem\n   one fine\n\nfirst line\nwritten after the message "
                      "was chosen";
    EXPECT_EQ(ui_.messages()[0], expected);
    EXPECT_EQ(ui_.messages()[0].report, expected.report);
    EXPECT_FALSE(ui_.messages()[0].reportOpen);
    EXPECT_TRUE(lastLogBlock().endsWith("\r\nfirst line\r\nwritten after the message was "
                                        "chosen\r\n"));
    EXPECT_FALSE(logText().contains("one problem"));
    EXPECT_EQ(host_.closed, 1);

    // Open from the start where the descriptor says so; an error closes the same way.
    functions_.back().resultsOpen = true;
    functions_.back().operation = [](OperationContext& context) {
        context.report().setText(QStringLiteral("what was done"));
        return context.failed(QStringLiteral("It failed"));
    };
    makeDispatcher();
    dispatcher_->ok(6);
    ASSERT_EQ(ui_.messages().size(), 2u);
    expected = errorMessage(kCaption, "It failed");
    expected.report = "what was done";
    expected.reportOpen = true;
    EXPECT_EQ(ui_.messages()[1], expected);
    EXPECT_EQ(ui_.messages()[1].report, expected.report);
    EXPECT_TRUE(ui_.messages()[1].reportOpen);
    EXPECT_FALSE(ui_.busy());
}

TEST_F(DispatcherFrame, AFailedStepIsNamedBeforeTheServersOwnText)
{
    setFunction(MenuMode::Archive, 4, [](OperationContext&) {
        OperationOutcome outcome = OperationOutcome::trapped(
            db::kServerError, "The tail of the log for the database \"A\" has not been backed up.",
            false);
        outcome.failedStep = "The restore of database A from F failed. Choose another name.";
        return outcome;
    });
    dispatcher_->ok(4);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].text,
              "An error occurred...\rThe restore of database A from F failed. Choose another "
              "name.\r-2147217900: The tail of the log for the database \"A\" has not been "
              "backed up.");
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Critical);
    EXPECT_FALSE(logExists());
}

// A password database that cannot be reached, or a login it refuses, is not a wrong password:
// the person is told which, with the server named; the password is not kept as confirmed.
TEST_F(DispatcherFrame, CheckBTellsAnUnreachableServerAndARefusedLoginFromAWrongPassword)
{
    int runs = 0;
    setFunction(
        MenuMode::Password, 3,
        [&](OperationContext& context) {
            if (!context.accessCheck())
                return OperationOutcome::panelOpen();
            ++runs;
            return OperationOutcome::completed();
        },
        AccessCheck::B);
    std::optional<db::Error> failure;
    services_.verifyAdminPassword = [&](OperationContext&, const QString& password) {
        if (failure)
            throw *failure;
        return password == "secret";
    };
    makeDispatcher();
    state_.chooseCatalogue(MenuMode::Password);
    host_.values.server = "clinic-sql,1433";
    host_.values.database = "Passwords";

    failure = db::Error(db::kConnectionFailed, "Login failed for user 'tech'.", 18456);
    ui_.answerNextPasswordRequest({"secret", "", ""});
    dispatcher_->ok(3);
    failure = db::Error(db::kConnectionFailed, "Unable to connect: Adaptive Server is unavailable");
    ui_.answerNextPasswordRequest({"secret", "", ""});
    dispatcher_->ok(3);
    failure.reset();
    ui_.answerNextPasswordRequest({"wrong", "", ""});
    dispatcher_->ok(3);
    ui_.answerNextPasswordRequest({"secret", "", ""});
    dispatcher_->ok(3);

    EXPECT_EQ(runs, 1);
    ASSERT_EQ(ui_.messages().size(), 3u);
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith(
        "SQL Server clinic-sql,1433 refused the login, so the administrator password could not "
        "be checked in the password database Passwords."))
        << ui_.messages()[0].text.toStdString();
    EXPECT_TRUE(ui_.messages()[0].text.endsWith("\rLogin failed for user 'tech'."));
    EXPECT_TRUE(ui_.messages()[1].text.startsWith(
        "The password database Passwords on SQL Server clinic-sql,1433 could not be reached"))
        << ui_.messages()[1].text.toStdString();
    for (int i : {0, 1})
        EXPECT_FALSE(ui_.messages()[i].text.contains("security access level"));
    EXPECT_EQ(ui_.messages()[2].text, "Unable to perform operation due to security access level");
    // Each failure forgot the password: four requests for four presses.
    EXPECT_EQ(ui_.passwordRequests().size(), 4u);
    for (AdminSecret secret : ui_.passwordSecrets())
        EXPECT_EQ(secret, AdminSecret::PasswordDatabaseAdmin);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}

TEST_F(DispatcherFrame, TheArchiveCatalogueAsksForTheServicePassPhrase)
{
    setFunction(
        MenuMode::Archive, 7,
        [](OperationContext& context) {
            return context.accessCheck() ? OperationOutcome::completed()
                                         : OperationOutcome::panelOpen();
        },
        AccessCheck::A);
    ui_.answerNextPasswordRequest({"vor36pelin", "", ""});
    dispatcher_->ok(7);
    ASSERT_EQ(ui_.passwordSecrets().size(), 1u);
    EXPECT_EQ(ui_.passwordSecrets()[0], AdminSecret::ArchivePassPhrase);
}
