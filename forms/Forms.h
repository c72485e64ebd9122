#pragma once

// How the form library's habits map onto Qt: colours as 0x00BBGGRR, texts of
// the model's fixed fields, anchors, and a few controls with the designed look.

#include <cstddef>
#include <string>

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "Kvguiglobals.h"

class QLineEdit;
class QPlainTextEdit;

namespace forms {

QColor ToQColor(TColor c);
QColor ToQColor(const RGBColour &c);
TColor ToTColor(const QColor &c);

// Text fields hold UTF-8. Files written on Windows hold Windows-1252, so bytes
// that are not valid UTF-8 are read as that code page.
QString DecodeModelText(const char *text, std::size_t maxBytes);
// UTF-8 of text cut to at most maxBytes without splitting a character.
std::string EncodeModelText(const QString &text, std::size_t maxBytes);

template <std::size_t N> QString ModelText(const char (&field)[N])
{
    return DecodeModelText(field, N);
}

template <std::size_t N> void SetModelText(char (&field)[N], const QString &text)
{
    SetField(field, EncodeModelText(text, N - 1));
}

// The desktop's colour for a colour role, when the user chose the system's
// colours. The roles were drawn against Windows system colours; each takes
// the nearest role of the desktop's palette:
//   Title, Primary, Clock, Exit Button  active caption     -> Highlight
//   Secondary                           caption gradient   -> Highlight, lighter
//   Game Panel                          tooltip background -> ToolTipBase
//   Background                          button face        -> Button
//   Cat. Area                           window text        -> WindowText
//   Panels                              3D dark shadow     -> Shadow
TColor SystemColour(int role);

// The longest start of inserted, in whole characters, that fits beside kept
// in a field of maxBytes bytes of UTF-8 and, unless maxChars is -1, of
// maxChars characters. Empty when kept alone fills the field.
QString FittingInsertion(const QString &kept, const QString &inserted, int maxBytes, int maxChars = -1);

// Limits what can be typed, pasted or dropped into edit to what a model field
// of maxBytes bytes of UTF-8 holds, so that what is shown is what is stored.
// An insertion is cut at the limit and a key with no room is refused; what
// the field held before is never lost. With maxChars, typing is also held to
// that many characters, while a longer text set by the program is shown
// whole and can be shortened.
void LimitToFieldBytes(QLineEdit *edit, int maxBytes, int maxChars = -1);
void LimitToFieldBytes(QPlainTextEdit *memo, int maxBytes);

// The forms were drawn with fonts a Linux desktop rarely has; name installed
// ones to stand in, so that Qt need not search the whole font set for each.
void InstallFontSubstitutes();

// The dialogs' font: "MS Sans Serif" 8 pt was drawn with narrow letters, and
// the captions were fitted to them; the Helvetica-metric families keep them
// fitting where DejaVu Sans would not.
QFont DialogFont();

// The family Qt should be asked for to draw in family: family itself when it
// is installed, else the first installed stand-in InstallFontSubstitutes
// named for it, else family. Qt searches the whole font set for a fallback
// (a costly sort of every font) whenever the family it is given first is
// missing, before it looks at the stand-ins at all.
QString InstalledFamily(const QString &family);

// Reads the installed fonts on a thread of its own while it lives: at a start
// that takes about as long as placing and mapping the window, and on a second
// core the two overlap. The first font looked up waits for it; so does the
// end of its life.
class FontsReadAhead {
  public:
    FontsReadAhead();
    ~FontsReadAhead();
    FontsReadAhead(const FontsReadAhead &) = delete;
    FontsReadAhead &operator=(const FontsReadAhead &) = delete;
};

// Font of the designed height in pixels (the form library's negative heights),
// in family or its installed stand-in.
QFont MakeFont(const QString &family, int pixelHeight, bool bold = false);
void SetFontColor(QWidget *w, TColor colour);
TColor FontColor(const QWidget *w);
// Background colour, filled; also the colour of the widget's own edit field
// or button face (a memo's, a list's), and of its children's.
void SetColor(QWidget *w, TColor colour);
// A panel's background only, filled: the edits, lists and buttons on it keep
// the desktop's colours, so that their text reads and a disabled one looks
// disabled, whatever the panel's colour.
void SetPanelColor(QWidget *w, TColor colour);
// The designed text colour where it reads well on background (a contrast
// ratio of at least 4.5), else black or white, whichever reads better.
TColor ReadableTextColor(TColor designed, TColor background);
// A check box's box stays white with a black tick, whatever its background.
void SetCheckBoxLook(QWidget *box);

enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Anchors re-apply when the parent is resized: an anchored edge keeps its
// distance from the parent's matching edge. Placing a control through
// SetBounds (or the setters below) takes its new distances, as the form
// library does when code moves a control.
void SetAnchors(QWidget *w, int anchors);
// Between these two, controls placed on form take their anchors as on a form
// of the designed size, whatever size it has now; EndDesign then moves them
// to where the anchors put them on the real form.
void BeginDesign(QWidget *form, QSize designed);
void EndDesign(QWidget *form);
// Re-applies the anchors of parent's children now (resize events of hidden
// widgets arrive only when they are shown).
void ApplyAnchors(QWidget *parent);
void SetBounds(QWidget *w, int left, int top, int width, int height);
void SetLeft(QWidget *w, int left);
void SetTop(QWidget *w, int top);
void SetWidth(QWidget *w, int width);
void SetHeight(QWidget *w, int height);

} // namespace forms
