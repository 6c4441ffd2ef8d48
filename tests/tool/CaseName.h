#pragma once
// A test name made from a table row's description.
#include <cctype>
#include <string>

inline std::string CaseName(const char* what) {
    std::string name = what;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}
