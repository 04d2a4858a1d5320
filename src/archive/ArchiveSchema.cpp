// The archive tables as data; statement text is assembled from it character for character.
#include "ArchiveSchema.h"

#include <algorithm>
#include <cctype>

namespace sqllumo::archive {
namespace {

const char* const kText50 = "NVARCHAR(50) NOT NULL";

std::vector<TableDef> makeTables()
{
    const std::string bit = "BIT NOT NULL";
    const std::string intNN = "INT NOT NULL";
    const std::string dt = "DATETIME NOT NULL";
    auto fk = [](const std::string& column, const std::string& table,
                 const std::string& referenced) {
        return ColumnDef(column, false, ForeignKeyDef{"", table, referenced, false});
    };
    auto cascading = [](const std::string& column, const std::string& table,
                        const std::string& referenced, const std::string& constraint = "") {
        return ColumnDef(column, false, ForeignKeyDef{constraint, table, referenced, true});
    };

    auto def = [](std::string name, std::string identityColumn, int seed,
                  std::vector<ColumnDef> columns, std::vector<std::string> indexColumns) {
        TableDef table;
        table.name = std::move(name);
        table.identityColumn = std::move(identityColumn);
        table.identitySeed = seed;
        table.columns = std::move(columns);
        table.indexColumns = std::move(indexColumns);
        return table;
    };

    std::vector<TableDef> t;
    t.push_back(def("T_DBVersion", "", 1, {{"[FreeText]", "NVARCHAR(100) NOT NULL"}}, {}));
    t.push_back(def("T_Marker", "ID_Marker", 3, {{"Marker", kText50}}, {}));
    t.push_back(def("T_City", "ID_City", 23, {{"City", "NVARCHAR(30) NOT NULL"}}, {}));
    t.push_back(def("T_Province", "ID_Province", 10, {{"Province", "NVARCHAR(30) NOT NULL"}}, {}));
    t.push_back(def("T_Country", "ID_Country", 6, {{"Country", "NVARCHAR(30) NOT NULL"}}, {}));
    t.push_back(def("T_Hosp_Dep", "ID_Hosp_Dep", 8, {{"Hosp_Dep", kText50}}, {}));
    t.push_back(def("T_Doc_Tech", "ID_Doc_Tech", 17,
                    {{"Title", "NVARCHAR(10) NOT NULL"},
                     {"L_Name", kText50},
                     {"F_Name", kText50},
                     {"Doc_Tech", bit},
                     {"Int_Ext", bit}},
                    {}));
    t.push_back(def("T_Patient", "ID_Patient", 1,
                    {{"Title", "NVARCHAR(10) NOT NULL"},
                     {"L_Name", kText50},
                     {"F_Name", kText50},
                     {"M_Name", kText50},
                     {"B_Date", dt},
                     {"Sex", bit},
                     {"Height", "SMALLINT NOT NULL"},
                     {"Weight", "SMALLINT NOT NULL"},
                     {"Address", "NVARCHAR(200) NOT NULL"},
                     fk("ID_City", "T_City", "ID_City"),
                     fk("ID_Province", "T_Province", "ID_Province"),
                     {"Zip_Code", "NVARCHAR(10) NOT NULL"},
                     fk("ID_Country", "T_Country", "ID_Country"),
                     {"Tel_Home", "NVARCHAR(30) NOT NULL"},
                     {"Tel_Work", "NVARCHAR(30) NOT NULL"},
                     {"Ins_Number", "NVARCHAR(30) NOT NULL"},
                     {"Ins_Company", "NVARCHAR(30) NOT NULL"},
                     {"Pat_Code_1", "NVARCHAR(30) NOT NULL"},
                     {"Pat_Code_2", "NVARCHAR(30) NOT NULL"},
                     fk("ID_Hosp_Dep", "T_Hosp_Dep", "ID_Hosp_Dep"),
                     {"Comment", "NVARCHAR(250) NOT NULL"},
                     fk("ID_Doc_Tech", "T_Doc_Tech", "ID_Doc_Tech"),
                     {"Free1", kText50},
                     {"Free2", kText50},
                     fk("ID_Marker", "T_Marker", "ID_Marker"),
                     {"Used_By", kText50},
                     {"RecDate", dt},
                     {"Photo", "IMAGE"}},
                    {"L_Name", "F_Name", "B_Date", "Used_By", "ID_Marker"}));
    t.back().importKeysEndWithBlank = false;
    TableDef exam = def("T_Exam", "ID_Multi", 1,
                        {cascading("ID_Patient", "T_Patient", "ID_Patient", "ID_Patient_fk"),
                         {"Code", "NVARCHAR(30) NOT NULL"}},
                        {"ID_Patient", "ID_Marker"});
    for (int i = 1; i <= 8; ++i)
        exam.columns.push_back({"rv_" + std::to_string(i), bit});
    exam.columns.push_back(
        ColumnDef("ID_Marker", false, ForeignKeyDef{"ID_Marker_fk", "T_Marker", "ID_Marker"}));
    exam.columns.push_back({"Comment", "NVARCHAR(250) NOT NULL"});
    exam.importKeysEndWithBlank = false;
    t.push_back(exam);
    t.push_back(def("T_Storage", "ID_Storage", 1, {{"Description", "NVARCHAR(100) NOT NULL"}}, {}));
    t.push_back(def("T_File_Type", "ID_Type", 1,
                    {{"File_Type", kText50},
                     {"File_Primary", bit},
                     {"File_Priority", "TINYINT NOT NULL"},
                     {"File_Visible", bit},
                     {"File_Exclude", kText50},
                     {"File_App", kText50},
                     {"File_Prefix", "NVARCHAR(3) NOT NULL"},
                     {"File_Ext", "NVARCHAR(3) NOT NULL"}},
                    {}));
    t.push_back(def("T_File", "ID_Exam", 1,
                    {cascading("ID_Multi", "T_Exam", "ID_Multi", "ID_Multi_fk"),
                     {"[Primary]", bit},
                     fk("ID_Type", "T_File_Type", "ID_Type"),
                     {"[Date]", dt},
                     fk("ID_Tech", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Doc", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Doc_Req", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Hosp_Dep", "T_Hosp_Dep", "ID_Hosp_Dep"),
                     {"Duration", intNN},
                     {"Path_Local", "NVARCHAR(100) NOT NULL"},
                     {"Path_Archive", "NVARCHAR(100) NOT NULL"},
                     ColumnDef("ID_Storage", true, ForeignKeyDef{"", "T_Storage", "ID_Storage"}),
                     {"FileDateLastModify", dt},
                     {"FileLen", intNN},
                     {"Comment", "NVARCHAR(250) NOT NULL"},
                     {"Used_By", kText50}},
                    {"ID_Multi", "ID_Type", "Used_By"}));
    t.push_back(def("T_Class", "ID_Class", 1,
                    {{"Ord_Class", intNN},
                     {"Descr_Class", kText50},
                     {"Type_Class", "TINYINT NOT NULL"},
                     {"ItemSelMode_Class", bit}},
                    {}));
    t.push_back(def("T_Item", "ID_Item", 1,
                    {{"Ord_Item", intNN},
                     {"Descr_Item", kText50},
                     {"Type_Item", "TINYINT NOT NULL"},
                     {"SubItemSelMode_Item", bit},
                     cascading("ID_Class", "T_Class", "ID_Class")},
                    {"ID_Class"}));
    t.push_back(def("T_SubItem", "ID_SubItem", 1,
                    {{"Ord_SubItem", intNN},
                     {"Descr_SubItem", kText50},
                     {"Type_SubItem", "TINYINT NOT NULL"},
                     cascading("ID_Item", "T_Item", "ID_Item")},
                    {"ID_Item"}));
    t.push_back(def("T_Statistic", "", 1,
                    {fk("ID_Class", "T_Class", "ID_Class"),
                     {"ID_Item", "INT NULL"},
                     {"ID_SubItem", "INT NULL"},
                     cascading("ID_Exam", "T_File", "ID_Exam"),
                     fk("ID_Multi", "T_Exam", "ID_Multi"),
                     {"Stat_Memo", "NVARCHAR(50) NULL"},
                     {"RecDate", "DATETIME NULL"}},
                    {"ID_Class", "ID_Exam", "ID_Multi"}));
    t.push_back(def("T_StatisticMask", "ID_Mask", 1,
                    {{"Descr_Mask", "NVARCHAR(50) NULL"},
                     {"BDayFrom", "DATETIME NULL"},
                     {"BDayTo", "DATETIME NULL"},
                     {"RecFrom", "DATETIME NULL"},
                     {"RecTo", "DATETIME NULL"},
                     {"DuplofPatients", bit},
                     {"RecMask", "DATETIME NULL"},
                     {"NumTrovFile", "INT NULL"},
                     {"NumTotFile", "INT NULL"}},
                    {}));
    t.push_back(def("T_StatisticList", "", 1,
                    {cascading("ID_Mask", "T_StatisticMask", "ID_Mask"),
                     {"ID_Patient", intNN},
                     {"ID_Exam", "INT NULL"},
                     {"ID_Multi", "INT NULL"}},
                    {"ID_Mask", "ID_Patient", "ID_Exam", "ID_Multi"}));
    t.back().testedIndexCount = 2;
    t.push_back(def("T_StatisticSearch", "", 1,
                    {cascading("ID_Mask", "T_StatisticMask", "ID_Mask"),
                     {"ID_Class", intNN},
                     {"ID_Item", "INT NULL"},
                     {"ID_SubItem", "INT NULL"},
                     {"Stat_Memo", "NVARCHAR(50) NULL"},
                     {"Search_Mode", "TINYINT NOT NULL"}},
                    {"ID_Mask", "ID_Class"}));
    t.push_back(def("T_StatisticFileType", "", 1, {{"ID_Mask", intNN}, {"ID_File_Type", intNN}},
                    {"ID_Mask", "ID_File_Type"}));
    t.back().testedIndexCount = 0;
    return t;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

struct FileType {
    std::string type, primary, priority, visible, exclude, app, prefix, ext;
};

std::string fileTypeInsert(const FileType& f)
{
    return "INSERT INTO T_File_Type(File_Type,File_Primary,File_Priority,File_Visible,"
           "File_Exclude,File_App,File_Prefix,File_Ext) VALUES (" +
           quoted(f.type) + "," + f.primary + "," + f.priority + "," + f.visible + "," +
           quoted(f.exclude) + "," + quoted(f.app) + "," + quoted(f.prefix) + "," + quoted(f.ext) +
           ")";
}

std::vector<std::string> fileTypeRows(bool newVersion, const std::string& databaseCode)
{
    const FileType placeholder{"x", "0", "0", "0", "", "", "", ""};
    std::vector<FileType> rows = {
        {"EEG Trace", "1", "0", "1", "1,2,3", "Q_EEG", "EEG", "TRC"},
        {"EP Trace", "1", "0", "1", "1,2,3,5", "Q_EP", "EP", "TRC"},
        {"EMG Trace", "1", "0", "1", "1,2,3,5", "Q_EMG", "EMG", "TRC"},
        {"REPORT Document", "0", "4", "1", "", "Q_REP", "REP", "RTF"},
        {"EEG Video", "0", "7", "1", "2,3,5", "Q_VID", "VID", "AVI"},
        {"Paroxysm", "0", "2", "0", "", "", "", ""},
        {"SLEEP", "0", "2", "0", "", "", "", ""},
        {"APNEA", "0", "2", "0", "", "", "", ""},
        {"MAPPE", "0", "2", "0", "", "", "", ""},
        {"SLOWP", "0", "2", "0", "", "", "", ""},
        {"REPORT Word", "0", "4", "1", "", "winword.exe", "REP", "DOC"},
        {"PATMKR", "0", "7", "1", "", "", "", ""},
    };
    rows.insert(rows.end(), 6, placeholder);
    rows.push_back(newVersion ? FileType{"Database", "0", "0", "0", "", databaseCode, "", ""}
                              : placeholder);
    rows.push_back({"Zuvud Report", "0", "4", "1", "", "", "REP", "HED"});
    rows.insert(rows.end(), 11, placeholder);
    for (const char* name : {"Evoked", "SEP-SL", "SEP-IL", "AEP", "VEP", "BAEP", "MEP", "P300",
                             "EP-9", "EP-10", "EP-11", "EP-12", "EP-13", "EP-14", "EP-15", "EP-16"})
        rows.push_back({name, "1", "1", "1", "", "", "EP", "TRC"});
    for (const char* name : {"SPO", "VOL", "VCM", "VCS", "REP", "H-REFL", "F-WAVE", "BLINK",
                             "SFEMG", "SSR", "RR", "PEM", "MUAP", "EMG-14", "EMG-15", "EMG-16"})
        rows.push_back({name, "1", "1", "1", "", "", "EMG", "TRC"});
    std::vector<std::string> statements;
    for (const auto& row : rows)
        statements.push_back(fileTypeInsert(row));
    return statements;
}

const std::string kCascade = " ON DELETE CASCADE ON UPDATE CASCADE";

std::string upper(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "CREATE TABLE " + name + "( " + fragments + ")", each fragment followed by ", " or, the last,
// by a blank.
std::string createStatement(const std::string& table, const std::vector<std::string>& columns)
{
    std::string statement = "CREATE TABLE " + table + "( ";
    for (size_t i = 0; i < columns.size(); ++i)
        statement += columns[i] + (i + 1 < columns.size() ? ", " : " ");
    return statement + ")";
}

const ColumnDef* findColumn(const TableDef& table, const std::string& name)
{
    for (const auto& column : table.columns)
        if (column.name == name)
            return &column;
    return nullptr;
}

std::vector<RelationDef> makeTestedRelations()
{
    // The referencing column of each tested relation, in registry order; the referenced key
    // and the rule come from that column's own reference.
    const std::pair<const char*, const char*> tested[] = {
        {"T_Exam", "ID_Patient"},       {"T_File", "ID_Multi"},
        {"T_Statistic", "ID_Multi"},    {"T_Statistic", "ID_Exam"},
        {"T_Item", "ID_Class"},         {"T_SubItem", "ID_Item"},
        {"T_StatisticList", "ID_Mask"}, {"T_StatisticSearch", "ID_Mask"}};
    std::vector<RelationDef> relations;
    for (const auto& [tableName, columnName] : tested) {
        const ColumnDef* column = findColumn(*FindArchiveTable(tableName), columnName);
        const ForeignKeyDef& key = *column->foreignKey;
        relations.push_back({key.table + "-" + tableName, key.table, key.column, tableName,
                             columnName, key.cascades ? 0 : 1});
    }
    return relations;
}

} // namespace

ColumnDef::ColumnDef(std::string name, std::string definition)
    : name(std::move(name)), definition(definition), importDefinition(std::move(definition))
{
}

ColumnDef::ColumnDef(std::string name, bool nullable, ForeignKeyDef reference)
    : name(std::move(name))
{
    const std::string nullClause = nullable ? "NULL" : "NOT NULL";
    importDefinition = "INT " + nullClause;
    definition =
        "INT " +
        (reference.constraintName.empty() ? "" : "CONSTRAINT " + reference.constraintName + " ") +
        nullClause + " FOREIGN KEY REFERENCES " + reference.table + " (" + reference.column + ")" +
        (reference.cascades ? kCascade : "");
    foreignKey = std::move(reference);
}

std::string TableDef::indexName(size_t position) const
{
    return "IX_" + name + (position == 0 ? "" : "_" + std::to_string(position));
}

const std::vector<TableDef>& ArchiveTables()
{
    static const std::vector<TableDef> tables = makeTables();
    return tables;
}

const TableDef* FindArchiveTable(const std::string& name)
{
    for (const auto& table : ArchiveTables())
        if (table.name == name)
            return &table;
    return nullptr;
}

std::string CreateTableStatement(const TableDef& table)
{
    std::vector<std::string> fragments;
    if (table.hasIdentity()) {
        std::string identity = table.identityColumn + " INT IDENTITY";
        if (table.identitySeed != 1)
            identity += "(" + std::to_string(table.identitySeed) + ",1)";
        fragments.push_back(identity + " CONSTRAINT " + table.primaryKeyName() + " PRIMARY KEY");
    }
    for (const auto& column : table.columns)
        fragments.push_back(column.name + " " + column.definition);
    return createStatement(table.name, fragments);
}

std::vector<std::string> ImportColumnFragments(const TableDef& table)
{
    std::vector<std::string> columns;
    if (table.hasIdentity())
        columns.push_back(table.identityColumn + " INT IDENTITY");
    for (const auto& column : table.columns)
        columns.push_back(column.name + " " + column.importDefinition);
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i] += i + 1 < columns.size() ? ", " : " ";
    return columns;
}

std::string ImportTableStatement(const TableDef& table)
{
    std::string statement = "CREATE TABLE " + table.name + "( ";
    for (const auto& fragment : ImportColumnFragments(table))
        statement += fragment;
    return statement + ")";
}

std::string ImportConstraintText(const TableDef& table)
{
    std::vector<std::string> clauses;
    if (table.hasIdentity())
        clauses.push_back("CONSTRAINT " + table.primaryKeyName() + " PRIMARY KEY (" +
                          table.identityColumn + ")");
    for (const auto& column : table.columns) {
        if (!column.foreignKey)
            continue;
        const ForeignKeyDef& key = *column.foreignKey;
        clauses.push_back(
            (key.constraintName.empty() ? "" : "CONSTRAINT " + key.constraintName + " ") +
            "FOREIGN KEY (" + column.name + ") REFERENCES " + key.table + " (" + key.column + ")" +
            (key.cascades ? kCascade : ""));
    }
    if (clauses.empty())
        return {};
    std::string text = "ADD ";
    for (size_t i = 0; i < clauses.size(); ++i)
        text += clauses[i] + (i + 1 < clauses.size() ? ", " : "");
    return table.importKeysEndWithBlank ? text + " " : text;
}

std::string ImportKeyStatement(const TableDef& table)
{
    const std::string text = ImportConstraintText(table);
    return text.empty() ? text : "ALTER TABLE " + table.name + " " + text;
}

std::string ExpectedPrimaryKeyColumn(const TableDef& table)
{
    return upper(table.identityColumn);
}

std::vector<std::string> TestedIndexColumnNames(const TableDef& table)
{
    const size_t count = std::min(table.testedIndexCount.value_or(table.indexColumns.size()),
                                  table.indexColumns.size());
    return {table.indexColumns.begin(), table.indexColumns.begin() + static_cast<long>(count)};
}

std::string TestedIndexListText(const TableDef& table)
{
    std::string list;
    for (const auto& column : TestedIndexColumnNames(table))
        list += (list.empty() ? "" : ", ") + column;
    return list;
}

const std::vector<RelationDef>& TestedRelations()
{
    static const std::vector<RelationDef> relations = makeTestedRelations();
    return relations;
}

const std::vector<RelationListingDef>& RelationListingDefs()
{
    static const std::vector<RelationListingDef> listings = [] {
        std::vector<RelationListingDef> out;
        for (const char* table :
             {"T_Patient", "T_File", "T_Exam", "T_Class", "T_Item", "T_StatisticMask"}) {
            RelationListingDef listing{table, {}};
            for (const auto& relation : TestedRelations())
                if (relation.referencedTable == table)
                    listing.relations.push_back(relation);
            out.push_back(listing);
        }
        return out;
    }();
    return listings;
}

std::vector<ExpectedColumn> ExpectedColumns(const TableDef& table)
{
    auto expect = [](const std::string& name, const std::string& definition) {
        ExpectedColumn column;
        for (char c : upper(name))
            if (c != '[' && c != ']')
                column.upperName += c;
        auto startsWith = [&](const char* word) { return definition.rfind(word, 0) == 0; };
        if (startsWith("NVARCHAR(")) {
            column.typeCode = 202;
            column.definedSize = std::stoi(definition.substr(9));
        } else if (startsWith("SMALLINT")) {
            column.typeCode = 2;
        } else if (startsWith("TINYINT")) {
            column.typeCode = 17;
        } else if (startsWith("INT")) {
            column.typeCode = 3;
        } else if (startsWith("BIT")) {
            column.typeCode = 11;
        } else if (startsWith("DATETIME")) {
            column.typeCode = 135;
        } // IMAGE (the photo) passes with any type
        return column;
    };
    std::vector<ExpectedColumn> columns;
    if (table.hasIdentity())
        columns.push_back(expect(table.identityColumn, "INT"));
    for (const auto& column : table.columns)
        columns.push_back(expect(column.name, column.definition));
    return columns;
}

std::vector<std::string> DefaultRowStatements(const TableDef& table, bool newVersion,
                                              const std::string& databaseCode)
{
    if (table.name == "T_DBVersion") {
        std::vector<std::string> statements;
        for (const char* text : {newVersion ? "" : kOrdinaryVersionText, "TYPE:ARCHIVE",
                                 "NAME:Nervalto", "DESCRIPTION:Description", "SINGLESIDE:0",
                                 "DOUBLESIDE:0", "DOUBLESIDESIDE:B", "STAT_INIT:TRUE"})
            statements.push_back("INSERT INTO T_DBVersion([FreeText]) VALUES (" + quoted(text) +
                                 ")");
        return statements;
    }
    if (table.name == "T_File_Type")
        return fileTypeRows(newVersion, databaseCode);
    if (table.name == "T_Doc_Tech")
        return {"INSERT INTO T_Doc_Tech(Title,L_Name,F_Name,Doc_Tech,Int_Ext) VALUES "
                "('','','',0,0)"};
    for (const char* lookup : {"T_Marker", "T_City", "T_Province", "T_Country", "T_Hosp_Dep"})
        if (table.name == lookup)
            return {"INSERT INTO " + table.name + "(" + table.columns.front().name +
                    ") VALUES ('')"};
    return {};
}

} // namespace sqllumo::archive
