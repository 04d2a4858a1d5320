// Turns the registry sections of the structure test into aligned text columns and one verdict.
#include "StructureFindings.h"

#include "ArchiveTexts.h"
#include "ReportLog.h"

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

const QString kNotTested = QStringLiteral("not tested");
const QString kWrong = QStringLiteral("Wrong");

struct Verdict {
    QString kind;
    QString name;
    QString verdict;
    bool problem = false;
};

// A present table is Ok when every check it had passed, Wrong (with the checks that failed)
// otherwise; a table the run never reached is not tested.
Verdict tableVerdict(const TestResultRegistry& registry, const QString& table)
{
    namespace sections = registrysections;
    Verdict v{QStringLiteral("Table"), table, values::kOk};
    const QString presence = registry.setHere(sections::kTables, table);
    if (presence == values::kNotPresentTable) {
        v.verdict = values::kNotPresentTable;
        v.problem = true;
        return v;
    }
    if (presence != values::kPresent) {
        v.verdict = kNotTested;
        return v;
    }
    const std::pair<const QString*, const char*> checks[] = {
        {&sections::kColumns, "columns"},
        {&sections::kPrimaryKey, "primary key"},
        {&sections::kIndexes, "indexes"}};
    QStringList wrong;
    for (const auto& [section, what] : checks) {
        const QString value = registry.setHere(*section, table);
        if (!isSound(value))
            wrong << QString::fromLatin1(what) + QStringLiteral(": ") + value;
    }
    if (!wrong.isEmpty()) {
        v.verdict =
            kWrong + QStringLiteral(" (") + wrong.join(QStringLiteral("; ")) + QLatin1Char(')');
        v.problem = true;
    }
    return v;
}

Verdict relationVerdict(const TestResultRegistry& registry, const QString& relation)
{
    Verdict v{QStringLiteral("Relation"), relation, values::kOk};
    const QString value = registry.setHere(registrysections::kRelations, relation);
    if (value == values::kNotPresent) {
        v.verdict = values::kNotPresentTable;
        v.problem = true;
    } else if (value == values::kUnchecked || value.isEmpty()) {
        v.verdict = kNotTested;
    } else if (value != values::kOk) {
        v.verdict = kWrong + QStringLiteral(" (") + value + QLatin1Char(')');
        v.problem = true;
    }
    return v;
}

QString verdictList(const TestResultRegistry& registry)
{
    std::vector<Verdict> all;
    for (const QString& table : RegistryTableOrder())
        all.push_back(tableVerdict(registry, table));
    for (const QString& relation : RegistryRelationOrder())
        all.push_back(relationVerdict(registry, relation));
    std::stable_partition(all.begin(), all.end(), [](const Verdict& v) { return v.problem; });
    const auto problems =
        std::count_if(all.begin(), all.end(), [](const Verdict& v) { return v.problem; });
    std::vector<QStringList> rows;
    for (const Verdict& v : all)
        rows.push_back(
            {v.problem ? kProblemMark : QStringLiteral("  "), v.kind, v.name, v.verdict});
    const QString heading =
        problems == 0 ? QStringLiteral("No table or relation has a problem.\n")
                      : QStringLiteral("%1 of %2 tables and relations have a problem (marked %3, "
                                       "listed first):\n")
                            .arg(problems)
                            .arg(all.size())
                            .arg(kProblemMark);
    return heading + aligned(rows);
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
    findings.verdicts = verdictList(registry);
    return findings;
}

} // namespace sqllumo::archive
