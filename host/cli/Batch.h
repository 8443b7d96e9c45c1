// Which files a batch run reads and writes: the inputs named and the images
// in the folders named, each with its output in one folder.
#pragma once

#include <string>
#include <vector>

struct BatchFile {
    // Paths as shown to the user: an input as given, or its folder as given
    // and the file's name.
    std::wstring input;
    std::wstring output;
    // Why the file must not be run: its output would replace another input
    // or another file's output. Empty when it may.
    std::string problem;
};

// The files of `inputs` (files as given, in that order; the images in each
// folder, by name with numbers in order), each with its output in folder
// `outputs`: its own name where the extension is one ppihost writes, else
// with ".png". `skipped` tells which files of the folders no decoder claims
// ("2 files that no decoder reads: a.webp, b.psd"), "" when none. Throws
// HostError when outputs is no folder that takes new files, or when there
// is no file at all. Needs a ComScope.
std::vector<BatchFile> PlanBatch(const std::vector<std::wstring>& inputs, const std::wstring& outputs,
                                 std::string& skipped);

// True when text ends with a path separator: a folder, by how it is written.
bool EndsWithSeparator(const std::wstring& text);
bool IsFolder(const std::wstring& path);

// Orders names as a person would: "scan2" before "scan10", case ignored.
bool NaturalLess(const std::wstring& a, const std::wstring& b);
