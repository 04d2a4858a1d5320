// "Move Database fields" from the main window: the administrator password, the dialog with its
// rows and lists, a shift answered Yes, controls locked while it runs, and No closing at once.
#include "ShiftingArchive.h"

#include "F_SQLDatabase.h"
#include "Gen_ShiftDBField.h"
#include "ModalScript.h"
#include "PasswordRequest.h"
#include "TestResultRegistry.h"
#include "WindowDispatch.h"
#include "WindowDriving.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::shifting::testing::ShiftingArchive;
using sqllumo::testing::ModalScript;

namespace {

constexpr int kMoveFieldsEntry = 9;

class ShiftWindow : public ShiftingArchive {
protected:
    void SetUp() override
    {
        ShiftingArchive::SetUp();
        w_.prepare();
        w_.storeLogin(QString::fromStdString(server_->serverName()), "sa", saPassword());
        w_.settings->setValue(settingkeys::kDatabaseName, database_);
        provider_ = server::MakeServerProvider();
        // The shift log beside the report log, in the test's folder.
        w_.build(*provider_, logFolder_.path());
        w_.window->userInterface().setShiftDialog([](QWidget* parent, const ShiftDialogRequest& r) {
            return Gen_ShiftDBField::ask(parent, r);
        });
        w_.show();
        w_.window->CorvistaDataBase->trigger();
    }
    void TearDown() override
    {
        w_.dispatch.reset();
        w_.window.reset();
        ShiftingArchive::TearDown();
    }
    QString reportLog() const
    {
        QFile f(ReportLogPath(logFolder_.path()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static void confirmPassword(ModalScript& modals)
    {
        modals.then([](QWidget* w) {
            auto* dialog = qobject_cast<PasswordRequest*>(w);
            ASSERT_NE(dialog, nullptr);
            QTest::keyClicks(dialog->Text3, "VOR36pelin");
            dialog->Command1->click();
        });
    }

    std::unique_ptr<dbport::Provider> provider_;
    sqllumo::testing::WindowOverPort w_; // after the provider: the window goes first
};

} // namespace

TEST_F(ShiftWindow, AQuickSearchShiftRunsFromTheCatalogueWithTheDialogLockedMeanwhile)
{
    const int owner = addPatient(Patient());
    std::array<bool, 8> set{};
    set[6] = true;
    const int exam = addExam(owner, set);
    for (bool primary : {true, true, false})
        addFile(exam, primary, "");

    ModalScript modals;
    QPointer<Gen_ShiftDBField> dialog;
    QStringList seenInDialog;
    confirmPassword(modals);
    modals.then([&](QWidget* w) {
        dialog = qobject_cast<Gen_ShiftDBField*>(w);
        ASSERT_NE(dialog, nullptr);
        seenInDialog << dialog->windowTitle() << dialog->framePatient->title()
                     << dialog->frameExam->title();
        for (QComboBox* list : {dialog->cmbPatCode1, dialog->cmbFlag6, dialog->cmbFlag7}) {
            QStringList entries;
            for (int i = 0; i < list->count(); ++i)
                entries << list->itemText(i);
            seenInDialog << entries.join('|') + QString("@%1").arg(list->currentIndex());
        }
        // scripts/screenshot and its like look at the dialog through this folder.
        if (const QString folder = qEnvironmentVariable("SQLLUMO_SCREENSHOT_DIR");
            !folder.isEmpty())
            dialog->grab().save(QDir(folder).filePath("move-database-fields.png"));
        dialog->cmbFlag6->setCurrentIndex(2);
        QTimer::singleShot(0, dialog, [d = dialog] { d->cmdMoveFlag6->click(); });
    });
    bool lockedWhileRunning = false;
    bool stayedOpen = false;
    modals.then([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Move rv_7 (Quick Search 6) into rv_3 (Quick Search 2) for every "
                               "exam of database " +
                                   database_ + "?");
        EXPECT_EQ(box->windowTitle(), "Warning");
        // Runs while the worker lets events through after its first row.
        QTimer::singleShot(0, dialog, [&, d = dialog] {
            lockedWhileRunning = d->isShifting() && !d->cmdMoveFlag6->isEnabled() &&
                                 !d->cmdMovePatCode1->isEnabled() && !d->cmdCancel->isEnabled();
            d->close();
            stayedOpen = d->isVisible();
        });
        box->button(QMessageBox::Yes)->click();
    });
    // The dialog is the active modal again while the shift runs; the outcome comes after it.
    QStringList outcome;
    std::function<void(QWidget*)> answerOutcome = [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            modals.then(answerOutcome);
            return;
        }
        outcome << box->windowTitle() + ": " + box->text();
        box->button(QMessageBox::Ok)->click();
    };
    modals.then(answerOutcome);

    sqllumo::testing::OpenPanel(*w_.window, kMoveFieldsEntry);
    EXPECT_EQ(w_.window->Text1[1]->text(), database_);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);

    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(seenInDialog,
              QStringList({"Move database fields", "Patient", "Exam",
                           "ID2|Add to Comment|Insurance Number|Insurance Company@0",
                           "Quick Search 0|Quick Search 1|Quick Search 2|Quick Search 3|Quick "
                           "Search 4|Quick Search 5@0",
                           "Quick Search 0|Quick Search 1|Quick Search 2|Quick Search 3|Quick "
                           "Search 4|Quick Search 5@0"}));
    EXPECT_TRUE(lockedWhileRunning);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(outcome,
              QStringList({"SQLLumoManager: Shifting QuickSearch6 successfully done!\nRows "
                           "changed: 3. Their old values are in the shift log " +
                           logPath()}));
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());

    std::array<bool, 8> moved{};
    moved[2] = true;
    EXPECT_EQ(flags(exam), moved);
    EXPECT_TRUE(reportLog().contains(
        "\r\nFields have been shifted from original location in database ShiftArchive\r\n"));
    EXPECT_FALSE(w_.window->Frame1->isVisible());
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "Gen_ShiftDBField: Shifting  QuickSearch6 to QuickSearch2");
}

TEST_F(ShiftWindow, NoClosesTheDialogAtOnceAndNothingIsReported)
{
    Patient p;
    p.code1 = "STAYS";
    const int id = addPatient(p);
    ModalScript modals;
    confirmPassword(modals);
    modals.then([&](QWidget* w) {
        auto* dialog = qobject_cast<Gen_ShiftDBField*>(w);
        ASSERT_NE(dialog, nullptr);
        QTimer::singleShot(0, dialog, [dialog] { dialog->cmdMovePatCode1->click(); });
    });
    modals.press(QMessageBox::No);
    sqllumo::testing::OpenPanel(*w_.window, kMoveFieldsEntry);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    EXPECT_EQ(modals.unexpected(), 0);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text,
              "Move Pat_Code_1 into Pat_Code_2 for every patient of database " + database_ + "?");
    EXPECT_EQ(patient(id, "Pat_Code_1").toString(), "STAYS");
    EXPECT_EQ(reportLog(), QString());
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_FALSE(w_.window->state().exchange().SpostatiCampiDB);
}

TEST_F(ShiftWindow, EnterInTheDialogStartsNothingWhicheverButtonHasTheFocus)
{
    Patient p;
    p.code1 = "STAYS";
    const int id = addPatient(p);
    ModalScript modals;
    confirmPassword(modals);
    QStringList defaults;
    bool stillOpen = true;
    modals.then([&](QWidget* w) {
        auto* dialog = qobject_cast<Gen_ShiftDBField*>(w);
        ASSERT_NE(dialog, nullptr);
        // Outside the script's step, so a question that Enter might raise is seen and refused.
        QTimer::singleShot(0, dialog, [&, d = QPointer<Gen_ShiftDBField>(dialog)] {
            for (QPushButton* button : d->findChildren<QPushButton*>()) {
                if (button->isDefault() || button->autoDefault())
                    defaults << button->text();
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Return);
                if (d)
                    QTest::keyClick(button, Qt::Key_Enter);
                if (d)
                    QTest::keyClick(d, Qt::Key_Return);
                stillOpen = stillOpen && d && d->isVisible();
                if (!stillOpen)
                    return;
            }
            d->cmdCancel->click();
        });
    });
    sqllumo::testing::OpenPanel(*w_.window, kMoveFieldsEntry);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    // A question would have been a modal the script did not expect.
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(defaults, QStringList());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(patient(id, "Pat_Code_1").toString(), "STAYS");
    EXPECT_FALSE(QFile::exists(logPath()));
    EXPECT_FALSE(w_.window->state().exchange().SpostatiCampiDB);
}
