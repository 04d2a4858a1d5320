// The scripted port's connections, updatable rows and catalogue: each records what reaches it
// in the provider's one list and takes its answers from the provider's script.
#include "ScriptedDatabase.h"

#include <memory>
#include <ostream>

namespace sqllumo::dbport::testing {

namespace {

const char* kindName(Sent::Kind kind)
{
    switch (kind) {
    case Sent::Kind::Open:
        return "Open";
    case Sent::Kind::CatalogOpen:
        return "CatalogOpen";
    case Sent::Kind::Timeout:
        return "Timeout";
    case Sent::Kind::Execute:
        return "Execute";
    case Sent::Kind::Query:
        return "Query";
    case Sent::Kind::OpenUpdatable:
        return "OpenUpdatable";
    case Sent::Kind::Insert:
        return "Insert";
    case Sent::Kind::Update:
        return "Update";
    case Sent::Kind::WriteBytes:
        return "WriteBytes";
    case Sent::Kind::AppendIndex:
        return "AppendIndex";
    case Sent::Kind::RolledBack:
        return "RolledBack";
    case Sent::Kind::Close:
        return "Close";
    }
    return "?";
}

int indexOfName(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

[[noreturn]] void noCurrentRow()
{
    throw db::Error(db::kNoCurrentRow, db::texts::kNoCurrentRow);
}

// The rows of one answer, changed in place as the function writes them.
class ScriptedRows : public UpdatableRows {
public:
    ScriptedRows(ScriptedDatabase& database, QString select, const ResultSet& rows,
                 std::shared_ptr<long long> batches)
        : database_(database), select_(std::move(select)), columns_(rows.columns()),
          batches_(std::move(batches))
    {
        for (size_t r = 0; r < rows.rowCount(); ++r) {
            std::vector<QVariant> row;
            for (int c = 0; c < columns_.size(); ++c)
                row.push_back(rows.value(r, c));
            rows_.push_back(std::move(row));
        }
    }

    size_t rowCount() const override { return rows_.size(); }
    bool eof() const override { return !adding_ && position_ >= rows_.size(); }
    void moveFirst() override
    {
        discard();
        position_ = 0;
    }
    void moveNext() override
    {
        if (position_ >= rows_.size())
            noCurrentRow();
        discard();
        ++position_;
    }
    QVariant value(const QString& field) const override
    {
        for (const auto& [name, value] : pending_)
            if (name.compare(field, Qt::CaseInsensitive) == 0)
                return value;
        const int column = columnOf(field);
        if (adding_)
            return QVariant();
        if (position_ >= rows_.size())
            noCurrentRow();
        return rows_[position_][static_cast<size_t>(column)];
    }
    void addNew() override
    {
        discard();
        adding_ = true;
    }
    void setValue(const QString& field, const QVariant& value) override
    {
        columnOf(field);
        if (!adding_ && position_ >= rows_.size())
            noCurrentRow();
        for (auto& [name, pending] : pending_) {
            if (name.compare(field, Qt::CaseInsensitive) == 0) {
                pending = value;
                return;
            }
        }
        pending_.emplace_back(field, value);
    }
    void update() override
    {
        if (!adding_ && pending_.empty())
            return;
        database_.writing();
        ++*batches_;
        if (adding_) {
            database_.record({Sent::Kind::Insert, select_, pending_, -1});
            rows_.emplace_back(static_cast<size_t>(columns_.size()));
            position_ = rows_.size() - 1;
        } else {
            database_.record({Sent::Kind::Update, select_, pending_, static_cast<int>(position_)});
        }
        for (const auto& [name, value] : pending_) {
            const int column = indexOfName(columns_, name);
            if (column >= 0)
                rows_[position_][static_cast<size_t>(column)] = value;
        }
        discard();
    }
    void close() override { discard(); }

private:
    // An answer without columns takes any field; one with columns only its own, as a table does.
    int columnOf(const QString& field) const
    {
        const int column = indexOfName(columns_, field);
        if (column < 0 && !columns_.isEmpty())
            throw db::Error(db::kItemNotFound, db::texts::kItemNotFound);
        return column;
    }
    void discard()
    {
        pending_.clear();
        adding_ = false;
    }

    ScriptedDatabase& database_;
    QString select_;
    QStringList columns_;
    std::shared_ptr<long long> batches_; // the connection's count, which rows may outlive
    std::vector<std::vector<QVariant>> rows_;
    size_t position_ = 0;
    bool adding_ = false;
    Fields pending_;
};

class ScriptedConnection : public Connection {
public:
    explicit ScriptedConnection(ScriptedDatabase& database) : database_(database) {}
    ~ScriptedConnection() override
    {
        if (open_)
            database_.closing(true);
    }
    // Opening an open connection closes it first, as a real one does.
    void open(const QString& connectionString) override
    {
        database_.closing(open_);
        open_ = false;
        database_.opening(Sent::Kind::Open, connectionString);
        open_ = true;
    }
    void setCommandTimeout(int seconds) override
    {
        database_.record({Sent::Kind::Timeout, QString::number(seconds), {}, -1});
    }
    void execute(const QString& statement) override
    {
        requireOpen();
        ++*batches_;
        database_.record({Sent::Kind::Execute, statement, {}, -1});
        database_.respond(statement, false);
    }
    void executeAtomically(const QStringList& statements) override
    {
        requireOpen();
        ++*batches_;
        for (const QString& statement : statements)
            if (const std::optional<db::Error> error = database_.refusal(statement)) {
                database_.record(
                    {Sent::Kind::RolledBack, statements.join(QLatin1Char('\n')), {}, -1});
                throw *error;
            }
        for (const QString& statement : statements) {
            database_.record({Sent::Kind::Execute, statement, {}, -1});
            database_.respond(statement, false);
        }
    }
    ResultSet query(const QString& statement) override
    {
        requireOpen();
        ++*batches_;
        database_.record({Sent::Kind::Query, statement, {}, -1});
        return database_.respond(statement);
    }
    std::unique_ptr<UpdatableRows> openUpdatable(const QString& selectStatement) override
    {
        requireOpen();
        ++*batches_;
        database_.record({Sent::Kind::OpenUpdatable, selectStatement, {}, -1});
        return std::make_unique<ScriptedRows>(database_, selectStatement,
                                              database_.respond(selectStatement), batches_);
    }
    void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                const QByteArray& bytes) override
    {
        requireOpen();
        *batches_ += 2; // the select, then the row's update
        database_.respond(selectStatement);
        database_.writing();
        database_.record({Sent::Kind::WriteBytes, selectStatement, {{field, bytes}}, 0});
    }
    void close() override
    {
        database_.closing(open_);
        open_ = false;
    }
    long long batchesSent() const override { return *batches_; }

private:
    void requireOpen() const
    {
        if (!open_)
            throw db::Error(db::kClosedObject, db::texts::kClosedObject);
    }
    ScriptedDatabase& database_;
    bool open_ = false;
    // One per statement and per row written.
    std::shared_ptr<long long> batches_ = std::make_shared<long long>(0);
};

class ScriptedCatalog : public Catalog {
public:
    explicit ScriptedCatalog(ScriptedDatabase& database) : database_(database) {}
    ~ScriptedCatalog() override
    {
        if (open_)
            database_.closing(true);
    }
    // Binding a bound catalogue again closes its earlier connection first, as a real one does.
    void setActiveConnection(const QString& connectionString) override
    {
        database_.closing(open_);
        open_ = false;
        database_.opening(Sent::Kind::CatalogOpen, connectionString);
        open_ = true;
    }
    QStringList tableNames() override { return database_.tables(); }
    void refresh() override {}
    std::vector<CatalogColumn> columns(const QString& table) override
    {
        return database_.columnsOf(table);
    }
    void appendIndex(const QString& table, const QString& indexName, const QString& column) override
    {
        database_.record({Sent::Kind::AppendIndex,
                          QStringLiteral("%1 on %2 (%3)").arg(indexName, table, column),
                          {},
                          -1});
    }
    ResultSet query(const QString& statement) override
    {
        database_.record({Sent::Kind::Query, statement, {}, -1});
        return database_.respond(statement);
    }

private:
    ScriptedDatabase& database_;
    bool open_ = false;
};

} // namespace

void PrintTo(const Sent& sent, std::ostream* out)
{
    *out << kindName(sent.kind) << " \"" << sent.text.toStdString() << '"';
    if (sent.row >= 0)
        *out << " row " << sent.row;
    for (const auto& [name, value] : sent.values)
        *out << ' ' << name.toStdString() << '=' << value.toString().toStdString();
}

void ScriptedDatabase::answer(const QString& statement, ResultSet result)
{
    script_[statement].emplace_back(std::move(result));
}

void ScriptedDatabase::answer(const QString& statement, const QStringList& columns,
                              const std::vector<std::vector<QVariant>>& rows)
{
    answer(statement, ResultSet(columns, rows));
}

void ScriptedDatabase::fail(const QString& statement, const db::Error& error)
{
    script_[statement].emplace_back(error);
}

void ScriptedDatabase::failNextOpen(const db::Error& error)
{
    openFailures_.push_back(error);
}

void ScriptedDatabase::failWrite(int ordinal, const db::Error& error)
{
    writeFailures_.insert_or_assign(ordinal, error);
}

void ScriptedDatabase::setColumns(const QString& table, std::vector<CatalogColumn> columns)
{
    columns_[table] = std::move(columns);
}

QStringList ScriptedDatabase::statements() const
{
    QStringList texts;
    for (const Sent& s : sent_)
        if (s.kind == Sent::Kind::Execute || s.kind == Sent::Kind::Query ||
            s.kind == Sent::Kind::OpenUpdatable)
            texts << s.text;
    return texts;
}

std::vector<Sent> ScriptedDatabase::writes() const
{
    std::vector<Sent> rows;
    for (const Sent& s : sent_)
        if (s.kind == Sent::Kind::Insert || s.kind == Sent::Kind::Update)
            rows.push_back(s);
    return rows;
}

std::unique_ptr<Connection> ScriptedDatabase::newConnection()
{
    return std::make_unique<ScriptedConnection>(*this);
}

std::unique_ptr<Catalog> ScriptedDatabase::newCatalog()
{
    return std::make_unique<ScriptedCatalog>(*this);
}

void ScriptedDatabase::opening(Sent::Kind kind, const QString& connectionString)
{
    if (!openFailures_.empty()) {
        const db::Error error = openFailures_.front();
        openFailures_.pop_front();
        throw error;
    }
    record({kind, connectionString, {}, -1});
    ++openCount_;
}

void ScriptedDatabase::closing(bool wasOpen)
{
    if (!wasOpen)
        return;
    record({Sent::Kind::Close, QString(), {}, -1});
    --openCount_;
}

ResultSet ScriptedDatabase::respond(const QString& statement, bool wantsRows)
{
    const auto found = script_.find(statement);
    if (found == script_.end() || found->second.empty()) {
        if (wantsRows)
            unscripted_ << statement;
        return ResultSet(QStringList(), {});
    }
    std::deque<Step>& steps = found->second;
    const Step step = steps.front();
    if (steps.size() > 1)
        steps.pop_front();
    if (const auto* error = std::get_if<db::Error>(&step))
        throw *error;
    return std::get<ResultSet>(step);
}

std::optional<db::Error> ScriptedDatabase::refusal(const QString& statement) const
{
    const auto found = script_.find(statement);
    if (found == script_.end() || found->second.empty())
        return std::nullopt;
    if (const auto* error = std::get_if<db::Error>(&found->second.front()))
        return *error;
    return std::nullopt;
}

void ScriptedDatabase::writing()
{
    ++writes_;
    const auto failure = writeFailures_.find(writes_);
    if (failure != writeFailures_.end())
        throw failure->second;
}

std::vector<CatalogColumn> ScriptedDatabase::columnsOf(const QString& table) const
{
    const auto found = columns_.find(table);
    if (found == columns_.end())
        throw db::Error(db::kItemNotFound, db::texts::kItemNotFound);
    return found->second;
}

} // namespace sqllumo::dbport::testing
