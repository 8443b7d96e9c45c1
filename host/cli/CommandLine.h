// Arguments of ppihost's commands. Plain C++: the values are checked here,
// before anything is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/HostTypes.h"

// Decimal, optionally signed; false on anything else or on overflow.
bool ParseInteger(const std::string& text, int& value);

// "L,T,R,B", four integers; range checks against the image come later.
bool ParseRect(const std::string& text, FilterRect& rect);

// "RRGGBB" or "#RRGGBB", hexadecimal.
bool ParseColor(const std::string& text, uint8_t& red, uint8_t& green, uint8_t& blue);

// Empty when rect lies inside a width x height image and is not empty or
// inverted; otherwise what is wrong with it.
std::string CheckRect(const FilterRect& rect, int width, int height);

// Lower-case extension with its dot, "" when the file name has none.
std::string ExtensionOf(const std::string& path);

// Splits "--name value" options off the positional arguments. Options in
// `known` take one value, those in `flags` none (their value is "");
// anything else starting with "--" is an error.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    std::string error;

    // The last value given for name, or null.
    const std::string* Option(const std::string& name) const;
};
ParsedArgs SplitArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& flags = {});
