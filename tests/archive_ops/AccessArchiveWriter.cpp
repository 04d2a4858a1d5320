// The test archives written as Access 2000 files with the project's .mdb writer.
#include "AccessArchiveFixture.h"

#include "MdbWriter.h"

namespace sqllumo::testing {

namespace {

mdbwriter::Column columnOf(const SourceColumn& c)
{
    const std::string name = c.name.toStdString();
    switch (c.type) {
    case AccessType::Long:
        return c.autoNumber ? mdbwriter::Column::autoNumberLong(name)
                            : mdbwriter::Column::longInt(name);
    case AccessType::Integer:
        return mdbwriter::Column::integer(name);
    case AccessType::Byte:
        return mdbwriter::Column::byte(name);
    case AccessType::YesNo:
        return mdbwriter::Column::yesNo(name);
    case AccessType::DateTime:
        return mdbwriter::Column::dateTime(name);
    case AccessType::Text:
        return mdbwriter::Column::text(name, c.size);
    case AccessType::Ole:
        return mdbwriter::Column::ole(name);
    }
    return mdbwriter::Column::longInt(name);
}

mdbwriter::Value valueOf(const QVariant& v)
{
    if (v.isNull())
        return mdbwriter::Null{};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::QString:
        return v.toString().toStdString();
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        return mdbwriter::Bytes(bytes.begin(), bytes.end());
    }
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        return mdbwriter::DateTime{t.date().year(), t.date().month(),  t.date().day(),
                                   t.time().hour(), t.time().minute(), t.time().second()};
    }
    case QMetaType::Double:
        return v.toDouble();
    default:
        return static_cast<long long>(v.toLongLong());
    }
}

} // namespace

bool WriteAccessFile(const SourceArchive& archive, const QString& path, QString& error,
                     bool access97)
{
    try {
        mdbwriter::MdbWriter writer(path.toStdString(), access97 ? mdbwriter::JetVersion::Jet3
                                                                 : mdbwriter::JetVersion::Jet4);
        for (const SourceTable& table : archive) {
            std::vector<mdbwriter::Column> columns;
            for (const SourceColumn& c : table.columns)
                columns.push_back(columnOf(c));
            const auto id = writer.addTable(table.name.toStdString(), columns);
            for (const auto& row : table.rows) {
                std::vector<mdbwriter::Value> values;
                for (const QVariant& v : row)
                    values.push_back(valueOf(v));
                writer.addRow(id, values);
            }
        }
        writer.close();
        return true;
    } catch (const mdbwriter::MdbWriterError& e) {
        error = QString::fromUtf8(e.what());
        return false;
    }
}

} // namespace sqllumo::testing
