#include "Dialogs.h"

#include <deque>

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include "Forms.h"

namespace forms {

namespace {

std::deque<int> &Answers()
{
    static std::deque<int> answers;
    return answers;
}

std::vector<ShownMessage> &Shown()
{
    static std::vector<ShownMessage> shown;
    return shown;
}

bool unattended = false;

std::deque<std::optional<TColor>> colourAnswers;
std::vector<TColor> shownColours;
std::deque<QString> fileAnswers;
std::vector<QString> shownFiles;

// Folders, and files the user may start: what "Executables" means here.
// Those are files with the execute bit, and desktop entries ("*.desktop"),
// which start the application they describe.
class ExecutableFilter : public QSortFilterProxyModel {
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

  protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (!files)
            return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || (info.isFile() &&
                                (info.isExecutable() || info.fileName().endsWith(QLatin1String(".desktop"))));
    }
};

} // namespace

void SetUnattended(bool on)
{
    unattended = on;
}

void SetNextAnswer(int answer)
{
    Answers().push_back(answer);
}

bool HasScriptedAnswers()
{
    return !Answers().empty();
}

const std::vector<ShownMessage> &ShownMessages()
{
    return Shown();
}

void ClearShownMessages()
{
    Shown().clear();
    Answers().clear();
    colourAnswers.clear();
    shownColours.clear();
    fileAnswers.clear();
    shownFiles.clear();
}

void SetNextColour(std::optional<TColor> colour)
{
    colourAnswers.push_back(colour);
}

void SetNextFileName(const QString &fileName)
{
    fileAnswers.push_back(fileName);
}

const std::vector<TColor> &ShownColourDialogs()
{
    return shownColours;
}

const std::vector<QString> &ShownFileDialogs()
{
    return shownFiles;
}

bool PickColour(QWidget *owner, TColor initial, TColor *chosen)
{
    std::optional<TColor> answer;
    if (!colourAnswers.empty() || unattended) {
        shownColours.push_back(initial);
        if (!colourAnswers.empty()) {
            answer = colourAnswers.front();
            colourAnswers.pop_front();
        }
    } else {
        const QColor c = QColorDialog::getColor(ToQColor(initial), owner);
        if (c.isValid())
            answer = ToTColor(c);
    }
    if (answer)
        *chosen = *answer;
    return answer.has_value();
}

namespace {

// A scripted answer, when there is one or nobody is there to choose.
bool ScriptedFileName(const QString &filter, QString *fileName, bool *chosen)
{
    if (fileAnswers.empty() && !unattended)
        return false;
    shownFiles.push_back(filter);
    QString answer;
    if (!fileAnswers.empty()) {
        answer = fileAnswers.front();
        fileAnswers.pop_front();
    }
    *chosen = !answer.isEmpty();
    if (*chosen)
        *fileName = answer;
    return true;
}

// "Name (*.x)|*.x|..." as Qt's name filters, with Linux patterns.
QStringList NameFilters(const QString &filter, bool *executables)
{
    const QStringList parts = filter.split(u'|');
    QStringList names;
    *executables = false;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        QString description = parts[i];
        const qsizetype paren = description.indexOf(u'(');
        if (paren > 0)
            description = description.left(paren).trimmed();
        if (patterns.contains(QLatin1String("*.exe"), Qt::CaseInsensitive)) {
            *executables = true;
            patterns = QStringLiteral("*");
        }
        names << description + QStringLiteral(" (") +
                     patterns.replace(QLatin1String("*.*"), QLatin1String("*")) + QStringLiteral(")");
    }
    return names;
}

} // namespace

bool SaveFileName(QWidget *owner, const QString &filter, const QString &defaultSuffix, QString *fileName)
{
    bool chosen = false;
    if (ScriptedFileName(filter, fileName, &chosen))
        return chosen;
    bool executables = false;
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setDirectory(QDir::home());
    dialog.setNameFilters(NameFilters(filter, &executables));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *fileName = dialog.selectedFiles().constFirst();
    return true;
}

bool OpenFileName(QWidget *owner, const QString &filter, QString *fileName)
{
    bool chosen = false;
    if (ScriptedFileName(filter, fileName, &chosen))
        return chosen;
    // Windows patterns name file kinds by extension; here an executable is a
    // file with the execute bit, and "*.*" is every file, dotted or not.
    bool executables = false;
    const QStringList names = NameFilters(filter, &executables);
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The filter needs the dialog's own file model.
    dialog.setOption(QFileDialog::DontUseNativeDialog, executables);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setDirectory(QDir::home());
    if (!names.isEmpty())
        dialog.setNameFilters(names);
    if (executables)
        dialog.setProxyModel(new ExecutableFilter(&dialog));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *fileName = dialog.selectedFiles().constFirst();
    return true;
}

int MessageBox(QWidget *owner, const QString &text, const QString &caption, Buttons buttons, Icon icon,
               int defaultButton)
{
    if (!Answers().empty()) {
        Shown().push_back({text, caption, buttons, icon, defaultButton});
        int answer = Answers().front();
        Answers().pop_front();
        return answer;
    }
    if (unattended) {
        Shown().push_back({text, caption, buttons, icon, defaultButton});
        if (buttons == Buttons::YesNo)
            return defaultButton == 2 ? idNo : idYes;
        return idOK;
    }
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == Buttons::YesNo) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton(defaultButton == 2 ? no : yes);
        box.setEscapeButton(no);
        box.exec();
        // A box that closes without a choice (the program quitting under it)
        // is a No: nothing may proceed on it.
        return box.clickedButton() == yes ? idYes : idNo;
    }
    box.addButton(QMessageBox::Ok);
    box.exec();
    return idOK;
}

bool Confirm(QWidget *owner, const QString &text, const QString &caption)
{
    return MessageBox(owner, text, caption, Buttons::YesNo, Icon::Exclamation, 2) != idNo;
}

void Warn(QWidget *owner, const QString &text, const QString &caption)
{
    MessageBox(owner, text, caption, Buttons::OK, Icon::Exclamation, 1);
}

void ShowException(const QString &message)
{
    QString text = message;
    if (!text.isEmpty() && !text.endsWith('.'))
        text += '.';
    MessageBox(nullptr, text, QStringLiteral("Kestrava"), Buttons::OK, Icon::Error);
}

} // namespace forms
