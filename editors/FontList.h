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

  protected:
    void paintEvent(QPaintEvent *e) override;
};
