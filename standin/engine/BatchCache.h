// A session's parsed batches, kept by their text with the literals left out: a batch that
// differs from an earlier one only in its literal values runs the earlier statements with the
// new values put in, without being parsed again.
#pragma once

#include "Parser.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace standin::sql {

class BatchCache {
    struct Entry;

public:
    // The statements of one batch, owned by the cache or, when they cannot be kept, by the
    // lease itself. A kept batch is lent to one caller at a time.
    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        std::vector<Statement>& statements();
        bool reused() const { return reused_; }

    private:
        friend class BatchCache;
        Lease(Entry* entry, bool reused) : entry_(entry), reused_(reused) {}
        explicit Lease(std::vector<Statement> own) : own_(std::move(own)) {}
        Entry* entry_ = nullptr;
        std::vector<Statement> own_;
        bool reused_ = false;
    };

    BatchCache();
    ~BatchCache();
    // Throws SqlError as parseBatch does.
    Lease parse(const std::u16string& batch);

private:
    std::unordered_map<std::u16string, std::unique_ptr<Entry>> entries_;
    size_t keptTokens_ = 0;
};

} // namespace standin::sql
