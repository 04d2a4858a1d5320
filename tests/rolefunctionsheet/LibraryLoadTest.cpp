// The built libRoleFunctionSheet.so opened the way the program opens it: by dlopen beside the
// program, its object created through the factory by class identifier.
#include "FakeRights.h"
#include "RoleFunctionSheetLoader.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace rolefunctionsheet;
using rolefunctionsheet::testing::FakeCaller;
using rolefunctionsheet::testing::FakeRights;

TEST(RoleFunctionSheetLibrary, FactoryCreatesTheEditorClassOnlyAndItWorks)
{
    RoleFunctionSheetLoader loader; // beside this program, as the build places it
    QString error;
    _clsFunctsRoles* editor = loader.editor(&error);
    ASSERT_NE(editor, nullptr) << error.toStdString();
    EXPECT_EQ(loader.editor(&error), editor); // one object for the whole run

    // The class identifier is a value: its letters' case does not matter, anything else does.
    EXPECT_NE(loader.create("{8b1a9a6a-5ce4-4d69-b10f-2fade12dce58}", &error), nullptr);
    for (const char* other :
         std::initializer_list<const char*>{"{BE82DC3A-DC10-41B4-AF2F-4CBBFA335517}",
                                            "8B1A9A6A-5CE4-4D69-B10F-2FADE12DCE58", "", nullptr}) {
        error.clear();
        EXPECT_EQ(loader.create(other, &error), nullptr) << (other ? other : "null");
        EXPECT_TRUE(error.contains(loader.libraryPath())) << error.toStdString();
    }

    // The loaded code opens its window and writes back like the linked one.
    FakeRights rights = FakeRights::grid(1, 2, [](int, int) { return false; });
    FakeCaller caller;
    QTimer::singleShot(0, [] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        for (QPushButton* button : window->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Ok"))
                button->click();
    });
    rights.roleName = QStringLiteral("From the library");
    editor->showfrm(QStringLiteral("From the library"), caller, rights);
    EXPECT_TRUE(caller.confirmed);
    EXPECT_EQ(caller.typedName, QStringLiteral("From the library"));
    EXPECT_EQ(rights.rightsWrites, 1);
}

TEST(RoleFunctionSheetLibrary, MissingOrBrokenFileGivesAMessageNamingIt)
{
    QTemporaryDir empty;
    RoleFunctionSheetLoader missing(empty.path());
    QString error;
    EXPECT_EQ(missing.editor(&error), nullptr);
    const QString path = empty.path() + QStringLiteral("/libRoleFunctionSheet.so.1");
    EXPECT_EQ(missing.libraryPath(), path);
    EXPECT_EQ(error, LibraryLoadError(path, QStringLiteral("the file does not exist.")));

    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a shared object");
    broken.close();
    RoleFunctionSheetLoader garbage(empty.path());
    error.clear();
    EXPECT_EQ(garbage.editor(&error), nullptr);
    EXPECT_TRUE(error.startsWith(LibraryLoadError(path, QString()))) << error.toStdString();
    EXPECT_GT(error.size(), LibraryLoadError(path, QString()).size()); // the loader's reason
}
