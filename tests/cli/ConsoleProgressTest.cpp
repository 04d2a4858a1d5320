// The copy's progress on a terminal: one line per table rewritten in place, redrawn seldom
// enough that thousands of rows a second do not flood the terminal, and each finished table's
// line left with its own final count.
#include "ConsoleUserInterface.h"

#include <gtest/gtest.h>

using namespace sqllumo;

namespace {

class NoTerminal : public cli::Terminal {
public:
    bool available() override { return false; }
    std::optional<QString> readLine(const QString&, bool) override { return std::nullopt; }
};

// The states the copy reports for one table, in its order: the next table's count comes
// before its label.
void copyTable(UserInterface& ui, ProgressState& state, const QString& label, long long rows)
{
    state.rowsTotal = rows;
    state.rowsDone = 0;
    ui.showProgress(state);
    state.label = label;
    ui.showProgress(state);
    for (long long i = 0; i < rows; ++i) {
        ++state.rowsDone;
        ui.showProgress(state);
    }
}

} // namespace

TEST(ConsoleProgress, ALineIsRedrawnSeldomAndEndsWithItsTablesLastCount)
{
    QString text;
    QTextStream out(&text);
    NoTerminal terminal;
    cli::ConsoleUserInterface ui(out, terminal, true, std::nullopt);
    ui.setProgressInPlace(true);
    ProgressState state{QStringLiteral("Copying Data"), QString(), 0, 1, 0, true};
    ui.showProgress(state);
    copyTable(ui, state, QStringLiteral("Copying table T_Patient"), 3);
    copyTable(ui, state, QStringLiteral("Copying table T_File"), 50000);
    state.visible = false;
    ui.showProgress(state);
    out.flush();

    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << text.left(500).toStdString();
    // What the terminal shows at the end of each line: its last redraw.
    auto shown = [](const QString& line) {
        return line.section(QLatin1Char('\r'), -1).remove(QStringLiteral("\x1b[K"));
    };
    EXPECT_TRUE(shown(lines[0]).startsWith("Copying table T_Patient: 3 of 3 rows, "))
        << shown(lines[0]).toStdString();
    EXPECT_FALSE(lines[0].contains("50000"));
    EXPECT_TRUE(shown(lines[1]).startsWith("Copying table T_File: 50000 of 50000 rows, "))
        << shown(lines[1]).toStdString();
    // 50000 rows reported within a few hundred milliseconds: a handful of redraws, not one
    // each.
    EXPECT_LT(lines[1].count(QLatin1Char('\r')), 100);
}
