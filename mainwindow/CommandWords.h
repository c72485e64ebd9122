#pragma once

// A command line split into words by the shell's quoting rules, with no
// shell and no expansion of any kind: blanks (space, tab, line break)
// separate words; '...' keeps everything as it is; "..." keeps everything
// but a backslash before $ ` " \ (which stands for that character) or before
// a line break (which joins the lines); a backslash elsewhere keeps the
// character after it, and before a line break joins the lines; a # that
// begins a word begins a comment, up to the next line break. Needs only Qt
// Core.

#include <QString>
#include <QStringList>

struct CommandWords {
    bool ok = false;
    QStringList words;
    QString error; // why the line could not be split
};
CommandWords SplitCommandLine(const QString &line);
