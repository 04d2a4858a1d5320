#pragma once
// What a structure test found, as a table a console or a scheduled job can read: table by
// table presence, columns, primary key and indexes, then every relation.

#include "TestResultRegistry.h"

#include <QString>

namespace sqllumo::archive {

struct StructureFindings {
    QString table; // the lines to print, each ending in "\n"
    // True when every finding is "Present" or "Ok", or was not tested.
    bool sound = true;
    // The findings that are neither.
    int problems = 0;
};

// From the values this registry object set, not from the file other runs rewrite.
StructureFindings FindingsSetBy(const TestResultRegistry& registry);

} // namespace sqllumo::archive
