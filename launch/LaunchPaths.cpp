#include "LaunchPaths.h"

#include <cctype>

#include "Kvguiglobals.h"

std::string DirectoryOfTarget(const std::string &target)
{
    std::size_t slash = target.rfind('/');
    return slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
}

std::string UrlForOpening(const std::string &target)
{
    // A scheme is letters, digits, "+" or "-", starting with a letter,
    // and ends at the first ':'.
    std::size_t colon = target.find(':');
    bool hasScheme =
        colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(target[0]));
    for (std::size_t i = 0; hasScheme && i < colon; ++i) {
        char c = target[i];
        hasScheme = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-';
    }
    if (hasScheme || target.empty() || target[0] == '/')
        return target;
    return "http://" + target;
}

int LinkTypeInCategory(int categoryType, int linkType)
{
    return categoryType >= ctApplications && categoryType < ctMultiple ? categoryType : linkType;
}

int LaunchTypeOf(int categoryType, int linkType)
{
    return linkType >= ctApplications && linkType < ctMultiple ? linkType
                                                                : LinkTypeInCategory(categoryType, linkType);
}
