// Keeps a dialog wide enough for its title: the window manager cuts a title that is longer
// than the window, and a short form's title would otherwise end in "...".
#pragma once

class QWidget;

namespace sqllumo::ui {

// Call after setWindowTitle; raises the minimum width, never lowers it.
void WidenForTitle(QWidget* window);

} // namespace sqllumo::ui
