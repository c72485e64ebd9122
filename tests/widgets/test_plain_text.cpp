// Text from the configuration is shown as the text it is, never as markup:
// an <img src=...> in a name or path must show literally and load nothing.

#include <sys/inotify.h>
#include <unistd.h>

#include <QApplication>
#include <QHelpEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include "CategoryPanels.h"
#include "Dialogs.h"
#include "Hints.h"
#include "WindowFixture.h"

namespace {

// Watches a small image for anyone opening it.
struct OpenWatch {
    int fd = -1;
    explicit OpenWatch(const std::string &path)
    {
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd, path.c_str(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch() { ::close(fd); }
    bool Opened() const
    {
        char buffer[4096];
        return ::read(fd, buffer, sizeof buffer) > 0;
    }
};

QString Shown(const QString &richText)
{
    QTextDocument doc;
    doc.setHtml(richText);
    return doc.toPlainText();
}

struct PlainText : WindowFixture {
    std::string image;
    QString imgTag, boldTag;
    void SetUp() override
    {
        WindowFixture::SetUp();
        image = (dir / "pixel.png").string();
        QImage(1, 1, QImage::Format_RGB32).save(QString::fromStdString(image));
        imgTag = QStringLiteral("<img src=\"%1\">").arg(QString::fromStdString(image));
        boldTag = QStringLiteral("<b>x</b>");
    }

    // The hint the widget shows at pos, as the user reads it.
    static QString HintAt(QWidget *w, QPoint pos)
    {
        QToolTip::hideText();
        QHelpEvent e(QEvent::ToolTip, pos, w->mapToGlobal(pos));
        QApplication::sendEvent(w, &e);
        return QToolTip::isVisible() ? Shown(QToolTip::text()) : QString();
    }
};

TEST_F(PlainText, HintsShowModelTextLiterally)
{
    const std::string img = imgTag.toStdString();
    WriteConfig([&](KVUIOperationClass &m) {
        AddCategory(m, 0, "<b>x</b>", 1);
        SetField(m.categories[0].description, img);
        SetField(m.categories[0].links[0].name, "<i>link</i>");
        SetField(m.categories[0].links[0].path, img);
        m.categories[0].expanded = true;
    });
    OpenWatch watch(image);
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TKVPanel *panel = form.CategoryArea->panels[0];
    const TKVLabel *link = panel->linkLabels[0];
    ASSERT_NE(link, nullptr);

    struct Case {
        QWidget *widget;
        QPoint at;
        QString expected;
    } cases[] = {
        {panel, panel->header->geometry().center(), imgTag},
        {panel, link->geometry().center(), imgTag},
        {panel, QPoint(panel->width() / 2, panel->height() - 1), boldTag},
        {panel->deleteButton, {2, 2}, "Click to delete category: " + boldTag},
        {panel->addButton, {2, 2}, "Click to add a link to category: " + boldTag},
        {panel->checkBox, {2, 2}, "Click to toggle \"Locked Open\" for category: " + boldTag},
    };
    // A line too long for one wraps; every character still shows.
    for (const Case &tc : cases)
        EXPECT_EQ(HintAt(tc.widget, tc.at).remove(u'\n'), tc.expected) << tc.expected.toStdString();
    QTest::qWait(50); // a tool tip lays itself out once it is shown
    EXPECT_FALSE(watch.Opened()) << "a hint loaded the image its text names";
    EXPECT_EQ(link->text(), QStringLiteral("<i>link</i>"));
}

TEST_F(PlainText, HintsKeepLineBreaksAndSpaces)
{
    QWidget w;
    w.setToolTip(QStringLiteral("a  b\nc &amp; <p>"));
    w.show();
    EXPECT_EQ(HintAt(&w, {1, 1}), QStringLiteral("a  b\nc &amp; <p>"));
}

// The tool tip on the screen, if one is.
const QLabel *ShownTip()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("qtooltip_label") && w->isVisible())
            return qobject_cast<const QLabel *>(w);
    return nullptr;
}

TEST_F(PlainText, HintsWrapOnlyLinesTooLongForOne)
{
    QWidget w;
    w.show();
    const QString words = QStringLiteral(
        "Everything a busy person starts in a day: the mail, the editor, the shell, the browser, the "
        "calendar, the chat, the music, the notes, the files of the current project and the ones of the "
        "last one too");
    const QString path = QStringLiteral("/home/someone/") + QString(150, u'x') + QStringLiteral(".sh");
    const struct {
        const char *what;
        QString hint;
        bool wraps;
    } cases[] = {
        {"one character", QStringLiteral("x"), false},
        {"delete button", QStringLiteral("Click to delete this link."), false},
        {"home page", QString::fromStdString(KVUIOperationClass::GetHomePageURL()), false},
        {"category hint", QStringLiteral("Click to toggle \"Locked Open\" for category: Games"), false},
        {"long description", words, true},
        {"long path without spaces", path, true},
    };
    int oneLine = 0;
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        w.setToolTip(tc.hint);
        const QString shown = HintAt(&w, {1, 1});
        const QLabel *tip = ShownTip();
        ASSERT_NE(tip, nullptr);
        if (!oneLine)
            oneLine = tip->height();
        EXPECT_EQ(tip->height() > oneLine, tc.wraps) << tip->height() << " against " << oneLine;
        EXPECT_EQ(shown.contains(u'\n'), tc.wraps);
        // Nothing is lost, and what shows of a line fits; the blank at a
        // break stays at the end of its line, unseen.
        EXPECT_EQ(QString(shown).remove(u'\n'), tc.hint);
        const int widest = forms::HintLineWidth(w.mapToGlobal(QPoint(1, 1)));
        for (QString line : shown.split(u'\n')) {
            while (line.endsWith(u' '))
                line.chop(1);
            EXPECT_LE(QFontMetrics(tip->font()).horizontalAdvance(line), widest) << line.toStdString();
        }
        if (tc.hint == words) {
            EXPECT_TRUE(shown.split(u'\n').first().endsWith(u' ')) << "broken between words";
        }
    }
}

TEST_F(PlainText, MessageBoxesQuoteLiterally)
{
    OpenWatch watch(image);
    forms::SetUnattended(false);
    QString text;
    Qt::TextFormat format = Qt::RichText;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            format = box->textFormat();
            box->close();
        }
    });
    forms::Warn(nullptr, "Trying to open \"" + imgTag + "\"", QStringLiteral("Error opening document"));
    forms::SetUnattended(true);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, "Trying to open \"" + imgTag + "\"");
    EXPECT_FALSE(watch.Opened());
}

TEST_F(PlainText, ExceptionsShowTheirMessageAsASentence)
{
    struct Case {
        QString message, shown;
    } cases[] = {
        {QStringLiteral("bad_alloc"), QStringLiteral("bad_alloc.")},
        {QStringLiteral("Done."), QStringLiteral("Done.")},
        {QString(), QString()}, // an exception of unknown type has no message
        {imgTag, imgTag + "."},
    };
    for (const Case &tc : cases) {
        forms::ClearShownMessages();
        forms::ShowException(tc.message);
        ASSERT_EQ(forms::ShownMessages().size(), 1u);
        const forms::ShownMessage &m = forms::ShownMessages()[0];
        EXPECT_EQ(m.text, tc.shown);
        EXPECT_EQ(m.caption, QStringLiteral("Kestrava"));
        EXPECT_EQ(m.icon, forms::Icon::Error);
        EXPECT_EQ(m.buttons, forms::Buttons::OK);
    }
}

} // namespace
