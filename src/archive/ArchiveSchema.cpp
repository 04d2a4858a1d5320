// The archive tables as data; statement text is assembled from it character for character.
#include "ArchiveSchema.h"

#include "SqlTypes.h"

#include <algorithm>
#include <cctype>

namespace sqllumo::archive {
namespace {

using schema::Bit;
using schema::DateTime;
using schema::Image;
using schema::Int;
using schema::Nullability;
using schema::NVarChar;
using schema::SmallInt;
using schema::TinyInt;

constexpr Nullability kNull = Nullability::Null;

ColumnDef fk(const std::string& column, const std::string& table, const std::string& referenced)
{
    return ColumnDef(column, Nullability::NotNull, ForeignKeyDef{"", table, referenced});
}

ColumnDef cascading(const std::string& column, const std::string& table,
                    const std::string& referenced, const std::string& constraint = "")
{
    return ColumnDef(column, Nullability::NotNull,
                     ForeignKeyDef{constraint, table, referenced, true});
}

TableDef def(std::string name, std::string identityColumn, int seed, std::vector<ColumnDef> columns,
             std::vector<std::string> indexColumns)
{
    TableDef table;
    table.name = std::move(name);
    table.identityColumn = std::move(identityColumn);
    table.identitySeed = seed;
    table.columns = std::move(columns);
    table.indexColumns = std::move(indexColumns);
    return table;
}

// The description rows and the look-up tables the patients and files point at.
void addLookupTables(std::vector<TableDef>& t)
{
    t.push_back(def("T_DBVersion", "", 1, {{"[FreeText]", NVarChar(100)}}, {}));
    t.push_back(def("T_Marker", "ID_Marker", 3, {{"Marker", NVarChar(50)}}, {}));
    t.push_back(def("T_City", "ID_City", 23, {{"City", NVarChar(30)}}, {}));
    t.push_back(def("T_Province", "ID_Province", 10, {{"Province", NVarChar(30)}}, {}));
    t.push_back(def("T_Country", "ID_Country", 6, {{"Country", NVarChar(30)}}, {}));
    t.push_back(def("T_Hosp_Dep", "ID_Hosp_Dep", 8, {{"Hosp_Dep", NVarChar(50)}}, {}));
    t.push_back(def("T_Doc_Tech", "ID_Doc_Tech", 17,
                    {{"Title", NVarChar(10)},
                     {"L_Name", NVarChar(50)},
                     {"F_Name", NVarChar(50)},
                     {"Doc_Tech", Bit()},
                     {"Int_Ext", Bit()}},
                    {}));
}

void addPatientAndExamTables(std::vector<TableDef>& t)
{
    t.push_back(def("T_Patient", "ID_Patient", 1,
                    {{"Title", NVarChar(10)},
                     {"L_Name", NVarChar(50)},
                     {"F_Name", NVarChar(50)},
                     {"M_Name", NVarChar(50)},
                     {"B_Date", DateTime()},
                     {"Sex", Bit()},
                     {"Height", SmallInt()},
                     {"Weight", SmallInt()},
                     {"Address", NVarChar(200)},
                     fk("ID_City", "T_City", "ID_City"),
                     fk("ID_Province", "T_Province", "ID_Province"),
                     {"Zip_Code", NVarChar(10)},
                     fk("ID_Country", "T_Country", "ID_Country"),
                     {"Tel_Home", NVarChar(30)},
                     {"Tel_Work", NVarChar(30)},
                     {"Ins_Number", NVarChar(30)},
                     {"Ins_Company", NVarChar(30)},
                     {"Pat_Code_1", NVarChar(30)},
                     {"Pat_Code_2", NVarChar(30)},
                     fk("ID_Hosp_Dep", "T_Hosp_Dep", "ID_Hosp_Dep"),
                     {"Comment", NVarChar(250)},
                     fk("ID_Doc_Tech", "T_Doc_Tech", "ID_Doc_Tech"),
                     {"Free1", NVarChar(50)},
                     {"Free2", NVarChar(50)},
                     fk("ID_Marker", "T_Marker", "ID_Marker"),
                     {"Used_By", NVarChar(50)},
                     {"RecDate", DateTime()},
                     {"Photo", Image()}},
                    {"L_Name", "F_Name", "B_Date", "Used_By", "ID_Marker"}));
    t.back().addedKeysEndWithBlank = false;
    TableDef exam = def("T_Exam", "ID_Multi", 1,
                        {cascading("ID_Patient", "T_Patient", "ID_Patient", "ID_Patient_fk"),
                         {"Code", NVarChar(30)}},
                        {"ID_Patient", "ID_Marker"});
    for (int i = 1; i <= 8; ++i)
        exam.columns.push_back({"rv_" + std::to_string(i), Bit()});
    exam.columns.push_back(ColumnDef("ID_Marker", Nullability::NotNull,
                                     ForeignKeyDef{"ID_Marker_fk", "T_Marker", "ID_Marker"}));
    exam.columns.push_back({"Comment", NVarChar(250)});
    exam.addedKeysEndWithBlank = false;
    t.push_back(exam);
}

void addFileTables(std::vector<TableDef>& t)
{
    t.push_back(def("T_Storage", "ID_Storage", 1, {{"Description", NVarChar(100)}}, {}));
    t.push_back(def("T_File_Type", "ID_Type", 1,
                    {{"File_Type", NVarChar(50)},
                     {"File_Primary", Bit()},
                     {"File_Priority", TinyInt()},
                     {"File_Visible", Bit()},
                     {"File_Exclude", NVarChar(50)},
                     {"File_App", NVarChar(50)},
                     {"File_Prefix", NVarChar(3)},
                     {"File_Ext", NVarChar(3)}},
                    {}));
    t.push_back(def("T_File", "ID_Exam", 1,
                    {cascading("ID_Multi", "T_Exam", "ID_Multi", "ID_Multi_fk"),
                     {"[Primary]", Bit()},
                     fk("ID_Type", "T_File_Type", "ID_Type"),
                     {"[Date]", DateTime()},
                     fk("ID_Tech", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Doc", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Doc_Req", "T_Doc_Tech", "ID_Doc_Tech"),
                     fk("ID_Hosp_Dep", "T_Hosp_Dep", "ID_Hosp_Dep"),
                     {"Duration", Int()},
                     {"Path_Local", NVarChar(100)},
                     {"Path_Archive", NVarChar(100)},
                     ColumnDef("ID_Storage", kNull, ForeignKeyDef{"", "T_Storage", "ID_Storage"}),
                     {"FileDateLastModify", DateTime()},
                     {"FileLen", Int()},
                     {"Comment", NVarChar(250)},
                     {"Used_By", NVarChar(50)}},
                    {"ID_Multi", "ID_Type", "Used_By"}));
}

// Classes, items and sub-items of the classification, the values per file and saved masks.
void addStatisticsTables(std::vector<TableDef>& t)
{
    t.push_back(def("T_Class", "ID_Class", 1,
                    {{"Ord_Class", Int()},
                     {"Descr_Class", NVarChar(50)},
                     {"Type_Class", TinyInt()},
                     {"ItemSelMode_Class", Bit()}},
                    {}));
    t.push_back(def("T_Item", "ID_Item", 1,
                    {{"Ord_Item", Int()},
                     {"Descr_Item", NVarChar(50)},
                     {"Type_Item", TinyInt()},
                     {"SubItemSelMode_Item", Bit()},
                     cascading("ID_Class", "T_Class", "ID_Class")},
                    {"ID_Class"}));
    t.push_back(def("T_SubItem", "ID_SubItem", 1,
                    {{"Ord_SubItem", Int()},
                     {"Descr_SubItem", NVarChar(50)},
                     {"Type_SubItem", TinyInt()},
                     cascading("ID_Item", "T_Item", "ID_Item")},
                    {"ID_Item"}));
    t.push_back(def("T_Statistic", "", 1,
                    {fk("ID_Class", "T_Class", "ID_Class"),
                     {"ID_Item", Int(kNull)},
                     {"ID_SubItem", Int(kNull)},
                     cascading("ID_Exam", "T_File", "ID_Exam"),
                     fk("ID_Multi", "T_Exam", "ID_Multi"),
                     {"Stat_Memo", NVarChar(50, kNull)},
                     {"RecDate", DateTime(kNull)}},
                    {"ID_Class", "ID_Exam", "ID_Multi"}));
    t.push_back(def("T_StatisticMask", "ID_Mask", 1,
                    {{"Descr_Mask", NVarChar(50, kNull)},
                     {"BDayFrom", DateTime(kNull)},
                     {"BDayTo", DateTime(kNull)},
                     {"RecFrom", DateTime(kNull)},
                     {"RecTo", DateTime(kNull)},
                     {"DuplofPatients", Bit()},
                     {"RecMask", DateTime(kNull)},
                     {"NumTrovFile", Int(kNull)},
                     {"NumTotFile", Int(kNull)}},
                    {}));
    t.push_back(def("T_StatisticList", "", 1,
                    {cascading("ID_Mask", "T_StatisticMask", "ID_Mask"),
                     {"ID_Patient", Int()},
                     {"ID_Exam", Int(kNull)},
                     {"ID_Multi", Int(kNull)}},
                    {"ID_Mask", "ID_Patient", "ID_Exam", "ID_Multi"}));
    t.back().testedIndexCount = 2;
    t.push_back(def("T_StatisticSearch", "", 1,
                    {cascading("ID_Mask", "T_StatisticMask", "ID_Mask"),
                     {"ID_Class", Int()},
                     {"ID_Item", Int(kNull)},
                     {"ID_SubItem", Int(kNull)},
                     {"Stat_Memo", NVarChar(50, kNull)},
                     {"Search_Mode", TinyInt()}},
                    {"ID_Mask", "ID_Class"}));
    t.push_back(def("T_StatisticFileType", "", 1, {{"ID_Mask", Int()}, {"ID_File_Type", Int()}},
                    {"ID_Mask", "ID_File_Type"}));
    t.back().testedIndexCount = 0;
}

std::vector<TableDef> makeTables()
{
    std::vector<TableDef> t;
    addLookupTables(t);
    addPatientAndExamTables(t);
    addFileTables(t);
    addStatisticsTables(t);
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

std::string upper(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
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
        const ColumnDef* column = FindArchiveTable(tableName)->findColumn(columnName);
        const ForeignKeyDef& key = *column->foreignKey;
        relations.push_back({key.table + "-" + tableName, key.table, key.column, tableName,
                             columnName, key.cascades ? 0 : 1});
    }
    return relations;
}

} // namespace

const std::vector<TableDef>& ArchiveTables()
{
    static const std::vector<TableDef> tables = makeTables();
    return tables;
}

const TableDef* FindArchiveTable(const std::string& name)
{
    return schema::FindTable(ArchiveTables(), name);
}

std::vector<std::string> ImportColumnFragments(const TableDef& table)
{
    return schema::KeylessColumnFragments(table);
}

std::string ImportTableStatement(const TableDef& table)
{
    return schema::CreateKeylessTableStatement(table);
}

std::string ImportConstraintText(const TableDef& table)
{
    return schema::AddKeysClause(table);
}

std::string ImportKeyStatement(const TableDef& table)
{
    const std::string text = ImportConstraintText(table);
    return text.empty() ? text : schema::AlterTableStatement(table.name, text);
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
    auto expect = [](const std::string& name, const schema::ColumnType& type) {
        ExpectedColumn column;
        column.upperName = upper(schema::Unbracketed(name));
        // The photo passes with any type.
        if (type.name != schema::Image().name)
            column.typeCode = db::AdoTypeFromServerType(type.name, type.length);
        if (type.length > 0)
            column.definedSize = type.length;
        return column;
    };
    std::vector<ExpectedColumn> columns;
    if (table.hasIdentity())
        columns.push_back(expect(table.identityColumn, schema::Int()));
    for (const auto& column : table.columns)
        columns.push_back(expect(column.name, column.type));
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
