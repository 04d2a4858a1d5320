// Keeping parsed batches by their shape: the tokens with every literal that became a literal
// expression left out, so that re-running one needs only its new values put in.
#include "BatchCache.h"

namespace standin::sql {

namespace {

// Past this many kept batches, or tokens in them, the cache starts again: a client that never
// repeats a batch shape (rows of an import, NULL here and a value there) must not make it grow.
constexpr size_t kMaxEntries = 128;
constexpr size_t kMaxTokens = 100000;

bool isLiteral(TokenKind kind)
{
    switch (kind) {
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::Binary:
        return true;
    default:
        return false;
    }
}

// Statements whose executors only read their statement (and bind names in it, again on every
// run); the others are parsed each time.
bool reusable(const StatementBody& body)
{
    return std::holds_alternative<SelectStmt>(body) || std::holds_alternative<InsertStmt>(body) ||
           std::holds_alternative<UpdateStmt>(body) || std::holds_alternative<DeleteStmt>(body) ||
           std::holds_alternative<SetOptionStmt>(body) ||
           std::holds_alternative<SetIdentityInsertStmt>(body) ||
           std::holds_alternative<TransactionStmt>(body) ||
           std::holds_alternative<DeclareStmt>(body) ||
           std::holds_alternative<SetVariableStmt>(body);
}

void appendNumber(std::u16string& key, size_t n)
{
    key.push_back(static_cast<char16_t>(n & 0xFFFF));
    key.push_back(static_cast<char16_t>(n >> 16));
}

// Every token's kind, line and text, literals without their text. Lines count because
// messages name them.
std::u16string shapeOf(const std::vector<Token>& tokens)
{
    std::u16string key;
    for (const Token& t : tokens) {
        key.push_back(static_cast<char16_t>(t.kind));
        appendNumber(key, static_cast<size_t>(t.line));
        if (!isLiteral(t.kind)) {
            appendNumber(key, t.text.size());
            key += t.text;
        }
    }
    return key;
}

} // namespace

struct BatchCache::Entry {
    std::vector<Statement> statements;
    ParseRecord record;
    // Literal tokens the parser read as part of the syntax (a type's length, TOP n, a SET
    // value): a batch with other texts there has another shape.
    std::vector<std::pair<size_t, std::u16string>> fixed;
    size_t tokens = 0;
    bool lent = false;
};

BatchCache::Lease::Lease(Lease&& other) noexcept
    : entry_(other.entry_), own_(std::move(other.own_)), reused_(other.reused_)
{
    other.entry_ = nullptr;
}

BatchCache::Lease::~Lease()
{
    if (entry_)
        entry_->lent = false;
}

std::vector<Statement>& BatchCache::Lease::statements()
{
    return entry_ ? entry_->statements : own_;
}

BatchCache::BatchCache() = default;
BatchCache::~BatchCache() = default;

BatchCache::Lease BatchCache::parse(const std::u16string& batch)
{
    std::vector<Token> tokens = tokenize(batch);
    std::u16string key = shapeOf(tokens);
    auto found = entries_.find(key);
    if (found != entries_.end() && !found->second->lent) {
        Entry& e = *found->second;
        bool same = true;
        for (const auto& [index, text] : e.fixed)
            same = same && tokens[index].text == text;
        if (same) {
            for (const auto& use : e.record.literals)
                setLiteral(*use.expr, tokens[use.token], use.negations);
            for (size_t i = 0; i < e.statements.size(); ++i) {
                const auto [first, end] = e.record.statements[i];
                const Token& last = tokens[end > first ? end - 1 : first];
                const size_t from = tokens[first].offset;
                e.statements[i].text = batch.substr(from, last.offset + last.length - from);
            }
            e.lent = true;
            return Lease(&e, true);
        }
    }
    auto entry = std::make_unique<Entry>();
    entry->statements = parseBatch(batch, tokens, entry->record);
    bool keep = true;
    for (const Statement& st : entry->statements)
        keep = keep && reusable(st.body);
    // Each literal token must have become exactly one literal expression, or be fixed syntax.
    std::vector<int> uses(tokens.size(), 0);
    for (const auto& use : entry->record.literals)
        ++uses[use.token];
    for (size_t i = 0; keep && i < tokens.size(); ++i) {
        if (!isLiteral(tokens[i].kind))
            continue;
        if (uses[i] > 1)
            keep = false;
        else if (uses[i] == 0)
            entry->fixed.emplace_back(i, tokens[i].text);
    }
    entry->tokens = tokens.size();
    if (!keep || entry->tokens > kMaxTokens || (found != entries_.end() && found->second->lent))
        return Lease(std::move(entry->statements));
    if (found != entries_.end()) {
        keptTokens_ -= found->second->tokens;
        entries_.erase(found);
    }
    if (entries_.size() >= kMaxEntries || keptTokens_ + entry->tokens > kMaxTokens) {
        keptTokens_ = 0;
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second->lent) {
                keptTokens_ += it->second->tokens;
                ++it;
            } else {
                it = entries_.erase(it);
            }
        }
    }
    keptTokens_ += entry->tokens;
    Entry* kept = entry.get();
    entries_[std::move(key)] = std::move(entry);
    kept->lent = true;
    return Lease(kept, false);
}

} // namespace standin::sql
