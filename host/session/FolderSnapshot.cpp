#include "host/session/FolderSnapshot.h"

#include <windows.h>

#include <vector>

#include "host/cli/Console.h"

namespace {

// FNV-1a; a file that cannot be read gets its error code instead.
uint64_t HashFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    uint64_t hash = 14695981039346656037ull;
    std::vector<unsigned char> chunk(1 << 16);
    DWORD read = 0;
    while (ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read)
        for (DWORD i = 0; i < read; ++i) hash = (hash ^ chunk[i]) * 1099511628211ull;
    CloseHandle(file);
    return hash;
}

}  // namespace

FolderSnapshot SnapshotFolder(const std::wstring& folder, bool contents) {
    FolderSnapshot snapshot;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return snapshot;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring key = found.cFileName;
        CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
        FileSum& sum = snapshot[key];
        sum.name = found.cFileName;
        sum.size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        sum.hash = contents ? HashFile(folder + L"\\" + found.cFileName)
                            : (uint64_t(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return snapshot;
}

std::string FolderChanges(const FolderSnapshot& before, const FolderSnapshot& after) {
    std::string changes;
    auto add = [&changes](const FileSum& file, const char* what) {
        changes += (changes.empty() ? "" : ", ") + Utf8FromWide(file.name) + " " + what;
    };
    for (const auto& file : before) {
        const auto now = after.find(file.first);
        if (now == after.end())
            add(file.second, "removed");
        else if (now->second != file.second)
            add(file.second, "changed");
    }
    for (const auto& file : after)
        if (!before.count(file.first)) add(file.second, "added");
    return changes;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? L"." : path.substr(0, separator);
}
