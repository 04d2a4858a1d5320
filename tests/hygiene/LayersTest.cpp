// The floors of src/: every quoted include goes from a folder down to a lower floor, never
// across one floor or up, so no library needs one above it and the include graph has no circle.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Top to bottom; a folder not named here sits on the floor of its nearest named parent.
const std::vector<std::vector<std::string>> kFloors = {
    {"app", "cli"},
    {"window/password", "window/shifting", "window/help"},
    {"window"},
    {"catalogue"},
    {"server"},
    {"archive", "password", "shifting"},
    {"shell/testing"},
    {"shell"},
    {"db/port"},
    {"db"},
    {"dbport/testing"},
    {"dbport", "schema", "access"},
    {"db/types", "db/errors", "rolefunctionsheet"},
};

const fs::path kSrc = fs::path(SQLLUMO_SOURCE_DIR) / "src";

struct Include {
    std::string from; // folder of the including file, relative to src/
    std::string file;
    std::string header;
    std::string to; // folder of the header, relative to src/
};

std::string folderOf(const fs::path& file)
{
    return file.parent_path().lexically_relative(kSrc).generic_string();
}

// The named folder a folder belongs to: itself or its nearest named parent; empty for none.
std::string namedFolder(std::string folder, const std::map<std::string, int>& floorOf)
{
    while (!folder.empty() && folder != "." && !floorOf.count(folder)) {
        const auto slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    return floorOf.count(folder) ? folder : std::string();
}

std::vector<Include> includesOfSrc()
{
    std::vector<fs::path> files;
    std::map<std::string, std::vector<fs::path>> headersByName;
    for (const auto& entry : fs::recursive_directory_iterator(kSrc)) {
        const auto ext = entry.path().extension();
        if (ext == ".h" || ext == ".cpp")
            files.push_back(entry.path());
        if (ext == ".h")
            headersByName[entry.path().filename().string()].push_back(entry.path());
    }
    static const std::regex quoted(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<Include> includes;
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        std::smatch m;
        while (std::getline(in, line)) {
            if (!std::regex_search(line, m, quoted))
                continue;
            const std::string header = m[1];
            // As the compiler looks: beside the file first, then the targets' include folders.
            fs::path found = file.parent_path() / header;
            if (!fs::exists(found)) {
                const auto named = headersByName.find(fs::path(header).filename().string());
                if (named == headersByName.end())
                    continue; // generated or from outside src/
                EXPECT_EQ(named->second.size(), 1u) << header << " names several headers";
                found = named->second.front();
            }
            includes.push_back({folderOf(file), file.filename().string(), header,
                                folderOf(found.lexically_normal())});
        }
    }
    return includes;
}

TEST(LayersTest, EveryIncludeInSrcGoesDownToALowerFloor)
{
    std::map<std::string, int> floorOf;
    for (size_t i = 0; i < kFloors.size(); ++i)
        for (const auto& folder : kFloors[i])
            floorOf[folder] = int(i);

    const auto includes = includesOfSrc();
    ASSERT_GT(includes.size(), 100u) << "no includes read from " << kSrc;
    std::set<std::string> unplaced;
    for (const auto& inc : includes) {
        const std::string from = namedFolder(inc.from, floorOf);
        const std::string to = namedFolder(inc.to, floorOf);
        if (from.empty() || to.empty()) {
            unplaced.insert(from.empty() ? inc.from : inc.to);
            continue;
        }
        if (from == to)
            continue;
        EXPECT_LT(floorOf[from], floorOf[to])
            << "src/" << inc.from << "/" << inc.file << " includes " << inc.header << " of src/"
            << inc.to
            << (floorOf[from] == floorOf[to] ? ", a folder on its own floor"
                                             : ", a folder above it");
    }
    for (const auto& folder : unplaced)
        ADD_FAILURE() << "src/" << folder << " stands on no floor: name it in kFloors";
}

TEST(LayersTest, EveryFloorNamesFoldersThatExist)
{
    for (const auto& floor : kFloors)
        for (const auto& folder : floor)
            EXPECT_TRUE(fs::is_directory(kSrc / folder)) << "src/" << folder;
}

} // namespace
