// Keeps a dialog wide enough for its title: the window manager cuts a title that is longer
// than the window, and a short form's title would otherwise end in "...".
#pragma once

class QWidget;

namespace sqllumo::ui {

// Once called, each time the window is shown or retitled its minimum width becomes at least
// what the title bar needs, and never less than its layout's own minimum size.
void WidenForTitle(QWidget* window);

} // namespace sqllumo::ui
