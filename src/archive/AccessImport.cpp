// The Access import's steps: the Access source read row by row, the destination written through
// the database port one statement per row with its dates, keys and indexes last, so rows may
// arrive in any order.
#include "AccessImport.h"

#include "AccessSource.h"
#include "ArchiveSchema.h"
#include "ArchiveTexts.h"
#include "ConnectionStrings.h"
#include "DatabasePort.h"
#include "ReportLog.h"
#include "SqlText.h"
#include "TestResultRegistry.h"
#include "UserInterface.h"

#include <cmath>
#include <memory>
#include <optional>

namespace sqllumo::archive {

using namespace texts;

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The meter's largest value; a bigger table advances it by a fraction per row.
constexpr int kMeterCap = 10000;
constexpr int kKeyStepMeterMaximum = 20;

// How a value of the source goes into the insert statement. A picture is copied only on
// request, and a source without its column simply has none.
enum class Kind { Number, Text, YesNo, Date, Picture };

struct CopyColumn {
    const char* name; // in the source and in the destination, without brackets
    Kind kind;
    bool omittedWhenNull = false;   // left out of the column list when the source holds NULL
    const char* whenNull = nullptr; // written instead of a NULL
    const char* fallback = nullptr; // the source column whose value stands in for a NULL
};

struct CopyTable {
    const char* name;
    bool shortForm; // the column list follows the name without a blank
    std::vector<CopyColumn> columns;
};

// The lists the rows are copied from, in copy order: what the patients' rows refer to first.
std::vector<CopyTable> referenceTables()
{
    using K = Kind;
    return {
        {"T_DBVersion", true, {{"FreeText", K::Text}}},
        {"T_Marker", true, {{"ID_Marker", K::Number}, {"Marker", K::Text}}},
        {"T_City", true, {{"ID_City", K::Number}, {"City", K::Text}}},
        {"T_Province", true, {{"ID_Province", K::Number}, {"Province", K::Text}}},
        {"T_Country", true, {{"ID_Country", K::Number}, {"Country", K::Text}}},
        {"T_Hosp_Dep", true, {{"ID_Hosp_Dep", K::Number}, {"Hosp_Dep", K::Text}}},
        {
            "T_Doc_Tech",
            true,
            {{"ID_Doc_Tech", K::Number},
             {"Title", K::Text},
             {"L_Name", K::Text},
             {"F_Name", K::Text},
             {"Doc_Tech", K::YesNo},
             {"Int_Ext", K::YesNo}},
        },
    };
}

// The patients, their exams and the files of the exams, with the storages and file types the
// files refer to.
std::vector<CopyTable> patientTables()
{
    using K = Kind;
    return {
        {"T_Patient",
         false,
         {{"ID_Patient", K::Number}, {"Title", K::Text},         {"L_Name", K::Text},
          {"F_Name", K::Text},       {"M_Name", K::Text},        {"B_Date", K::Date},
          {"Sex", K::YesNo},         {"Height", K::Number},      {"Weight", K::Number},
          {"Address", K::Text},      {"ID_City", K::Number},     {"ID_Province", K::Number},
          {"Zip_Code", K::Text},     {"ID_Country", K::Number},  {"Tel_Home", K::Text},
          {"Tel_Work", K::Text},     {"Ins_Number", K::Text},    {"Ins_Company", K::Text},
          {"Pat_Code_1", K::Text},   {"Pat_Code_2", K::Text},    {"ID_Hosp_Dep", K::Number},
          {"Comment", K::Text},      {"ID_Doc_Tech", K::Number}, {"Free1", K::Text},
          {"Free2", K::Text},        {"ID_Marker", K::Number},   {"Used_By", K::Text},
          {"RecDate", K::Date},      {"Photo", K::Picture, true}}},
        {
            "T_Exam",
            false,
            {{"ID_Multi", K::Number},
             {"ID_Patient", K::Number},
             {"Code", K::Text},
             {"rv_1", K::YesNo},
             {"rv_2", K::YesNo},
             {"rv_3", K::YesNo},
             {"rv_4", K::YesNo},
             {"rv_5", K::YesNo},
             {"rv_6", K::YesNo},
             {"rv_7", K::YesNo},
             {"rv_8", K::YesNo},
             {"ID_Marker", K::Number},
             {"Comment", K::Text}},
        },
        {"T_Storage", true, {{"ID_Storage", K::Number}, {"Description", K::Text}}},
        {
            "T_File_Type",
            false,
            {{"ID_Type", K::Number},
             {"File_Type", K::Text},
             {"File_Primary", K::YesNo},
             {"File_Priority", K::Number, false, "0"},
             {"File_Visible", K::YesNo},
             {"File_Exclude", K::Text},
             {"File_App", K::Text},
             {"File_Prefix", K::Text},
             {"File_Ext", K::Text}},
        },
        {"T_File",
         false,
         {{"ID_Exam", K::Number},
          {"ID_Multi", K::Number},
          {"Primary", K::YesNo},
          {"ID_Type", K::Number},
          {"Date", K::Date},
          {"ID_Tech", K::Number},
          {"ID_Doc", K::Number},
          {"ID_Doc_Req", K::Number},
          {"ID_Hosp_Dep", K::Number},
          {"Duration", K::Number},
          {"Path_Local", K::Text},
          {"Path_Archive", K::Text},
          {"ID_Storage", K::Number, true},
          {"FileDateLastModify", K::Date, false, nullptr, "Date"},
          {"FileLen", K::Number},
          {"Comment", K::Text},
          {"Used_By", K::Text}}},
    };
}

// The statistics tables, which an older source may lack.
std::vector<CopyTable> statisticsTables()
{
    using K = Kind;
    return {
        {
            "T_Class",
            false,
            {{"ID_Class", K::Number},
             {"Ord_Class", K::Number},
             {"Descr_Class", K::Text},
             {"Type_Class", K::Number},
             {"ItemSelMode_Class", K::YesNo}},
        },
        {
            "T_Item",
            false,
            {{"ID_Item", K::Number},
             {"Ord_Item", K::Number},
             {"Descr_Item", K::Text},
             {"Type_Item", K::Number},
             {"SubItemSelMode_Item", K::YesNo},
             {"ID_Class", K::Number}},
        },
        {
            "T_SubItem",
            false,
            {{"ID_SubItem", K::Number},
             {"Ord_SubItem", K::Number},
             {"Descr_SubItem", K::Text},
             {"Type_SubItem", K::Number},
             {"ID_Item", K::Number}},
        },
        {"T_Statistic",
         false,
         {{"ID_Class", K::Number},
          {"ID_Item", K::Number},
          {"ID_SubItem", K::Number},
          {"ID_Exam", K::Number},
          {"ID_Multi", K::Number},
          {"Stat_Memo", K::Text},
          {"RecDate", K::Date}}},
        {"T_StatisticMask",
         false,
         {{"ID_Mask", K::Number},
          {"Descr_Mask", K::Text, true},
          {"DuplofPatients", K::YesNo},
          {"RecMask", K::Date},
          {"NumTrovFile", K::Number, true},
          {"NumTotFile", K::Number, true},
          // The mask's range dates go with the rest of its row.
          {"BDayFrom", K::Date},
          {"BDayTo", K::Date},
          {"RecFrom", K::Date},
          {"RecTo", K::Date}}},
        {
            "T_StatisticList",
            false,
            {{"ID_Mask", K::Number},
             {"ID_Patient", K::Number},
             {"ID_Exam", K::Number, true},
             {"ID_Multi", K::Number, true}},
        },
        {
            "T_StatisticSearch",
            false,
            {{"ID_Mask", K::Number},
             {"ID_Class", K::Number},
             {"ID_Item", K::Number},
             {"ID_SubItem", K::Number},
             {"Stat_Memo", K::Text},
             {"Search_Mode", K::Number}},
        },
        {
            "T_StatisticFileType",
            false,
            {{"ID_Mask", K::Number}, {"ID_File_Type", K::Number}},
        },
    };
}

const std::vector<CopyTable>& copyTables()
{
    static const std::vector<CopyTable> tables = [] {
        std::vector<CopyTable> all = referenceTables();
        for (auto group : {patientTables, statisticsTables})
            for (CopyTable& table : group())
                all.push_back(std::move(table));
        return all;
    }();
    return tables;
}

QString unbracketed(const std::string& name)
{
    QString text = q(name);
    if (text.startsWith(QLatin1Char('[')))
        text = text.mid(1, text.size() - 2);
    return text;
}

// Column names the server reserves go in brackets.
QString destinationName(const char* column)
{
    static const QStringList reserved = {QStringLiteral("FreeText"), QStringLiteral("Primary"),
                                         QStringLiteral("Date")};
    const QString name = QString::fromLatin1(column);
    return reserved.contains(name) ? QLatin1Char('[') + name + QLatin1Char(']') : name;
}

// Whether the destination column takes NULL: a NULL there travels as NULL; elsewhere it
// stops the copy with a message that says where it is.
bool takesNull(const TableDef& table, const char* column)
{
    const QString name = QString::fromLatin1(column);
    if (unbracketed(table.identityColumn) == name)
        return false;
    for (const ColumnDef& c : table.columns)
        if (unbracketed(c.name) == name)
            return c.importDefinition.find("NOT NULL") == std::string::npos;
    return false;
}

void appendNumber(QString& out, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
        out += QString::number(value.toLongLong());
        return;
    case QMetaType::Double:
        out += QString::number(value.toDouble(), 'g', 15);
        return;
    case QMetaType::Bool:
        out += value.toBool() ? QLatin1Char('1') : QLatin1Char('0');
        return;
    case QMetaType::QString: {
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw db::Error(db::kInvalidArgument,
                            QStringLiteral("\"%1\" is not a number").arg(value.toString()));
        out += QString::number(number, 'g', 15);
        return;
    }
    default:
        out += value.toString();
    }
}

// A text the way the server must keep every letter: N'...' with quotes doubled.
void appendTextLiteral(QString& out, const QVariant& value)
{
    out += QLatin1String("N'");
    out += SQLConvertString(value.toString());
    out += QLatin1Char('\'');
}

class TableCopy {
public:
    TableCopy(const CopyTable& plan, const db::AccessRecordset& rows, bool copyPictures)
        : plan_(plan), schema_(*FindArchiveTable(plan.name)), copyPictures_(copyPictures)
    {
        auto indexOf = [&](const char* column) {
            const int index = rows.fieldIndex(QString::fromLatin1(column));
            if (index < 0)
                throw db::Error(
                    db::kItemNotFound,
                    QStringLiteral("The table %1 of the Access file has no column %2.")
                        .arg(QString::fromLatin1(plan.name), QString::fromLatin1(column)));
            return index;
        };
        for (const CopyColumn& column : plan.columns) {
            if (column.kind == Kind::Picture)
                pictureIndex_ = rows.fieldIndex(QString::fromLatin1(column.name));
            sourceIndex_.push_back(column.kind == Kind::Picture ? pictureIndex_
                                                                : indexOf(column.name));
            fallbackIndex_.push_back(column.fallback ? indexOf(column.fallback) : -1);
            nullable_.push_back(takesNull(schema_, column.name));
            destination_.push_back(destinationName(column.name));
        }
        head_ = QStringLiteral("INSERT INTO ") + QString::fromLatin1(plan.name) +
                (plan.shortForm ? QStringLiteral("(") : QStringLiteral(" ("));
    }

    // The statement is written into two growing texts, each value appended in place: an
    // import writes one per row, and temporary texts per value cost more than the rest of it.
    QString insertStatement(const db::AccessRecordset& rows) const
    {
        QString columns;
        QString values;
        columns.reserve(256);
        values.reserve(512);
        for (size_t i = 0; i < plan_.columns.size(); ++i) {
            const CopyColumn& column = plan_.columns[i];
            if (column.kind == Kind::Picture && (!copyPictures_ || sourceIndex_[i] < 0))
                continue;
            QVariant value = rows.value(sourceIndex_[i]);
            if (value.isNull() && fallbackIndex_[i] >= 0)
                value = rows.value(fallbackIndex_[i]);
            if (value.isNull() && column.omittedWhenNull)
                continue;
            if (!columns.isEmpty()) {
                columns += QLatin1Char(',');
                values += QLatin1Char(',');
            }
            columns += destination_[i];
            appendValue(values, column, i, value, rows);
        }
        QString statement;
        statement.reserve(head_.size() + columns.size() + values.size() + 12);
        statement += head_;
        statement += columns;
        statement += QStringLiteral(") VALUES (");
        statement += values;
        statement += QLatin1Char(')');
        return statement;
    }

    // The table's picture in the current row (a patient's photo); null when it has none.
    QVariant picture(const db::AccessRecordset& rows) const
    {
        return pictureIndex_ < 0 ? QVariant() : rows.value(pictureIndex_);
    }

    // The current row's key: its first column's value, and that as "ID_Patient = 5".
    QString keyValue(const db::AccessRecordset& rows) const
    {
        return rows.value(sourceIndex_.front()).toString();
    }
    QString rowKey(const db::AccessRecordset& rows) const
    {
        return QString::fromLatin1(plan_.columns.front().name) + QStringLiteral(" = ") +
               keyValue(rows);
    }

    // The server's refusal of a row, naming it by its key so it can be found in the source.
    db::Error rejected(const db::Error& e, const QString& keyValue) const
    {
        return db::Error(e.number(),
                         e.description() + QStringLiteral(" (") + sourceRow(keyValue) +
                             QLatin1Char(')'),
                         e.nativeError(), e.sqlState());
    }

private:
    QString sourceRow(const QString& keyValue) const
    {
        return kSourceRow.arg(QString::fromLatin1(plan_.name),
                              QString::fromLatin1(plan_.columns.front().name), keyValue);
    }
    QString sourceRow(const db::AccessRecordset& rows) const
    {
        return sourceRow(rows.value(sourceIndex_.front()).toString());
    }

    void appendValue(QString& out, const CopyColumn& column, size_t i, const QVariant& value,
                     const db::AccessRecordset& rows) const
    {
        if (column.kind == Kind::YesNo) {
            out += !value.isNull() && value.toBool() ? QLatin1Char('1') : QLatin1Char('0');
            return;
        }
        if (value.isNull()) {
            if (column.whenNull)
                out += QLatin1String(column.whenNull);
            else if (nullable_[i])
                out += QLatin1String("NULL");
            else
                throw db::Error(
                    db::kInvalidUseOfNull,
                    kNullNotAllowed.arg(sourceRow(rows), QString::fromLatin1(column.name)));
            return;
        }
        switch (column.kind) {
        case Kind::Date:
            // A date goes in the insert itself as an ISO 8601 literal, which the server reads
            // alike under every language and date format: the row is written once, with its
            // exact dates, and no later statement has to find it again.
            out += db::ValueLiteral(value);
            break;
        case Kind::Picture:
            // The bytes as stored, whatever they hold.
            out += db::BinaryLiteral(value.toByteArray());
            break;
        case Kind::Text:
            appendTextLiteral(out, value);
            break;
        default:
            appendNumber(out, value);
        }
    }

    const CopyTable& plan_;
    const TableDef& schema_;
    bool copyPictures_;
    int pictureIndex_ = -1;
    std::vector<int> sourceIndex_;
    std::vector<int> fallbackIndex_;
    std::vector<bool> nullable_;
    QStringList destination_;
    QString head_;
};

// The frame's state as the steps last set it; each change is shown at once.
class Meter {
public:
    explicit Meter(UserInterface& ui) : ui_(ui) {}
    void start(const QString& caption, int maximum)
    {
        state_ = ProgressState{caption, QString(), 0, maximum, 0, true};
        ui_.showProgress(state_);
    }
    // A new table of rows: the meter back at 0.
    void setMaximum(int maximum, long long rows)
    {
        state_.maximum = maximum;
        state_.value = 0;
        state_.rowsDone = 0;
        state_.rowsTotal = rows;
        ui_.showProgress(state_);
    }
    // One more row done.
    void rowDone(int value)
    {
        state_.value = value;
        ++state_.rowsDone;
        ui_.showProgress(state_);
    }
    void setLabel(const QString& label)
    {
        state_.label = label;
        ui_.showProgress(state_);
    }
    void setValue(int value)
    {
        state_.value = value;
        ui_.showProgress(state_);
    }
    int value() const { return state_.value; }
    void hide()
    {
        state_.visible = false;
        ui_.showProgress(state_);
    }

private:
    UserInterface& ui_;
    ProgressState state_;
};

// Raised where a step notices that the person asked it to stop; work.stopped says where.
struct StopNoticed {};

// Pending events let through (the person may press Cancel meanwhile), then the request read.
bool letEventsThrough(ImportWork& work)
{
    work.ui.processPendingEvents();
    return work.ui.stopRequested();
}

} // namespace

QString ImportStopReport(const ImportStop& stop)
{
    if (stop.duringKeys)
        return kStoppedInKeys.arg(stop.table);
    const QString where = stop.nextRow.isEmpty() ? kStoppedAtTable.arg(stop.table)
                                                 : kStoppedBeforeRow.arg(stop.table)
                                                       .arg(stop.copied + 1)
                                                       .arg(stop.rows)
                                                       .arg(stop.nextRow);
    return where + QLatin1Char(' ') +
           kCopiedBeforeStop.arg(stop.table).arg(stop.copied).arg(stop.rows);
}

const QStringList& CopyOrder()
{
    static const QStringList order = [] {
        QStringList names;
        for (const CopyTable& table : copyTables())
            names << QString::fromLatin1(table.name);
        return names;
    }();
    return order;
}

namespace {
const CopyTable& copyTable(const QString& table)
{
    for (const CopyTable& plan : copyTables())
        if (table == QLatin1String(plan.name))
            return plan;
    throw db::Error(db::kItemNotFound, QStringLiteral("No table %1 is copied.").arg(table));
}
} // namespace

QString CopyInsertStatement(const QString& table, const db::AccessRecordset& rows, bool copyPhotos)
{
    return TableCopy(copyTable(table), rows, copyPhotos).insertStatement(rows);
}

QString PhotosNotCopiedSentence(qsizetype patients)
{
    if (patients <= 0)
        return QString();
    return patients == 1 ? kOnePhotoNotCopied : kPhotosNotCopied.arg(patients);
}

QString CheckAccessSource(const QString& source)
{
    for (const CopyTable& plan : copyTables()) {
        const QString table = QString::fromLatin1(plan.name);
        db::AccessRecordset rows;
        try {
            rows.open(QStringLiteral("SELECT * FROM ") + table, source);
        } catch (const db::Error& e) {
            if (e.number() != db::kMissingTable)
                return kSourceNotAccess.arg(e.description());
            if (IsStatisticsTable(table))
                continue;
            return kSourceTableMissing.arg(table);
        }
        for (const CopyColumn& column : plan.columns) {
            if (column.kind == Kind::Picture)
                continue;
            for (const char* name : {column.name, column.fallback})
                if (name && rows.fieldIndex(QString::fromLatin1(name)) < 0)
                    return kSourceColumnMissing.arg(table, QString::fromLatin1(name));
        }
    }
    return QString();
}

QStringList CopiedColumns(const QString& table)
{
    QStringList columns;
    for (const CopyTable& plan : copyTables())
        if (table == QLatin1String(plan.name))
            for (const CopyColumn& column : plan.columns)
                columns << QString::fromLatin1(column.name);
    return columns;
}

bool CopyFillsNull(const QString& table, const QString& column)
{
    for (const CopyTable& plan : copyTables())
        if (table == QLatin1String(plan.name))
            for (const CopyColumn& c : plan.columns)
                if (column == QLatin1String(c.name))
                    return c.kind == Kind::YesNo || c.whenNull || c.fallback;
    return false;
}

bool IsStatisticsTable(const QString& table)
{
    return CopyOrder().indexOf(table) >= CopyOrder().indexOf(QStringLiteral("T_Class"));
}

bool DefineImportTables(const QString& databaseName, const QString& destination,
                        dbport::Catalog& catalog, QString& error, ImportWork& work)
{
    QString currentTable;
    TestResultRegistry& registry = work.registry;
    work.report.append(kLineBreak + kImportDefineStart + databaseName);
    {
        const TestResultRegistry::SavedTogether oneSave(registry);
        for (const QString& table : RegistryTableOrder())
            registry.setValue(registrysections::kTables, table, values::kUnchecked);
    }
    const std::unique_ptr<dbport::Connection> connection = work.database.newConnection();
    try {
        connection->open(destination);
        for (const TableDef& table : ArchiveTables()) {
            // Each table's state reaches the file once, when its step ends.
            const TestResultRegistry::SavedTogether tableStep(registry);
            currentTable = q(table.name);
            if (!dbport::HasTable(catalog, currentTable)) {
                registry.setValue(registrysections::kTables, currentTable,
                                  values::kNotPresentTable);
                connection->execute(q(ImportTableStatement(table)));
            }
            registry.setValue(registrysections::kTables, currentTable, values::kPresent);
            work.report.append(kLineBreak + kTableWord + currentTable + kIsCorrect);
        }
        work.report.append(kLineBreak + kImportDefineFinish + databaseName);
        connection->close();
        work.batchesSent += connection->batchesSent();
        return true;
    } catch (const db::Error& e) {
        error = db::ErrorText(e);
    }
    work.batchesSent += connection->batchesSent();
    work.report.append(kLineBreak + kImportDefineError + currentTable + kLineBreak + error);
    dbport::CloseAfterFailure(connection.get());
    return false;
}

bool CheckAccessDuplicates(const QString& source, ImportWork& work)
{
    struct KeyQuery {
        const char* table;
        const char* column;
    };
    static const KeyQuery queries[] = {
        {"T_Patient", "ID_Patient"}, {"T_Exam", "ID_Multi"}, {"T_File", "ID_Exam"}};
    bool unique = true;
    for (const KeyQuery& query : queries) {
        const QString table = QString::fromLatin1(query.table);
        const QString column = QString::fromLatin1(query.column);
        db::AccessRecordset keys;
        keys.open(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM ") + table +
                      QStringLiteral(" ORDER BY ") + column,
                  source);
        std::optional<qint32> previous;
        for (; !keys.eof(); keys.moveNext()) {
            const QVariant value = keys.value(0);
            if (value.isNull())
                throw db::Error(db::kInvalidUseOfNull,
                                QStringLiteral("Invalid use of Null: a row of table %1 in the "
                                               "Access file has no %2")
                                    .arg(table, column));
            const qint32 key = value.toInt();
            if (previous && *previous == key) {
                unique = false;
                work.ui.showMessage(Message{kDuplicateOn + table + kDuplicateField + column +
                                                QLatin1Char(':') + db::SignedNumber(key),
                                            QString(), MessageIcon::None, MessageButtons::Ok});
            }
            previous = key;
        }
    }
    return unique;
}

namespace {

// Sets the meter for a table of rows; returns how far one row moves it.
float startTableMeter(Meter& meter, long long rows)
{
    if (rows == 0)
        meter.setMaximum(1, rows);
    else if (rows <= kMeterCap)
        meter.setMaximum(static_cast<int>(rows), rows);
    else {
        meter.setMaximum(kMeterCap, rows);
        return static_cast<float>(kMeterCap) / static_cast<float>(rows);
    }
    return 1.0f;
}

// What the copy of one table works with.
struct TableRun {
    ImportWork& work;
    Meter& meter;
    dbport::Connection& connection;
    const QString& table;
};

// Rows go to the server several hundred to a round trip, each batch in one transaction. A batch
// also ends at about 2 MB of statement text, so that rows with photos make small batches.
constexpr qsizetype kRowsPerBatch = 500;
constexpr qsizetype kBatchCharacters = 2 * 1024 * 1024;

// Rows read from the source and not yet stored, with what each adds to the report once it is.
struct PendingRows {
    struct Row {
        QString key; // the row's key value, to name it
        bool hasPhoto = false;
    };
    QStringList statements;
    std::vector<Row> rows;
    qsizetype characters = 0;

    void add(QString statement, Row row)
    {
        characters += statement.size();
        statements << std::move(statement);
        rows.push_back(std::move(row));
    }
    bool full() const
    {
        return statements.size() >= kRowsPerBatch || characters >= kBatchCharacters;
    }
    void clear()
    {
        statements.clear();
        rows.clear();
        characters = 0;
    }
};

// Stores the pending rows in one transaction. When the server refuses it, the rows are sent
// again one at a time: those before the refused row are stored as a row-by-row copy stores
// them, and the refused row is named; nothing after it is sent.
void storeRows(dbport::Connection& connection, const TableCopy& copy, const PendingRows& pending)
{
    if (pending.statements.size() > 1) {
        try {
            connection.executeAtomically(pending.statements);
            return;
        } catch (const db::Error& e) {
            if (e.number() != db::kServerError)
                throw;
        }
    }
    for (qsizetype i = 0; i < pending.statements.size(); ++i) {
        try {
            connection.execute(pending.statements[i]);
        } catch (const db::Error& e) {
            if (e.number() != db::kServerError)
                throw;
            throw copy.rejected(e, pending.rows[static_cast<size_t>(i)].key);
        }
    }
}

// Every row of the source table, in batches, the photos counted as they are stored. A stop
// request between two rows (or before the first) stores the rows read so far and ends the copy
// with StopNoticed, work.stopped set.
void copyRows(TableRun& run, const CopyTable& plan, db::AccessRecordset& rows)
{
    ImportWork& work = run.work;
    const long long n = rows.recordCount();
    const float step = startTableMeter(run.meter, n);
    float position = 0.0f;
    const TableCopy copy(plan, rows, work.copyPhotos);
    long long copied = 0;
    PendingRows pending;
    const auto store = [&] {
        storeRows(run.connection, copy, pending);
        for (const PendingRows::Row& row : pending.rows) {
            ++copied;
            if (row.hasPhoto) {
                if (work.copyPhotos)
                    ++work.photosCopied;
                else
                    work.photosLeft << row.key;
            }
        }
        pending.clear();
    };
    const auto stopHere = [&] {
        store();
        work.stopped =
            ImportStop{run.table, false, copied, n, rows.eof() ? QString() : copy.rowKey(rows)};
        throw StopNoticed{};
    };
    if (letEventsThrough(work))
        stopHere();
    run.meter.setLabel(kCopyingTable + run.table);

    while (!rows.eof()) {
        QString insert;
        try {
            insert = copy.insertStatement(rows);
        } catch (const db::Error&) {
            store(); // the rows before a source row that cannot be written are kept
            throw;
        }
        pending.add(std::move(insert), {copy.keyValue(rows), !copy.picture(rows).isNull()});
        if (pending.full())
            store();
        // The meter moves row by row as before; a row read and not yet stored is stored before
        // any stop takes effect.
        position += step;
        run.meter.rowDone(std::min(kMeterCap, static_cast<int>(std::nearbyint(position))));
        const bool stop = letEventsThrough(work);
        rows.moveNext();
        if (stop && !rows.eof())
            stopHere();
    }
    store();
}

// One table copied with its own identifiers. A statistics table the source lacks is passed by
// without a report line.
void copyOneTable(TableRun& run, const CopyTable& plan, const QString& source)
{
    const TableDef& schema = *FindArchiveTable(plan.name);
    db::AccessRecordset rows;
    const QString select = QStringLiteral("SELECT * FROM ") + run.table;
    if (IsStatisticsTable(run.table)) {
        try {
            rows.open(select, source);
        } catch (const db::Error& e) {
            if (e.number() == db::kMissingTable)
                return;
            throw;
        }
    }
    run.work.report.append(kLineBreak + kCopyingTable + run.table);
    const QString identityInsert = QStringLiteral("SET IDENTITY_INSERT ") + run.table;
    if (schema.hasIdentity())
        run.connection.execute(identityInsert + QStringLiteral(" ON"));
    if (!rows.isOpen())
        rows.open(select, source);
    copyRows(run, plan, rows);
    rows.close();
    if (schema.hasIdentity())
        run.connection.execute(identityInsert + QStringLiteral(" OFF"));
    run.work.report.append(kTableFullyImported);
}

// The version row that tells the clinical application its statistics are set up: the existing
// "stat_Init" row changed, or a new one when there is none.
void markStatisticsInitialised(dbport::Connection& connection, const QString& table)
{
    const QString field = QStringLiteral("FreeText");
    const std::unique_ptr<dbport::UpdatableRows> rows =
        connection.openUpdatable(QStringLiteral("SELECT * FROM ") + table);
    bool found = false;
    for (; !rows->eof(); rows->moveNext()) {
        if (rows->value(field).toString().toUpper().startsWith(kStatInitPrefix)) {
            rows->setValue(field, kStatInitTrue);
            rows->update();
            found = true;
            break;
        }
    }
    if (!found) {
        rows->addNew();
        rows->setValue(field, kStatInitTrue);
        rows->update();
    }
    rows->close();
}

// The table's keys, then its indexes through the catalogue.
void defineTableKeys(const TableDef& table, dbport::Connection& connection,
                     dbport::Catalog& catalog)
{
    const QString name = q(table.name);
    if (table.name == "T_DBVersion") {
        markStatisticsInitialised(connection, name);
    } else if (table.name != "T_StatisticFileType") {
        const std::string statement = ImportKeyStatement(table);
        if (!statement.empty())
            connection.execute(q(statement));
    }
    if (!table.indexColumns.empty()) {
        catalog.refresh();
        for (size_t i = 0; i < table.indexColumns.size(); ++i)
            catalog.appendIndex(name, q(table.indexName(i)), unbracketed(table.indexColumns[i]));
    }
}

} // namespace

bool CopyAccessData(const QString& databaseName, const QString& source, const QString& destination,
                    QString& error, ImportWork& work)
{
    QString currentTable;
    Meter meter(work.ui);
    work.report.append(kLineBreak + kCopyStart + databaseName);
    meter.start(kCopyingDataCaption, 1);
    const std::unique_ptr<dbport::Connection> connection = work.database.newConnection();
    try {
        connection->open(destination);
        TableRun run{work, meter, *connection, currentTable};
        for (const CopyTable& plan : copyTables()) {
            currentTable = QString::fromLatin1(plan.name);
            copyOneTable(run, plan, source);
        }
        work.report.append(kLineBreak + kCopyFinish + databaseName + kTablesFullyImported);
        meter.hide();
        connection->close();
        work.batchesSent += connection->batchesSent();
        return true;
    } catch (const db::Error& e) {
        error = db::ErrorText(e) + kLineBreak + kCopyingTableInError + currentTable;
    } catch (const StopNoticed&) {
        error.clear();
    }
    work.batchesSent += connection->batchesSent();
    meter.hide();
    if (work.stopped)
        work.report.append(kLineBreak + ImportStopReport(*work.stopped));
    else
        work.report.append(kLineBreak + kCopyError + currentTable + kLineBreak + error);
    dbport::CloseAfterFailure(connection.get());
    return false;
}

bool DefineImportKeys(const QString& databaseName, const QString& destination,
                      dbport::Catalog& catalog, QString& error, ImportWork& work)
{
    QString currentTable;
    Meter meter(work.ui);
    work.report.append(kLineBreak + kKeysStart + databaseName);
    meter.start(kKeysCaption, kKeyStepMeterMaximum);
    const std::unique_ptr<dbport::Connection> connection = work.database.newConnection();
    try {
        connection->open(destination);
        for (const TableDef& table : ArchiveTables()) {
            currentTable = q(table.name);
            meter.setLabel(kAboutTable + currentTable);
            meter.setValue(meter.value() + 1);
            if (letEventsThrough(work)) {
                work.stopped = ImportStop{currentTable, true, 0, 0, QString()};
                throw StopNoticed{};
            }
            defineTableKeys(table, *connection, catalog);
            work.report.append(kLineBreak + kTableWord + currentTable + kIsCorrect);
        }
        work.report.append(kLineBreak + kKeysFinish + databaseName);
        work.batchesSent += connection->batchesSent();
        connection->close();
        meter.hide();
        return true;
    } catch (const db::Error& e) {
        error = db::ErrorText(e);
    } catch (const StopNoticed&) {
        error.clear();
    }
    work.batchesSent += connection->batchesSent();
    meter.hide();
    if (work.stopped)
        work.report.append(kLineBreak + ImportStopReport(*work.stopped));
    else
        work.report.append(kLineBreak + kKeysError + currentTable + kLineBreak + error);
    dbport::CloseAfterFailure(connection.get());
    return false;
}

std::vector<TableRowCount> VerifyImportedRows(const QString& source, const QString& destination,
                                              ImportWork& work)
{
    std::vector<TableRowCount> counts;
    const std::unique_ptr<dbport::Connection> connection = work.database.newConnection();
    connection->open(destination);
    for (const QString& table : CopyOrder()) {
        TableRowCount count;
        count.table = table;
        db::AccessRecordset rows;
        try {
            rows.open(QStringLiteral("SELECT * FROM ") + table, source);
            count.source = rows.recordCount();
        } catch (const db::Error& e) {
            if (e.number() != db::kMissingTable || !IsStatisticsTable(table))
                throw;
            count.inSource = false;
        }
        rows.close();
        const dbport::ResultSet total =
            connection->query(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        count.destination = total.value(0, 0).toLongLong();
        work.report.append(
            kLineBreak + kTableWord + table + QLatin1Char(':') +
            (count.inSource ? QLatin1Char(' ') + QString::number(count.source) + kRowsInTheSource
                            : kNotInTheSource) +
            QString::number(count.destination) + kInTheDatabase);
        counts.push_back(count);
    }
    work.batchesSent += connection->batchesSent();
    connection->close();
    return counts;
}

} // namespace sqllumo::archive
