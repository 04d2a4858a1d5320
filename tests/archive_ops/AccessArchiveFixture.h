#pragma once
// Access archives made by the tests themselves: the 20 archive tables with Access column types
// derived from the archive schema, and a small archive full of awkward values (quotes,
// backslashes, letters outside code page 1252, empty texts beside NULLs, dates before 1900,
// gaps in the identifiers). The rows here are also what the tests expect to find afterwards.

#include "ArchiveSchema.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace sqllumo::testing {

enum class AccessType { Long, Integer, Byte, YesNo, DateTime, Text, Ole };

struct SourceColumn {
    QString name;
    AccessType type = AccessType::Long;
    int size = 0; // characters of a text column
    bool autoNumber = false;
};

struct SourceTable {
    QString name;
    std::vector<SourceColumn> columns;
    std::vector<std::vector<QVariant>> rows;

    int column(const QString& columnName) const
    {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == columnName)
                return static_cast<int>(i);
        return -1;
    }
    // Sets a value of the row whose first column is key.
    void set(int key, const QString& columnName, const QVariant& value)
    {
        for (auto& row : rows)
            if (row.front().toInt() == key)
                row[static_cast<size_t>(column(columnName))] = value;
    }
};

using SourceArchive = std::vector<SourceTable>;

inline QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// The table as an old archive kept it: the schema's columns with their Access types.
inline SourceTable EmptySourceTable(const archive::TableDef& table)
{
    SourceTable out;
    out.name = QString::fromStdString(table.name);
    if (table.hasIdentity())
        out.columns.push_back(
            {QString::fromStdString(table.identityColumn), AccessType::Long, 0, true});
    for (const archive::ColumnDef& c : table.columns) {
        QString name = QString::fromStdString(c.name);
        if (name.startsWith('['))
            name = name.mid(1, name.size() - 2);
        const QString definition = QString::fromStdString(c.importDefinition);
        SourceColumn column{name, AccessType::Long, 0, false};
        if (definition.startsWith("NVARCHAR(")) {
            column.type = AccessType::Text;
            column.size = definition.mid(9, definition.indexOf(')') - 9).toInt();
        } else if (definition.startsWith("SMALLINT"))
            column.type = AccessType::Integer;
        else if (definition.startsWith("TINYINT"))
            column.type = AccessType::Byte;
        else if (definition.startsWith("BIT"))
            column.type = AccessType::YesNo;
        else if (definition.startsWith("DATETIME"))
            column.type = AccessType::DateTime;
        else if (definition.startsWith("IMAGE"))
            column.type = AccessType::Ole;
        out.columns.push_back(column);
    }
    return out;
}

// Writes the archive as a Jet 4 (Access 2000) file, or a Jet 3 (Access 97) one, with the .mdb
// writer; false with error set when it cannot.
bool WriteAccessFile(const SourceArchive& archive, const QString& path, QString& error,
                     bool access97 = false);

inline SourceTable* FindSourceTable(SourceArchive& archive, const QString& name)
{
    for (auto& table : archive)
        if (table.name == name)
            return &table;
    return nullptr;
}

inline void DropSourceTable(SourceArchive& archive, const QString& name)
{
    std::erase_if(archive, [&](const SourceTable& t) { return t.name == name; });
}

// Every value kind the copy must carry: see the comments on the rows.
inline SourceArchive SmallArchive()
{
    SourceArchive archive;
    for (const archive::TableDef& table : archive::ArchiveTables())
        archive.push_back(EmptySourceTable(table));
    auto rows = [&](const char* table) -> std::vector<std::vector<QVariant>>& {
        return FindSourceTable(archive, table)->rows;
    };
    const QVariant null;
    const QString outside1252 = QString::fromUtf8("Łukasz Şahin Ντόρα");
    rows("T_DBVersion") = {{"Version:1.01"}, {"stat_Init:false"}, {"it's here"}};
    rows("T_Marker") = {{1, "Red"}, {3, "O'Brien's mark"}, {7, QString::fromUtf8("Łódź")}};
    rows("T_City") = {{1, "Milano"}, {2, QString::fromUtf8("Città di Castello")}, {23, "X"}};
    rows("T_Province") = {{1, "MI"}, {4, "back\\slash"}};
    rows("T_Country") = {{1, "Italia"}, {2, QString::fromUtf8("Türkiye")}};
    rows("T_Hosp_Dep") = {{1, "Neurology"}, {9, ""}};
    rows("T_Doc_Tech") = {
        {1, "Dr", "Rossi", "Mario", true, false},
        {2, "", QString::fromUtf8("Şahin"), QString::fromUtf8("Ayşe"), false, true}};
    // ID_Patient, Title, L_Name, F_Name, M_Name, B_Date, Sex, Height, Weight, Address, ID_City,
    // ID_Province, Zip_Code, ID_Country, Tel_Home, Tel_Work, Ins_Number, Ins_Company, Pat_Code_1,
    // Pat_Code_2, ID_Hosp_Dep, Comment, ID_Doc_Tech, Free1, Free2, ID_Marker, Used_By, RecDate,
    // Photo.
    rows("T_Patient") = {
        {1,
         "Mr",
         "D'Angelo",
         "Mario",
         "",
         at(1899, 12, 30),
         true,
         180,
         75,
         "Via dell'Orto 3\\b",
         1,
         1,
         "20100",
         1,
         "02 123",
         "",
         "INS-1",
         "Ins'Co",
         "P1",
         "",
         1,
         "said \"hello\"",
         1,
         "",
         "",
         1,
         "",
         at(2024, 12, 6, 13, 5, 9),
         QByteArray("\x01\x02", 2)},
        {2,           "Ms",
         outside1252, QString::fromUtf8("Ἀθηνᾶ"),
         "M",         at(1850, 6, 15, 8, 30, 1),
         false,       160,
         55,          "",
         2,           4,
         "",          2,
         "",          "",
         "",          "",
         "",          "",
         9,           "",
         2,           "f1",
         "f2",        3,
         "user",      at(1999, 1, 2, 23, 59, 59),
         null},
        // Two patients with identical dates, both equal to what the insert's placeholder gives.
        {5,      "",
         "Same", "Date",
         "",     at(1900, 1, 1),
         true,   0,
         0,      "",
         1,      1,
         "",     1,
         "",     "",
         "",     "",
         "",     "",
         1,      "",
         1,      "",
         "",     1,
         "",     at(1900, 1, 1),
         null},
    };
    rows("T_Patient").push_back(rows("T_Patient").back());
    rows("T_Patient").back().front() = 6;
    // ID_Multi, ID_Patient, Code, rv_1..rv_8, ID_Marker, Comment
    rows("T_Exam") = {
        {1, 1, "E'1", true, false, true, false, true, false, true, false, 1, "first"},
        {4, 2, "E4", false, false, false, false, false, false, false, true, 3, outside1252},
        {9, 5, "E9", true, true, true, true, true, true, true, true, 7, ""},
    };
    rows("T_Storage") = {{1, "\\\\server\\share\\O'Neil"}};
    // ID_Type, File_Type, File_Primary, File_Priority, File_Visible, File_Exclude, File_App,
    // File_Prefix, File_Ext
    rows("T_File_Type") = {{1, "EEG", true, 3, true, "", "eeg.exe", "EEG", "eeg"},
                           {2, "Video", false, null, true, "x", "", "VID", "avi"}};
    // ID_Exam, ID_Multi, Primary, ID_Type, Date, ID_Tech, ID_Doc, ID_Doc_Req, ID_Hosp_Dep,
    // Duration, Path_Local, Path_Archive, ID_Storage, FileDateLastModify, FileLen, Comment,
    // Used_By
    rows("T_File") = {
        {1, 1, true, 1, at(2024, 1, 2, 10, 11, 12), 1, 1, 2, 1, 3600, "C:\\EEG\\O'Neil\\a.eeg",
         "\\\\arch\\a.eeg", 1, at(2024, 1, 3, 0, 0, 1), 123456, "", ""},
        {3, 4, false, 2, at(1901, 2, 3, 4, 5, 6), 2, 2, 2, 9, 0, "", "", null, null, 0, outside1252,
         "u"},
    };
    rows("T_Class") = {{1, 1, "Class'1", 0, true}, {2, 2, "", 1, false}};
    rows("T_Item") = {{1, 1, "Item", 0, false, 1}};
    rows("T_SubItem") = {{1, 1, "Sub", 2, 1}};
    // ID_Class, ID_Item, ID_SubItem, ID_Exam, ID_Multi, Stat_Memo, RecDate: an empty text beside
    // a NULL one, a NULL sub-key and a NULL date.
    rows("T_Statistic") = {{1, 1, 1, 1, 1, "", at(2020, 2, 29, 12, 0, 0)},
                           {2, null, null, 3, 4, null, null}};
    // ID_Mask, Descr_Mask, BDayFrom, BDayTo, RecFrom, RecTo, DuplofPatients, RecMask,
    // NumTrovFile, NumTotFile
    rows("T_StatisticMask") = {
        {1, "Mask 'a'", at(1890, 1, 1), at(1950, 12, 31, 23, 59, 59), null, null, true,
         at(2021, 3, 4, 5, 6, 7), 10, null},
        {2, null, null, null, null, null, false, null, null, 5},
    };
    rows("T_StatisticList") = {{1, 1, null, null}, {1, 2, 3, 4}};
    rows("T_StatisticSearch") = {{1, 1, null, null, "", 0}, {2, 2, 1, 1, null, 1}};
    rows("T_StatisticFileType") = {{1, 1}, {2, 2}};
    return archive;
}

} // namespace sqllumo::testing
