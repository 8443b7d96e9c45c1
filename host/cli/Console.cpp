#include "host/cli/Console.h"

#include <cstdio>
#include <cstring>

namespace {

std::wstring WideFromCodePage(UINT codePage, const char* text, int length) {
    if (length == 0) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, &out[0], n);
    return out;
}

// "/run/qvhost/home/x" as "/home/x".
std::string MachinePaths(std::string text) {
    const std::string& root = UnixRoot();
    if (root.empty()) return text;
    for (size_t at = text.find(root + "/"); at != std::string::npos; at = text.find(root + "/", at + 1))
        text.erase(at, root.size());
    return text;
}

void Write(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
    const std::string utf8 = MachinePaths(text);
    DWORD mode, done;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring wide = WideFromUtf8(utf8);
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
        return;
    }
    const char* p = utf8.data();
    size_t left = utf8.size();
    while (left > 0 && WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr) && done > 0) {
        p += done;
        left -= done;
    }
}

}  // namespace

std::string Utf8FromWide(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring WideFromUtf8(const std::string& text) {
    return WideFromCodePage(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

std::string Utf8FromCp932(const char* text) {
    return Utf8FromWide(WideFromCodePage(932, text, static_cast<int>(std::strlen(text))));
}

const std::string& UnixRoot() {
    static const std::string root = [] {
        wchar_t value[MAX_PATH];
        const DWORD n = GetEnvironmentVariableW(L"QV_UNIX_ROOT", value, MAX_PATH);
        return n > 0 && n < MAX_PATH ? Utf8FromWide(value) : std::string();
    }();
    return root;
}

void WriteStdout(const std::string& utf8) { Write(STD_OUTPUT_HANDLE, utf8); }
void WriteStderr(const std::string& utf8) { Write(STD_ERROR_HANDLE, utf8); }

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    // One line: the system's texts end with (and may contain) line breaks.
    for (wchar_t& c : message)
        if (c == L'\r' || c == L'\n') c = L' ';
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.')) message.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return message.empty() ? std::string("error ") + hex : Utf8FromWide(message) + " (" + hex + ")";
}
