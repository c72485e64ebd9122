#include "SettingsLog.h"

#include <QSaveFile>

#include "Dialogs.h"
#include "Forms.h"

namespace {

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

template <std::size_t N> QString Text(const char (&field)[N])
{
    return Escaped(forms::ModelText(field));
}

QString Flag(bool b)
{
    return QString::fromLatin1(KVUIOperationClass::BoolText(b));
}

const char kSpacer[] = "<p style=\"margin-top: 0; margin-bottom: 0\">&nbsp;</p>";

} // namespace

QString SettingsLogPage(const KVUIOperationClass &m, int categoryCount)
{
    QStringList lines;
    const auto add = [&lines](const QString &line) { lines << line; };
    add("<html>");
    add("");
    add("<head>");
    add("<meta charset=\"utf-8\">");
    add("</head>");
    add("");
    add("<body bgcolor=\"#000000\">");
    add("<table width=\"100%\" bgcolor=\"#C0C0C0\">");
    add("  <tr>");
    add("    <td width=\"100%\"><center><b><font face=\"Agency FB\" size=\"5\">Kestrava: Settings "
        "Log</font></b></center></td>");
    add("  </tr>");
    add("  <tr>");
    add("    <td width=\"100%\"><center><b><font face=\"Verdana\" size=\"2\"> Saved at " +
        Escaped(QString::fromStdString(m.timeText)) + ", " + Escaped(QString::fromStdString(m.dayText)) +
        " " + Escaped(QString::fromStdString(m.dateText)) + " </font></b></center></td>");
    add("  </tr>");
    add("</table>");
    add("");
    add(kSpacer);
    add("");
    add("<table width=\"30%\" bgcolor=\"#C0C0C0\">");
    add("  <tr>");
    add("    <td><center><b><font face=\"Agency FB\" size=\"4\">Settings</font></b></center></td>");
    add("  </tr>");
    const WindowSettings &s = m.settings;
    const struct {
        const char *label;
        QString value;
    } rows[] = {
        {"    <td width=\"70%\"><b><font face=\"Verdana\" size=\"2\">Auto-Mode:</font></td>",
         Flag(s.autoMode)},
        {"    <td width=\"70%\"><font face=\"Verdana\" size=\"2\">Always On Top:</font></td>",
         Flag(s.alwaysOnTop)},
        {"    <td width=\"70%\"><font face=\"Verdana\" size=\"2\">Mouse Over Section Resize:</font></td>",
         Flag(s.mouseOverSectionResize)},
        {"   <td width=\"70%\"><font face=\"Verdana\" size=\"2\">Dock Window:</font></td>",
         Flag(s.dockWindow)},
        {"    <td width=\"70%\"><font face=\"Verdana\" size=\"2\">Dock Position:</font></td>",
         QString::fromLatin1(KVUIOperationClass::DockPositionText(s.dockPosition))},
    };
    bool first = true;
    for (const auto &row : rows) {
        add("  <tr>");
        add(QString::fromLatin1(row.label));
        // Only the first row's cells open a bold tag, and leave it open.
        add(QString::fromLatin1(first ? "    <td width=\"30%\"><b><font face=\"Verdana\" size=\"2\">"
                                      : "    <td width=\"30%\"><font face=\"Verdana\" size=\"2\">") +
            row.value + "</font></td>");
        add("  </tr>");
        first = false;
    }
    add("</table>");

    for (int c = 0; c < categoryCount && c < kMaxCategories; ++c) {
        const CategoryRecord &cat = m.categories[c];
        add("");
        add(kSpacer);
        add("");
        add("<table width=\"100%\" bgcolor=\"#C0C0C0\">");
        add("  <tr>");
        add("    <td width=\"100%\"><center><b><font face=\"Agency FB\" size=\"5\">Category " +
            QString::number(c + 1) + ": " + Text(cat.name) + "</font></b></center></td>");
        add("  </tr>");
        add("  <tr>");
        add("    <td width=\"100%\"><center><b><font face=\"Verdana\" size=\"2\"> Type: " +
            QString::fromLatin1(KVUIOperationClass::CategoryTypeText(cat.type)) +
            "</font></b></center></td>");
        add("  </tr>");
        add("  <tr>");
        add("    <td width=\"100%\"><center><b><font face=\"Verdana\" size=\"2\"> Description: " +
            Text(cat.description) + "</font></b></center></td>");
        add("  </tr>");
        add("  <tr>");
        add("    <td width=\"100%\"><center><b><font face=\"Verdana\" "
            "size=\"2\">&nbsp;</font></b></center></td>");
        add("  </tr>");
        const int links = m.LinkCount(c);
        for (int l = 0; l < links; ++l) {
            add("  <tr>");
            add("    <td width=\"100%\"><font face=\"Verdana\" size=\"2\">Name: " + Text(cat.links[l].name) +
                "</font></td>");
            add("  </tr>");
            add("  <tr>");
            add("    <td width=\"100%\"><font face=\"Verdana\" size=\"2\">Path: " + Text(cat.links[l].path) +
                "</font></td>");
            add("  </tr>");
        }
        add("</table>");
    }
    add("</body>");
    add("");
    add("</html>");
    return lines.join(u'\n');
}

void WriteSettingsLog(QWidget *owner, int categoryCount, const std::function<void()> &refreshClockTexts)
{
    QString fileName;
    if (!forms::SaveFileName(owner, QStringLiteral("HTML Files (*.html)|*.html"), QStringLiteral("html"),
                             &fileName) ||
        !KVOP)
        return;
    if (refreshClockTexts)
        refreshClockTexts();
    QSaveFile file(fileName);
    // A file with other names, or in a folder we may not write, is written
    // in place rather than not at all.
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(SettingsLogPage(*KVOP, categoryCount).toUtf8()) >= 0 && file.commit())
        return;
    forms::Warn(owner,
                QStringLiteral("The settings log could not be written to \"%1\": %2.")
                    .arg(fileName, file.errorString()),
                QStringLiteral("Settings Log"));
}
