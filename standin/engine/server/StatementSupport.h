// What the statements that make, copy and remove database files share: the operating system
// error a refused path quotes and marks undone on every path out.
#pragma once

#include "CatalogImpl.h"
#include "DatabaseFiles.h"

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace standin::server {

// Which operating system error SQL Server would quote for a path we refuse.
const char16_t* OsErrorFor(MappedPath::Status status);
bool ParentIsDirectory(const std::filesystem::path& host);
bool PathExists(const std::filesystem::path& host);
// A backup device named without a folder lies in the default backup folder.
std::u16string CompleteDevice(const std::u16string& device);
bool IsAmong(const std::u16string& keyword, std::initializer_list<const char16_t*> list);
double SecondsSince(std::chrono::steady_clock::time_point start);

// Removes the mark of an operation in progress on every path out.
template <typename F> class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;
    ~Finally() { f_(); }

private:
    F f_;
};

} // namespace standin::server
