#pragma once
// An archive database made by the program's own creation code on a stand-in the test program
// starts, emptied of patients before each test, with helpers that insert patients, exams and
// files and read back what a shift left. The shift log lives in a temporary folder.

#include "ArchiveOnStandin.h"

#include "Recordset.h"
#include "ShiftLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace sqllumo::shifting::testing {

// A patient row as the tests insert it; the look-up columns take the archive's empty rows.
struct ArchivePatient {
    QString lastName = QStringLiteral("Rossi");
    QString firstName = QStringLiteral("Anna");
    QString birthDate = QStringLiteral("1950-04-03");
    QString code1, code2, comment, insNumber, insCompany;
    int marker = 3;
};

class ShiftingArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<standin::testing::StandinServer>();
        settingsFolder_ = std::make_unique<QTemporaryDir>();
        database_ = QStringLiteral("ShiftArchive");
        created_ = CreateArchive(*server_, database_, settingsFolder_->path(), creationError_);
    }
    static void TearDownTestSuite()
    {
        settingsFolder_.reset();
        server_.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(created_) << creationError_.toStdString();
        ASSERT_TRUE(logFolder_.isValid());
        connection_.open(connectionString());
        // Exams and files go with their patients; markers other than the empty one go too.
        connection_.execute(QStringLiteral("DELETE FROM T_Patient"));
        connection_.execute(QStringLiteral("DELETE FROM T_Marker WHERE ID_Marker <> 3"));
    }
    void TearDown() override { connection_.close(); }

    // The port the program's front ends hand to the shifts.
    static dbport::Provider& port()
    {
        static const std::unique_ptr<dbport::Provider> provider = server::MakeServerProvider();
        return *provider;
    }
    static QString connectionString(const QString& database = database_)
    {
        return StandinConnectionString(*server_, database);
    }
    static QString saPassword() { return QString::fromStdString(server_->saPassword()); }
    QString logPath() const { return ShiftLogPath(logFolder_.path()); }

    int identity(const QString& insert)
    {
        db::Recordset rs = connection_.query(
            insert + QStringLiteral("; SELECT CAST(SCOPE_IDENTITY() AS INT) AS id"));
        return rs.value(0).toInt();
    }
    static QString quoted(const QString& text)
    {
        return QLatin1Char('\'') + SQLConvertString(text) + QLatin1Char('\'');
    }

    int addMarker(const QString& text)
    {
        return identity(
            QStringLiteral("INSERT INTO T_Marker(Marker) VALUES (%1)").arg(quoted(text)));
    }

    using Patient = ArchivePatient;
    int addPatient(const Patient& p)
    {
        return identity(
            QStringLiteral(
                "INSERT INTO T_Patient(Title, L_Name, F_Name, M_Name, B_Date, Sex, Height, Weight, "
                "Address, ID_City, ID_Province, Zip_Code, ID_Country, Tel_Home, Tel_Work, "
                "Ins_Number, Ins_Company, Pat_Code_1, Pat_Code_2, ID_Hosp_Dep, Comment, "
                "ID_Doc_Tech, Free1, Free2, ID_Marker, Used_By, RecDate) VALUES ('', %1, %2, '', "
                "'%3', 0, 170, 70, '', 23, 10, '', 6, '', '', %4, %5, %6, %7, 8, %8, 17, '', '', "
                "%9, '', '2020-01-01')")
                .arg(quoted(p.lastName), quoted(p.firstName), p.birthDate, quoted(p.insNumber),
                     quoted(p.insCompany), quoted(p.code1), quoted(p.code2), quoted(p.comment))
                .arg(p.marker));
    }
    // flags: rv_1 to rv_8.
    int addExam(int patient, std::array<bool, 8> flags, int marker = 3)
    {
        QStringList values;
        for (bool flag : flags)
            values << (flag ? QStringLiteral("1") : QStringLiteral("0"));
        return identity(QStringLiteral("INSERT INTO T_Exam(ID_Patient, Code, rv_1, rv_2, rv_3, "
                                       "rv_4, rv_5, rv_6, rv_7, rv_8, ID_Marker, Comment) VALUES "
                                       "(%1, 'E', %2, %3, '')")
                            .arg(patient)
                            .arg(values.join(QStringLiteral(", ")))
                            .arg(marker));
    }
    int addFile(int exam, bool primary, const QString& comment)
    {
        return identity(
            QStringLiteral(
                "INSERT INTO T_File(ID_Multi, [Primary], ID_Type, [Date], ID_Tech, ID_Doc, "
                "ID_Doc_Req, ID_Hosp_Dep, Duration, Path_Local, Path_Archive, ID_Storage, "
                "FileDateLastModify, FileLen, Comment, Used_By) VALUES (%1, %2, 1, '2020-01-01', "
                "17, 17, 17, 8, 60, '', '', NULL, '2020-01-01', 1000, %3, '')")
                .arg(exam)
                .arg(primary ? 1 : 0)
                .arg(quoted(comment)));
    }

    // Many rows at once, 500 to a statement: `count` patients whose ID1 is prefix + i, and
    // with withExams for each an exam with quick search 6 set and one primary file.
    void addPatientsInBulk(int count, const QString& prefix, bool withExams)
    {
        const auto insert = [&](const QString& head, const std::vector<int>& keys,
                                const std::function<QString(int)>& row) {
            for (size_t from = 0; from < keys.size(); from += 500) {
                QStringList values;
                for (size_t i = from; i < std::min(keys.size(), from + 500); ++i)
                    values << row(keys[i]);
                connection_.execute(head + values.join(QStringLiteral(", ")));
            }
        };
        const auto keys = [&](const QString& select) {
            std::vector<int> found;
            for (db::Recordset rs = connection_.query(select); !rs.eof(); rs.moveNext())
                found.push_back(rs.value(0).toInt());
            return found;
        };
        std::vector<int> numbers(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            numbers[static_cast<size_t>(i)] = i;
        insert(QStringLiteral(
                   "INSERT INTO T_Patient(Title, L_Name, F_Name, M_Name, B_Date, Sex, Height, "
                   "Weight, Address, ID_City, ID_Province, Zip_Code, ID_Country, Tel_Home, "
                   "Tel_Work, Ins_Number, Ins_Company, Pat_Code_1, Pat_Code_2, ID_Hosp_Dep, "
                   "Comment, ID_Doc_Tech, Free1, Free2, ID_Marker, Used_By, RecDate) VALUES "),
               numbers, [&](int i) {
                   return QStringLiteral("('', 'Last%1', 'First', '', '1960-01-01', 0, 170, 70, "
                                         "'', 23, 10, '', 6, '', '', '', '', '%2%1', '', 8, '', "
                                         "17, '', '', 3, '', '2020-01-01')")
                       .arg(i)
                       .arg(prefix);
               });
        if (!withExams)
            return;
        insert(QStringLiteral("INSERT INTO T_Exam(ID_Patient, Code, rv_1, rv_2, rv_3, rv_4, rv_5, "
                              "rv_6, rv_7, rv_8, ID_Marker, Comment) VALUES "),
               keys(QStringLiteral("SELECT ID_Patient FROM T_Patient")), [](int id) {
                   return QStringLiteral("(%1, 'E', 0, 0, 0, 0, 0, 0, 1, 0, 3, '')").arg(id);
               });
        insert(QStringLiteral("INSERT INTO T_File(ID_Multi, [Primary], ID_Type, [Date], ID_Tech, "
                              "ID_Doc, ID_Doc_Req, ID_Hosp_Dep, Duration, Path_Local, "
                              "Path_Archive, ID_Storage, FileDateLastModify, FileLen, Comment, "
                              "Used_By) VALUES "),
               keys(QStringLiteral("SELECT ID_Multi FROM T_Exam")), [](int exam) {
                   return QStringLiteral("(%1, 1, 1, '2020-01-01', 17, 17, 17, 8, 60, '', '', "
                                         "NULL, '2020-01-01', 1000, '', '')")
                       .arg(exam);
               });
    }

    QVariant value(const QString& table, const QString& column, const QString& key, int id)
    {
        db::Recordset rs = connection_.query(
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4").arg(column, table, key).arg(id));
        return rs.eof() ? QVariant() : rs.value(0);
    }
    QVariant patient(int id, const QString& column)
    {
        return value(QStringLiteral("T_Patient"), column, QStringLiteral("ID_Patient"), id);
    }
    QVariant exam(int id, const QString& column)
    {
        return value(QStringLiteral("T_Exam"), column, QStringLiteral("ID_Multi"), id);
    }
    QVariant file(int id, const QString& column)
    {
        return value(QStringLiteral("T_File"), column, QStringLiteral("ID_Exam"), id);
    }
    std::array<bool, 8> flags(int examId)
    {
        std::array<bool, 8> result{};
        for (int i = 0; i < 8; ++i)
            result[static_cast<size_t>(i)] =
                exam(examId, QStringLiteral("rv_%1").arg(i + 1)).toBool();
        return result;
    }

    // The log's lines without their "(date time) " stamps; each must end in CR LF.
    QStringList logLines() const
    {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        const QString text = QString::fromUtf8(log.readAll());
        QStringList lines = text.split(QStringLiteral("\r\n"));
        EXPECT_TRUE(lines.last().isEmpty()) << "the last line lacks its CR LF";
        lines.removeLast();
        for (QString& line : lines) {
            EXPECT_TRUE(line.startsWith(QLatin1Char('('))) << line.toStdString();
            line = line.mid(line.indexOf(QStringLiteral(") ")) + 2);
        }
        return lines;
    }
    void clearLog() const { QFile::remove(logPath()); }

    // The log text of a patient's head: "Patient SP with ID=n (last, first, date) ".
    QString head(int id, const Patient& p = Patient()) const
    {
        return QStringLiteral("GestioneDBPazienti: Patient SP with ID=%1 (%2, %3, %4) ")
            .arg(id)
            .arg(p.lastName, p.firstName,
                 QLocale::system().toString(QDate::fromString(p.birthDate, Qt::ISODate),
                                            QLocale::ShortFormat));
    }

    static inline std::unique_ptr<standin::testing::StandinServer> server_;
    static inline std::unique_ptr<QTemporaryDir> settingsFolder_;
    static inline QString database_;
    static inline bool created_ = false;
    static inline QString creationError_;
    QTemporaryDir logFolder_;
    db::Connection connection_;
};

} // namespace sqllumo::shifting::testing
