#include "host/cli/Batch.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "host/HostError.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/image/OutputFile.h"
#include "host/image/WicImage.h"

namespace {

std::string Quoted(const std::wstring& path) { return "'" + Utf8FromWide(path) + "'"; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// folder and name joined by one separator: a slash where the folder has
// no backslash and is written with slashes or comes from a Unix shell
// (UnixRoot; Wine takes both).
std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (EndsWithSeparator(folder) || folder.empty() || folder.back() == L':') return folder + name;
    const bool slash = folder.find(L'\\') == std::wstring::npos &&
                       (!UnixRoot().empty() || folder.find(L'/') != std::wstring::npos);
    return folder + (slash ? L"/" : L"\\") + name;
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// The images in folder, by name; the names of the other files, which no
// decoder claims by their extension, go to skipped.
std::vector<std::wstring> ImagesIn(const std::wstring& folder, const std::vector<std::wstring>& extensions,
                                   std::vector<std::wstring>& skipped) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Join(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring ext = Lower(WideFromUtf8(ExtensionOf(Utf8FromWide(found.cFileName))));
        const bool decodable = !ext.empty() && std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
        (decodable ? names : skipped).push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::wstring> paths;
    for (const std::wstring& name : names) paths.push_back(Join(folder, name));
    return paths;
}

// The name the output gets: the input's own long name, its extension kept
// where ppihost writes that format and otherwise replaced with ".png".
std::wstring OutputName(const std::wstring& input) {
    wchar_t longPath[MAX_PATH * 4];
    const DWORD n = GetLongPathNameW(input.c_str(), longPath, MAX_PATH * 4);
    const std::wstring path = n && n < MAX_PATH * 4 ? std::wstring(longPath) : input;
    const size_t slash = path.find_last_of(L"\\/:");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    FileFormat format;
    if (FormatForName(name, format)) return name;
    const std::string ext = ExtensionOf(Utf8FromWide(name));
    return name.substr(0, name.size() - WideFromUtf8(ext).size()) + L".png";
}

}  // namespace

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && (text.back() == L'\\' || text.back() == L'/');
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool NaturalLess(const std::wstring& a, const std::wstring& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Numbers by value: fewer significant digits first, then digit by
            // digit.
            size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            while (i + 1 < endA && a[i] == L'0') ++i;
            while (j + 1 < endB && b[j] == L'0') ++j;
            if (endA - i != endB - j) return endA - i < endB - j;
            const int order = a.compare(i, endA - i, b, j, endB - j);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
        } else {
            const wchar_t ca = static_cast<wchar_t>(std::towlower(a[i])), cb = static_cast<wchar_t>(std::towlower(b[j]));
            if (ca != cb) return ca < cb;
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

std::vector<BatchFile> PlanBatch(const std::vector<std::wstring>& inputs, const std::wstring& outputs,
                                 std::string& skipped) {
    if (!IsFolder(outputs))
        throw HostError("output folder " + Quoted(outputs) +
                        (GetFileAttributesW(outputs.c_str()) == INVALID_FILE_ATTRIBUTES ? " does not exist"
                                                                                        : " is not a folder"));
    CheckOutputFolder(outputs);

    const std::vector<std::wstring> extensions = DecodableExtensions();
    std::vector<BatchFile> files;
    std::vector<std::wstring> others;
    const size_t folders = static_cast<size_t>(std::count_if(inputs.begin(), inputs.end(), IsFolder));
    for (const std::wstring& input : inputs) {
        if (!IsFolder(input)) {
            files.push_back({input, L"", ""});
            continue;
        }
        std::vector<std::wstring> names;
        for (const std::wstring& image : ImagesIn(input, extensions, names)) files.push_back({image, L"", ""});
        // Names alone where one folder was given; else each as it is shown.
        for (const std::wstring& name : names) others.push_back(folders == 1 ? name : Join(input, name));
    }
    skipped.clear();
    if (!others.empty()) {
        std::sort(others.begin(), others.end(), NaturalLess);
        skipped = std::to_string(others.size()) + (others.size() == 1 ? " file" : " files") +
                  " that no decoder reads: ";
        for (size_t i = 0; i < others.size(); ++i) skipped += (i ? ", " : "") + Utf8FromWide(others[i]);
    }
    if (files.empty())
        throw HostError("no images in the folders given" + (skipped.empty() ? "" : "; skipped: " + skipped));

    std::vector<std::wstring> inputKeys, outputKeys;
    for (BatchFile& file : files) {
        file.output = Join(outputs, OutputName(file.input));
        inputKeys.push_back(FileKey(file.input));
        outputKeys.push_back(FileKey(file.output));
    }
    // An output may replace its own input, never another file's input or
    // output: that would lose an image.
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = 0; j < i && files[i].problem.empty(); ++j)
            if (outputKeys[i] == outputKeys[j] && files[j].problem.empty())
                files[i].problem = Quoted(files[i].input) + " not run: its output " + Quoted(files[i].output) +
                                   " is the output of " + Quoted(files[j].input);
        for (size_t j = 0; j < files.size() && files[i].problem.empty(); ++j)
            if (outputKeys[i] == inputKeys[j] && inputKeys[i] != inputKeys[j])
                files[i].problem = Quoted(files[i].input) + " not run: its output " + Quoted(files[i].output) +
                                   " would replace the input " + Quoted(files[j].input);
    }
    return files;
}
