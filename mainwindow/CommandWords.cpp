#include "CommandWords.h"

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

CommandWords Refused(const char *why)
{
    CommandWords result;
    result.error = QString::fromUtf8(why);
    return result;
}

} // namespace

CommandWords SplitCommandLine(const QString &line)
{
    // No argument of a program can hold a null character.
    if (line.contains(QChar(0)))
        return Refused("The command line holds a null character.");

    CommandWords result;
    QString word;
    bool inWord = false; // a word has begun, though it may still be empty, as '' is
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\')) {
            if (i + 1 == size)
                return Refused("The command line ends in a \\ with nothing after it.");
            const QChar next = line[++i];
            if (next != QLatin1Char('\n')) {
                word += next;
                inWord = true;
            }
        } else if (c == QLatin1Char('\'')) {
            const qsizetype close = line.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return Refused("A ' has no closing quote.");
            word += QStringView(line).mid(i + 1, close - i - 1);
            inWord = true;
            i = close;
        } else if (c == QLatin1Char('"')) {
            inWord = true;
            for (++i;; ++i) {
                if (i == size)
                    return Refused("A \" has no closing quote.");
                const QChar d = line[i];
                if (d == QLatin1Char('"'))
                    break;
                if (d == QLatin1Char('\\') && i + 1 < size) {
                    const QChar next = line[i + 1];
                    if (next == QLatin1Char('\n')) {
                        ++i;
                        continue;
                    }
                    if (next == QLatin1Char('$') || next == QLatin1Char('`') || next == QLatin1Char('"') ||
                        next == QLatin1Char('\\')) {
                        word += next;
                        ++i;
                        continue;
                    }
                }
                word += d;
            }
        } else if (IsBlank(c)) {
            if (inWord)
                result.words.append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('#') && !inWord) {
            const qsizetype end = line.indexOf(QLatin1Char('\n'), i);
            if (end < 0)
                break;
            i = end;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        result.words.append(word);
    if (result.words.isEmpty())
        return Refused("The command line names no program.");
    result.ok = true;
    return result;
}
