#pragma once
// Many statements in one round trip and one transaction: a recordset's queued row updates,
// committed only when every statement changed its one row, and plain statement lists.

#include <QString>
#include <QStringList>

#include <vector>

namespace sqllumo::db::detail {

class Session;

// Each group holds the statements of one row update, each of which must change exactly one row.
// They are sent in one batch as `together` (the same changes in as many or fewer statements,
// each changing one row), and the call returns when all are in the database. Otherwise the batch
// is rolled back and the groups are sent again one statement at a time up to the first that
// fails, whose error is raised; written then counts the groups that are in the database (all of
// them on success).
void SendUpdateBatch(Session& session, const std::vector<QStringList>& groups,
                     const QStringList& together, int timeoutSeconds, size_t& written);

// The statements as one batch in one transaction under XACT_ABORT: all of them stored, or none
// and the server's error raised. The session's options are as before either way.
void SendAtomically(Session& session, const QStringList& statements, int timeoutSeconds);

// An update that would touch no row or several rows fails; n < 0: the server did not say.
void RequireOneRow(long long n);

} // namespace sqllumo::db::detail
