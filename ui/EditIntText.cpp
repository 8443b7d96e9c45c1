#include "ui/EditIntText.h"

namespace {
// Far beyond 255, and no digit string can push the sum past the int range.
constexpr int kSaturated = 100000000;
}  // namespace

int ParseEditText(const char* text, int n, int fallback, bool& ok) {
    ok = false;
    if (!text || n <= 0) return fallback;
    int start = 0;
    if (text[0] == '-') {
        if (n == 1) return fallback;
        start = 1;
    }
    if (n >= 2 && text[start] == '0') return fallback;
    int value = 0;
    for (int i = start; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return fallback;
        if (value < kSaturated) value = value * 10 + (c - '0');
    }
    ok = true;
    return start ? -value : value;
}
