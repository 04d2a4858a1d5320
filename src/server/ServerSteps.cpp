// Server statements that report which step failed before the server's own text.
#include "ServerSteps.h"

#include "ServerStatements.h"

namespace sqllumo::server {

void ExecuteStep(dbport::Connection& connection, const QString& statement,
                 const std::function<QString()>& step)
{
    try {
        connection.execute(statement);
    } catch (const db::Error& error) {
        QString line;
        try {
            line = step();
        } catch (const db::Error&) {
            // The step's own line still says what failed; only the look at the server is lost.
        }
        throw StepFailure{error, line};
    }
}

OperationOutcome FailedStepOutcome(const StepFailure& failure)
{
    OperationOutcome outcome =
        OperationOutcome::trapped(failure.error.number(), failure.error.description(), false);
    outcome.failedStep = failure.step;
    return outcome;
}

bool DatabaseListed(dbport::Connection& master, const QString& database)
{
    const dbport::ResultSet databases = master.query(kHelpDb);
    for (size_t row = 0; databases.isOpen() && row < databases.rowCount(); ++row)
        if (databases.text(row, QStringLiteral("Name")).compare(database, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace sqllumo::server
