#pragma once

#include <string>

// The working folder of a program target: its text up to and including the
// last slash, empty when it has none.
std::string DirectoryOfTarget(const std::string &target);

// How a web link's text is handed to the desktop: a bare host name such as
// "www.example.org/page" gets the http scheme, anything else goes as it is.
std::string UrlForOpening(const std::string &target);

// The type a link of a category of categoryType has: in a category of one
// type every link takes that type, whatever its own field says (a file may
// hold -1 there, for a link made before the category had a type); in a
// category of several types each link keeps its own.
int LinkTypeInCategory(int categoryType, int linkType);
// The type a stored link launches as: its own, or, where it has none (an
// old file saved a category's first link as -1), its category's.
int LaunchTypeOf(int categoryType, int linkType);
