// Test entry point of the window tests (offscreen QApplication).
#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SQLLumoManager"));
    // Screenshots at a larger font show whether any caption gets cut off.
    if (const int pt = qEnvironmentVariableIntValue("SQLLUMO_SCREENSHOT_FONT_PT"); pt > 0) {
        QFont font = QApplication::font();
        font.setPointSize(pt);
        QApplication::setFont(font);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
