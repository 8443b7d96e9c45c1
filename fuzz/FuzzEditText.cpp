// Any text in an edit box: accepted exactly when it is "0", or 1..N digits
// without a leading zero (optionally after "-"), and then with its value.
#include <cstdlib>
#include <string>

#include "ui/EditIntText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size > 20 ? 20 : size);
    bool ok = true;
    const int value = ParseEditText(text.data(), int(text.size()), -7, ok);

    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    bool wellFormed = text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos &&
                      !(text[start] == '0' && text.size() >= 2);
    if (ok != wellFormed) std::abort();
    if (!ok && value != -7) std::abort();
    if (ok && text.size() - start <= 9 && value != std::stoi(text)) std::abort();
    // What the dialog then keeps: 0..255 only.
    if (ok && value >= 0 && value <= 255 && std::to_string(value) != text) std::abort();
    return 0;
}
