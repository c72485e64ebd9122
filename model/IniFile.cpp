// The small part of the Windows ini format the launcher reads and writes:
// sections, key=value lines, ';' comments, names compared without regard to
// case. The writer changes one key and leaves every other byte alone: the
// file is the user's, with their comments and sections the program knows
// nothing of.

#include "Kvguiglobals.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include <unistd.h>

#include "FileSafety.h"

namespace {

std::string Trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Integer text as the Windows profile readers take it: optional sign, decimal
// or hexadecimal ("$1F", "0x1F"); anything else is not a number.
std::optional<long long> ParseInteger(const std::string &text)
{
    std::string s = text;
    bool negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return std::nullopt;
    long long value = 0;
    for (; i < s.size(); ++i) {
        int digit;
        char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else
            return std::nullopt;
        if (value > (LLONG_MAX - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

constexpr const char *kByteOrderMark = "\xEF\xBB\xBF";

// The largest ini file the program reads, or rewrites: a longer one is no
// file of ours, and writing back a part of it would lose the rest.
constexpr std::size_t kMaxIniBytes = 1 << 20;

// One line of the text: [begin, end) without its '\n', next the start of the
// line after it (past the text's end after the last line).
struct Line {
    std::size_t begin, end, next;
    bool hasBreak;
};

// Calls visit(line, trimmed text) for each line until it returns false.
template <typename Visit> void ForEachLine(const std::string &text, std::size_t from, Visit visit)
{
    std::size_t pos = from;
    while (pos <= text.size()) {
        const std::size_t br = text.find('\n', pos);
        const Line line{pos, br == std::string::npos ? text.size() : br,
                        br == std::string::npos ? text.size() + 1 : br + 1, br != std::string::npos};
        if (!visit(line, Trim(text.substr(line.begin, line.end - line.begin))))
            return;
        pos = line.next;
    }
}

// What a trimmed line is: a section header names its section in name.
enum class Kind { Blank, Comment, Section, Key, Other };

Kind Classify(const std::string &line, std::string &name)
{
    if (line.empty())
        return Kind::Blank;
    if (line[0] == ';')
        return Kind::Comment;
    if (line[0] == '[') {
        const std::size_t close = line.find(']');
        name = close == std::string::npos ? std::string() : Trim(line.substr(1, close - 1));
        return close == std::string::npos ? Kind::Other : Kind::Section;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return Kind::Other;
    name = Trim(line.substr(0, eq));
    return Kind::Key;
}

std::size_t BodyStart(const std::string &text)
{
    return text.rfind(kByteOrderMark, 0) == 0 ? 3 : 0;
}

} // namespace

bool ReadIniValue(const std::string &iniText, const std::string &section, const std::string &key,
                  std::string &value)
{
    bool inSection = false, found = false;
    ForEachLine(iniText, BodyStart(iniText), [&](const Line &, const std::string &line) {
        std::string name;
        switch (Classify(line, name)) {
        case Kind::Section:
            inSection = SameName(name, section);
            return true;
        case Kind::Other:
            // A '[' line without its ']' ends the section all the same.
            if (line[0] == '[')
                inSection = false;
            return true;
        case Kind::Key:
            if (!inSection || !SameName(name, key))
                return true;
            value = Trim(line.substr(line.find('=') + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            found = true;
            return false;
        default:
            return true;
        }
    });
    return found;
}

bool ReadIniBool(const std::string &iniText, const std::string &section, const std::string &key,
                 bool defaultValue, bool *found)
{
    std::string value;
    const bool there = ReadIniValue(iniText, section, key, value);
    if (found)
        *found = there;
    if (!there)
        return defaultValue;
    std::optional<long long> number = ParseInteger(value);
    return number ? *number != 0 : defaultValue;
}

std::string SetIniValue(const std::string &iniText, const std::string &section, const std::string &key,
                        const std::string &value, const char *newline)
{
    std::string clean;
    for (char ch : value)
        if (ch != '\r' && ch != '\n')
            clean += ch;
    std::string nl = newline;
    if (const std::size_t br = iniText.find('\n'); br != std::string::npos)
        nl = br > 0 && iniText[br - 1] == '\r' ? "\r\n" : "\n";

    const std::size_t body = BodyStart(iniText);
    bool inSection = false, firstSection = false, seenSection = false;
    // Where a new key goes: after the header or the last key line of the
    // first section of that name.
    std::size_t insertAt = 0;
    bool insertAfterBreak = true;
    std::optional<std::string> changed;
    ForEachLine(iniText, body, [&](const Line &at, const std::string &line) {
        std::string name;
        const Kind kind = Classify(line, name);
        if (kind == Kind::Section || (kind == Kind::Other && line[0] == '[')) {
            inSection = kind == Kind::Section && SameName(name, section);
            firstSection = inSection && !seenSection;
            seenSection = seenSection || inSection;
        } else if (kind == Kind::Key && inSection && SameName(name, key)) {
            // Only the value changes: the key's spelling, the spaces around
            // '=' and the line's ending stay.
            std::size_t from = iniText.find('=', at.begin) + 1;
            while (from < at.end && (iniText[from] == ' ' || iniText[from] == '\t'))
                ++from;
            std::size_t to = at.end;
            if (to > from && iniText[to - 1] == '\r')
                --to;
            changed = iniText.substr(0, from) + clean + iniText.substr(to);
            return false;
        }
        if (firstSection && (kind == Kind::Section || kind == Kind::Key || kind == Kind::Other)) {
            insertAt = std::min(at.next, iniText.size());
            insertAfterBreak = at.hasBreak;
        }
        return true;
    });
    if (changed)
        return *changed;

    const std::string entry = key + "=" + clean;
    if (seenSection) {
        // A last line without a line break keeps going without one.
        if (!insertAfterBreak)
            return iniText.substr(0, insertAt) + nl + entry + iniText.substr(insertAt);
        return iniText.substr(0, insertAt) + entry + nl + iniText.substr(insertAt);
    }
    if (iniText.size() == body)
        return iniText + "[" + section + "]" + nl + entry + nl;
    if (iniText.back() != '\n')
        return iniText + nl + "[" + section + "]" + nl + entry;
    return iniText + "[" + section + "]" + nl + entry + nl;
}

bool KVUIOperationClass::WriteIniValue(const std::string &section, const std::string &key,
                                       const std::string &value)
{
    lastSaveError.clear();
    if (directory.empty()) {
        lastSaveError = "there is no configuration folder";
        return false;
    }
    const std::string path = GetIniPath();
    std::string text;
    const int fd = filesafety::OpenRegularFile(path);
    if (fd >= 0) {
        text.resize(kMaxIniBytes + 1);
        bool error = false;
        text.resize(filesafety::ReadFull(fd, text.data(), text.size(), &error));
        ::close(fd);
        if (error || text.size() > kMaxIniBytes) {
            lastSaveError = path + (error ? " could not be read" : " is too large") + "; it is left as it is";
            return false;
        }
    } else if (errno != ENOENT) {
        lastSaveError = path + " could not be read (" + std::strerror(errno) + "); it is left as it is";
        return false;
    }
#ifdef _WIN32
    const std::string updated = SetIniValue(text, section, key, value, "\r\n");
#else
    const std::string updated = SetIniValue(text, section, key, value);
#endif
    if (updated == text)
        return true;
    const auto produce = [&updated](int out) {
        return filesafety::WriteAll(out, updated.data(), updated.size());
    };
    return filesafety::ReplaceContents(path, produce, std::nullopt, lastSaveError);
}
