#include "Forms.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <thread>

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QPalette>
#include <QValidator>
#include <QPointer>
#include <QStringDecoder>

namespace forms {

QColor ToQColor(TColor c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QColor ToQColor(const RGBColour &c)
{
    return ToQColor(TColorFromColour(c));
}

TColor ToTColor(const QColor &c)
{
    return static_cast<TColor>(c.red()) | static_cast<TColor>(c.green()) << 8 |
           static_cast<TColor>(c.blue()) << 16;
}

namespace {

// The 0x80..0x9F block of Windows-1252; the rest of the code page is Latin-1.
// Its five unassigned bytes are read as the C1 controls of the same value.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QString DecodeModelText(const char *text, std::size_t maxBytes)
{
    std::size_t n = 0;
    while (n < maxBytes && text[n] != '\0')
        ++n;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(text, static_cast<qsizetype>(n)));
    if (!utf8.hasError())
        return s;
    s.clear();
    s.reserve(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        s.append(QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b)));
    }
    return s;
}

std::string EncodeModelText(const QString &text, std::size_t maxBytes)
{
    QByteArray bytes = text.toUtf8();
    // A NUL would end the field's text early; cut there as the field would.
    qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (static_cast<std::size_t>(bytes.size()) <= maxBytes)
        return bytes.toStdString();
    std::size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(bytes[static_cast<qsizetype>(cut)]) & 0xC0) == 0x80)
        --cut;
    return std::string(bytes.constData(), cut);
}

TColor SystemColour(int role)
{
    const QPalette p = QGuiApplication::palette();
    switch (role) {
    case crTitle:
    case crPrimary:
    case crClock:
    case crExitButton:
        return ToTColor(p.color(QPalette::Active, QPalette::Highlight));
    case crSecondary:
        return ToTColor(p.color(QPalette::Active, QPalette::Highlight).lighter(160));
    case crGamePanel:
        return ToTColor(p.color(QPalette::ToolTipBase));
    case crBackground:
        return ToTColor(p.color(QPalette::Button));
    case crCatArea:
        return ToTColor(p.color(QPalette::WindowText));
    case crPanels:
        return ToTColor(p.color(QPalette::Shadow));
    default:
        return 0xFFFFFF;
    }
}

QString FittingInsertion(const QString &kept, const QString &inserted, int maxBytes, int maxChars)
{
    qsizetype bytes = kept.toUtf8().size();
    qsizetype chars = kept.size();
    qsizetype n = 0;
    while (n < inserted.size()) {
        // One code point at a time: a surrogate pair goes in whole or not
        // at all, and a lone half never.
        const QChar c = inserted[n];
        qsizetype width = 1;
        if (c.isHighSurrogate() && n + 1 < inserted.size() && inserted[n + 1].isLowSurrogate())
            width = 2;
        else if (c.isSurrogate())
            break;
        const qsizetype size = QStringView(inserted).mid(n, width).toUtf8().size();
        if (bytes + size > maxBytes || (maxChars >= 0 && chars + width > maxChars))
            break;
        bytes += size;
        chars += width;
        n += width;
    }
    return inserted.left(n);
}

namespace {

bool FitsField(const QString &text, int maxBytes, int maxChars)
{
    return (maxChars < 0 || text.size() <= maxChars) && text.toUtf8().size() <= maxBytes;
}

// A line edit checks every change with its validator before it shows it,
// and takes the text back as the validator leaves it: the one place where
// typing, pasting, dropping and setting the text all pass.
class FieldValidator : public QValidator {
  public:
    FieldValidator(QLineEdit *edit, int maxBytes, int maxChars)
        : QValidator(edit), m_edit(edit), m_maxBytes(maxBytes), m_maxChars(maxChars), m_before(edit->text()),
          m_charCeiling(maxChars < 0 ? -1 : std::max<int>(maxChars, edit->text().size()))
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { m_before = text; });
    }

    State validate(QString &input, int &pos) const override
    {
        // Setting the text clears the edit's history, and the user's changes
        // are in it: a text set by the program only has to fit the field,
        // and sets how long the user may make it.
        if (m_maxChars >= 0 && !m_edit->isUndoAvailable())
            m_charCeiling = std::max<int>(m_maxChars, input.size());
        const int maxChars = m_maxChars < 0 ? -1 : m_charCeiling;
        if (FitsField(input, m_maxBytes, maxChars))
            return Acceptable;
        // What changed ends at the cursor: the text after it was there
        // before, and so was the start both texts share.
        pos = std::clamp<int>(pos, 0, input.size());
        const qsizetype tail = std::min<qsizetype>(input.size() - pos, m_before.size());
        const qsizetype limit = std::min<qsizetype>(pos, m_before.size() - tail);
        qsizetype start = 0;
        while (start < limit && input[start] == m_before[start])
            ++start;
        const QString head = input.left(start), rest = input.mid(pos);
        const QString fit = FittingInsertion(head + rest, input.mid(start, pos - start), m_maxBytes, maxChars);
        if (fit.isEmpty() && head + rest == m_before)
            return Invalid; // a key with no room: refused, and the edit's history kept
        input = head + fit + rest;
        pos = static_cast<int>(start + fit.size());
        if (!FitsField(input, m_maxBytes, maxChars)) {
            input = FittingInsertion(QString(), input, m_maxBytes, maxChars);
            pos = static_cast<int>(input.size());
        }
        return Acceptable;
    }

  private:
    QLineEdit *m_edit;
    int m_maxBytes, m_maxChars;
    QString m_before; // the text before the change being checked
    mutable int m_charCeiling;
};

} // namespace

void LimitToFieldBytes(QLineEdit *edit, int maxBytes, int maxChars)
{
    // No more characters than bytes: Qt's own cut spares the check a
    // paste of a whole file.
    edit->setMaxLength(maxBytes);
    edit->setValidator(new FieldValidator(edit, maxBytes, maxChars));
}

void LimitToFieldBytes(QPlainTextEdit *memo, int maxBytes)
{
    // A memo has no validator. Whatever came in, typed, pasted, dropped or
    // inserted by the program, is cut from its end once it is in, as one
    // step with the change itself, so that undo takes both back together.
    auto added = std::make_shared<std::pair<int, int>>(-1, 0);
    QObject::connect(memo->document(), &QTextDocument::contentsChange, memo,
                     [added](int position, int, int charsAdded) { *added = {position, charsAdded}; });
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [memo, added, maxBytes] {
        const auto [position, count] = *added;
        *added = {-1, 0};
        const QString text = memo->toPlainText();
        if (text.toUtf8().size() <= maxBytes)
            return;
        const int from = std::clamp<int>(position, 0, text.size());
        const int to = std::clamp<int>(from + count, from, text.size());
        const QString fit = FittingInsertion(text.left(from) + text.mid(to), text.mid(from, to - from), maxBytes);
        QTextCursor cut(memo->document());
        cut.joinPreviousEditBlock();
        cut.setPosition(from + fit.size());
        cut.setPosition(to, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        if (memo->toPlainText().toUtf8().size() > maxBytes) {
            // Too long before the change as well (never from the file):
            // the end goes.
            cut.setPosition(static_cast<int>(FittingInsertion(QString(), memo->toPlainText(), maxBytes).size()));
            cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cut.removeSelectedText();
        }
        cut.endEditBlock();
    });
}

void InstallFontSubstitutes()
{
    const QStringList sans = {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};
    const QStringList mono = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")};
    for (const char *family : {"SF Proverbial Gothic Extended", "SF Proverbial Gothic", "BankGothic Lt BT",
                               "MV Boli", "Verdana", "Arial", "MS Sans Serif"})
        QFont::insertSubstitutions(QString::fromLatin1(family), sans);
    QFont::insertSubstitutions(QStringLiteral("Lucida Console"), mono);
}

QFont DialogFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(11);
    return f;
}

namespace {

// The reader of FontsReadAhead, while one runs.
std::thread &FontReader()
{
    static std::thread reader;
    return reader;
}

void WaitForFonts()
{
    if (FontReader().joinable())
        FontReader().join();
}

} // namespace

FontsReadAhead::FontsReadAhead()
{
    WaitForFonts();
    // The database is Qt's, behind its own lock: whoever asks first reads it.
    FontReader() = std::thread([] { QFontDatabase::families(); });
}

FontsReadAhead::~FontsReadAhead() { WaitForFonts(); }

QString InstalledFamily(const QString &family)
{
    WaitForFonts();
    // The installed families by their case-folded names; read again when
    // fonts come or go.
    static QHash<QString, QString> installed;
    static bool known = false;
    if (!known) {
        known = true;
        for (const QString &name : QFontDatabase::families())
            installed.insert(name.toCaseFolded(), name);
        if (qGuiApp)
            QObject::connect(
                qGuiApp, &QGuiApplication::fontDatabaseChanged, qGuiApp,
                [] {
                    installed.clear();
                    known = false;
                },
                Qt::SingleShotConnection);
    }
    if (family.isEmpty() || installed.contains(family.toCaseFolded()))
        return family;
    // Qt keeps the stand-ins' names in lower case.
    for (const QString &standIn : QFont::substitutes(family))
        if (const auto it = installed.constFind(standIn.toCaseFolded()); it != installed.cend())
            return *it;
    return family;
}

QFont MakeFont(const QString &family, int pixelHeight, bool bold)
{
    QFont f(InstalledFamily(family));
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}

void SetFontColor(QWidget *w, TColor colour)
{
    // A disabled control keeps the style's greyed text, so that it reads as
    // disabled whatever colour its text has.
    QPalette p = w->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(g, r, ToQColor(colour));
    w->setPalette(p);
}

TColor FontColor(const QWidget *w)
{
    return ToTColor(w->palette().color(QPalette::WindowText));
}

void SetPanelColor(QWidget *w, TColor colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, ToQColor(colour));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

namespace {

// Relative luminance as the web's contrast rules define it.
double Luminance(TColor colour)
{
    const QColor c = ToQColor(colour);
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(TColor a, TColor b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

TColor ReadableTextColor(TColor designed, TColor background)
{
    constexpr TColor kBlack = 0x000000, kWhite = 0xFFFFFF;
    if (Contrast(designed, background) >= 4.5)
        return designed;
    return Contrast(kBlack, background) >= Contrast(kWhite, background) ? kBlack : kWhite;
}

void SetColor(QWidget *w, TColor colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, ToQColor(colour));
    p.setColor(QPalette::Button, ToQColor(colour));
    w->setPalette(p);
    SetPanelColor(w, colour);
}

void SetCheckBoxLook(QWidget *box)
{
    QPalette p = box->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    box->setPalette(p);
}

namespace {

struct AnchorRule {
    int anchors = akLeft | akTop;
    int right = 0;  // distance from the parent's right edge
    int bottom = 0; // distance from the parent's bottom edge
};

class AnchorKeeper : public QObject {
  public:
    explicit AnchorKeeper(QWidget *parent) : QObject(parent), m_parent(parent)
    {
        setObjectName(Name());
        parent->installEventFilter(this);
    }

    static QString Name() { return QStringLiteral("kestrava-anchors"); }

    static AnchorKeeper *Find(QWidget *parent)
    {
        return static_cast<AnchorKeeper *>(parent->findChild<QObject *>(Name(), Qt::FindDirectChildrenOnly));
    }

    static AnchorKeeper *For(QWidget *parent)
    {
        AnchorKeeper *k = Find(parent);
        return k ? k : new AnchorKeeper(parent);
    }

    QHash<QWidget *, AnchorRule> rules;

    void Take(QWidget *w)
    {
        auto it = rules.find(w);
        if (it == rules.end())
            return;
        const QSize size = designSize.isValid() ? designSize : m_parent->size();
        it->right = size.width() - (w->x() + w->width());
        it->bottom = size.height() - (w->y() + w->height());
    }

    // While valid, controls are placed as on the designed form of this size.
    QSize designSize;

    void Apply()
    {
        if (designSize.isValid())
            return;
        // A control moved to another parent takes its rules along no longer.
        for (auto it = rules.begin(); it != rules.end();)
            it = it.key()->parentWidget() == m_parent ? std::next(it) : rules.erase(it);
        for (auto it = rules.begin(); it != rules.end(); ++it) {
            QWidget *w = it.key();
            const AnchorRule &r = it.value();
            QRect g = w->geometry();
            if ((r.anchors & akRight) && (r.anchors & akLeft))
                g.setWidth(qMax(0, m_parent->width() - r.right - g.x()));
            else if (r.anchors & akRight)
                g.moveLeft(m_parent->width() - r.right - g.width());
            if ((r.anchors & akBottom) && (r.anchors & akTop))
                g.setHeight(qMax(0, m_parent->height() - r.bottom - g.y()));
            else if (r.anchors & akBottom)
                g.moveTop(m_parent->height() - r.bottom - g.height());
            if (g != w->geometry()) {
                bool resized = g.size() != w->size();
                w->setGeometry(g);
                if (resized)
                    ApplyAnchors(w);
            }
        }
    }

  protected:
    // Qt delivers a hidden widget's resize late; ApplyAnchors is idempotent,
    // so the late event only confirms what a synchronous call already did.
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_parent && e->type() == QEvent::Resize)
            Apply();
        return false;
    }

  private:
    QWidget *m_parent;
};

void TakeDistances(QWidget *w)
{
    if (QWidget *p = w->parentWidget())
        if (AnchorKeeper *k = AnchorKeeper::Find(p))
            k->Take(w);
}

} // namespace

void ApplyAnchors(QWidget *parent)
{
    if (AnchorKeeper *k = AnchorKeeper::Find(parent))
        k->Apply();
}

void BeginDesign(QWidget *form, QSize designed)
{
    AnchorKeeper::For(form)->designSize = designed;
}

void EndDesign(QWidget *form)
{
    AnchorKeeper::For(form)->designSize = QSize();
    ApplyAnchors(form);
}

void SetAnchors(QWidget *w, int anchors)
{
    QWidget *p = w->parentWidget();
    if (!p)
        return;
    AnchorKeeper *k = AnchorKeeper::For(p);
    k->rules[w].anchors = anchors;
    k->Take(w);
    QObject::connect(w, &QObject::destroyed, k, [k, w] { k->rules.remove(w); });
}

void SetBounds(QWidget *w, int left, int top, int width, int height)
{
    QSize old = w->size();
    w->setGeometry(left, top, qMax(0, width), qMax(0, height));
    TakeDistances(w);
    if (w->size() != old)
        ApplyAnchors(w);
}

void SetLeft(QWidget *w, int left)
{
    SetBounds(w, left, w->y(), w->width(), w->height());
}

void SetTop(QWidget *w, int top)
{
    SetBounds(w, w->x(), top, w->width(), w->height());
}

void SetWidth(QWidget *w, int width)
{
    SetBounds(w, w->x(), w->y(), width, w->height());
}

void SetHeight(QWidget *w, int height)
{
    SetBounds(w, w->x(), w->y(), w->width(), height);
}

} // namespace forms
