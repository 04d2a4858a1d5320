// The inspection walks the archive tables in creation order, so every key a FOREIGN KEY of the
// import's key step points to has been read before the rows that point to it; each row is
// checked against the archive schema and against what the copy does with a NULL.
#include "AccessInspection.h"

#include "AccessImport.h"
#include "AccessSource.h"
#include "AccessTables.h"
#include "ArchiveSchema.h"
#include "Error.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace sqllumo::archive {

namespace {

namespace lines {
const QString kTable = QStringLiteral("%1: %2; %3");
const QString kRows = QStringLiteral("%1 rows");
const QString kOneRow = QStringLiteral("1 row");
const QString kRowsUnreadable = QStringLiteral("rows cannot be counted (%1)");
const QString kNoColumns = QStringLiteral("no columns");
const QString kHeading = QStringLiteral("What an import of this file would meet:");
const QString kNothing = QStringLiteral("nothing to report");
const QString kSucceeds = QStringLiteral("An import of this file would succeed.");
const QString kFails = QStringLiteral("An import of this file would fail: %1 problem(s).");
const QString kMissingTable =
    QStringLiteral("missing table: %1 is not in the file; the import requires it");
const QString kMissingColumn =
    QStringLiteral("missing column: %1 has no column %2; the import copies it");
const QString kUnreadableRow = QStringLiteral("unreadable row: %1, %2: %3");
const QString kUnreadableTable = QStringLiteral("unreadable table: %1: %2");
const QString kDuplicate = QStringLiteral("duplicate key: %1, %2 is held by %3 rows");
const QString kNull = QStringLiteral("NULL: %1, %2: %3 is NULL where the archive requires a value");
const QString kTooLong =
    QStringLiteral("text too long: %1, %2: %3 has %4 characters; its SQL Server column holds %5");
const QString kDateRange =
    QStringLiteral("date out of range: %1, %2: %3 is %4, outside SQL Server's DATETIME range "
                   "(1753 to 9999)");
const QString kNumberRange = QStringLiteral(
    "number out of range: %1, %2: %3 is %4, more than its SQL Server column (%5) holds");
const QString kReference =
    QStringLiteral("missing reference: %1, %2: %3 is %4, and %5 has no row with %6 %4");
const QString kSkipped =
    QStringLiteral("skipped table: %1 is not in the file; the import leaves its table empty");
const QString kPhoto =
    QStringLiteral("photo not copied: %1, %2: %3 holds %4 bytes; the import does not copy %1.%3");
const QString kOther =
    QStringLiteral("other table: %1 is not an archive table; the import does not read it");
} // namespace lines

QString unbracketed(const std::string& name)
{
    QString text = QString::fromStdString(name);
    if (text.startsWith(QLatin1Char('[')))
        text = text.mid(1, text.size() - 2);
    return text;
}

// What the schema and the copy ask of one source column.
struct CheckedColumn {
    QString name;
    QString sqlType; // "NVARCHAR(50)", "SMALLINT", ...
    int index = -1;
    bool nullAllowed = false;
    int textSize = 0;
    bool date = false;
    bool ranged = false;
    double low = 0, high = 0;
    const ForeignKeyDef* reference = nullptr;
};

CheckedColumn describe(const QString& table, const QString& name, const std::string& definition,
                       const ForeignKeyDef* reference)
{
    static const QRegularExpression text(QStringLiteral("^NVARCHAR\\((\\d+)\\)"));
    CheckedColumn column;
    column.name = name;
    const QString def = QString::fromStdString(definition);
    column.sqlType = def.section(QLatin1Char(' '), 0, 0);
    column.nullAllowed = !def.contains(QLatin1String("NOT NULL")) || CopyFillsNull(table, name);
    if (const auto match = text.match(def); match.hasMatch())
        column.textSize = match.captured(1).toInt();
    column.date = def.startsWith(QLatin1String("DATETIME"));
    const struct {
        const char* type;
        double low, high;
    } ranges[] = {{"TINYINT", 0, 255},
                  {"SMALLINT", -32768, 32767},
                  {"INT", std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()}};
    for (const auto& range : ranges)
        if (column.sqlType == QLatin1String(range.type)) {
            column.ranged = true;
            column.low = range.low;
            column.high = range.high;
        }
    column.reference = reference;
    return column;
}

QString dateText(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class Inspector {
public:
    Inspector(AccessInspection& result, const std::vector<db::AccessTableInfo>& present)
        : result_(result), source_(QStringLiteral("Data Source=") + result.path), tables_(present)
    {
        for (const db::AccessTableInfo& table : present)
            present_ << table.name;
    }

    void run()
    {
        listTables();
        for (const TableDef& table : ArchiveTables())
            inspect(table);
        for (const QString& name : present_)
            if (!FindArchiveTableNoCase(name))
                add(FindingKind::OtherTable, name, {}, {}, lines::kOther.arg(name));
        std::stable_sort(
            result_.findings.begin(), result_.findings.end(),
            [](const InspectionFinding& a, const InspectionFinding& b) { return a.kind < b.kind; });
    }

private:
    static const TableDef* FindArchiveTableNoCase(const QString& name)
    {
        for (const TableDef& table : ArchiveTables())
            if (name.compare(QString::fromStdString(table.name), Qt::CaseInsensitive) == 0)
                return &table;
        return nullptr;
    }

    void add(FindingKind kind, const QString& table, const QString& row, const QString& column,
             const QString& text)
    {
        result_.findings.push_back({kind, table, row, column, text});
    }

    void listTables()
    {
        for (const db::AccessTableInfo& info : tables_) {
            InspectedTable table;
            table.name = info.name;
            for (const db::AccessColumnInfo& column : info.columns)
                table.columns << column.name + QLatin1Char(' ') + column.typeText();
            try {
                db::AccessRecordset rows;
                rows.open(QStringLiteral("SELECT * FROM [") + info.name + QLatin1Char(']'),
                          source_);
                table.rows = rows.recordCount();
            } catch (const db::Error& e) {
                table.rows = -1;
                table.rowsError = e.description();
            }
            result_.tables.push_back(table);
        }
    }

    void inspect(const TableDef& schema)
    {
        const QString table = QString::fromStdString(schema.name);
        if (!present_.contains(table, Qt::CaseInsensitive)) {
            if (IsStatisticsTable(table))
                add(FindingKind::SkippedTable, table, {}, {}, lines::kSkipped.arg(table));
            else
                add(FindingKind::MissingTable, table, {}, {}, lines::kMissingTable.arg(table));
            return;
        }
        db::AccessRecordset rows;
        try {
            rows.open(QStringLiteral("SELECT * FROM ") + table, source_);
        } catch (const db::Error& e) {
            add(FindingKind::UnreadableRow, table, {}, {},
                lines::kUnreadableTable.arg(table, e.description()));
            return;
        }
        std::vector<CheckedColumn> columns = checkedColumns(schema, rows);
        const QString identity = QString::fromStdString(schema.identityColumn);
        const int identityIndex = identity.isEmpty() ? -1 : rows.fieldIndex(identity);
        const int photoIndex =
            schema.name == "T_Patient" ? rows.fieldIndex(QStringLiteral("Photo")) : -1;
        std::unordered_map<qint64, int>& counts = keyCounts_[table];
        long long position = 0;
        QString row;
        try {
            for (; !rows.eof(); rows.moveNext()) {
                ++position;
                row = QStringLiteral("row %1").arg(position);
                if (identityIndex >= 0) {
                    const QVariant key = rows.value(identityIndex);
                    if (!key.isNull()) {
                        row = identity + QLatin1Char(' ') + key.toString();
                        ++counts[key.toLongLong()];
                    }
                }
                for (const CheckedColumn& column : columns)
                    check(table, row, column, rows.value(column.index));
                if (photoIndex >= 0)
                    if (const QVariant photo = rows.value(photoIndex); !photo.isNull())
                        add(FindingKind::PhotoNotCopied, table, row, QStringLiteral("Photo"),
                            lines::kPhoto.arg(table, row, QStringLiteral("Photo"))
                                .arg(photo.toByteArray().size()));
            }
        } catch (const db::Error& e) {
            add(FindingKind::UnreadableRow, table, row, {},
                lines::kUnreadableRow.arg(table, QStringLiteral("row %1").arg(position),
                                          e.description()));
        }
        reportDuplicates(table, identity, counts);
    }

    std::vector<CheckedColumn> checkedColumns(const TableDef& schema,
                                              const db::AccessRecordset& rows)
    {
        const QString table = QString::fromStdString(schema.name);
        const QStringList copied = CopiedColumns(table);
        std::vector<CheckedColumn> columns;
        auto take = [&](CheckedColumn column) {
            if (!copied.contains(column.name))
                return;
            column.index = rows.fieldIndex(column.name);
            if (column.index < 0)
                add(FindingKind::MissingColumn, table, {}, column.name,
                    lines::kMissingColumn.arg(table, column.name));
            else
                columns.push_back(column);
        };
        if (schema.hasIdentity())
            take(describe(table, QString::fromStdString(schema.identityColumn), "INT NOT NULL",
                          nullptr));
        for (const ColumnDef& c : schema.columns)
            take(describe(table, unbracketed(c.name), c.importDefinition,
                          c.foreignKey ? &*c.foreignKey : nullptr));
        return columns;
    }

    void check(const QString& table, const QString& row, const CheckedColumn& column,
               const QVariant& value)
    {
        if (value.isNull()) {
            if (!column.nullAllowed)
                add(FindingKind::NullValue, table, row, column.name,
                    lines::kNull.arg(table, row, column.name));
            return;
        }
        if (column.textSize > 0 && value.toString().size() > column.textSize)
            add(FindingKind::TextTooLong, table, row, column.name,
                lines::kTooLong.arg(table, row, column.name)
                    .arg(value.toString().size())
                    .arg(column.textSize));
        if (column.date && value.typeId() == QMetaType::QDateTime) {
            static const QDateTime first(QDate(1753, 1, 1), QTime(0, 0), Qt::UTC);
            static const QDateTime last(QDate(9999, 12, 31), QTime(23, 59, 59, 997), Qt::UTC);
            const QDateTime when = value.toDateTime();
            if (when < first || when > last)
                add(FindingKind::DateOutOfRange, table, row, column.name,
                    lines::kDateRange.arg(table, row, column.name, dateText(when)));
        }
        bool number = false;
        const double amount = value.toDouble(&number);
        const bool numeric = number && value.typeId() != QMetaType::QString;
        if (column.ranged && numeric && (amount < column.low || amount > column.high))
            add(FindingKind::NumberOutOfRange, table, row, column.name,
                lines::kNumberRange.arg(table, row, column.name, value.toString(), column.sqlType));
        if (column.reference && numeric) {
            const QString target = QString::fromStdString(column.reference->table);
            // A required table the file lacks is reported once, as missing.
            if (!present_.contains(target, Qt::CaseInsensitive) && !IsStatisticsTable(target))
                return;
            const auto keys = keyCounts_.find(target);
            if (keys == keyCounts_.end() || !keys->second.contains(value.toLongLong()))
                add(FindingKind::MissingReference, table, row, column.name,
                    lines::kReference.arg(table, row, column.name, value.toString(), target,
                                          QString::fromStdString(column.reference->column)));
        }
    }

    void reportDuplicates(const QString& table, const QString& identity,
                          const std::unordered_map<qint64, int>& counts)
    {
        std::map<qint64, int> repeated;
        for (const auto& [key, count] : counts)
            if (count > 1)
                repeated[key] = count;
        for (const auto& [key, count] : repeated) {
            const QString row = identity + QLatin1Char(' ') + QString::number(key);
            add(FindingKind::DuplicateKey, table, row, identity,
                lines::kDuplicate.arg(table, row).arg(count));
        }
    }

    AccessInspection& result_;
    QString source_;
    const std::vector<db::AccessTableInfo>& tables_;
    QStringList present_;
    // Per table with a key: how many rows hold each value.
    std::map<QString, std::unordered_map<qint64, int>> keyCounts_;
};

} // namespace

int AccessInspection::problemCount() const
{
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(),
                      [](const InspectionFinding& f) { return f.blocksImport(); }));
}

QStringList AccessInspection::lines() const
{
    if (!readable)
        return {error};
    QStringList out;
    for (const InspectedTable& table : tables) {
        const QString rows = table.rows < 0    ? lines::kRowsUnreadable.arg(table.rowsError)
                             : table.rows == 1 ? lines::kOneRow
                                               : lines::kRows.arg(table.rows);
        out << lines::kTable.arg(
            table.name, rows,
            table.columns.isEmpty() ? lines::kNoColumns : table.columns.join(QStringLiteral(", ")));
    }
    out << QString() << lines::kHeading;
    if (findings.empty())
        out << lines::kNothing;
    for (const InspectionFinding& finding : findings)
        out << finding.text;
    out << (importWouldSucceed() ? lines::kSucceeds : lines::kFails.arg(problemCount()));
    return out;
}

AccessInspection InspectAccessFile(const QString& path)
{
    AccessInspection result;
    result.path = path;
    try {
        const std::vector<db::AccessTableInfo> present = db::AccessUserTables(path);
        Inspector(result, present).run();
        result.readable = true;
    } catch (const db::Error& e) {
        result.tables.clear();
        result.findings.clear();
        result.error = e.description();
    }
    return result;
}

} // namespace sqllumo::archive
