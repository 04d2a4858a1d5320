// Recordsets: every row read at open with the hidden key and exact-text columns updates need,
// cursor moves over those rows, and field changes written back as statements of their own.
#include "Recordset.h"

#include "Connection.h"
#include "SelectStatement.h"
#include "Session.h"
#include "SqlText.h"
#include "UpdateBatch.h"

#include <deque>
#include <map>
#include <unordered_map>

namespace sqllumo::db {

namespace detail {

struct FieldInfo {
    QString name;
    int adoType = 0;
    long definedSize = 0;
    int table = -1;       // index into RecordsetState::tables; -1: not a base-table column
    BaseColumn base;      // valid when table >= 0
    bool hidden = false;  // fetched for the layer's own use (keys, exact text), not shown
    int exactFrom = -1;   // the hidden column holding this text field's exact UTF-16 bytes
    bool shadow = false;  // such a hidden column: read once, never a key
    QString expectedName; // what the server should call it, to check the plan against
};

struct PlanTable {
    QString quotedName; // [schema].[name] for INSERT and UPDATE
    QString reference;  // how the select list names it (alias or name)
    QString fromText;   // "[schema].[name] AS [alias]" for reading one row again
    QStringList primaryKey;
    std::vector<BaseColumn> columns;
};

struct RecordsetState {
    std::shared_ptr<Session> session;
    std::unique_ptr<Connection> ownConnection;
    int timeout = Connection::kDefaultCommandTimeout;
    bool updatable = false;

    std::vector<FieldInfo> fields;
    std::vector<int> visible; // indexes of the fields shown, in order
    // Names as callers spell them -> position among the visible fields: a loop reading a value
    // by name for every row would otherwise compare every name until it finds the field.
    std::unordered_map<QString, int> visibleByName;
    std::vector<PlanTable> tables;
    QString selectList; // the list as sent (with the hidden columns), for reading a new row again
    // The query's own condition, for finding again a row of a table without a key: all values
    // alone could also match another row that happens to hold the same ones.
    QString condition;

    std::vector<std::vector<QVariant>> rows;
    std::deque<ResultSetData> laterSets;
    long long position = 0; // -1: BOF; rows.size(): EOF
    bool open = false;

    enum class Edit { None, Change, New } edit = Edit::None;
    std::map<int, QVariant> changes; // field index -> new value

    // Per table: key text -> rows showing that table row (joins repeat rows).
    std::vector<std::optional<std::unordered_multimap<QString, size_t>>> keyIndex;

    // Updates of existing rows queued by update() while batching, one group per call, and how
    // many of those the last sendUpdates() put in the database.
    bool batching = false;
    std::vector<QStringList> queued;
    // The parts of every queued statement, in order: changes of one row that follow each other
    // travel together as one statement when the batch is sent whole.
    struct QueuedChange {
        QString statement;  // as sent alone
        QString table;      // quoted name
        QStringList key;    // the criteria that find the row
        QStringList sets;   // "[field] = value"
        QStringList checks; // the changed fields' values as read
        std::vector<int> fields;
    };
    std::vector<QueuedChange> queuedChanges;
    size_t updatesWritten = 0;
};

} // namespace detail

using detail::BaseColumn;
using detail::Decode;
using detail::FieldInfo;
using detail::PlanTable;
using detail::RecordsetState;
using detail::ResultSetData;

namespace {

[[noreturn]] void closedObject()
{
    throw Error(kClosedObject, texts::kClosedObject);
}

void setNativeFields(RecordsetState& d, const ResultSetData& set)
{
    d.fields.clear();
    d.visible.clear();
    d.visibleByName.clear();
    for (const auto& c : set.columns) {
        FieldInfo f;
        f.name = c.name;
        f.adoType = AdoTypeFromOdbc(c.sqlType, c.size);
        f.definedSize = static_cast<long>(std::min<unsigned long long>(c.size, 2147483647ULL));
        d.visible.push_back(static_cast<int>(d.fields.size()));
        d.fields.push_back(std::move(f));
    }
}

bool matchesTable(const QStringList& qualifier, const detail::TableReference& ref, const PlanTable&)
{
    if (qualifier.isEmpty())
        return false;
    if (!ref.alias.isEmpty())
        return qualifier.size() == 1 &&
               qualifier.front().compare(ref.alias, Qt::CaseInsensitive) == 0;
    if (qualifier.back().compare(ref.name.back(), Qt::CaseInsensitive) != 0)
        return false;
    return qualifier.size() < 2 || ref.name.size() < 2 ||
           qualifier[qualifier.size() - 2].compare(ref.name[ref.name.size() - 2],
                                                   Qt::CaseInsensitive) == 0;
}

// What the layer will fetch for a parsed SELECT: the select list as written (so names,
// ORDER BY and positions mean what they meant), each output column with where it comes from,
// and after it hidden columns: the exact UTF-16 bytes of text columns, and the keys updates
// need when the list lacks them.
struct Plan {
    std::vector<FieldInfo> fields;
    std::vector<PlanTable> tables;
    QStringList selectItems;
    std::vector<Decode> decode;
};

std::optional<Plan> makePlan(detail::Session& session, const detail::SelectStatement& s,
                             bool forUpdates, int timeout)
{
    Plan plan;
    for (const auto& ref : s.tables) {
        if (ref.name.size() > 2)
            return std::nullopt; // another database's table: left to the server as written
        const QString schema = ref.name.size() == 2 ? ref.name.front() : QString();
        const detail::TableInfo* info = session.table(schema, ref.name.back(), timeout);
        if (!info)
            return std::nullopt;
        PlanTable t;
        t.quotedName = QuotedQualifiedName({info->schema, info->name});
        t.reference = ref.text;
        t.fromText = QuotedQualifiedName(ref.name) +
                     (ref.alias.isEmpty() ? QString()
                                          : QStringLiteral(" AS ") + QuotedIdentifier(ref.alias));
        t.primaryKey = info->primaryKey;
        t.columns = info->columns;
        plan.tables.push_back(std::move(t));
    }
    auto visible = [&](int table, const BaseColumn* column, const QString& expectedName) {
        FieldInfo f;
        f.expectedName = expectedName;
        f.table = column ? table : -1;
        if (column) {
            f.base = *column;
            f.adoType = column->adoType;
            f.definedSize = column->definedSize;
        }
        plan.fields.push_back(std::move(f));
        plan.decode.push_back(Decode::Native);
    };
    for (const auto& item : s.items) {
        plan.selectItems << item.text;
        if (item.kind == detail::SelectItem::Kind::Star) {
            bool any = false;
            for (size_t i = 0; i < s.tables.size(); ++i) {
                if (!item.qualifier.isEmpty() &&
                    !matchesTable(item.qualifier, s.tables[i], plan.tables[i]))
                    continue;
                any = true;
                for (const auto& c : plan.tables[i].columns)
                    visible(static_cast<int>(i), &c, c.name);
            }
            if (!any)
                return std::nullopt;
            continue;
        }
        int table = -1;
        const BaseColumn* column = nullptr;
        bool ambiguous = false;
        if (item.kind == detail::SelectItem::Kind::Column) {
            for (size_t i = 0; i < s.tables.size() && !ambiguous; ++i) {
                if (!item.qualifier.isEmpty() &&
                    !matchesTable(item.qualifier, s.tables[i], plan.tables[i]))
                    continue;
                for (const auto& c : plan.tables[i].columns) {
                    if (c.name.compare(item.column, Qt::CaseInsensitive) != 0)
                        continue;
                    ambiguous = column != nullptr; // the server will say so
                    column = &c;
                    table = static_cast<int>(i);
                }
            }
        }
        visible(table, ambiguous ? nullptr : column,
                item.kind == detail::SelectItem::Kind::Column
                    ? (item.alias.isEmpty() ? item.column : item.alias)
                    : QString());
    }
    if (s.aggregated)
        return plan; // rows are not table rows: nothing to update, text read as the driver gives it
    int hiddenNumber = 0;
    auto hidden = [&](int table, const BaseColumn& column) {
        const PlanTable& t = plan.tables[static_cast<size_t>(table)];
        const QString reference = t.reference + QLatin1Char('.') + QuotedIdentifier(column.name);
        const QString plainName = QStringLiteral("sqllumo_hidden_%1").arg(++hiddenNumber);
        const QString name = QuotedIdentifier(plainName);
        FieldInfo f;
        f.expectedName = plainName;
        f.adoType = column.adoType;
        f.definedSize = column.definedSize;
        f.table = table;
        f.base = column;
        f.hidden = true;
        // Exact text: the column's UTF-16 bytes, not the driver's UTF-8 rendering of them.
        if (column.exactText()) {
            plan.selectItems << QStringLiteral("CAST(") + reference +
                                    QStringLiteral(" AS VARBINARY(MAX)) AS ") + name;
            plan.decode.push_back(Decode::Utf16Bytes);
        } else {
            plan.selectItems << reference + QStringLiteral(" AS ") + name;
            plan.decode.push_back(Decode::Native);
        }
        plan.fields.push_back(std::move(f));
        return static_cast<int>(plan.fields.size()) - 1;
    };
    const size_t shown = plan.fields.size();
    for (size_t i = 0; i < shown; ++i) {
        if (plan.fields[i].table >= 0 && plan.fields[i].base.exactText()) {
            const FieldInfo copy = plan.fields[i];
            const int from = hidden(copy.table, copy.base);
            plan.fields[static_cast<size_t>(from)].shadow = true;
            plan.fields[i].exactFrom = from;
        }
    }
    if (forUpdates) {
        // Keys the select list lacks come along unseen: the primary key, or every comparable
        // column of a table without one.
        for (size_t i = 0; i < plan.tables.size(); ++i) {
            const PlanTable& t = plan.tables[i];
            QStringList needed;
            if (!t.primaryKey.isEmpty())
                needed = t.primaryKey;
            else
                for (const auto& c : t.columns)
                    if (c.comparable())
                        needed << c.name;
            for (const QString& name : needed) {
                bool present = false;
                for (size_t f = 0; f < shown; ++f)
                    present = present ||
                              (plan.fields[f].table == static_cast<int>(i) &&
                               plan.fields[f].base.name.compare(name, Qt::CaseInsensitive) == 0);
                if (present)
                    continue;
                const auto it =
                    std::find_if(t.columns.begin(), t.columns.end(), [&](const BaseColumn& c) {
                        return c.name.compare(name, Qt::CaseInsensitive) == 0;
                    });
                if (it != t.columns.end()) {
                    const BaseColumn column = *it;
                    hidden(static_cast<int>(i), column);
                }
            }
        }
    }
    return plan;
}

bool planMatches(const Plan& plan, const ResultSetData& set)
{
    if (set.columns.size() != plan.fields.size())
        return false;
    for (size_t i = 0; i < plan.fields.size(); ++i) {
        const QString& expected = plan.fields[i].expectedName;
        if (!expected.isEmpty() && set.columns[i].name.compare(expected, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

QString keyText(const std::vector<QVariant>& row, const std::vector<int>& fields)
{
    QString key;
    for (int f : fields) {
        const QVariant& v = row[static_cast<size_t>(f)];
        key += v.isNull() ? QStringLiteral("\x01") : ValueLiteral(v);
        key += QChar(0x1F);
    }
    return key;
}

} // namespace

// ---------------------------------------------------------------------------------------

QString Field::name() const
{
    return owner_->d_->fields[static_cast<size_t>(owner_->d_->visible[static_cast<size_t>(index_)])]
        .name;
}

int Field::type() const
{
    return owner_->d_->fields[static_cast<size_t>(owner_->d_->visible[static_cast<size_t>(index_)])]
        .adoType;
}

long Field::definedSize() const
{
    return owner_->d_->fields[static_cast<size_t>(owner_->d_->visible[static_cast<size_t>(index_)])]
        .definedSize;
}

QVariant Field::value() const
{
    return owner_->value(index_);
}

void Field::setValue(const QVariant& value)
{
    RecordsetState& d = *owner_->d_;
    if (!d.open)
        closedObject();
    const int index = d.visible[static_cast<size_t>(index_)];
    const FieldInfo& f = d.fields[static_cast<size_t>(index)];
    if (!d.updatable)
        throw Error(kNotUpdatable, texts::kNotUpdatable);
    if (f.table < 0)
        throw Error(kNotUpdatable,
                    QStringLiteral("The field %1 is not a column of a table and cannot be updated.")
                        .arg(f.name));
    if (d.edit == RecordsetState::Edit::None) {
        if (owner_->bof() || owner_->eof())
            throw Error(kNoCurrentRow, texts::kNoCurrentRow);
        d.edit = RecordsetState::Edit::Change;
    }
    // A byte array given to a text column is stored as its hexadecimal text, two upper-case
    // digits per byte, as the OLE DB and ODBC conversion of binary to character data writes
    // it (the enciphered version row of a new archive is kept this way).
    if (value.typeId() == QMetaType::QByteArray && IsTextAdoType(f.adoType))
        d.changes[index] = UpperHex(value.toByteArray());
    else
        d.changes[index] = value;
}

int Fields::count() const
{
    if (!owner_->d_->open)
        closedObject();
    return static_cast<int>(owner_->d_->visible.size());
}

Field Fields::item(int index) const
{
    if (index < 0 || index >= count())
        throw Error(kItemNotFound, texts::kItemNotFound);
    return Field(owner_, index);
}

Field Fields::item(const QString& name) const
{
    auto& known = owner_->d_->visibleByName;
    if (const auto it = known.find(name); it != known.end())
        return Field(owner_, it->second);
    const int n = count();
    for (int i = 0; i < n; ++i) {
        const auto& f =
            owner_->d_->fields[static_cast<size_t>(owner_->d_->visible[static_cast<size_t>(i)])];
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) {
            known.emplace(name, i);
            return Field(owner_, i);
        }
    }
    throw Error(kItemNotFound, texts::kItemNotFound);
}

// ---------------------------------------------------------------------------------------

Recordset::Recordset() : d_(std::make_unique<RecordsetState>()) {}
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&& other) : d_(std::make_unique<RecordsetState>())
{
    std::swap(d_, other.d_);
}

Recordset& Recordset::operator=(Recordset&& other)
{
    if (this != &other) {
        close();
        std::swap(d_, other.d_);
    }
    return *this;
}

void Recordset::open(const QString& source, const QString& connectionString, CursorType cursor,
                     LockType lock)
{
    auto connection = std::make_unique<Connection>();
    connection->open(connectionString);
    open(source, *connection, cursor, lock);
    d_->ownConnection = std::move(connection);
}

void Recordset::open(const QString& source, Connection& connection, CursorType, LockType lock)
{
    close();
    if (!connection.isOpen())
        closedObject();
    d_ = std::make_unique<RecordsetState>();
    RecordsetState& d = *d_;
    d.session = connection.session();
    d.timeout = connection.commandTimeout();
    detail::Session& session = *d.session;

    QString statement = source;
    if (const auto name = detail::ParseTableName(source);
        name && name->size() <= 2 &&
        session.table(name->size() == 2 ? name->front() : QString(), name->back(), d.timeout))
        statement = QStringLiteral("SELECT * FROM ") + QuotedQualifiedName(*name);

    const QString written = statement;
    const bool wantsUpdates = lock == LockType::Optimistic;
    std::optional<Plan> plan;
    std::optional<detail::SelectStatement> parsed = detail::ParseSelect(statement);
    if (parsed)
        plan = makePlan(session, *parsed, wantsUpdates, d.timeout);
    if (plan) {
        d.selectList = plan->selectItems.join(QStringLiteral(", "));
        statement =
            parsed->head + QLatin1Char(' ') + d.selectList + QLatin1Char(' ') + parsed->tail;
    }

    detail::BatchResult result = session.run(statement, d.timeout, plan ? &plan->decode : nullptr);
    if (plan && !result.sets.empty() && !planMatches(*plan, result.sets.front())) {
        // The server named the columns otherwise than the catalogue led to expect: read the
        // statement as written instead, read-only, rather than guess which column is which.
        plan.reset();
        result = session.run(written, d.timeout);
    }
    if (result.sets.empty())
        return; // no result set: the recordset stays closed, as ADO leaves it
    ResultSetData& first = result.sets.front();
    if (plan) {
        d.fields = std::move(plan->fields);
        for (size_t i = 0; i < d.fields.size(); ++i) {
            FieldInfo& f = d.fields[i];
            const auto& c = first.columns[i];
            f.name = c.name;
            if (f.table < 0) {
                f.adoType = AdoTypeFromOdbc(c.sqlType, c.size);
                f.definedSize =
                    static_cast<long>(std::min<unsigned long long>(c.size, 2147483647ULL));
            }
            if (!f.hidden)
                d.visible.push_back(static_cast<int>(i));
        }
        // The exact text replaces the driver's rendering; its hidden copy is not kept twice.
        for (auto& row : first.rows)
            for (const FieldInfo& f : d.fields)
                if (f.exactFrom >= 0)
                    row[static_cast<size_t>(&f - d.fields.data())] =
                        std::move(row[static_cast<size_t>(f.exactFrom)]);
        if (parsed->tables.size() == 1 && parsed->tables.front().alias.isEmpty() &&
            !parsed->where.isEmpty())
            d.condition = QLatin1Char('(') + parsed->where + QLatin1Char(')');
        d.tables = std::move(plan->tables);
        d.keyIndex.resize(d.tables.size());
        d.updatable = wantsUpdates && !parsed->aggregated;
    } else {
        setNativeFields(d, first);
    }
    d.rows = std::move(first.rows);
    for (size_t i = 1; i < result.sets.size(); ++i)
        d.laterSets.push_back(std::move(result.sets[i]));
    d.position = 0;
    d.open = true;
}

bool Recordset::isOpen() const
{
    return d_->open;
}

bool Recordset::bof() const
{
    if (!d_->open)
        closedObject();
    return d_->rows.empty() || d_->position < 0;
}

bool Recordset::eof() const
{
    if (!d_->open)
        closedObject();
    return d_->rows.empty() || d_->position >= static_cast<long long>(d_->rows.size());
}

long long Recordset::recordCount() const
{
    if (!d_->open)
        closedObject();
    return static_cast<long long>(d_->rows.size());
}

void Recordset::moveFirst()
{
    if (!d_->open)
        closedObject();
    update();
    d_->position = 0;
}

void Recordset::moveLast()
{
    if (!d_->open)
        closedObject();
    update();
    d_->position = d_->rows.empty() ? 0 : static_cast<long long>(d_->rows.size()) - 1;
}

void Recordset::moveNext()
{
    if (eof())
        throw Error(kNoCurrentRow, texts::kNoCurrentRow);
    update();
    ++d_->position;
}

void Recordset::movePrevious()
{
    if (bof())
        throw Error(kNoCurrentRow, texts::kNoCurrentRow);
    update();
    --d_->position;
}

Fields Recordset::fields()
{
    if (!d_->open)
        closedObject();
    return Fields(this);
}

QVariant Recordset::value(const QString& name) const
{
    return Fields(const_cast<Recordset*>(this)).item(name).value();
}

QVariant Recordset::value(int index) const
{
    const RecordsetState& d = *d_;
    if (!d.open)
        closedObject();
    if (index < 0 || index >= static_cast<int>(d.visible.size()))
        throw Error(kItemNotFound, texts::kItemNotFound);
    const int field = d.visible[static_cast<size_t>(index)];
    if (auto it = d.changes.find(field); it != d.changes.end())
        return it->second;
    if (d.edit == RecordsetState::Edit::New)
        return QVariant();
    if (bof() || eof())
        throw Error(kNoCurrentRow, texts::kNoCurrentRow);
    return d.rows[static_cast<size_t>(d.position)][static_cast<size_t>(field)];
}

void Recordset::addNew()
{
    if (!d_->open)
        closedObject();
    if (!d_->updatable)
        throw Error(kNotUpdatable, texts::kNotUpdatable);
    update();
    d_->edit = RecordsetState::Edit::New;
    d_->changes.clear();
}

bool Recordset::editPending() const
{
    return d_->edit != RecordsetState::Edit::None;
}

void Recordset::cancelUpdate()
{
    d_->edit = RecordsetState::Edit::None;
    d_->changes.clear();
}

namespace {

// "[col] = value" that finds the row again; text is compared by its exact bytes.
QString criterion(const BaseColumn& column, const QVariant& original)
{
    const QString name = QuotedIdentifier(column.name);
    if (original.isNull())
        return name + QStringLiteral(" IS NULL");
    if (column.exactText())
        return QStringLiteral("CAST(") + name + QStringLiteral(" AS VARBINARY(MAX)) = ") +
               Utf16BinaryLiteral(original.toString());
    return name + QStringLiteral(" = ") + ValueLiteral(original);
}

long long affected(const detail::BatchResult& result)
{
    return result.rowCounts.empty() ? -1 : result.rowCounts.back();
}

// The one table whose fields a new row takes.
int newRowTable(const RecordsetState& d)
{
    int table = d.tables.size() == 1 ? 0 : -1;
    for (const auto& [field, value] : d.changes) {
        const int t = d.fields[static_cast<size_t>(field)].table;
        if (table >= 0 && t != table)
            throw Error(kNotUpdatable,
                        QStringLiteral("A new row can take the fields of one table only."));
        table = t;
    }
    if (table < 0)
        throw Error(kNotUpdatable,
                    QStringLiteral("A new row can take the fields of one table only."));
    return table;
}

QString insertStatement(const RecordsetState& d, const PlanTable& t)
{
    QStringList columns, values;
    for (const auto& [field, value] : d.changes) {
        columns << QuotedIdentifier(d.fields[static_cast<size_t>(field)].base.name);
        values << ValueLiteral(value);
    }
    QString insert = QStringLiteral("INSERT INTO ") + t.quotedName;
    insert += columns.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                : QStringLiteral(" (") + columns.join(QStringLiteral(", ")) +
                                      QStringLiteral(") VALUES (") +
                                      values.join(QStringLiteral(", ")) + QLatin1Char(')');
    return insert;
}

// An identity key the server chose is read back, so the new row can be changed again.
void takeIdentity(const RecordsetState& d, int table, const detail::BatchResult& result,
                  std::vector<QVariant>& row)
{
    const PlanTable& t = d.tables[static_cast<size_t>(table)];
    if (result.sets.empty() || result.sets.front().rows.empty() || t.primaryKey.size() != 1)
        return;
    const QVariant identity = result.sets.front().rows.front().front();
    for (size_t i = 0; i < d.fields.size(); ++i) {
        const FieldInfo& f = d.fields[i];
        if (f.table == table && !f.shadow &&
            f.base.name.compare(t.primaryKey.front(), Qt::CaseInsensitive) == 0 &&
            !identity.isNull() && !d.changes.count(static_cast<int>(i)))
            row[i] = f.base.adoType == adotype::kBigInt ? QVariant(identity.toLongLong())
                                                        : QVariant(identity.toInt());
    }
}

// With the whole key known, the new row is read again for the values the server gave it.
void rereadNewRow(detail::Session& session, const RecordsetState& d, std::vector<QVariant>& row)
{
    const PlanTable& t = d.tables.front();
    if (d.tables.size() != 1 || t.primaryKey.isEmpty())
        return;
    QStringList where;
    for (const QString& key : t.primaryKey) {
        for (size_t i = 0; i < d.fields.size(); ++i)
            if (d.fields[i].table == 0 && !d.fields[i].shadow &&
                d.fields[i].base.name.compare(key, Qt::CaseInsensitive) == 0 && !row[i].isNull()) {
                where << criterion(d.fields[i].base, row[i]);
                break;
            }
    }
    if (where.size() != t.primaryKey.size())
        return;
    std::vector<Decode> decode;
    for (const auto& f : d.fields)
        decode.push_back(f.hidden && f.table >= 0 && f.base.exactText() ? Decode::Utf16Bytes
                                                                        : Decode::Native);
    const detail::BatchResult again = session.run(
        QStringLiteral("SELECT ") + d.selectList + QStringLiteral(" FROM ") + t.fromText +
            QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND ")),
        d.timeout, &decode);
    if (again.sets.empty() || again.sets.front().rows.size() != 1 ||
        again.sets.front().rows.front().size() != row.size())
        return;
    row = again.sets.front().rows.front();
    for (size_t i = 0; i < d.fields.size(); ++i)
        if (d.fields[i].exactFrom >= 0)
            row[i] = std::move(row[static_cast<size_t>(d.fields[i].exactFrom)]);
}

void insertNewRow(detail::Session& session, RecordsetState& d)
{
    const int table = newRowTable(d);
    const PlanTable& t = d.tables[static_cast<size_t>(table)];
    const detail::BatchResult result = session.run(
        insertStatement(d, t) + QStringLiteral("; SELECT SCOPE_IDENTITY() AS sqllumo_identity"),
        d.timeout);
    if (!result.rowCounts.empty() && result.rowCounts.front() != 1)
        throw Error(kServerError, QStringLiteral("The new row was not inserted."));

    std::vector<QVariant> row(d.fields.size());
    for (const auto& [field, value] : d.changes)
        row[static_cast<size_t>(field)] = value;
    takeIdentity(d, table, result, row);
    rereadNewRow(session, d, row);
    d.rows.push_back(std::move(row));
    for (auto& index : d.keyIndex)
        index.reset();
    d.position = static_cast<long long>(d.rows.size()) - 1;
}

// The fields that find a row of the table again: its primary key, or where it has none, every
// field whose value compares exactly.
std::vector<int> locatingFields(const RecordsetState& d, int table)
{
    const PlanTable& t = d.tables[static_cast<size_t>(table)];
    std::vector<int> keyFields;
    if (!t.primaryKey.isEmpty()) {
        for (const QString& key : t.primaryKey) {
            for (size_t i = 0; i < d.fields.size(); ++i)
                if (d.fields[i].table == table && !d.fields[i].shadow &&
                    d.fields[i].base.name.compare(key, Qt::CaseInsensitive) == 0) {
                    keyFields.push_back(static_cast<int>(i));
                    break;
                }
        }
        if (keyFields.size() != static_cast<size_t>(t.primaryKey.size()))
            throw Error(kConnectionFailed, texts::kNoKeyColumns);
    } else {
        for (size_t i = 0; i < d.fields.size(); ++i)
            if (d.fields[i].table == table && !d.fields[i].shadow && d.fields[i].base.comparable())
                keyFields.push_back(static_cast<int>(i));
        if (keyFields.empty())
            throw Error(kConnectionFailed, texts::kNoKeyColumns);
    }
    return keyFields;
}

// The criteria that find the current row of the table, then those that hold only while the
// changed fields still hold what was read (optimistic).
struct Locating {
    QStringList key;
    QStringList checks;
    QString condition() const
    {
        return QStringLiteral(" WHERE ") + (key + checks).join(QStringLiteral(" AND "));
    }
};

Locating locatingCriteria(const RecordsetState& d, int table, const std::vector<int>& keyFields,
                          const std::vector<int>& changed, const std::vector<QVariant>& row)
{
    const PlanTable& t = d.tables[static_cast<size_t>(table)];
    Locating where;
    if (t.primaryKey.isEmpty() && !d.condition.isEmpty())
        where.key << d.condition;
    for (int f : keyFields)
        where.key << criterion(d.fields[static_cast<size_t>(f)].base, row[static_cast<size_t>(f)]);
    if (!t.primaryKey.isEmpty())
        for (int f : changed)
            if (d.fields[static_cast<size_t>(f)].base.comparable() &&
                std::find(keyFields.begin(), keyFields.end(), f) == keyFields.end())
                where.checks << criterion(d.fields[static_cast<size_t>(f)].base,
                                          row[static_cast<size_t>(f)]);
    return where;
}

// The recordset's rows that show the same table row as the current one (joins repeat rows).
std::vector<size_t> rowsShowingSame(RecordsetState& d, int table, const std::vector<int>& keyFields,
                                    const std::vector<QVariant>& row)
{
    std::vector<size_t> same;
    if (d.tables.size() < 2)
        return same;
    if (!d.tables[static_cast<size_t>(table)].primaryKey.isEmpty()) {
        auto& index = d.keyIndex[static_cast<size_t>(table)];
        if (!index) {
            index.emplace();
            for (size_t r = 0; r < d.rows.size(); ++r)
                index->emplace(keyText(d.rows[r], keyFields), r);
        }
        const auto [from, to] = index->equal_range(keyText(row, keyFields));
        for (auto it = from; it != to; ++it)
            same.push_back(it->second);
    } else {
        const QString key = keyText(row, keyFields);
        for (size_t r = 0; r < d.rows.size(); ++r)
            if (keyText(d.rows[r], keyFields) == key)
                same.push_back(r);
    }
    return same;
}

// Writes the changed fields of one table of the current row, or adds the statement to
// `deferred` and its parts to `parts` when given; they then become its values.
void updateTableRow(detail::Session& session, RecordsetState& d, int table,
                    const std::vector<int>& changed, QStringList* deferred,
                    std::vector<RecordsetState::QueuedChange>* parts)
{
    const PlanTable& t = d.tables[static_cast<size_t>(table)];
    auto& row = d.rows[static_cast<size_t>(d.position)];
    const std::vector<int> keyFields = locatingFields(d, table);
    const Locating locating = locatingCriteria(d, table, keyFields, changed, row);
    const QString condition = locating.condition();
    if (t.primaryKey.isEmpty()) {
        // Without a key several rows may match; count first, so none is changed then.
        const detail::BatchResult count = session.run(
            QStringLiteral("SELECT COUNT(*) FROM ") + t.quotedName + condition, d.timeout);
        const long long n = count.sets.empty() || count.sets.front().rows.empty()
                                ? -1
                                : count.sets.front().rows.front().front().toLongLong();
        if (n == 0 || n > 1)
            detail::RequireOneRow(n);
    }
    QStringList sets;
    for (int f : changed)
        sets << QuotedIdentifier(d.fields[static_cast<size_t>(f)].base.name) +
                    QStringLiteral(" = ") + ValueLiteral(d.changes[f]);
    const QString statement = QStringLiteral("UPDATE ") + t.quotedName + QStringLiteral(" SET ") +
                              sets.join(QStringLiteral(", ")) + condition;
    if (deferred) {
        *deferred << statement;
        parts->push_back({statement, t.quotedName, locating.key, sets, locating.checks, changed});
    } else
        detail::RequireOneRow(affected(session.run(statement, d.timeout)));

    const std::vector<size_t> same = rowsShowingSame(d, table, keyFields, row);
    const bool keyChanged = std::any_of(changed.begin(), changed.end(), [&](int f) {
        return std::find(keyFields.begin(), keyFields.end(), f) != keyFields.end();
    });
    for (size_t r : same)
        for (int f : changed)
            d.rows[r][static_cast<size_t>(f)] = d.changes[f];
    for (int f : changed)
        row[static_cast<size_t>(f)] = d.changes[f];
    if (keyChanged)
        d.keyIndex[static_cast<size_t>(table)].reset();
    for (int f : changed)
        d.changes.erase(f);
}

// The queued statements as the batch sends them together: a change of the same row of the same
// table right after another, setting other fields, joins it in one statement. Its criteria are
// those of both, which the row held before either change, as neither sets what the other reads.
QStringList togetherStatements(const std::vector<RecordsetState::QueuedChange>& changes)
{
    std::vector<RecordsetState::QueuedChange> merged;
    std::vector<bool> joined;
    merged.reserve(changes.size());
    for (const auto& change : changes) {
        if (!merged.empty()) {
            auto& last = merged.back();
            const bool disjoint =
                std::none_of(change.fields.begin(), change.fields.end(), [&](int f) {
                    return std::find(last.fields.begin(), last.fields.end(), f) !=
                           last.fields.end();
                });
            if (last.table == change.table && last.key == change.key && disjoint) {
                last.sets += change.sets;
                last.checks += change.checks;
                last.fields.insert(last.fields.end(), change.fields.begin(), change.fields.end());
                joined.back() = true;
                continue;
            }
        }
        merged.push_back(change);
        joined.push_back(false);
    }
    QStringList statements;
    statements.reserve(static_cast<qsizetype>(merged.size()));
    for (size_t i = 0; i < merged.size(); ++i) {
        const auto& m = merged[i];
        statements << (joined[i]
                           ? QStringLiteral("UPDATE ") + m.table + QStringLiteral(" SET ") +
                                 m.sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE ") +
                                 (m.key + m.checks).join(QStringLiteral(" AND "))
                           : m.statement);
    }
    return statements;
}

} // namespace

void Recordset::update()
{
    RecordsetState& d = *d_;
    if (!d.open)
        closedObject();
    if (d.edit == RecordsetState::Edit::None)
        return;
    if (!d.session->connected())
        closedObject();
    if (d.edit == RecordsetState::Edit::New) {
        // Queued updates go first, so the rows change in the order they were written.
        sendUpdates();
        insertNewRow(*d.session, d);
    } else {
        // Changed fields of the current row, table by table.
        std::map<int, std::vector<int>> byTable;
        for (const auto& [field, value] : d.changes)
            byTable[d.fields[static_cast<size_t>(field)].table].push_back(field);
        // A table without a key is counted before it is changed, which a queue cannot wait for.
        bool deferrable = d.batching;
        for (const auto& [table, changed] : byTable)
            deferrable = deferrable && !d.tables[static_cast<size_t>(table)].primaryKey.isEmpty();
        if (d.batching && !deferrable)
            sendUpdates();
        QStringList statements;
        std::vector<RecordsetState::QueuedChange> parts;
        for (const auto& [table, changed] : byTable)
            updateTableRow(*d.session, d, table, changed, deferrable ? &statements : nullptr,
                           deferrable ? &parts : nullptr);
        if (!statements.isEmpty()) {
            d.queued.push_back(std::move(statements));
            d.queuedChanges.insert(d.queuedChanges.end(), std::make_move_iterator(parts.begin()),
                                   std::make_move_iterator(parts.end()));
        }
    }
    d.edit = RecordsetState::Edit::None;
    d.changes.clear();
}

void Recordset::setBatchUpdates(bool on)
{
    if (!d_->open)
        closedObject();
    if (!on)
        sendUpdates();
    d_->batching = on;
}

void Recordset::sendUpdates()
{
    RecordsetState& d = *d_;
    if (!d.open)
        closedObject();
    d.updatesWritten = 0;
    if (d.queued.empty())
        return;
    if (!d.session->connected())
        closedObject();
    const std::vector<QStringList> queued = std::move(d.queued);
    d.queued.clear();
    const std::vector<RecordsetState::QueuedChange> changes = std::move(d.queuedChanges);
    d.queuedChanges.clear();
    detail::SendUpdateBatch(*d.session, queued, togetherStatements(changes), d.timeout,
                            d.updatesWritten);
}

size_t Recordset::updatesWritten() const
{
    return d_->updatesWritten;
}

bool Recordset::nextRecordset()
{
    RecordsetState& d = *d_;
    if (!d.open)
        closedObject();
    if (d.laterSets.empty()) {
        close();
        return false;
    }
    ResultSetData set = std::move(d.laterSets.front());
    d.laterSets.pop_front();
    setNativeFields(d, set);
    d.tables.clear();
    d.keyIndex.clear();
    d.updatable = false;
    d.rows = std::move(set.rows);
    d.position = 0;
    d.edit = RecordsetState::Edit::None;
    d.changes.clear();
    return true;
}

void Recordset::close()
{
    if (!d_)
        d_ = std::make_unique<RecordsetState>();
    // Pending changes that were never updated are dropped with the recordset.
    std::unique_ptr<Connection> own = std::move(d_->ownConnection);
    *d_ = RecordsetState();
    if (own)
        own->close();
}

} // namespace sqllumo::db
