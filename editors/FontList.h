#pragma once

// A drop-down list of the screen's fonts, each name drawn in its own face.

#include <QComboBox>

class TKVFontList : public QComboBox {
    Q_OBJECT
  public:
    explicit TKVFontList(QWidget *parent);

    // Every font family of the screen, in the toolkit's order.
    void Fill(const QStringList &families);
    // Selects name. A name the screen lacks is still a setting of the user:
    // it is listed, marked as not installed, and selected, so that storing
    // the list's text keeps it. An empty name selects nothing.
    void SelectName(const QString &name);
    // The selected name, empty with no selection.
    QString Name() const;
    static bool Installed(const QComboBox *list, int index);

    // The text item index shows in width pixels, in its own face: its name,
    // cut with an ellipsis where it is too long; a name the screen lacks
    // keeps its " (not installed)" mark whole after the cut name.
    QString ShownText(int index, int width) const;
    // What the closed list shows of the selected name.
    QString FieldText() const;

  protected:
    void paintEvent(QPaintEvent *e) override;

  private:
    QRect TextField() const;
};
