// Makes up a sample archive table by table from the archive schema; every value follows from
// the seed, so the same options always give the same file.
#include "SampleArchive.h"

#include "ArchiveSchema.h"
#include "TextEncoding.h"

#include <algorithm>
#include <map>

namespace mdbwriter {
namespace {

using sqllumo::archive::ArchiveTables;
using sqllumo::archive::ColumnDef;
using sqllumo::archive::TableDef;

std::string bare(const std::string& name)
{
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        return name.substr(1, name.size() - 2);
    return name;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    long long between(long long low, long long high) // both included
    {
        return low + static_cast<long long>(next() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool oneIn(long long n) { return n > 0 && next() % static_cast<std::uint64_t>(n) == 0; }
    template <typename T> const T& pick(const std::vector<T>& from)
    {
        return from[next() % from.size()];
    }

private:
    std::uint64_t state_;
};

// Cuts UTF-8 text to at most `length` characters (all pool texts are in the basic plane).
std::string cut(const std::string& text, int length)
{
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == length)
            return text.substr(0, i);
    }
    return text;
}

struct Pools {
    std::map<std::string, std::vector<std::string>> byName;

    explicit Pools(JetVersion version)
    {
        byName = {
            {"L_Name", {"Rossi",    "Bianchi", "O'Brien",     "D'Angelo",   "Müller",
                        "Nuñez",    "Ødegård", "Łukasiewicz", "Dell'Acqua", "Papadopoulos",
                        "Ζαχαρίου", "Smith",   "García",      "Lefèvre",    "Kowalczyk",
                        "Dvořák",   "Şahin",   "Björk",       "Esposito",   "Ricci"}},
            {"F_Name",
             {"Maria", "Giuseppe", "Anna", "Seán", "José", "Zoë", "Ελένη", "François", "Jürgen",
              "Agnieszka", "Luca", "Chiara", "Noël", "Ines", "Marco", "Giulia"}},
            {"Title", {"Sig.", "Sig.ra", "Dr.", "Prof.", "Mr", "Mrs"}},
            {"Address",
             {"Via dell'Orso 12", "Piazza Garibaldi 3", "Rue de l'Église 7", "Hauptstraße 21",
              "Calle Mayor 5", "Ul. Świętokrzyska 9", "1 King's Road", "Corso Italia 100/B"}},
            {"City",
             {"Bologna", "L'Aquila", "Forlì", "Zürich", "Łódź", "Sankt Pölten", "Cefalù",
              "Reggio nell'Emilia", "Milano", "Torino", "Genova", "Málaga", "Besançon"}},
            {"Province", {"BO", "AQ", "FC", "MI", "TO", "GE", "PA", "RM", "NA", "FI"}},
            {"Country", {"Italia", "España", "Österreich", "Schweiz", "France", "Polska", "UK"}},
            {"Hosp_Dep",
             {"Neurologia", "Neurofisiologia", "Pediatria", "Terapia Intensiva",
              "Medicina d'Urgenza", "Neurochirurgia"}},
            {"Marker", {"Red", "Green", "Blue", "Yellow", "Urgent", "Follow-up", "Don't archive"}},
            {"Description", {"Local disk", "DVD archive", "Network share \\\\srv\\eeg"}},
            {"File_Type",
             {"EEG Trace", "EP Trace", "EMG Trace", "REPORT Document", "EEG Video", "SLEEP",
              "Paroxysm", "REPORT Word"}},
            {"Comment",
             {"", "Patient didn't sleep", "Normal tracing", "Artefacts on channel T3 – repeat",
              "Follow-up in 6 months", "Crisi all'addormentamento", "Réf. dossier n° 12",
              "Background “slow”, see report"}},
            {"Words", {"alpha", "beta", "theta", "delta", "spike", "wave", "sleep", "awake"}},
        };
        if (version == JetVersion::Jet3) {
            for (auto& [name, values] : byName) {
                std::erase_if(values, [](const std::string& v) {
                    return !encoding::cp1252FromUtf16(*encoding::utf16FromUtf8(v)).has_value();
                });
            }
        }
    }
    const std::vector<std::string>& operator[](const std::string& name) const
    {
        return byName.at(name);
    }
};

// Rows each table receives.
std::map<std::string, long long> tableSizes(const SampleOptions& o)
{
    return {{"T_DBVersion", 1},
            {"T_Marker", 8},
            {"T_City", 40},
            {"T_Province", 20},
            {"T_Country", 12},
            {"T_Hosp_Dep", 10},
            {"T_Doc_Tech", 20},
            {"T_Patient", o.patients},
            {"T_Exam", o.exams},
            {"T_Storage", 3},
            {"T_File_Type", 12},
            {"T_File", o.files},
            {"T_Class", 5},
            {"T_Item", 20},
            {"T_SubItem", 50},
            {"T_Statistic", o.statistics >= 0 ? o.statistics : o.files / 10},
            {"T_StatisticMask", 3},
            {"T_StatisticList", 40},
            {"T_StatisticSearch", 10},
            {"T_StatisticFileType", 6}};
}

class Generator {
public:
    Generator(const SampleOptions& options)
        : options_(options), random_(options.seed), pools_(options.version),
          sizes_(tableSizes(options))
    {
        for (const TableDef& t : ArchiveTables()) {
            if (t.hasIdentity())
                tableOfKey_[t.identityColumn] = t.name;
        }
        tableOfKey_["ID_File_Type"] = "T_File_Type";
        tableOfKey_["ID_Doc"] = tableOfKey_["ID_Tech"] = tableOfKey_["ID_Doc_Req"] = "T_Doc_Tech";
    }

    long long size(const std::string& table) const { return sizes_.at(table); }

    std::vector<Value> row(const TableDef& table, long long id)
    {
        std::vector<Value> values;
        if (table.hasIdentity())
            values.emplace_back(id);
        for (const ColumnDef& c : table.columns)
            values.push_back(value(table, c, id));
        return values;
    }

private:
    Value value(const TableDef& table, const ColumnDef& column, long long id)
    {
        const std::string name = bare(column.name);
        const std::string& def = column.importDefinition;
        const bool nullable = def.find("NOT NULL") == std::string::npos;
        if (startsWith(def, "INT"))
            return integer(name, nullable, id);
        if (startsWith(def, "BIT"))
            return random_.oneIn(2);
        if (startsWith(def, "TINYINT"))
            return random_.between(0, 9);
        if (startsWith(def, "SMALLINT")) {
            if (name == "Height")
                return random_.between(45, 205);
            if (name == "Weight")
                return random_.between(3, 150);
            return random_.between(0, 100);
        }
        if (startsWith(def, "DATETIME")) {
            if (nullable && random_.oneIn(6))
                return Null{};
            return name == "B_Date" ? birthDate() : timestamp();
        }
        if (startsWith(def, "IMAGE")) {
            if (!random_.oneIn(40))
                return Null{};
            Bytes photo(static_cast<std::size_t>(random_.between(16, 9000)));
            for (auto& b : photo)
                b = static_cast<std::uint8_t>(random_.next());
            return photo;
        }
        const int length = AccessColumn(column).length;
        if (nullable && random_.oneIn(8))
            return Null{};
        return cut(text(table, name, id), length);
    }

    Value integer(const std::string& name, bool nullable, long long id)
    {
        const auto key = tableOfKey_.find(name);
        if (key != tableOfKey_.end()) {
            if (nullable && random_.oneIn(5))
                return Null{};
            const long long count = std::max(1LL, sizes_.at(key->second));
            if (options_.damaged && random_.oneIn(500))
                return count + random_.between(1, 1000); // no such row
            return random_.between(1, count);
        }
        if (nullable && random_.oneIn(4))
            return Null{};
        if (name == "Duration")
            return random_.between(60, 7200);
        if (name == "FileLen")
            return random_.between(1000, 50000000);
        if (startsWith(name, "Ord_"))
            return id;
        return random_.between(0, 500);
    }

    // Mostly ordinary birthdays; a few on or before 1899-12-30, where the stored day count is
    // zero or negative, and a few with a time of day.
    Value birthDate()
    {
        if (random_.oneIn(400)) {
            static const std::vector<DateTime> early{{1899, 12, 30},
                                                     {1899, 12, 29, 6, 0, 0},
                                                     {1850, 6, 15},
                                                     {1753, 1, 1},
                                                     {1896, 2, 29, 12, 30, 45}};
            return random_.pick(early);
        }
        DateTime d{static_cast<int>(random_.between(1915, 2023)),
                   static_cast<int>(random_.between(1, 12)),
                   static_cast<int>(random_.between(1, 28))};
        if (random_.oneIn(20)) {
            d.hour = static_cast<int>(random_.between(0, 23));
            d.minute = static_cast<int>(random_.between(0, 59));
            d.second = static_cast<int>(random_.between(0, 59));
        }
        return d;
    }

    Value timestamp()
    {
        return DateTime{static_cast<int>(random_.between(1995, 2024)),
                        static_cast<int>(random_.between(1, 12)),
                        static_cast<int>(random_.between(1, 28)),
                        static_cast<int>(random_.between(0, 23)),
                        static_cast<int>(random_.between(0, 59)),
                        static_cast<int>(random_.between(0, 59))};
    }

    // Look-up tables name their rows in order, so the same identifier always means the same
    // thing; other texts are drawn at random, now and then empty.
    std::string text(const TableDef& table, const std::string& name, long long id)
    {
        const auto lookUp = [&](const std::string& pool) {
            const auto& values = pools_[pool];
            const auto index = static_cast<std::size_t>(id - 1);
            const std::string& base = values[index % values.size()];
            return index < values.size() ? base
                                         : base + " " + std::to_string(index / values.size() + 1);
        };
        if (name == "FreeText")
            return "Version:1.01";
        if (pools_.byName.count(name) && name != "Comment" && name != "L_Name" &&
            name != "F_Name" && name != "Title" && name != "Address")
            return lookUp(name);
        if (startsWith(name, "Descr_"))
            return lookUp("Words");
        if (name == "File_Prefix")
            return id % 3 == 0 ? "EEG" : id % 3 == 1 ? "EP" : "EMG";
        if (name == "File_Ext")
            return id % 4 == 0 ? "AVI" : "TRC";
        if (name == "Code")
            return "EX" + std::to_string(id);
        if (name == "Zip_Code")
            return std::to_string(random_.between(10000, 99999));
        if (startsWith(name, "Tel_"))
            return random_.oneIn(5) ? ""
                                    : "+39 051 " + std::to_string(random_.between(100000, 999999));
        if (name == "Path_Local" || name == "Path_Archive")
            return (name == "Path_Local" ? "C:\\EEG\\" : "\\\\archive\\eeg\\") +
                   std::to_string(id) + ".TRC";
        if (random_.oneIn(30))
            return ""; // an empty text, not a NULL
        if (name == "M_Name")
            return random_.oneIn(3) ? random_.pick(pools_["F_Name"]) : "";
        if (pools_.byName.count(name))
            return random_.pick(pools_[name]);
        if (name == "Used_By" || startsWith(name, "Free") || name == "File_Exclude")
            return "";
        (void)table;
        return random_.pick(pools_["Words"]) + " " + random_.pick(pools_["Words"]);
    }

    const SampleOptions& options_;
    Random random_;
    Pools pools_;
    std::map<std::string, long long> sizes_;
    std::map<std::string, std::string> tableOfKey_;
};

int lengthOf(const std::string& definition)
{
    const auto open = definition.find('(');
    return open == std::string::npos ? 0 : std::stoi(definition.substr(open + 1));
}

} // namespace

Column AccessColumn(const ColumnDef& column)
{
    const std::string name = bare(column.name);
    const std::string& def = column.importDefinition;
    if (startsWith(def, "NVARCHAR("))
        return Column::text(name, lengthOf(def));
    if (startsWith(def, "INT"))
        return Column::longInt(name);
    if (startsWith(def, "SMALLINT"))
        return Column::integer(name);
    if (startsWith(def, "TINYINT"))
        return Column::byte(name);
    if (startsWith(def, "BIT"))
        return Column::yesNo(name);
    if (startsWith(def, "DATETIME"))
        return Column::dateTime(name);
    if (startsWith(def, "IMAGE"))
        return Column::ole(name);
    throw MdbWriterError("column \"" + name + "\": no Access type for \"" + def + "\"");
}

SampleSummary WriteSampleArchive(const std::string& path, const SampleOptions& options)
{
    for (const std::string& name : options.omittedTables) {
        if (!sqllumo::archive::FindArchiveTable(name))
            throw MdbWriterError("there is no archive table \"" + name + "\" to leave out");
    }
    for (const long long count : {options.patients, options.exams, options.files}) {
        if (count < 0)
            throw MdbWriterError("row counts cannot be negative");
    }
    Generator generator(options);
    MdbWriter db(path, options.version);
    SampleSummary summary;
    for (const TableDef& table : ArchiveTables()) {
        if (std::find(options.omittedTables.begin(), options.omittedTables.end(), table.name) !=
            options.omittedTables.end())
            continue;
        std::vector<Column> columns;
        if (table.hasIdentity())
            columns.push_back(Column::autoNumberLong(table.identityColumn));
        for (const ColumnDef& c : table.columns)
            columns.push_back(AccessColumn(c));
        const auto id = db.addTable(table.name, columns);
        const long long count = generator.size(table.name);
        for (long long i = 1; i <= count; ++i)
            db.addRow(id, generator.row(table, i));
        // A damaged archive repeats the first identifier of its large tables.
        if (options.damaged && table.hasIdentity() && count > 0 &&
            (table.name == "T_Patient" || table.name == "T_Exam"))
            db.addRow(id, generator.row(table, 1));
        summary.rows.emplace_back(table.name, static_cast<long long>(db.rowCount(id)));
        summary.totalRows += static_cast<long long>(db.rowCount(id));
    }
    db.close();
    return summary;
}

} // namespace mdbwriter
