// A fresh folder under the user's temporary folder, removed with everything
// in it when the object goes. The plug-in reads its settings file from its own
// folder, so each case gets its own copy of the plug-in in its own folder.
#pragma once

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Without a trailing backslash.
    const std::string& Path() const { return path; }

    // Creates nested subfolders, none of a name longer than longestName,
    // until the folder path is exactly length characters long, and returns
    // that path. May exceed MAX_PATH.
    std::string MakeDeepFolder(size_t length, size_t longestName = 100);

    // Copies the built plug-in into folder (default: this folder) under the
    // given file name; returns the new file's path, or "" on failure.
    std::string CopyPlugin(const std::string& fileName = "qvhuetint.ppi");
    std::string CopyPluginTo(const std::string& folder, const std::string& fileName);

    // Writes bytes as the whole file folder\fileName.
    static bool WriteBytes(const std::string& folder, const std::string& fileName, const std::string& bytes);
    // The whole file, "" when it cannot be read.
    static std::string ReadBytes(const std::wstring& path);

private:
    std::string path;
};

// The folder of the running test program, without a trailing backslash.
std::string ExeFolder();
// The plug-in built beside the test programs.
std::string BuiltPluginPath();

// An ASCII path as the wide functions take it.
std::wstring WidePath(const std::string& path);
// "\\?\" form of an absolute path, for the wide functions past MAX_PATH.
std::wstring LongPathW(const std::string& path);
