// Reads back what the writer produced through Debian's libmdb, the independent judge: every
// cell with its NULL flag, its text as libmdb renders it, its stored bytes and long values.
#pragma once

#include "MdbWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mdbwriter::testing {

struct Cell {
    bool null = false;
    std::string text;                    // libmdb's rendering (UTF-8); Yes/No as "1" / "0"
    std::vector<std::uint8_t> stored;    // the bytes in the row (fixed columns, text as stored)
    std::vector<std::uint8_t> longValue; // OLE: the whole value, however it is stored
};

struct ReadColumn {
    std::string name;
    int type = 0;
    int size = 0;
    bool autoNumber = false;
};

struct ReadTable {
    std::string name;
    long declaredRows = 0; // the count the definition carries
    std::vector<ReadColumn> columns;
    std::vector<std::vector<Cell>> rows;
};

// Throws std::runtime_error when libmdb cannot open the file or the table.
ReadTable readTable(const std::string& path, const std::string& table);
std::vector<std::string> userTables(const std::string& path);

// Runs a command and returns what it wrote to stdout; throws when it fails.
std::string runCommand(const std::string& command);

// A temporary folder, removed with everything in it at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Test names for tests run once per file version.
inline std::string versionName(JetVersion version)
{
    return version == JetVersion::Jet4 ? "Jet4" : "Jet3";
}

} // namespace mdbwriter::testing
