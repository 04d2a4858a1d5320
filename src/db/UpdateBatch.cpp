// Sending queued row updates together. Counts are switched off for the batch and kept in a
// variable instead, so the client learns in one answer whether every row was found; the
// transaction stays open until it has checked.
#include "UpdateBatch.h"

#include "Error.h"
#include "Session.h"

namespace sqllumo::db::detail {

namespace {

// XACT_ABORT makes any error end the batch and roll its transaction back, where a refused
// statement would otherwise end only itself and let the rest commit.
const QString kOptionsOn = QStringLiteral("SET NOCOUNT ON; SET XACT_ABORT ON; ");
const QString kOptionsOff = QStringLiteral("SET XACT_ABORT OFF; SET NOCOUNT OFF");
const QString kBatchHead = kOptionsOn + QStringLiteral("DECLARE @changed INT; SET @changed = 0; "
                                                       "BEGIN TRANSACTION;\n");
const QString kCountChange = QStringLiteral("; SET @changed = @changed + @@ROWCOUNT;\n");
const QString kBatchTail = QStringLiteral("SELECT @changed AS changed");
const QString kCommit = QStringLiteral("COMMIT TRANSACTION; ") + kOptionsOff;
// After a failed batch: the session's options as they were, and whether a transaction is open.
const QString kRestore = kOptionsOff + QStringLiteral("; SELECT @@TRANCOUNT AS open_transactions");
const QString kRollback = QStringLiteral("ROLLBACK TRANSACTION");

long long firstValue(const BatchResult& result);

// After a batch the server refused: the session's options as they were, and a transaction the
// batch left open rolled back.
void endRefusedBatch(Session& session, int timeoutSeconds)
{
    if (firstValue(session.run(kRestore, timeoutSeconds)) > 0)
        session.run(kRollback, timeoutSeconds);
}

long long firstValue(const BatchResult& result)
{
    if (result.sets.empty() || result.sets.front().rows.empty() ||
        result.sets.front().rows.front().empty())
        return -1;
    return result.sets.front().rows.front().front().toLongLong();
}

// True when the whole batch is committed; false when it changed a different number of rows or
// the server refused part of it, and nothing of it is kept.
bool sendTogether(Session& session, const QStringList& together, int timeoutSeconds)
{
    QString batch = kBatchHead;
    for (const QString& statement : together)
        batch += statement + kCountChange;
    const long long statements = together.size();
    batch += kBatchTail;
    try {
        if (firstValue(session.run(batch, timeoutSeconds)) == statements) {
            session.run(kCommit, timeoutSeconds);
            return true;
        }
    } catch (const Error&) {
        // A lost connection leaves nothing to ask; its transaction dies with it.
        if (!session.connected())
            throw;
    }
    endRefusedBatch(session, timeoutSeconds);
    return false;
}

} // namespace

void SendAtomically(Session& session, const QStringList& statements, int timeoutSeconds)
{
    try {
        session.run(kOptionsOn + QStringLiteral("BEGIN TRANSACTION;\n") +
                        statements.join(QLatin1Char('\n')) +
                        QStringLiteral("\nCOMMIT TRANSACTION; ") + kOptionsOff,
                    timeoutSeconds);
    } catch (const Error&) {
        // The server's error is the one the caller must see; putting the session back is a
        // courtesy that a lost connection cannot have.
        if (session.connected()) {
            try {
                endRefusedBatch(session, timeoutSeconds);
            } catch (const Error&) {
            }
        }
        throw;
    }
}

void RequireOneRow(long long n)
{
    if (n == 0)
        throw Error(kRowNotLocated, texts::kRowNotLocated);
    if (n > 1)
        throw Error(kTooManyRows, texts::kTooManyRows);
    if (n < 0)
        throw Error(kServerError, QStringLiteral("The server did not report how many rows the "
                                                 "update changed, so the change cannot be "
                                                 "confirmed."));
}

void SendUpdateBatch(Session& session, const std::vector<QStringList>& groups,
                     const QStringList& together, int timeoutSeconds, size_t& written)
{
    written = 0;
    if (groups.empty())
        return;
    if (sendTogether(session, together, timeoutSeconds)) {
        written = groups.size();
        return;
    }
    // One at a time, so the rows before the one that fails are kept and that one is named.
    for (const QStringList& group : groups) {
        for (const QString& statement : group) {
            const BatchResult result = session.run(statement, timeoutSeconds);
            RequireOneRow(result.rowCounts.empty() ? -1 : result.rowCounts.back());
        }
        ++written;
    }
}

} // namespace sqllumo::db::detail
