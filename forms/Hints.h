#pragma once

// Hints show text from the model, files and the system. Qt takes any hint
// that looks like markup for rich text and would load an <img src=...> in
// it, so every hint of the program is shown as the literal text it holds.

#include <QPoint>
#include <QRect>
#include <QString>

namespace forms {

// The widest a line of a hint may be, in pixels of the hint font, for a
// hint shown at the screen point at: a line of a readable length, and never
// wider than most of that screen.
int HintLineWidth(QPoint at);

// Rich text that displays text exactly as it is, line breaks and runs of
// spaces included. A line wider than maxLineWidth is broken between words
// (within a word that alone is too wide); a line that fits stays whole.
QString PlainHint(const QString &text, int maxLineWidth);

// A widget whose window-less parts have hints of their own names the hint at
// a point. It returns false where no part is, and the widget's own hint
// applies; an empty hint shows nothing.
class HintSource {
  public:
    virtual ~HintSource() = default;
    virtual bool HintAt(QPoint pos, QString &hint, QRect &area) const = 0;
};

// Shows every hint of the application through PlainHint, whoever set it.
// Call once, after the application object exists.
void InstallPlainHints();

} // namespace forms
