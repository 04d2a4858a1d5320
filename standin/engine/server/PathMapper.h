// Server-side file names (C:\Dir\File.mdf, /dir/file.mdf) mapped to files under the data root.
// Windows paths go under DIR/<drive letter>/..., absolute POSIX ones under DIR/...; components
// match existing entries without regard to case, as Windows names do. Nothing maps outside the
// root: "." and ".." components, links and names Windows would refuse are rejected, and so is any
// path onto the server's own files at the top of the root.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
    // `ownNames`: entries at the top of the root that belong to the server itself (its registry
    // folder, the sa password); no server path maps onto them or below them.
    explicit PathMapper(std::filesystem::path root, std::vector<std::string> ownNames = {});
    MappedPath map(std::u16string_view serverPath) const;
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    std::vector<std::u16string> ownNames_; // folded
};

// The parent folder of a server path, with its trailing separator ("C:\Dir\" for "C:\Dir\F.mdf").
std::u16string ServerDirectoryOf(std::u16string_view serverPath);
bool IsRelativeServerPath(std::u16string_view serverPath);

} // namespace standin::server
