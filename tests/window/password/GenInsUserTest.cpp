// The user details dialog driven offscreen: what loading shows, the four checks of OK in their
// order with their messages, and the exchange fields every way of closing hands back.
#include "Gen_InsUser.h"
#include "ModalScript.h"
#include "Screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::testing::ModalScript;

namespace {

const QStringList kRoles{QStringLiteral("Administrator"), QStringLiteral("Doctor's role"),
                         QStringLiteral("Técnicos")};

// Lists the roles as the password database would, and notes the connection it was given.
struct RoleLister {
    QStringList roles = kRoles;
    UserDetailsRequest seen;
    Gen_InsUser::RoleFiller filler()
    {
        return [this](const UserDetailsRequest& request, password::ListControl& list) {
            seen = request;
            list.clear();
            for (const QString& role : roles)
                list.AddItem(role);
            if (list.ListCount() > 0)
                list.setListIndex(0);
        };
    }
};

UserDetailsRequest changeRequest()
{
    UserDetailsRequest r;
    r.server = QStringLiteral("srv");
    r.database = QStringLiteral("Passwords");
    r.sqlUser = QStringLiteral("sa");
    r.sqlPassword = QStringLiteral("pw");
    r.mode = UserDetailsMode::ChangeUser;
    r.userName = QStringLiteral("O'Brien");
    r.password = QStringLiteral("s3cret");
    r.firstName = QStringLiteral("Séan");
    r.lastName = QStringLiteral("O'Brien");
    r.birthDate = QDate(1961, 3, 5);
    r.title = QStringLiteral("Dr.");
    r.roleName = QStringLiteral("Doctor's role");
    r.position = 0;
    r.type = 1;
    return r;
}

void setDate(Gen_InsUser& d, const QString& year, const QString& month, const QString& day)
{
    d.Comdate_0->setEditText(year);
    d.Comdate_1->setEditText(month);
    d.Comdate_2->setEditText(day);
}

// Typed as the keyboard would, limits included; QTest's key clicks know only ASCII.
void type(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->insert(text);
}

void typeAccount(Gen_InsUser& d, const QString& name, const QString& password,
                 const QString& confirmation)
{
    for (QLineEdit* box : {d.Text2, d.Text3, d.Text4})
        box->clear();
    type(d.Text2, name);
    type(d.Text3, password);
    type(d.Text4, confirmation);
}

} // namespace

TEST(GenInsUser, NewUserShowsEmptyBoxesListsAndLimits)
{
    RoleLister lister;
    Gen_InsUser d;
    UserDetailsRequest request;
    request.server = QStringLiteral("srv");
    request.database = QStringLiteral("Passwords");
    d.Impostati(request, lister.filler());
    d.show();
    EXPECT_EQ(lister.seen.server, QStringLiteral("srv"));
    EXPECT_EQ(lister.seen.database, QStringLiteral("Passwords"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("User information"));
    EXPECT_EQ(d.Frame7->title(), QStringLiteral("User Name/Password"));
    EXPECT_EQ(d.Frame6->title(), QStringLiteral("Access type"));
    EXPECT_EQ(d.Frame2->title(), QStringLiteral("Name/Title"));
    EXPECT_EQ(d.Frame5->title(), QStringLiteral("Birthday"));
    EXPECT_EQ(d.Frame3->title(), QStringLiteral("Type"));
    EXPECT_EQ(d.Frame4->title(), QStringLiteral("Position"));
    EXPECT_EQ(d.Command1->text(), QStringLiteral("OK"));
    EXPECT_EQ(d.Command2->text(), QStringLiteral("cancel"));
    EXPECT_TRUE(d.Text2->isEnabled());
    // No role until one is chosen: OK too soon must not make an administrator.
    EXPECT_EQ(d.Combo1->currentIndex(), -1);
    EXPECT_EQ(d.Combo1->count(), 3);

    const int thisYear = QDate::currentDate().year();
    ASSERT_EQ(d.Comdate_0->count(), thisYear - 1880 + 1);
    EXPECT_EQ(d.Comdate_0->itemText(0), QStringLiteral("1880"));
    EXPECT_EQ(d.Comdate_0->itemText(d.Comdate_0->count() - 1), QString::number(thisYear));
    ASSERT_EQ(d.Comdate_1->count(), 12);
    EXPECT_EQ(d.Comdate_1->itemText(0), QStringLiteral("1"));
    ASSERT_EQ(d.Comdate_2->count(), 31);
    EXPECT_EQ(d.Comdate_2->itemText(30), QStringLiteral("31"));
    for (QComboBox* box : {d.Comdate_0, d.Comdate_1, d.Comdate_2})
        EXPECT_TRUE(box->currentText().isEmpty());

    struct Limit {
        QLineEdit* box;
        int length;
        bool masked;
    };
    for (const Limit& l :
         {Limit{d.Text2, 30, false}, Limit{d.Text3, 30, true}, Limit{d.Text4, 30, true},
          Limit{d.Text1_4, 50, false}, Limit{d.Text1_5, 50, false}, Limit{d.Text1_8, 32, false}}) {
        QTest::keyClicks(l.box, QString(60, QLatin1Char('x')));
        EXPECT_EQ(l.box->text().size(), l.length);
        EXPECT_EQ(l.box->echoMode() == QLineEdit::Password, l.masked);
    }
}

TEST(GenInsUser, ChangingAUserShowsWhatIsStored)
{
    RoleLister lister;
    Gen_InsUser d;
    d.Impostati(changeRequest(), lister.filler());
    d.show();
    sqllumo::testing::SaveScreenshot(d, QStringLiteral("user-information"));
    EXPECT_FALSE(d.Text2->isEnabled());
    EXPECT_FALSE(d.Label2->isEnabled());
    EXPECT_EQ(d.Text2->text(), QStringLiteral("O'Brien"));
    EXPECT_EQ(d.Text3->text(), QStringLiteral("s3cret"));
    EXPECT_EQ(d.Text4->text(), QStringLiteral("s3cret"));
    EXPECT_EQ(d.Text1_4->text(), QStringLiteral("Séan"));
    EXPECT_EQ(d.Text1_5->text(), QStringLiteral("O'Brien"));
    EXPECT_EQ(d.Text1_8->text(), QStringLiteral("Dr."));
    EXPECT_EQ(d.Combo1->currentText(), QStringLiteral("Doctor's role"));
    EXPECT_EQ(d.Comdate_0->currentText(), QStringLiteral("1961"));
    EXPECT_EQ(d.Comdate_1->currentText(), QStringLiteral("3"));
    EXPECT_EQ(d.Comdate_2->currentText(), QStringLiteral("5"));
    EXPECT_TRUE(d.Option1_0->isChecked()); // doctor
    EXPECT_TRUE(d.Option1_3->isChecked()); // external

    // A stored role that is no longer listed leaves the first one selected.
    UserDetailsRequest gone = changeRequest();
    gone.roleName = QStringLiteral("Removed role");
    gone.type = 0;
    gone.position = 1;
    d.Impostati(gone, lister.filler());
    EXPECT_EQ(d.Combo1->currentText(), QStringLiteral("Administrator"));
    EXPECT_TRUE(d.Option1_1->isChecked());
    EXPECT_TRUE(d.Option1_2->isChecked());
}

TEST(GenInsUser, OkChecksInOrderAndKeepsTheDialogOpen)
{
    const QString thisYear = QString::number(QDate::currentDate().year());
    const QString nextYear = QString::number(QDate::currentDate().year() + 1);
    struct Case {
        const char* what;
        QString name, password, confirmation;
        bool roles;
        QString year, month, day;
        QString message; // empty: accepted
    };
    const Case cases[] = {
        {"differing confirmation comes before the empty name", "", "a", "b", true, "", "", "",
         "You have to confirm password"},
        {"empty confirmation", "n", "a", "", true, "", "", "", "You have to confirm password"},
        {"empty name", "", "a", "a", true, "", "", "", "Invalid User Info"},
        {"no role", "n", "a", "a", false, "", "", "", "You have to specify the access type!"},
        {"a name of blanks", "   ", "a", "a", true, "", "", "", "Invalid User Info"},
        {"31 February", "n", "a", "a", true, "2000", "2", "31", "Invalid Birth Date"},
        {"typed year before 1800", "n", "a", "a", true, "1799", "12", "31", "Invalid Birth Date"},
        {"next year", "n", "a", "a", true, nextYear, "1", "1", "Invalid Birth Date"},
        {"not a number", "n", "a", "a", true, "19x0", "1", "1", "Invalid Birth Date"},
        {"1800 is early enough", "n", "a", "a", true, "1800", "1", "1", ""},
        {"this year", "n", "a", "a", true, thisYear, "1", "1", ""},
        {"a partial date is not checked", "n", "a", "a", true, "", "2", "31", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RoleLister lister;
        if (!c.roles)
            lister.roles.clear();
        Gen_InsUser d;
        d.Impostati(UserDetailsRequest{}, lister.filler());
        d.show();
        typeAccount(d, c.name, c.password, c.confirmation);
        if (c.roles)
            d.Combo1->setCurrentIndex(1);
        setDate(d, c.year, c.month, c.day);
        ModalScript script;
        if (!c.message.isEmpty())
            script.press(QMessageBox::Ok);
        d.Command1->click();
        QTRY_VERIFY(script.done());
        if (c.message.isEmpty()) {
            EXPECT_TRUE(script.seen().empty());
            EXPECT_EQ(d.result().InserisciUser, true);
            EXPECT_FALSE(d.isVisible());
        } else {
            ASSERT_EQ(script.seen().size(), 1u);
            EXPECT_EQ(script.seen()[0].text, c.message);
            EXPECT_EQ(script.seen()[0].title, QStringLiteral("Warning"));
            EXPECT_EQ(script.seen()[0].icon, QMessageBox::NoIcon);
            EXPECT_FALSE(d.result().InserisciUser);
            EXPECT_TRUE(d.isVisible());
        }
        EXPECT_EQ(script.unexpected(), 0);
    }
}

TEST(GenInsUser, ClosingHandsTheBoxesBackOnlyOkConfirms)
{
    enum class Close { Ok, Cancel, CloseBox };
    for (Close how : {Close::Ok, Close::Cancel, Close::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(how));
        RoleLister lister;
        UserDetailsResult got;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<Gen_InsUser*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            typeAccount(*d, QStringLiteral("Zoë"), QStringLiteral("pw 1"), QStringLiteral("pw 1"));
            type(d->Text1_4, QStringLiteral("Zoë"));
            type(d->Text1_5, QStringLiteral("D'Arcy"));
            type(d->Text1_8, QStringLiteral("Nurse"));
            d->Combo1->setCurrentIndex(2);
            d->Option1_0->click();
            d->Option1_2->click();
            setDate(*d, QStringLiteral("1984"), QStringLiteral("7"), QStringLiteral("9"));
            if (how == Close::Ok)
                d->Command1->click();
            else if (how == Close::Cancel)
                d->Command2->click();
            else
                d->close();
        });
        got = Gen_InsUser::ask(nullptr, UserDetailsRequest{}, lister.filler());
        UserDetailsResult expected;
        expected.InserisciUser = how == Close::Ok;
        expected.UserName = QStringLiteral("Zoë");
        expected.PassWord = QStringLiteral("pw 1");
        expected.Nome = QStringLiteral("Zoë");
        expected.Cognome = QStringLiteral("D'Arcy");
        expected.Title = QStringLiteral("Nurse");
        expected.Tipo = 1;
        expected.Posizione = 1;
        expected.NomeRuolo = QStringLiteral("Técnicos");
        expected.DatadiNascita = QStringLiteral("09/07/1984");
        EXPECT_EQ(got, expected);
    }
}

TEST(GenInsUser, NoDateGivesTodayAndNoRoleLeavesTheRoleUnset)
{
    RoleLister lister;
    lister.roles.clear();
    Gen_InsUser d;
    d.Impostati(UserDetailsRequest{}, lister.filler());
    setDate(d, QStringLiteral("2001"), QStringLiteral("2"), QStringLiteral("29"));
    const UserDetailsResult r = d.result();
    EXPECT_EQ(r.DatadiNascita, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
    EXPECT_FALSE(r.NomeRuolo.has_value());
    EXPECT_EQ(r.Tipo, 0); // technician, external as loading selects them
    EXPECT_EQ(r.Posizione, 0);
    EXPECT_EQ(BirthDateFromBoxes(QStringLiteral("29"), QStringLiteral("2"), QStringLiteral("2004")),
              QDate(2004, 2, 29));
}

TEST(GenInsUser, StoredValuesLongerThanTheBoxesAreShownAndHandedBackWhole)
{
    // Stored by another program: a name and a password past the 30 characters typed new.
    UserDetailsRequest stored = changeRequest();
    stored.userName = QStringLiteral("Dr. Maria Assunta Esposito-Bellini");
    stored.password = QStringLiteral("correct horse battery staple 2021 ok");
    ASSERT_GT(stored.userName.size(), 30);
    ASSERT_EQ(stored.password.size(), 36);
    RoleLister lister;
    Gen_InsUser d;
    d.Impostati(stored, lister.filler());
    d.show();
    EXPECT_EQ(d.Text2->text(), stored.userName);
    EXPECT_EQ(d.Text3->text(), stored.password);
    EXPECT_EQ(d.Text4->text(), stored.password);
    ModalScript script;
    d.Command1->click();
    QTRY_VERIFY(!d.isVisible());
    const UserDetailsResult kept = d.result();
    EXPECT_TRUE(kept.InserisciUser);
    EXPECT_EQ(kept.UserName, stored.userName);
    EXPECT_EQ(kept.PassWord, stored.password);
    EXPECT_EQ(script.unexpected(), 0);

    // The next user typed new meets the limits again.
    d.Impostati(UserDetailsRequest{}, lister.filler());
    d.show();
    for (QLineEdit* box : {d.Text2, d.Text3}) {
        QTest::keyClicks(box, QString(40, QLatin1Char('y')));
        EXPECT_EQ(box->text().size(), 30);
    }
}

TEST(GenInsUser, ANewUserNeedsARoleChosenAndLosesTrailingBlanks)
{
    RoleLister lister;
    Gen_InsUser d;
    d.Impostati(UserDetailsRequest{}, lister.filler());
    d.show();
    // Typed to the limit with a blank at its end.
    typeAccount(d, QStringLiteral("Anna Maria Rossi-Bianchi di T "), QStringLiteral("pw"),
                QStringLiteral("pw"));
    ASSERT_EQ(d.Text2->text().size(), 30);
    ModalScript script;
    script.press(QMessageBox::Ok);
    d.Command1->click();
    QTRY_VERIFY(script.done());
    ASSERT_EQ(script.seen().size(), 1u);
    EXPECT_EQ(script.seen()[0].text, QStringLiteral("You have to specify the access type!"));
    EXPECT_TRUE(d.isVisible());

    d.Combo1->setCurrentIndex(d.Combo1->findText(QStringLiteral("Técnicos")));
    d.Command1->click();
    QTRY_VERIFY(!d.isVisible());
    const UserDetailsResult r = d.result();
    EXPECT_TRUE(r.InserisciUser);
    EXPECT_EQ(r.UserName, QStringLiteral("Anna Maria Rossi-Bianchi di T"));
    EXPECT_EQ(r.NomeRuolo, QStringLiteral("Técnicos"));
    EXPECT_EQ(script.unexpected(), 0);
}
