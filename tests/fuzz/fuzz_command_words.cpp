// Any text typed or pasted into the Run dialog.
//
// A line splits into words or into an error, never into both. The words,
// written back in each way of quoting there is ('...', "..." and a backslash
// before every character), split again into the same words. And all of a
// line counts: a word added on a line of its own comes out as the last word.

#include <cstdint>

#include <QString>
#include <QStringList>

#include "CommandWords.h"

namespace {

QString SingleQuoted(const QString &word)
{
    QString text = word;
    text.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString DoubleQuoted(const QString &word)
{
    QString text;
    for (const QChar c : word) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            text += QLatin1Char('\\');
        text += c;
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A backslash before a line break joins lines instead, so a word with one,
// and the empty word, are quoted.
QString Backslashed(const QString &word)
{
    if (word.isEmpty() || word.contains(QLatin1Char('\n')))
        return DoubleQuoted(word);
    QString text;
    for (const QChar c : word)
        text += QLatin1Char('\\') + QString(c);
    return text;
}

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const CommandWords split = SplitCommandLine(line);
    Check(split.ok == split.error.isEmpty());
    if (!split.ok)
        return 0;
    for (QString (*write)(const QString &) : {SingleQuoted, DoubleQuoted, Backslashed}) {
        QStringList written;
        for (const QString &word : split.words) {
            Check(!word.contains(QChar(0)));
            written.append(write(word));
        }
        const CommandWords again = SplitCommandLine(written.join(QLatin1Char(' ')));
        Check(again.ok && again.words == split.words);
    }
    const CommandWords longer = SplitCommandLine(line + QLatin1String("\nlast"));
    Check(longer.ok && longer.words == split.words + QStringList{QStringLiteral("last")});
    return 0;
}
