#pragma once
// The dialog "Move database fields": a row per shift (patient code, patient marker, quick
// searches 6 and 7, exam marker), each with its Apply button; a successful shift closes it.

#include "FieldShifts.h"
#include "QtUserInterface.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace sqllumo::ui {

class Gen_ShiftDBField : public QDialog {
    Q_OBJECT
public:
    // logPath: the shift log the dialog and its worker write.
    Gen_ShiftDBField(QWidget* parent, QString logPath);

    // Keeps the database's connection string and the port to reach it; nothing is shifted yet.
    void Impostati(const QString& strConn, dbport::Provider& database);
    // True once a shift has succeeded (the dialog has then closed).
    bool SpostatiCampiDB() const { return spostatiCampiDB_; }
    // True while a shift runs.
    bool isShifting() const { return shifting_; }

    // Shows the dialog modally for the request's database: the port's field-shifting dialog.
    static bool ask(QWidget* parent, const ShiftDialogRequest& request);

    QGroupBox* framePatient = nullptr;
    QGroupBox* frameExam = nullptr;
    QComboBox* cmbPatCode1 = nullptr;
    QComboBox* cmbFlag6 = nullptr;
    QComboBox* cmbFlag7 = nullptr;
    QPushButton* cmdMovePatCode1 = nullptr;
    QPushButton* cmdMovePatMarker = nullptr;
    QPushButton* cmdMoveFlag6 = nullptr;
    QPushButton* cmdMoveFlag7 = nullptr;
    QPushButton* cmdMoveExamMarker = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void apply(shifting::ShiftRow row, const QComboBox* list);
    void lockControls(bool locked);

    QString logPath_;
    QString strConn_;
    dbport::Provider* database_ = nullptr;
    QtUserInterface ui_;
    bool spostatiCampiDB_ = false;
    bool shifting_ = false;
};

} // namespace sqllumo::ui
