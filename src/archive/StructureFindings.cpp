// Turns the registry sections of the structure test into aligned text columns and one verdict.
#include "StructureFindings.h"

#include "ArchiveTexts.h"

#include <QStringList>
#include <algorithm>
#include <vector>

namespace sqllumo::archive {

namespace {

bool isSound(const QString& value)
{
    return value == values::kPresent || value == values::kOk || value == values::kUnchecked ||
           value.isEmpty();
}

// Rows of cells, the first one the heading, padded so each column starts at the same place.
QString aligned(const std::vector<QStringList>& rows)
{
    std::vector<qsizetype> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (size_t(i) >= widths.size())
                widths.push_back(0);
            widths[size_t(i)] = std::max(widths[size_t(i)], row[i].size());
        }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[size_t(i)] + 2) : row[i];
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace

StructureFindings FindingsSetBy(const TestResultRegistry& registry)
{
    namespace sections = registrysections;
    StructureFindings findings;
    std::vector<QStringList> tables{{QStringLiteral("Table"), QStringLiteral("Presence"),
                                     QStringLiteral("Columns"), QStringLiteral("Primary key"),
                                     QStringLiteral("Indexes")}};
    for (const QString& table : RegistryTableOrder()) {
        QStringList row{table};
        for (const QString* section : {&sections::kTables, &sections::kColumns,
                                       &sections::kPrimaryKey, &sections::kIndexes}) {
            const QString value = registry.setHere(*section, table);
            findings.problems += isSound(value) ? 0 : 1;
            row << (value == values::kUnchecked ? QStringLiteral("not tested") : value);
        }
        tables.push_back(row);
    }
    std::vector<QStringList> relations{{QStringLiteral("Relation"), QStringLiteral("Finding")}};
    for (const QString& relation : RegistryRelationOrder()) {
        const QString value = registry.setHere(sections::kRelations, relation);
        findings.problems += isSound(value) ? 0 : 1;
        relations.push_back(
            {relation, value == values::kUnchecked ? QStringLiteral("not tested") : value});
    }
    findings.sound = findings.problems == 0;
    findings.table = aligned(tables) + QLatin1Char('\n') + aligned(relations);
    return findings;
}

} // namespace sqllumo::archive
