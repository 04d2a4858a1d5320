#pragma once
// What a structure test found, as a table a console or a scheduled job can read: table by
// table presence, columns, primary key and indexes, then every relation.

#include "TestResultRegistry.h"

#include <QString>

namespace sqllumo::archive {

struct StructureFindings {
    QString table; // the lines to print, each ending in "\n"
    // Each table and relation with its verdict (Ok, NotPresent, Wrong and what is wrong, or
    // not tested), the problems first and marked "!!", under a line that counts them.
    QString verdicts;
    // True when every finding is "Present" or "Ok", or was not tested.
    bool sound = true;
    // The findings that are neither.
    int problems = 0;
};

// From the values this registry object set, not from the file other runs rewrite.
StructureFindings FindingsSetBy(const TestResultRegistry& registry);

} // namespace sqllumo::archive
