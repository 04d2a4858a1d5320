// What the window state keeps between OK presses and when it forgets the password.
#include "WindowState.h"
#include "Messages.h"

#include <gtest/gtest.h>

using namespace sqllumo;

TEST(WindowState, CatalogueChoiceAndKeyReleaseForgetThePassword)
{
    WindowState state;
    EXPECT_EQ(state.menuMode(), MenuMode::Archive);

    state.setConfirmedAdminPassword("pw");
    state.report().setText("old report");
    state.chooseCatalogue(MenuMode::Password);
    EXPECT_EQ(state.menuMode(), MenuMode::Password);
    EXPECT_TRUE(state.confirmedAdminPassword().isEmpty());
    EXPECT_TRUE(state.report().isEmpty());

    struct Row {
        MenuMode mode;
        bool forgotten;
    };
    for (const Row row : {Row{MenuMode::Archive, false}, Row{MenuMode::Password, true}}) {
        state.chooseCatalogue(row.mode);
        state.setConfirmedAdminPassword("pw");
        state.inputFieldKeyReleased();
        EXPECT_EQ(state.confirmedAdminPassword().isEmpty(), row.forgotten);
    }
}

TEST(WindowState, CaptionWritesEachNumberWithABlankSign)
{
    EXPECT_EQ(WindowCaption("Lumeno SQL Manager", 1, 2, 1), "Lumeno SQL Manager  1. 2. 1");
    EXPECT_EQ(WindowCaption("X", 10, 0, -3), "X  10. 0.-3");
    EXPECT_EQ(ApplicationCaption(), WindowCaption(kDesignCaption, SQLLUMO_VERSION_MAJOR,
                                                  SQLLUMO_VERSION_MINOR, SQLLUMO_VERSION_PATCH));
}

TEST(Messages, TheFourForms)
{
    const QString caption = "Lumeno SQL Manager  1. 0. 0";
    const Message v = validationMessage("Invalid database directory!");
    EXPECT_TRUE(v.title.isEmpty());
    EXPECT_EQ(v.buttons, MessageButtons::Ok);
    EXPECT_EQ(v.icon, MessageIcon::None);

    const Message s = successMessage(caption, "done");
    EXPECT_EQ(s.title, caption);
    EXPECT_EQ(s.icon, MessageIcon::Information);

    const Message e = trappedErrorMessage(caption, -2147217900, "Login failed");
    EXPECT_EQ(e.title, caption + " - Warning...");
    EXPECT_EQ(e.icon, MessageIcon::Critical);
    EXPECT_EQ(e.text, "An error occurred...\r-2147217900: Login failed");
    EXPECT_EQ(trappedErrorMessage(caption, 3704, "closed", true).text,
              "Error during connection to the database\r3704: closed");

    const Message a = accessMessage(texts::kConfirmPassword);
    EXPECT_EQ(a.title, "Warning");
    EXPECT_EQ(a.icon, MessageIcon::None);
    EXPECT_EQ(a.text, "You have to confirm password");
}
