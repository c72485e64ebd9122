// The small part of the Windows ini format the launcher reads: sections,
// key=value lines, ';' comments, names compared without regard to case.

#include "Kvguiglobals.h"

#include <cctype>
#include <climits>
#include <optional>

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

} // namespace

bool ReadIniBool(const std::string &iniText, const std::string &section, const std::string &key,
                 bool defaultValue, bool *found)
{
    if (found)
        *found = false;
    std::string text = iniText;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            std::size_t close = line.find(']');
            inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        std::size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || !SameName(Trim(line.substr(0, eq)), key))
            continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (found)
            *found = true;
        std::optional<long long> number = ParseInteger(value);
        return number ? *number != 0 : defaultValue;
    }
    return defaultValue;
}
