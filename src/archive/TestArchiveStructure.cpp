// The structure test's walk over the catalogue and the server's catalogue procedures, and the
// rules that turn what they report into registry values and report lines.
#include "TestArchiveStructure.h"

#include "ArchiveSchema.h"
#include "ArchiveTexts.h"
#include "ReportLog.h"
#include "TestResultRegistry.h"

namespace sqllumo::archive {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

bool ruleIs(const QVariant& value, int expected)
{
    if (value.isNull() || !value.isValid())
        return false;
    bool ok = false;
    const int rule = value.toInt(&ok);
    return ok && rule == expected;
}

RelationVerdict judgeRow(const RelationCheck& check, const ForeignKeyRow& row)
{
    if (ruleIs(row.updateRule, check.expectedRule) && ruleIs(row.deleteRule, check.expectedRule))
        return RelationVerdict::Ok;
    return check.expectedRule == 1 ? RelationVerdict::WithIntegrity
                                   : RelationVerdict::WithoutIntegrity;
}

RelationCheck check(const RelationDef& relation)
{
    return {q(relation.name), q(relation.referencingTable).toUpper(),
            q(relation.referencingColumn).toUpper(), relation.expectedRule};
}

} // namespace

ColumnVerdict JudgeColumns(const TableDef& table, const std::vector<dbport::CatalogColumn>& columns)
{
    if (columns.size() != table.columnCount())
        return ColumnVerdict::WrongCount;
    const std::vector<ExpectedColumn> expected = ExpectedColumns(table);
    for (const dbport::CatalogColumn& column : columns) {
        const std::string name = column.name.toUpper().toStdString();
        const ExpectedColumn* match = nullptr;
        for (const ExpectedColumn& e : expected)
            if (e.upperName == name)
                match = &e;
        if (!match)
            return ColumnVerdict::WrongNameOrType;
        if (match->typeCode == 0)
            continue; // the photo: any type
        if (column.typeCode != match->typeCode)
            return ColumnVerdict::WrongNameOrType;
        if (match->definedSize >= 0 && column.definedSize != match->definedSize)
            return ColumnVerdict::WrongNameOrType;
    }
    return ColumnVerdict::Correct;
}

KeyVerdict JudgePrimaryKey(const TableDef& table, const std::optional<QString>& firstKeyColumn)
{
    if (!table.hasIdentity())
        return firstKeyColumn ? KeyVerdict::PresentNotCorrect : KeyVerdict::Ok;
    if (!firstKeyColumn)
        return KeyVerdict::NotPresent;
    return firstKeyColumn->toUpper() == q(ExpectedPrimaryKeyColumn(table))
               ? KeyVerdict::Ok
               : KeyVerdict::PresentNotCorrect;
}

QStringList TestedIndexColumns(const TableDef& table)
{
    QStringList columns;
    for (const std::string& column : TestedIndexColumnNames(table))
        columns << q(column).toUpper();
    return columns;
}

QString TestedIndexList(const TableDef& table)
{
    return q(TestedIndexListText(table));
}

QString IndexFailureValue(const TableDef& table)
{
    return values::kIndexMissingPrefix + TestedIndexList(table) + QLatin1Char(')');
}

bool IndexesComplete(const QStringList& testedColumns, const QStringList& indexKeys)
{
    for (const QString& column : testedColumns) {
        bool found = false;
        for (const QString& keys : indexKeys)
            if (keys.toUpper() == column)
                found = true;
        if (!found)
            return false;
    }
    return true;
}

const std::vector<RelationListing>& RelationListings()
{
    static const std::vector<RelationListing> listings = [] {
        std::vector<RelationListing> out;
        for (const RelationListingDef& def : RelationListingDefs()) {
            RelationListing listing{
                QStringLiteral("sp_fkeys '") + q(def.table) + QStringLiteral("'"), {}};
            for (const RelationDef& relation : def.relations)
                listing.relations.push_back(check(relation));
            out.push_back(listing);
        }
        return out;
    }();
    return listings;
}

std::vector<RelationFinding> JudgeListing(const RelationListing& listing,
                                          const std::vector<ForeignKeyRow>& rows)
{
    std::vector<RelationFinding> findings;
    std::vector<bool> met(listing.relations.size(), false);
    for (const ForeignKeyRow& row : rows) {
        for (size_t i = 0; i < listing.relations.size(); ++i) {
            const RelationCheck& check = listing.relations[i];
            if (met[i] || row.fkTable.toUpper() != check.fkTable ||
                row.fkColumn.toUpper() != check.fkColumn)
                continue;
            met[i] = true;
            findings.push_back({check.name, judgeRow(check, row)});
        }
    }
    for (size_t i = 0; i < listing.relations.size(); ++i)
        if (!met[i])
            findings.push_back({listing.relations[i].name, RelationVerdict::NotPresent});
    return findings;
}

bool TestArchiveStructure(const QString& databaseName, const QString& connectionString,
                          dbport::Catalog& catalog, QString& errorText, const ArchiveWork& work)
{
    using namespace texts;
    namespace sections = registrysections;
    TestResultRegistry& registry = work.registry;
    // The findings reach the settings file in one save, not one per table and relation.
    const TestResultRegistry::SavedTogether oneSave(registry);
    ReportBuffer& report = work.report;
    auto line = [&](const QString& text) { report.append(kLineBreak + text); };

    line(kTestStart + databaseName);
    for (const QString* section :
         {&sections::kTables, &sections::kColumns, &sections::kIndexes, &sections::kPrimaryKey})
        for (const QString& table : RegistryTableOrder())
            registry.setValue(*section, table, values::kUnchecked);
    for (const QString& relationName : RegistryRelationOrder())
        registry.setValue(sections::kRelations, relationName, values::kUnchecked);

    std::unique_ptr<dbport::Connection> connection;
    try {
        connection = work.provider.newConnection();
        connection->open(connectionString);
        const QStringList present = catalog.tableNames();
        for (const TableDef& table : ArchiveTables()) {
            const QString t = q(table.name);
            if (!present.contains(t, Qt::CaseSensitive)) {
                registry.setValue(sections::kTables, t, values::kNotPresentTable);
                line(kTheTable + t + kIsNotPresent);
                continue;
            }
            registry.setValue(sections::kTables, t, values::kPresent);

            ColumnVerdict columns = JudgeColumns(table, catalog.columns(t));
            if (columns == ColumnVerdict::WrongCount) {
                registry.setValue(sections::kColumns, t, values::kWrongCount);
                line(kWrongCountLine + t);
                continue;
            }
            if (columns == ColumnVerdict::Correct && table.hasIdentity()) {
                const dbport::ResultSet identity =
                    connection->query(QStringLiteral("SELECT COLUMNPROPERTY( OBJECT_ID('") + t +
                                      QStringLiteral("'),'") + q(table.identityColumn) +
                                      QStringLiteral("','IsIdentity') AS CProp"));
                if (!ruleIs(identity.value(0, QStringLiteral("CProp")), 1))
                    columns = ColumnVerdict::WrongNameOrType;
            }
            if (columns == ColumnVerdict::Correct) {
                registry.setValue(sections::kColumns, t, values::kOk);
                line(kStructureOf + t + kIsCorrect);
            } else {
                registry.setValue(sections::kColumns, t,
                                  table.hasIdentity() ? values::kWrongNameTypeIdentity
                                                      : values::kWrongNameType);
                line(kWrongNameOrTypeLine + t);
            }

            const dbport::ResultSet keys =
                connection->query(QStringLiteral("sp_pkeys '") + t + QStringLiteral("'"));
            std::optional<QString> firstKey;
            if (!keys.isEmpty())
                firstKey = keys.text(0, QStringLiteral("Column_Name"));
            switch (JudgePrimaryKey(table, firstKey)) {
            case KeyVerdict::Ok:
                registry.setValue(sections::kPrimaryKey, t, values::kOk);
                line(kForTheTable + t + kPrimaryKeyCorrect);
                break;
            case KeyVerdict::NotPresent:
                registry.setValue(sections::kPrimaryKey, t, values::kNotPresent);
                line(kForTheTable + t + kPrimaryKeyMissing);
                break;
            case KeyVerdict::PresentNotCorrect:
                registry.setValue(sections::kPrimaryKey, t, values::kPresentNotCorrect);
                line(kForTheTable + t + kPrimaryKeyNotCorrect);
                break;
            }

            const QStringList tested = TestedIndexColumns(table);
            if (tested.isEmpty())
                continue;
            QStringList indexKeys;
            try {
                const dbport::ResultSet indexes =
                    connection->query(QStringLiteral("sp_helpindex '") + t + QStringLiteral("'"));
                for (size_t row = 0; row < indexes.rowCount(); ++row)
                    indexKeys << indexes.text(row, QStringLiteral("index_keys"));
            } catch (const db::Error& error) {
                // A table without any index gives no result set at all: it has none of them.
                if (error.number() != db::kClosedObject)
                    throw;
                indexKeys.clear();
            }
            if (IndexesComplete(tested, indexKeys)) {
                registry.setValue(sections::kIndexes, t, values::kOk);
                line(kForTheTable + t + kIndexesCorrect);
            } else {
                const QString list = TestedIndexList(table);
                registry.setValue(sections::kIndexes, t, IndexFailureValue(table));
                line(kForTable + t + kIndexMissingLine + list + QLatin1Char(')'));
            }
        }

        for (const RelationListing& listing : RelationListings()) {
            const dbport::ResultSet result = connection->query(listing.procedureCall);
            std::vector<ForeignKeyRow> rows;
            for (size_t row = 0; row < result.rowCount(); ++row)
                rows.push_back({result.text(row, QStringLiteral("fktable_name")),
                                result.text(row, QStringLiteral("fkcolumn_name")),
                                result.value(row, QStringLiteral("update_rule")),
                                result.value(row, QStringLiteral("delete_rule"))});
            for (const RelationFinding& finding : JudgeListing(listing, rows)) {
                const QString& r = finding.name;
                switch (finding.verdict) {
                case RelationVerdict::Ok:
                    registry.setValue(sections::kRelations, r, values::kOk);
                    line(kTheRelationship + r + kRelationCorrect);
                    break;
                case RelationVerdict::NotPresent:
                    registry.setValue(sections::kRelations, r, values::kNotPresent);
                    line(kTheRelationship + r + kIsNotPresent);
                    break;
                case RelationVerdict::WithoutIntegrity:
                    registry.setValue(sections::kRelations, r, values::kWithoutIntegrity);
                    line(kTheRelationship + r + kRelationWithout);
                    break;
                case RelationVerdict::WithIntegrity:
                    registry.setValue(sections::kRelations, r, values::kWithIntegrity);
                    line(kTheRelationship + r + kRelationWith);
                    break;
                }
            }
        }
        connection->close();
        return true;
    } catch (const db::Error& error) {
        errorText = db::ErrorText(error);
    }
    dbport::CloseAfterFailure(connection.get());
    return false;
}

} // namespace sqllumo::archive
