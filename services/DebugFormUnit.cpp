#include "DebugFormUnit.h"

#include <algorithm>
#include <cstdio>

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "DefaultButton.h"
#include "Forms.h"
#include "Kvguiglobals.h"

TDebugForm *DebugForm = nullptr;

TDebugForm::TDebugForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("KVUI Debugger"));
    setFont(forms::MakeFont(QStringLiteral("MS Sans Serif"), 11));
    resize(820, 532);
    ComboBox1 = new QComboBox(this);
    ComboBox1->addItems({QStringLiteral("Log"), QStringLiteral("Clear")});
    // Drawn 49 pixels wide for narrower arrows than this desktop's: it is
    // as wide as "Clear" needs, and the edit beside it gives up the rest.
    const int boxWidth = std::max(49, ComboBox1->sizeHint().width());
    forms::SetBounds(ComboBox1, 2, 4, boxWidth, 21);
    Edit1 = new QLineEdit(this);
    const int editLeft = 2 + boxWidth + 3;
    forms::SetBounds(Edit1, editLeft, 4, 771 - editLeft, 21);
    forms::SetAnchors(Edit1, forms::akLeft | forms::akTop | forms::akRight);
    Button1 = new QPushButton(QStringLiteral("Enter"), this);
    Button1->setDefault(true);
    forms::SetBounds(Button1, 776, 4, 41, 21);
    forms::SetAnchors(Button1, forms::akTop | forms::akRight);
    PressOnReturn(this, Button1);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(forms::MakeFont(QStringLiteral("Lucida Console"), 13));
    forms::SetColor(Memo1, 0x000000);
    forms::SetFontColor(Memo1, 0xC0C0C0);
    Memo1->setMinimumSize(246, 168);
    forms::SetBounds(Memo1, 2, 28, 816, 502);
    forms::SetAnchors(Memo1, forms::akLeft | forms::akTop | forms::akRight | forms::akBottom);
    connect(Button1, &QPushButton::clicked, this, &TDebugForm::Button1Click);
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->geometry().center() - rect().center());
}

void TDebugForm::closeEvent(QCloseEvent *e)
{
    // Only the main window's close ends the program (it takes the model
    // with it); until then the user cannot close this window, which nothing
    // could show again. It goes along when the program ends.
    if (KVOP)
        e->ignore();
    else
        e->accept();
}

void TDebugForm::AddLine(const QString &text)
{
    if (!text.isEmpty())
        Memo1->appendPlainText(text);
}

void TDebugForm::Button1Click()
{
    if (ComboBox1->currentIndex() == 0) {
        AddLine(Edit1->text());
        Edit1->clear();
    } else {
        Memo1->clear();
    }
}

void WriteDebugLine(const QString &text)
{
    if (DebugForm && KVOP && KVOP->debugMode)
        DebugForm->AddLine(text);
}

void WriteFaultLine(const QString &text)
{
    std::fprintf(stderr, "Kestrava: %s\n", qPrintable(text));
    std::fflush(stderr);
    WriteDebugLine(text);
}

void WriteSettingsDump()
{
    if (!KVOP)
        return;
    auto word = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    const WindowSettings &s = KVOP->settings;
    WriteDebugLine("Title Font = " + forms::ModelText(KVOP->appearance.titleFont));
    WriteDebugLine("Headings Font = " + forms::ModelText(KVOP->appearance.headingsFont));
    WriteDebugLine("Links Font = " + forms::ModelText(KVOP->appearance.linksFont));
    WriteDebugLine("Use Windows Colours: " + word(KVOP->useWindowsColours));
    WriteDebugLine(QStringLiteral(" "));
    WriteDebugLine("Auto Mode: " + word(s.autoMode));
    WriteDebugLine("Always On Top: " + word(s.alwaysOnTop));
    WriteDebugLine("Mouse Over Section Resize: " + word(s.mouseOverSectionResize));
    WriteDebugLine("Dock Window: " + word(s.dockWindow));
    WriteDebugLine(QString("Dock Position: ") + KVUIOperationClass::DockPositionText(s.dockPosition));
    WriteDebugLine(QStringLiteral("-----==========-----"));
    WriteDebugLine(QStringLiteral(" "));
}
