#include "host/cli/CommandLine.h"

#include <cctype>
#include <climits>
#include <sstream>

bool ParseInteger(const std::string& text, int& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseRect(const std::string& text, FilterRect& rect) {
    int v[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos)) return false;
        const std::string part = text.substr(start, i < 3 ? comma - start : std::string::npos);
        if (!ParseInteger(part, v[i])) return false;
        start = comma + 1;
    }
    rect = {v[0], v[1], v[2], v[3]};
    return true;
}

bool ParseColor(const std::string& text, uint8_t& red, uint8_t& green, uint8_t& blue) {
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6) return false;
    unsigned value = 0;
    for (char c : hex) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                       ? c - '0'
                                                       : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    red = static_cast<uint8_t>(value >> 16);
    green = static_cast<uint8_t>(value >> 8);
    blue = static_cast<uint8_t>(value);
    return true;
}

std::string CheckRect(const FilterRect& rect, int width, int height) {
    std::ostringstream what;
    if (rect.left >= rect.right || rect.top >= rect.bottom)
        what << "is empty or inverted";
    else if (rect.left < 0 || rect.top < 0 || rect.right > width || rect.bottom > height)
        what << "is not inside the " << width << "x" << height << " image";
    return what.str();
}

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const std::string* ParsedArgs::Option(const std::string& name) const {
    const std::string* found = nullptr;
    for (const auto& o : options)
        if (o.first == name) found = &o.second;
    return found;
}

ParsedArgs SplitArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& flags) {
    ParsedArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "-5" is a value (an index), not an option.
        if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
            bool isFlag = false;
            for (const auto& f : flags) isFlag = isFlag || f == a;
            if (isFlag) {
                parsed.options.emplace_back(a, std::string());
                continue;
            }
            bool isKnown = false;
            for (const auto& k : known) isKnown = isKnown || k == a;
            if (!isKnown) {
                parsed.error = "unknown option " + a;
                return parsed;
            }
            if (i + 1 == args.size()) {
                parsed.error = "option " + a + " needs a value";
                return parsed;
            }
            parsed.options.emplace_back(a, args[++i]);
        } else {
            parsed.positional.push_back(a);
        }
    }
    return parsed;
}
