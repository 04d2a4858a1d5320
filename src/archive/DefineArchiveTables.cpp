// Archive creation: table presence from the catalogue, definitions and default rows from the
// schema definition, and the enciphered version row of a new-version archive.
#include "DefineArchiveTables.h"

#include "ArchiveSchema.h"
#include "ArchiveTexts.h"
#include "CRijndael.h"
#include "ReportLog.h"
#include "TestResultRegistry.h"

#include <ctime>

namespace sqllumo::archive {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

bool isPresent(const QStringList& names, const QString& table)
{
    // Exact comparison, case and all: a table that differs only in case is not ours.
    for (const QString& name : names)
        if (name == table)
            return true;
    return false;
}

password::Bytes toBytes(const QString& text)
{
    return password::TextToBytes(std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<size_t>(text.size())));
}

const QString kVersionSelect = QStringLiteral("SELECT [FreeText] FROM T_DBVersion");
const QString kVersionField = QStringLiteral("FreeText");

} // namespace

qint32 TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 ms = static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return static_cast<qint32>(static_cast<quint32>(ms));
}

QString MakeDatabaseCode(const QDate& today, qint32 tickCount)
{
    const QString date = today.toString(QStringLiteral("ddMMyy"));
    return date + db::SignedNumber(tickCount).mid(1, 6);
}

QString MakeDatabaseCode()
{
    return MakeDatabaseCode(QDate::currentDate(), TickCount());
}

QByteArray EncipheredVersion(const QString& databaseCode)
{
    const password::Bytes cipher = password::EncipherPassword(
        toBytes(databaseCode), toBytes(QString::fromLatin1(kNewVersionText)));
    return QByteArray(reinterpret_cast<const char*>(cipher.data()),
                      static_cast<qsizetype>(cipher.size()));
}

QString DecipherVersionRow(const QString& storedText, const QString& databaseCode)
{
    static const QString hexDigits = QStringLiteral("0123456789ABCDEFabcdef");
    if (storedText.isEmpty() || storedText.size() % 2 != 0)
        return {};
    for (QChar c : storedText)
        if (!hexDigits.contains(c))
            return {};
    const QByteArray raw = QByteArray::fromHex(storedText.toLatin1());
    password::Bytes cipher(raw.begin(), raw.end());
    try {
        const password::Bytes plain = password::DecipherPassword(toBytes(databaseCode), cipher);
        const std::u16string text = password::BytesToText(plain);
        return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    } catch (const password::CipherError&) {
        return {};
    }
}

bool DefineArchiveTables(const QString& databaseName, const QString& connectionString,
                         dbport::Catalog& catalog, bool newVersion, QString& errorText,
                         const ArchiveWork& work)
{
    using namespace texts;
    QString currentTable;
    QString databaseCode;
    TestResultRegistry& registry = work.registry;
    // The tables' states reach the settings file in one save when the step ends, however it
    // ends, not one per value.
    const TestResultRegistry::SavedTogether oneSave(registry);
    ReportBuffer& report = work.report;

    report.append(kLineBreak + kDefineStart + databaseName);
    for (const QString& table : RegistryTableOrder())
        registry.setValue(registrysections::kTables, table, values::kUnchecked);

    std::unique_ptr<dbport::Connection> connection;
    try {
        connection = work.provider.newConnection();
        connection->open(connectionString);
        for (const TableDef& table : ArchiveTables()) {
            currentTable = q(table.name);
            if (!isPresent(catalog.tableNames(), currentTable)) {
                registry.setValue(registrysections::kTables, currentTable,
                                  values::kNotPresentTable);
                connection->execute(q(CreateTableStatement(table)));
                if (!table.indexColumns.empty()) {
                    catalog.refresh();
                    for (size_t i = 0; i < table.indexColumns.size(); ++i)
                        catalog.appendIndex(currentTable, q(table.indexName(i)),
                                            q(table.indexColumns[i]));
                }
                if (table.name == "T_DBVersion" && newVersion)
                    databaseCode = MakeDatabaseCode();
                const auto rows =
                    DefaultRowStatements(table, newVersion, databaseCode.toStdString());
                for (size_t i = 0; i < rows.size(); ++i) {
                    connection->execute(q(rows[i]));
                    // The new-version row goes in empty and then receives the cipher bytes.
                    if (table.name == "T_DBVersion" && newVersion && i == 0)
                        connection->writeBytesToCurrentRow(kVersionSelect, kVersionField,
                                                           EncipheredVersion(databaseCode));
                }
            }
            registry.setValue(registrysections::kTables, currentTable, values::kPresent);
            report.append(kLineBreak + kTableWord + currentTable + kIsCorrect);
        }
        report.append(kLineBreak + kDefineFinish + databaseName);
        connection->close();
        return true;
    } catch (const db::Error& error) {
        errorText = db::ErrorText(error);
    } catch (const password::CipherError& error) {
        errorText = QString::fromUtf8(error.what()) + db::SignedNumber(0);
    }
    report.append(kLineBreak + kDefineError + currentTable + kLineBreak + errorText);
    dbport::CloseAfterFailure(connection.get());
    return false;
}

} // namespace sqllumo::archive
