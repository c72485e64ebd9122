#include "RunDialogUnit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>

#include "Dialogs.h"
#include "Execute.h"
#include "LaunchPaths.h"

TRunDialog *RunDialog = nullptr;

namespace {

// The usual folders of programs, for a PATH that is not set at all.
const QString kDefaultPath = QStringLiteral("/usr/local/bin:/usr/bin:/bin");

QString PathValue()
{
    return qEnvironmentVariableIsSet("PATH") ? qEnvironmentVariable("PATH") : kDefaultPath;
}

// A regular file (or a link to one) that this user may execute.
bool IsProgram(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.constData(), X_OK) == 0;
}

} // namespace

QStringList SearchFolders(const QString &pathValue)
{
    QStringList folders;
    for (const QString &entry : pathValue.split(QLatin1Char(':')))
        if (entry.startsWith(QLatin1Char('/')) && !folders.contains(entry))
            folders.append(entry);
    return folders;
}

QString FindOnPath(const QString &name, const QString &pathValue)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return {};
    for (const QString &folder : SearchFolders(pathValue)) {
        const QString candidate = QDir(folder).filePath(name);
        if (IsProgram(candidate))
            return candidate;
    }
    return {};
}

QStringList ProgramsOnPath(const QString &pathValue)
{
    QStringList names;
    for (const QString &folder : SearchFolders(pathValue)) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Executable | QDir::Hidden))
            if (IsProgram(dir.filePath(name)))
                names.append(name);
    }
    names.sort();
    names.removeDuplicates();
    return names;
}

TRunDialog::TRunDialog(QWidget *owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Run"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A small fixed box with a close button only, as a run prompt is.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    PromptLabel =
        new QLabel(QStringLiteral("Type a program and its arguments, and Kestrava will start it."), this);
    PromptLabel->setTextFormat(Qt::PlainText);
    PromptLabel->setWordWrap(true);
    OpenLabel = new QLabel(QStringLiteral("&Open:"), this);
    CommandEdit = new QLineEdit(this);
    CommandEdit->setMinimumWidth(280);
    OpenLabel->setBuddy(CommandEdit);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    OKButton->setDefault(true);
    OKButton->setEnabled(false);

    // The programs are listed now, when the dialog opens, not at start:
    // PATH may have changed since, and most runs never open the dialog.
    Completer = new QCompleter(new QStringListModel(ProgramsOnPath(PathValue()), this), this);
    Completer->setCaseSensitivity(Qt::CaseSensitive);
    Completer->setModelSorting(QCompleter::CaseSensitivelySortedModel);
    CommandEdit->setCompleter(Completer);

    auto *grid = new QGridLayout(this);
    grid->addWidget(PromptLabel, 0, 0, 1, 2);
    grid->addWidget(OpenLabel, 1, 0);
    grid->addWidget(CommandEdit, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(CommandEdit, &QLineEdit::textChanged, this,
            [this](const QString &text) { OKButton->setEnabled(!text.trimmed().isEmpty()); });
    connect(OKButton, &QPushButton::clicked, this, &TRunDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &TRunDialog::reject);
}

TRunDialog::~TRunDialog()
{
    if (RunDialog == this)
        RunDialog = nullptr;
}

TRunDialog *TRunDialog::Open(QWidget *owner)
{
    if (!RunDialog)
        RunDialog = new TRunDialog(owner);
    RunDialog->show();
    RunDialog->raise();
    RunDialog->activateWindow();
    return RunDialog;
}

bool TRunDialog::StartCommandLine()
{
    const CommandWords command = SplitCommandLine(CommandEdit->text());
    if (!command.ok) {
        forms::Warn(this, "The command line could not be read:\n" + command.error, QStringLiteral("Run"));
        return false;
    }
    if (command.words.isEmpty())
        return false;
    QString program = command.words.first();
    const QStringList arguments = command.words.mid(1);
    // A name without a slash is a program on PATH, never a file of the
    // launcher's folder, and starts in the home folder as from a terminal;
    // a path, relative or not, is taken as it is and starts in its folder,
    // as a link's program does.
    QString directory;
    if (!program.contains(QLatin1Char('/'))) {
        const QString found = FindOnPath(program, PathValue());
        if (found.isEmpty()) {
            forms::Warn(this, program + " does not exist!", QStringLiteral("Execute File"));
            return false;
        }
        program = found;
        directory = QDir::homePath();
    } else {
        directory = QString::fromStdString(DirectoryOfTarget(program.toStdString()));
    }
    return StartProgram(this, program, arguments, directory);
}

void TRunDialog::accept()
{
    if (CommandEdit->text().trimmed().isEmpty())
        return;
    if (StartCommandLine())
        QDialog::accept();
}
