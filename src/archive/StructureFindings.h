#pragma once
// What the last structure test left in the registry, as a table a console or a scheduled job
// can read: table by table presence, columns, primary key and indexes, then every relation.

#include "TestResultRegistry.h"

#include <QString>

namespace sqllumo::archive {

struct StructureFindings {
    QString table; // the lines to print, each ending in "\n"
    // True when every finding is "Present" or "Ok", or was not tested.
    bool sound = true;
};

StructureFindings ReadStructureFindings(const TestResultRegistry& registry);

} // namespace sqllumo::archive
