#pragma once

#include <string>

// The working folder of a program target: its text up to and including the
// last slash, empty when it has none.
std::string DirectoryOfTarget(const std::string &target);

// How a web link's text is handed to the desktop: a bare host name such as
// "www.example.org/page" gets the http scheme, anything else goes as it is.
std::string UrlForOpening(const std::string &target);
