// Server-side file names (C:\Dir\File.mdf, /dir/file.mdf) mapped to files under the data root.
// Windows paths go under DIR/<drive letter>/..., absolute POSIX ones under DIR/...; components
// match existing entries without regard to case, as Windows names do. Nothing maps outside the
// root: "." and ".." components, links and names Windows would refuse are rejected.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace standin::server {

struct MappedPath {
    enum class Status {
        Ok,
        Relative,   // no drive and no leading separator
        BadName,    // empty, UNC, characters Windows refuses, not UTF-16 that names a file
        OutsideRoot // "." or "..", or a link on the way
    };
    Status status = Status::BadName;
    std::filesystem::path host; // set when Ok; the file itself need not exist
    bool ok() const { return status == Status::Ok; }
};

class PathMapper {
public:
    explicit PathMapper(std::filesystem::path root);
    MappedPath map(std::u16string_view serverPath) const;
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

// The parent folder of a server path, with its trailing separator ("C:\Dir\" for "C:\Dir\F.mdf").
std::u16string ServerDirectoryOf(std::u16string_view serverPath);
bool IsRelativeServerPath(std::u16string_view serverPath);

} // namespace standin::server
