#pragma once

// Return and Enter press a window's default button wherever the focus is in
// it, as in a dialog: a plain window, which the maintainers' windows are so
// that Escape cannot close them, has no such key of its own. A focused
// button takes the key for itself.

class QAbstractButton;
class QWidget;

void PressOnReturn(QWidget *window, QAbstractButton *defaultButton);
