#pragma once
// Connects the main window to the dispatcher: OK runs the selected function, and the frame's
// visible steps are done on the window's own controls.

#include "Dispatcher.h"
#include "F_SQLDatabase.h"

namespace sqllumo::ui {

class WindowDispatch : public PanelHost {
public:
    // Installs itself as the window's OK hook and the Qt password request dialog; the window
    // and the services' objects must outlive this object.
    WindowDispatch(F_SQLDatabase& window, OperationServices services);
    ~WindowDispatch() override;
    WindowDispatch(const WindowDispatch&) = delete;
    WindowDispatch& operator=(const WindowDispatch&) = delete;

    Dispatcher& dispatcher() { return dispatcher_; }

    PanelValues panelValues() const override;
    void closePanel() override;
    void enableOtherCatalogue() override;
    void showInformation(const QString& text) override;

private:
    F_SQLDatabase& window_;
    Dispatcher dispatcher_;
};

} // namespace sqllumo::ui
