#pragma once
// The statements whose failure the server explains in its own words (the tail of the log, a
// file in use): the person reads first which step failed and what they can do about it.

#include "DatabasePort.h"
#include "Error.h"
#include "Operation.h"

#include <QString>
#include <functional>

namespace sqllumo::server {

struct StepFailure {
    db::Error error;
    QString step; // which step failed and what the person can do
};

// Sends the statement; a server error leaves as StepFailure with the line step() makes,
// asked only then (it may look at the server through the same connection).
void ExecuteStep(dbport::Connection& connection, const QString& statement,
                 const std::function<QString()>& step);

// The trapped outcome of a failed step: the step's line, then the server's text.
OperationOutcome FailedStepOutcome(const StepFailure& failure);

// True when the server lists a database of that name, compared without regard to case.
bool DatabaseListed(dbport::Connection& master, const QString& database);

} // namespace sqllumo::server
