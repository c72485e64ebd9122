#include "MakeUpdateFormUnit.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>

#include "DefaultButton.h"
#include "Dialogs.h"
#include "Controls.h"
#include "Forms.h"
#include "Kvguiglobals.h"
#include "UpdateFile.h"

using namespace forms;

TMakeUpdateForm *MakeUpdateForm = nullptr;

namespace {

QLineEdit *LabelledEdit(QWidget *parent, const char *caption, int left, int top, int width)
{
    auto *edit = new QLineEdit(parent);
    SetBounds(edit, left, top, width, 21);
    CaptionAbove(edit, QString::fromLatin1(caption), 3);
    return edit;
}

QFrame *Bevel(QWidget *parent, int left, int top, int width, int height, QFrame::Shadow shadow)
{
    auto *bevel = new QFrame(parent);
    bevel->setFrameStyle(QFrame::Box | shadow);
    SetBounds(bevel, left, top, width, height);
    return bevel;
}

} // namespace

TMakeUpdateForm::TMakeUpdateForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Write binary update file"));
    setFont(DialogFont());
    setFixedSize(305, 140);
    Bevel(this, 8, 8, 121, 51, QFrame::Raised);
    VersionLabel = new QLabel(QStringLiteral("Current Version:"), this);
    VersionLabel->adjustSize();
    VersionLabel->move(30, 14);
    Bevel(this, 50, 32, 37, 21, QFrame::Sunken);
    Label1 = new QLabel(QString::number(KVUIOperationClass::GetVersionNumber()), this);
    Label1->setAlignment(Qt::AlignCenter);
    SetBounds(Label1, 50, 36, 37, 13);
    InstallFileName = LabelledEdit(this, "Installer file name:", 138, 28, 159);
    LimitToFieldBytes(InstallFileName, static_cast<int>(kUpdateNameSize));
    OutputEdit = LabelledEdit(this, "Output File:", 8, 82, 291);
    OutputEdit->setReadOnly(true);
    QPalette face = OutputEdit->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    OutputEdit->setPalette(face);
    BrowseButton = new QPushButton(QStringLiteral("Browse"), this);
    SetBounds(BrowseButton, 8, 109, 74, 25);
    SaveButton = new QPushButton(QStringLiteral("Save"), this);
    SaveButton->setDefault(true);
    SetBounds(SaveButton, 224, 109, 75, 25);
    PressOnReturn(this, SaveButton);
    connect(BrowseButton, &QPushButton::clicked, this, &TMakeUpdateForm::BrowseButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TMakeUpdateForm::SaveButtonClick);
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}

void TMakeUpdateForm::BrowseButtonClick()
{
    QString file;
    if (!SaveFileName(this, QStringLiteral("Binary Files (*.bin)|*.bin"), QStringLiteral("bin"), &file))
        return;
    m_outputFile = file;
    OutputEdit->setText(file);
}

void TMakeUpdateForm::SaveButtonClick()
{
    if (m_outputFile.isEmpty()) {
        Warn(this, QStringLiteral("Please choose an output target."), QStringLiteral("Input Error"));
        return;
    }
    if (InstallFileName->text().isEmpty()) {
        Warn(this, QStringLiteral("Please enter an installer filename."), QStringLiteral("Input Error"));
        return;
    }
    // A name the update check refuses would give every user who checks
    // "Error connecting to server."; it is refused here, saying why.
    const std::string name = InstallFileName->text().toUtf8().toStdString();
    if (const std::string fault = InstallerNameFault(name); !fault.empty()) {
        Warn(this, QString::fromStdString(fault), QStringLiteral("Input Error"));
        return;
    }
    const auto bytes = UpdateFileBytes(KVUIOperationClass::GetVersionNumber(), name);
    QSaveFile file(m_outputFile);
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size())) ==
            static_cast<qint64>(bytes.size()) &&
        file.commit())
        return;
    // Said, where nothing would be: a maintainer would publish a file that
    // was never written.
    Warn(this,
         QString::fromStdString(
             UpdateFileNotWritten(m_outputFile.toStdString(), file.errorString().toStdString())),
         QStringLiteral("Write binary update file"));
}
