// The console side of the inspection: options checked, the library's lines printed.
#include "InspectCommand.h"

#include "AccessCsv.h"
#include "AccessInspection.h"

#include <QTextStream>

namespace sqllumo::archive {

namespace {
const QString kTableOption = QStringLiteral("--table");
const QString kCsvOption = QStringLiteral("--csv");
const QString kPrefix = QStringLiteral("sqllumo: ");
} // namespace

std::vector<ConsoleOwnOption> InspectOptions()
{
    return {{kTableOption, QStringLiteral("T"),
             QStringLiteral("with --csv: the table to print (any table of the file)")},
            {kCsvOption, {}, QStringLiteral("print the table's rows as CSV, in the file's order")}};
}

QString InspectNote()
{
    return QStringLiteral(
        "inspect reads --source without any server: each table with its rows and columns,\n"
        "then what an import of the file would meet. Exit status 0 when an import would\n"
        "succeed, 1 when it would not, 2 when the file cannot be read as an Access database.\n"
        "With --table T --csv: 0 when every row was printed, 1 when a row or the table cannot\n"
        "be read (the error on standard error), 2 when the file cannot be read.\n");
}

int RunInspectCommand(ConsoleCall& call)
{
    const auto source = call.fields.find(ConsoleOption::Source);
    if (source == call.fields.end() || source->second.isEmpty()) {
        call.err << kPrefix << "inspect needs --source FILE.mdb" << Qt::endl;
        return 2;
    }
    const QString path = source->second;
    const auto table = call.options.find(kTableOption);
    const bool csv = call.options.contains(kCsvOption);
    if (csv != (table != call.options.end())) {
        call.err << kPrefix << "--table and --csv go together: inspect --source "
                 << "FILE.mdb --table T --csv" << Qt::endl;
        return 2;
    }
    if (csv) {
        QString error;
        const db::CsvOutcome outcome =
            db::WriteAccessTableCsv(path, table->second, call.out, error);
        call.out.flush();
        if (outcome == db::CsvOutcome::Done)
            return 0;
        call.err << kPrefix << error << Qt::endl;
        return outcome == db::CsvOutcome::FileUnreadable ? 2 : 1;
    }
    const AccessInspection inspection = InspectAccessFile(path);
    if (!inspection.readable) {
        call.err << kPrefix << inspection.error << Qt::endl;
        return 2;
    }
    for (const QString& line : inspection.lines())
        call.out << line << '\n';
    call.out.flush();
    return inspection.importWouldSucceed() ? 0 : 1;
}

} // namespace sqllumo::archive
