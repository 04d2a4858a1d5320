// The field-shifting dialog. While a shift runs every button, the lists and closing are
// refused: the worker lets window events through after every row, and a second shift or a
// closed dialog in the middle of one would leave the data in an unknown state.
#include "Gen_ShiftDBField.h"

#include "DialogWidth.h"

#include "ShiftTexts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace sqllumo::ui {

using namespace shifting::texts;

namespace {

// An arrow from the source to the destination, drawn at the label's text height.
QPixmap ArrowPicture(const QWidget& sample)
{
    const int height = sample.fontMetrics().height();
    const int width = height * 2;
    const qreal ratio = sample.devicePixelRatioF();
    QPixmap picture(QSize(width, height) * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = sample.palette().color(QPalette::WindowText);
    painter.setPen(QPen(colour, qMax(1.5, height / 8.0), Qt::SolidLine, Qt::RoundCap));
    const qreal middle = height / 2.0;
    const qreal head = height / 3.0;
    painter.drawLine(QPointF(2, middle), QPointF(width - head, middle));
    QPainterPath tip;
    tip.moveTo(width - 1, middle);
    tip.lineTo(width - 1 - head * 1.4, middle - head);
    tip.lineTo(width - 1 - head * 1.4, middle + head);
    tip.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(tip);
    return picture;
}

QComboBox* List(QWidget* parent, const QStringList& entries)
{
    auto* list = new QComboBox(parent);
    list->addItems(entries);
    list->setCurrentIndex(0);
    return list;
}

// One row: source label, picture, destination, button.
void AddRow(QGridLayout* grid, const QString& source, QWidget* destination, QPushButton* button)
{
    const int row = grid->rowCount();
    auto* label = new QLabel(source);
    auto* picture = new QLabel;
    picture->setPixmap(ArrowPicture(*label));
    grid->addWidget(label, row, 0);
    grid->addWidget(picture, row, 1);
    grid->addWidget(destination, row, 2);
    grid->addWidget(button, row, 3);
    grid->setColumnStretch(2, 1);
}

} // namespace

Gen_ShiftDBField::Gen_ShiftDBField(QWidget* parent, QString logPath)
    : QDialog(parent), logPath_(std::move(logPath)), ui_(this, nullptr, nullptr, nullptr)
{
    setWindowTitle(kDialogCaption);
    WidenForTitle(this);
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    framePatient = new QGroupBox(kPatientFrame, this);
    auto* patient = new QGridLayout(framePatient);
    cmbPatCode1 = List(framePatient, kPatientCodeEntries);
    cmdMovePatCode1 = new QPushButton(kApply, framePatient);
    cmdMovePatMarker = new QPushButton(kApply, framePatient);
    AddRow(patient, kId1Label, cmbPatCode1, cmdMovePatCode1);
    AddRow(patient, kMarkerLabel, new QLabel(kAddToCommentLabel), cmdMovePatMarker);
    layout->addWidget(framePatient);

    frameExam = new QGroupBox(kExamFrame, this);
    auto* exam = new QGridLayout(frameExam);
    cmbFlag6 = List(frameExam, QuickSearchEntries());
    cmbFlag7 = List(frameExam, QuickSearchEntries());
    cmdMoveFlag6 = new QPushButton(kApply, frameExam);
    cmdMoveFlag7 = new QPushButton(kApply, frameExam);
    cmdMoveExamMarker = new QPushButton(kApply, frameExam);
    AddRow(exam, kQuickSearch6Label, cmbFlag6, cmdMoveFlag6);
    AddRow(exam, kQuickSearch7Label, cmbFlag7, cmdMoveFlag7);
    AddRow(exam, kMarkerLabel, new QLabel(kAddToCommentLabel), cmdMoveExamMarker);
    layout->addWidget(frameExam);
    // The pictures and lists of both frames line up under one another.
    int sourceWidth = 0;
    for (const QString& source : {kId1Label, kMarkerLabel, kQuickSearch6Label, kQuickSearch7Label})
        sourceWidth = qMax(sourceWidth, fontMetrics().horizontalAdvance(source));
    for (QGridLayout* grid : {patient, exam})
        grid->setColumnMinimumWidth(0, sourceWidth);

    auto* buttons = new QHBoxLayout;
    cmdCancel = new QPushButton(kExit, this);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    // Enter must never start a move nor close the dialog: no button is the default, not even
    // the one that has the focus.
    for (QPushButton* button : {cmdMovePatCode1, cmdMovePatMarker, cmdMoveFlag6, cmdMoveFlag7,
                                cmdMoveExamMarker, cmdCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    using shifting::ShiftRow;
    connect(cmdMovePatCode1, &QPushButton::clicked, this,
            [this] { apply(ShiftRow::PatientCode1, cmbPatCode1); });
    connect(cmdMovePatMarker, &QPushButton::clicked, this,
            [this] { apply(ShiftRow::PatientMarker, nullptr); });
    connect(cmdMoveFlag6, &QPushButton::clicked, this,
            [this] { apply(ShiftRow::QuickSearch6, cmbFlag6); });
    connect(cmdMoveFlag7, &QPushButton::clicked, this,
            [this] { apply(ShiftRow::QuickSearch7, cmbFlag7); });
    connect(cmdMoveExamMarker, &QPushButton::clicked, this,
            [this] { apply(ShiftRow::ExamMarker, nullptr); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void Gen_ShiftDBField::Impostati(const QString& strConn, dbport::Provider& database)
{
    strConn_ = strConn;
    database_ = &database;
    spostatiCampiDB_ = false;
}

void Gen_ShiftDBField::apply(shifting::ShiftRow row, const QComboBox* list)
{
    if (shifting_ || !database_)
        return;
    const shifting::ShiftRequest request{row, list ? list->currentIndex() : 0};
    const shifting::ApplyResult result =
        shifting::ApplyShift(ui_, request, *database_, strConn_, logPath_,
                             [this](bool locked) { lockControls(locked); });
    switch (result) {
    case shifting::ApplyResult::Declined:
        reject();
        break;
    case shifting::ApplyResult::Failed:
        break;
    case shifting::ApplyResult::Succeeded:
        spostatiCampiDB_ = true;
        accept();
        break;
    }
}

void Gen_ShiftDBField::lockControls(bool locked)
{
    shifting_ = locked;
    for (QWidget* control : std::initializer_list<QWidget*>{
             cmdMovePatCode1, cmdMovePatMarker, cmdMoveFlag6, cmdMoveFlag7, cmdMoveExamMarker,
             cmdCancel, cmbPatCode1, cmbFlag6, cmbFlag7})
        control->setEnabled(!locked);
}

void Gen_ShiftDBField::closeEvent(QCloseEvent* event)
{
    if (shifting_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Gen_ShiftDBField::reject()
{
    if (shifting_)
        return;
    spostatiCampiDB_ = false;
    QDialog::reject();
}

bool Gen_ShiftDBField::ask(QWidget* parent, const ShiftDialogRequest& request)
{
    if (!request.database)
        return false;
    Gen_ShiftDBField dialog(parent, request.logPath);
    dialog.Impostati(request.connectionString, *request.database);
    dialog.exec();
    return dialog.SpostatiCampiDB();
}

} // namespace sqllumo::ui
