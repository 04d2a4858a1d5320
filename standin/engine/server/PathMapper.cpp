// Mapping server-side file names onto files under the stand-in's data root.
#include "PathMapper.h"

#include "../Text.h"
#include "ServerText.h"

#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace standin::server {

namespace {
bool isSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

bool isDriveLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool refusedCharacter(char16_t c)
{
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
           c == u'*';
}

std::vector<std::u16string> split(std::u16string_view text)
{
    std::vector<std::u16string> parts;
    std::u16string current;
    for (char16_t c : text) {
        if (isSeparator(c)) {
            if (!current.empty())
                parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty())
        parts.push_back(std::move(current));
    return parts;
}

// An existing entry of `directory` whose name matches `name` without regard to case.
std::optional<fs::path> findNoCase(const fs::path& directory, const std::u16string& name)
{
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec)
        return std::nullopt;
    const std::u16string folded = FoldCase(name);
    for (const auto& entry : it) {
        const std::u16string entryName = text::fromUtf8(entry.path().filename().native());
        if (FoldCase(entryName) == folded)
            return entry.path();
    }
    return std::nullopt;
}
} // namespace

PathMapper::PathMapper(fs::path root, std::vector<std::string> ownNames) : root_(std::move(root))
{
    for (const auto& name : ownNames)
        ownNames_.push_back(FoldCase(text::fromUtf8(name)));
}

bool IsRelativeServerPath(std::u16string_view p)
{
    if (!p.empty() && isSeparator(p[0]))
        return false;
    if (p.size() >= 3 && isDriveLetter(p[0]) && p[1] == u':' && isSeparator(p[2]))
        return false;
    return true;
}

MappedPath PathMapper::map(std::u16string_view serverPath) const
{
    MappedPath result;
    if (serverPath.empty())
        return result;
    std::vector<std::u16string> parts;
    if (serverPath.size() >= 2 && isSeparator(serverPath[0]) && isSeparator(serverPath[1])) {
        return result; // UNC shares are not served
    } else if (serverPath.size() >= 2 && isDriveLetter(serverPath[0]) && serverPath[1] == u':') {
        if (serverPath.size() < 3 || !isSeparator(serverPath[2])) {
            result.status = MappedPath::Status::Relative;
            return result;
        }
        const char16_t drive = FoldCase(serverPath.substr(0, 1))[0];
        parts.push_back(std::u16string(1, drive));
        for (auto& part : split(serverPath.substr(3)))
            parts.push_back(std::move(part));
    } else if (isSeparator(serverPath[0])) {
        parts = split(serverPath.substr(1));
    } else {
        result.status = MappedPath::Status::Relative;
        return result;
    }
    if (parts.empty())
        return result;
    for (const auto& part : parts) {
        if (part == u"." || part == u"..") {
            result.status = MappedPath::Status::OutsideRoot;
            return result;
        }
        for (char16_t c : part)
            if (refusedCharacter(c))
                return result;
        if (part.back() == u' ' || part.back() == u'.')
            return result; // Windows would silently strip these and name another file
    }

    // Compared as the case-blind lookup below would match them.
    for (const auto& own : ownNames_)
        if (FoldCase(parts.front()) == own) {
            result.status = MappedPath::Status::OutsideRoot;
            return result;
        }

    fs::path current = root_;
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto utf8 = ToUtf8(parts[i]);
        if (!utf8)
            return result;
        fs::path candidate = current / *utf8;
        std::error_code ec;
        auto status = fs::symlink_status(candidate, ec);
        if (!fs::exists(status)) {
            if (auto match = findNoCase(current, parts[i])) {
                candidate = *match;
                status = fs::symlink_status(candidate, ec);
            }
        }
        if (fs::is_symlink(status)) {
            result.status = MappedPath::Status::OutsideRoot;
            return result;
        }
        current = candidate;
    }
    result.status = MappedPath::Status::Ok;
    result.host = current;
    return result;
}

std::u16string ServerDirectoryOf(std::u16string_view serverPath)
{
    const size_t at = serverPath.find_last_of(u"\\/");
    if (at == std::u16string_view::npos)
        return {};
    return std::u16string(serverPath.substr(0, at + 1));
}

} // namespace standin::server
