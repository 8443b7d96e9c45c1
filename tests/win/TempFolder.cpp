#include "tests/win/TempFolder.h"

#include <windows.h>

#include <algorithm>

namespace {

// Files first, then the folder itself; wide and prefixed, because a deep
// folder lies beyond MAX_PATH.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring WidePath(const std::string& path) {
    std::wstring wide;
    for (char c : path) wide += static_cast<unsigned char>(c);
    return wide;
}

std::wstring LongPathW(const std::string& path) { return L"\\\\?\\" + WidePath(path); }

TempFolder::TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base(temp);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    static unsigned counter = 0;
    for (;;) {
        path = base + "\\qvt" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
               "-" + std::to_string(++counter);
        if (CreateDirectoryA(path.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path.clear();
            break;
        }
    }
}

TempFolder::~TempFolder() {
    if (!path.empty()) RemoveTree(LongPathW(path));
}

std::string TempFolder::MakeDeepFolder(size_t length, size_t longestName) {
    std::string folder = path;
    while (folder.size() < length) {
        // Names stay under the 255-character limit of a name.
        const size_t remaining = length - folder.size() - 1;
        if (remaining == 0) return "";
        const size_t whole = std::min<size_t>(longestName * 6 / 5, 254);
        folder += "\\" + std::string(remaining <= whole ? remaining : longestName, 'd');
        if (!CreateDirectoryW(LongPathW(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
    return folder;
}

std::string TempFolder::CopyPlugin(const std::string& fileName) { return CopyPluginTo(path, fileName); }

std::string TempFolder::CopyPluginTo(const std::string& folder, const std::string& fileName) {
    const std::string target = folder + "\\" + fileName;
    if (!CopyFileW(LongPathW(BuiltPluginPath()).c_str(), LongPathW(target).c_str(), FALSE)) return "";
    return target;
}

bool TempFolder::WriteBytes(const std::string& folder, const std::string& fileName, const std::string& bytes) {
    HANDLE file = CreateFileW(LongPathW(folder + "\\" + fileName).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string TempFolder::ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string bytes;
    char part[4096];
    DWORD n = 0;
    while (ReadFile(file, part, sizeof part, &n, nullptr) && n) bytes.append(part, n);
    CloseHandle(file);
    return bytes;
}

std::string ExeFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string BuiltPluginPath() { return ExeFolder() + "\\qvhuetint.ppi"; }
