// The main window's widgets, the catalogue lists and the panels opened from the function
// descriptors, pre-filled from the settings.
#include "F_SQLDatabase.h"

#include "FunctionCatalogue.h"
#include "HelpWindow.h"
#include "Settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace sqllumo::ui {

namespace {
// Pictures of our own: a drum for the archive, a key for the passwords.
QIcon drawIcon(bool key)
{
    QPixmap pm(96, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (!key) {
        p.setBrush(QColor(70, 120, 190));
        p.setPen(QPen(QColor(30, 60, 110), 2));
        p.drawRect(30, 8, 36, 24);
        p.drawEllipse(30, 2, 36, 12);
        p.drawEllipse(30, 26, 36, 12);
    } else {
        p.setBrush(QColor(210, 170, 40));
        p.setPen(QPen(QColor(120, 90, 10), 2));
        p.drawEllipse(22, 10, 20, 20);
        p.drawRect(42, 17, 34, 6);
        p.drawRect(66, 23, 4, 8);
        p.drawRect(58, 23, 4, 6);
    }
    return QIcon(pm);
}

// The text with "&" before the first occurrence of letter, so Alt+letter reaches it.
QString withMnemonic(const QString& text, QChar letter)
{
    QString marked = text;
    const qsizetype at = marked.indexOf(letter);
    if (at >= 0)
        marked.insert(at, u'&');
    return marked;
}

bool isEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}
} // namespace

F_SQLDatabase::F_SQLDatabase(Settings& settings, QWidget* parent)
    : QMainWindow(parent), functions_(CatalogueFunctions()), settings_(settings)
{
    buildWidgets();
    ui_ = std::make_unique<QtUserInterface>(this, FrImport, Label5, CSMTable);
    setWindowTitle(ApplicationCaption());
    QFont bold = Label1[0]->font();
    bold.setBold(true);
    Label1[0]->setFont(bold);
    Label1[0]->setAlignment(Qt::AlignCenter);
    Label1[0]->setText(catalogueTexts::kArchiveBanner);
    Label1[1]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1[1]->setText(catalogueTexts::kListPrompt);
}

F_SQLDatabase::~F_SQLDatabase() = default;

void F_SQLDatabase::buildWidgets()
{
    using namespace catalogueTexts;
    buildMenu();
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    buildPictureButtons(central, outer);
    buildCatalogueList(central, outer);
    buildPanel(central, outer);

    ListInfo = new QTextEdit(central);
    ListInfo->setReadOnly(true);
    // Reports put a tab between a name and its size: stops that grow with the font keep the
    // sizes in one column at any font size.
    ListInfo->setTabStopDistance(ListInfo->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 10);
    ListInfo->hide();
    outer->addWidget(ListInfo, 4);

    FrImport = new QGroupBox(kImportFrame, central);
    auto* imp = new QVBoxLayout(FrImport);
    Label5 = new QLabel(QStringLiteral("Label5"), FrImport);
    CSMTable = new QProgressBar(FrImport);
    imp->addWidget(Label5);
    imp->addWidget(CSMTable);
    FrImport->hide();
    FrImport->installEventFilter(this);
    outer->addWidget(FrImport);

    // The report buffer is never shown; it only mirrors the state's text for operations.
    Report = new QTextEdit(central);
    Report->hide();

    setCentralWidget(central);
    // 6810 x 6735 twips at 15 twips a pixel, plus room for the menu.
    resize(454, 470);
}

void F_SQLDatabase::buildMenu()
{
    using namespace catalogueTexts;
    // Alt+T opens the menu; D and P choose its items.
    QMenu* tools = menuBar()->addMenu(withMnemonic(kToolsMenu, u'T'));
    toolsMenu_ = tools;
    CorvistaDataBase = tools->addAction(withMnemonic(kArchiveMenuItem, u'D'));
    CorvistaPasswordDataBase = tools->addAction(withMnemonic(kPasswordMenuItem, u'P'));
    CorvistaDataBase->setCheckable(true);
    CorvistaPasswordDataBase->setCheckable(true);
    connect(CorvistaDataBase, &QAction::triggered, this,
            [this] { selectCatalogue(MenuMode::Archive); });
    connect(CorvistaPasswordDataBase, &QAction::triggered, this,
            [this] { selectCatalogue(MenuMode::Password); });
}

void F_SQLDatabase::buildPictureButtons(QWidget* central, QVBoxLayout* outer)
{
    using namespace catalogueTexts;
    // One parent for both picture buttons: disabled while a function runs, it keeps each
    // button's own state for afterwards.
    pictureButtons_ = new QWidget(central);
    auto* buttons = new QHBoxLayout(pictureButtons_);
    buttons->setContentsMargins(0, 0, 0, 0);
    cmdArchivio = new QToolButton(pictureButtons_);
    cmdPassword = new QToolButton(pictureButtons_);
    for (auto* b : {cmdArchivio, cmdPassword}) {
        b->setIconSize(QSize(96, 40));
        b->setMinimumSize(137, 49);
    }
    cmdArchivio->setIcon(drawIcon(false));
    cmdPassword->setIcon(drawIcon(true));
    cmdArchivio->setToolTip(kArchiveMenuItem);
    cmdPassword->setToolTip(kPasswordMenuItem);
    connect(cmdArchivio, &QToolButton::clicked, this,
            [this] { selectCatalogue(MenuMode::Archive); });
    connect(cmdPassword, &QToolButton::clicked, this,
            [this] { selectCatalogue(MenuMode::Password); });
    buttons->addStretch(1);
    buttons->addWidget(cmdArchivio);
    buttons->addStretch(1);
    buttons->addWidget(cmdPassword);
    buttons->addStretch(1);
    outer->addWidget(pictureButtons_);
}

void F_SQLDatabase::buildCatalogueList(QWidget* central, QVBoxLayout* outer)
{
    Label1[0] = new QLabel(QStringLiteral("Label1"), central);
    Label1[1] = new QLabel(QStringLiteral("Label1"), central);
    outer->addWidget(Label1[0]);
    outer->addWidget(Label1[1]);

    List1 = new QListWidget(central);
    outer->addWidget(List1, 3);
    Label4 = new QLabel(QStringLiteral("Label4"), central);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    Label4->setMinimumHeight(Label4->fontMetrics().lineSpacing() * 3);
    Label4->hide();
    outer->addWidget(Label4, 1);
    connect(List1, &QListWidget::currentRowChanged, this,
            [this](int row) { showDescription(row); });
    connect(List1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showDescription(List1->row(item)); });
    connect(List1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openPanel(List1->row(item)); });
    List1->installEventFilter(this);
}

// The panel: description, server and database fields, the name lists of the password
// catalogue, the file row with Browse and Inspect, OK and Cancel.
void F_SQLDatabase::buildPanel(QWidget* central, QVBoxLayout* outer)
{
    Frame1 = new QGroupBox(QStringLiteral("Frame1"), central);
    Frame1->hide();
    auto* grid = new QGridLayout(Frame1);
    buildPanelFields(grid);
    buildPanelNameLists(grid);
    buildPanelSourceRow(grid);
    buildPanelButtons(grid);
    // Escape acts as Cancel from whatever control of the panel has the focus.
    for (QWidget* control :
         std::initializer_list<QWidget*>{SQLUserName, SQLPsw, CmdOK, CmdCancel, CmdBrowse,
                                         CmdInspect, Combo1, Command2, Command6, CopyPhotos})
        control->installEventFilter(this);
    Frame1->installEventFilter(this);
    outer->addWidget(Frame1, 6);
}

void F_SQLDatabase::buildPanelFields(QGridLayout* grid)
{
    using namespace catalogueTexts;
    Label3 = new QLabel(QStringLiteral("Label3"), Frame1);
    Label3->setWordWrap(true);
    grid->addWidget(Label3, 0, 0, 1, 2);
    const std::array<QString, 4> design{kServerNameCaption, QStringLiteral("Login Name"),
                                        QStringLiteral("Label2"), QStringLiteral("Label2")};
    for (int i = 0; i < 4; ++i) {
        Label2[i] = new QLabel(design[i], Frame1);
        Label2[i]->setWordWrap(true);
        Text1[i] = new QLineEdit(Frame1);
        Text1[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        Text1[i]->installEventFilter(this);
    }
    auto* label6 = new QLabel(kUserNameCaption, Frame1);
    auto* label7 = new QLabel(kPasswordCaption, Frame1);
    SQLUserName = new QLineEdit(Frame1);
    SQLPsw = new QLineEdit(Frame1);
    SQLPsw->setEchoMode(QLineEdit::Password);
    // OK is the panel's default button: Enter in any of its fields presses it.
    for (QLineEdit* field : {Text1[0], Text1[1], Text1[2], Text1[3], SQLUserName, SQLPsw})
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (Frame1->isVisible() && CmdOK->isVisible() && CmdOK->isEnabled())
                CmdOK->click();
        });
    grid->addWidget(Label2[0], 1, 0);
    grid->addWidget(label6, 1, 1);
    grid->addWidget(Text1[0], 2, 0);
    grid->addWidget(SQLUserName, 2, 1);
    grid->addWidget(Label2[1], 3, 0);
    grid->addWidget(label7, 3, 1);
    grid->addWidget(Text1[1], 4, 0);
    grid->addWidget(SQLPsw, 4, 1);
    grid->addWidget(Label2[2], 5, 0, 1, 2);
    grid->addWidget(Text1[2], 6, 0, 1, 2);
}

// Shown by the password catalogue's functions that pick a user or a role.
void F_SQLDatabase::buildPanelNameLists(QGridLayout* grid)
{
    using namespace catalogueTexts;
    Command2 = new QPushButton(kShowUserNames, Frame1);
    Command6 = new QPushButton(kShowRoleNames, Frame1);
    Combo1 = new QComboBox(Frame1);
    auto* comboBox = new QVBoxLayout;
    comboBox->addWidget(Command2);
    comboBox->addWidget(Command6);
    comboBox->addWidget(Combo1);
    grid->addLayout(comboBox, 7, 0);
    for (QWidget* w : {static_cast<QWidget*>(Command2), static_cast<QWidget*>(Command6),
                       static_cast<QWidget*>(Combo1)})
        w->hide();
    connect(Command2, &QPushButton::clicked, this, [this] {
        if (onShowUserNames)
            onShowUserNames();
    });
    connect(Command6, &QPushButton::clicked, this, [this] {
        if (onShowRoleNames)
            onShowRoleNames();
    });
}

void F_SQLDatabase::buildPanelSourceRow(QGridLayout* grid)
{
    using namespace catalogueTexts;
    grid->addWidget(Label2[3], 8, 0, 1, 2);
    auto* row3 = new QHBoxLayout;
    row3->addWidget(Text1[3], 1);
    CmdBrowse = new QPushButton(kBrowse, Frame1);
    row3->addWidget(CmdBrowse);
    CmdInspect = new QPushButton(kInspect, Frame1);
    CmdInspect->hide();
    row3->addWidget(CmdInspect);
    grid->addLayout(row3, 9, 0, 1, 2);
    connect(CmdBrowse, &QPushButton::clicked, this, [this] { browse(); });
    connect(CmdInspect, &QPushButton::clicked, this, [this] { inspectSource(); });
    CopyPhotos = new QCheckBox(kCopyPhotos, Frame1);
    CopyPhotos->hide();
    grid->addWidget(CopyPhotos, 10, 0, 1, 2);
}

void F_SQLDatabase::buildPanelButtons(QGridLayout* grid)
{
    using namespace catalogueTexts;
    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    CmdOK = new QPushButton(kOk, Frame1);
    CmdCancel = new QPushButton(kCancel, Frame1);
    CmdOK->setDefault(true);
    okRow->addWidget(CmdOK);
    okRow->addWidget(CmdCancel);
    grid->addLayout(okRow, 11, 0, 1, 2);
    grid->setRowStretch(12, 1);
    connect(CmdOK, &QPushButton::clicked, this, [this] {
        if (onOk)
            onOk();
    });
    connect(CmdCancel, &QPushButton::clicked, this, [this] { cancel(); });
}

void F_SQLDatabase::selectCatalogue(MenuMode mode)
{
    state_.chooseCatalogue(mode);
    Report->clear();
    Label1[0]->setText(bannerFor(mode));
    CorvistaDataBase->setChecked(mode == MenuMode::Archive);
    CorvistaPasswordDataBase->setChecked(mode == MenuMode::Password);
    // An open panel covers the description, as it covers the list.
    Label4->setVisible(!Frame1->isVisible());
    List1->clear();
    for (const FunctionDescriptor* function : FunctionsOf(functions_, mode))
        if (function->windowEntry)
            List1->addItem(function->entry);
    List1->setCurrentRow(0);
    showDescription(0);
    // On the list, not on a picture button where the next Space would switch catalogue.
    List1->setFocus();
    if (mode == MenuMode::Password && onPasswordCatalogueChosen)
        onPasswordCatalogueChosen();
}

void F_SQLDatabase::showDescription(int row)
{
    if (List1->count() == 0)
        return;
    const FunctionDescriptor* function = FindFunction(functions_, state_.menuMode(), row);
    if (!function)
        return;
    Label4->setText(displayText(function->description));
}

void F_SQLDatabase::setOtherCatalogueEnabled(bool enabled)
{
    if (state_.menuMode() == MenuMode::Archive) {
        cmdPassword->setEnabled(enabled);
        CorvistaPasswordDataBase->setEnabled(enabled);
    } else {
        cmdArchivio->setEnabled(enabled);
        CorvistaDataBase->setEnabled(enabled);
    }
}

void F_SQLDatabase::openPanel(int index)
{
    if (List1->count() == 0)
        return;
    const MenuMode mode = state_.menuMode();
    setOtherCatalogueEnabled(false);
    if (mode == MenuMode::Archive) {
        Combo1->hide();
        Command2->hide();
        Command6->hide();
    }
    const FunctionDescriptor* function = FindFunction(functions_, mode, index);
    if (!function)
        return;
    const PanelLayout& layout = function->panel;
    if (!Frame1->isVisible())
        sizeBeforePanel_ = size();
    Frame1->setTitle(layout.frameCaption);
    Frame1->show();
    List1->hide();
    Label4->hide();
    for (size_t i = 0; i < 4; ++i) {
        const FieldLayout& field = layout.fields[i];
        Label2[i]->setVisible(field.shown);
        Text1[i]->setVisible(field.shown);
        if (field.shown && !field.caption.isEmpty())
            Label2[i]->setText(displayText(field.caption));
        Text1[i]->clear();
        if (field.shown && !field.settingKey.isEmpty())
            Text1[i]->setText(settings_.value(field.settingKey));
    }
    SQLUserName->setText(settings_.value(settingkeys::kSQLUserName));
    SQLPsw->setText(settings_.value(settingkeys::kSQLPassword));
    Label3->setText(displayText(layout.label3));
    CmdBrowse->setVisible(layout.browse);
    inspect_ = layout.inspectSource;
    CmdInspect->setVisible(static_cast<bool>(inspect_));
    // Left out unless asked for each time: the clinical application may rely on it.
    CopyPhotos->setChecked(false);
    CopyPhotos->setVisible(layout.copyPhotosBox);
    helpTopic_ = layout.helpTopic;
    Combo1->clear();
    Combo1->setVisible(layout.combo != ComboButton::None);
    Command2->setVisible(layout.combo == ComboButton::UserNames);
    Command6->setVisible(layout.combo == ComboButton::RoleNames);
    fitHeightToPanel();
    Text1[0]->setFocus();
}

void F_SQLDatabase::fitHeightToPanel()
{
    // Wrapped captions ask for their height only for a given width, which the window's
    // minimum size does not include: at a large font they would be cut off at the bottom.
    QLayout* layout = centralWidget()->layout();
    layout->invalidate();
    layout->activate();
    const int width = centralWidget()->width();
    const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                   : layout->totalSizeHint().height();
    const int menu = menuBar()->isVisible() ? menuBar()->sizeHint().height() : 0;
    if (height() < needed + menu)
        resize(this->width(), needed + menu);
}

void F_SQLDatabase::closePanel()
{
    Frame1->hide();
    ListInfo->hide();
    List1->show();
    Label4->setVisible(List1->count() > 0);
    CmdOK->show();
    setOtherCatalogueEnabled(true);
    // The panel made the window taller; the list returns in the window's own size.
    if (sizeBeforePanel_.isValid()) {
        resize(sizeBeforePanel_);
        sizeBeforePanel_ = QSize();
    }
    List1->setFocus();
}

void F_SQLDatabase::setOperationRunning(bool running, bool stoppable)
{
    running_ = running;
    stoppable_ = running && stoppable;
    if (running)
        ui_->clearStopRequest();
    List1->setEnabled(!running);
    toolsMenu_->menuAction()->setEnabled(!running);
    pictureButtons_->setEnabled(!running);
    CmdOK->setEnabled(!running);
    CmdInspect->setEnabled(!running);
    if (running)
        return;
    // Focus could not go to the disabled list when the panel closed.
    if (List1->isVisible())
        List1->setFocus();
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

bool F_SQLDatabase::askStop()
{
    if (!stoppable_)
        return false;
    const Message question{catalogueTexts::kStopImportQuestion, windowTitle(),
                           MessageIcon::Question, MessageButtons::YesNo};
    if (ui_->showMessage(question) != MessageResult::Yes)
        return false;
    ui_->requestStop();
    return true;
}

void F_SQLDatabase::cancel()
{
    if (running_)
        askStop();
    else
        closePanel();
}

void F_SQLDatabase::closeEvent(QCloseEvent* event)
{
    if (!running_) {
        QMainWindow::closeEvent(event);
        return;
    }
    // Closing now would pull the window from under the running function: it closes after.
    event->ignore();
    if (askStop())
        closeWhenDone_ = true;
}

void F_SQLDatabase::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && running_) {
        askStop();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void F_SQLDatabase::browse()
{
    using namespace catalogueTexts;
    FileChoice choice{kSelectAccessTitle, {kAllFilesFilter, kDatabaseFilter}, 1, QString()};
    if (auto path = ui_->chooseFile(choice))
        Text1[3]->setText(*path);
}

// The file is read here, without a server: a technician sees what an import would meet before
// anything is created. The lines can be long (a table's columns), so they scroll both ways.
void F_SQLDatabase::inspectSource()
{
    using namespace catalogueTexts;
    const QString path = Text1[3]->text().trimmed();
    if (!inspect_)
        return;
    if (path.isEmpty()) {
        ui_->showMessage({kInspectNoFile, QString(), MessageIcon::None, MessageButtons::Ok});
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QStringList lines = inspect_(path);
    QApplication::restoreOverrideCursor();
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("InspectionDialog"));
    dialog.setWindowTitle(kInspectionTitle + QStringLiteral(" - ") + path);
    auto* text = new QPlainTextEdit(&dialog);
    text->setObjectName(QStringLiteral("InspectionText"));
    text->setReadOnly(true);
    // Long findings wrap rather than hide past the right edge; the fixed font keeps the size
    // the person chose for the window.
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font().pointSizeF() > 0)
        fixed.setPointSizeF(font().pointSizeF());
    text->setFont(fixed);
    text->setPlainText(lines.join(QLatin1Char('\n')));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    const QFontMetrics metrics(text->font());
    dialog.resize(std::min(metrics.averageCharWidth() * 110, screen()->availableSize().width()),
                  std::min(metrics.lineSpacing() * 32, screen()->availableSize().height()));
    dialog.exec();
}

void F_SQLDatabase::showHelpTopic(int topic)
{
    if (topic <= 0)
        return;
    if (!helpWindow_)
        helpWindow_ = new HelpWindow(this);
    static_cast<HelpWindow*>(helpWindow_)->showTopic(topic);
}

bool F_SQLDatabase::eventFilter(QObject* watched, QEvent* event)
{
    // The import meter takes room below the panel while the panel stays open.
    if (watched == FrImport && event->type() == QEvent::Show && Frame1->isVisible())
        fitHeightToPanel();
    if (event->type() == QEvent::KeyRelease) {
        for (QLineEdit* field : Text1) {
            if (watched == field)
                state_.inputFieldKeyReleased();
        }
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && Frame1->isVisible() && helpTopic_ > 0) {
            showHelpTopic(helpTopic_);
            return true;
        }
        if (key->key() == Qt::Key_Escape && Frame1->isVisible() && watched != List1) {
            cancel();
            return true;
        }
        if (watched == List1 && isEnter(key) && List1->currentRow() >= 0) {
            openPanel(List1->currentRow());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace sqllumo::ui
