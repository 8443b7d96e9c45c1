// An image file as ppihost writes it: checked and begun before any work is
// done for it, filled in a temporary file beside it, and renamed into place
// only when complete. An error, a fault, Ctrl+C or a closed console before
// that leaves no file behind and the old file, if any, as it was.
#pragma once

#include <windows.h>

#include <string>

#include "host/image/WicImage.h"

class OutputFile {
public:
    // Throws HostError unless path can take an image: an extension ppihost
    // writes, an existing folder that takes a new file, and no folder,
    // read-only or locked file of that name. Then makes the temporary file.
    explicit OutputFile(const std::wstring& path);
    // Removes the temporary file unless Commit renamed it.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Encodes image into the temporary file, replacing what it held.
    void Write(const Image& image);
    // Renames the temporary file into place. Throws HostError.
    void Commit();

    // As it was given.
    const std::wstring& Path() const { return path; }

private:
    std::wstring path;
    std::wstring full;
    std::wstring temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    FileFormat format = FileFormat::Png;
    std::string what;
};

// Throws HostError unless folder exists and takes new files.
void CheckOutputFolder(const std::wstring& folder);

// Equal for two spellings of one file: case, separators, relative or full,
// short names. An existing file is known by its volume and file index.
std::wstring FileKey(const std::wstring& path);

// For a console control or fault handler, on any thread: waits for a rename
// in progress, removes every temporary file and holds back every later
// one. The caller then ends the process.
void AbandonOutputs();

// How many files the command means to write, for WrittenSoFar; 0 when it
// does not say.
void ExpectOutputs(int count);
// "nothing was written", "2 of 5 files were written", ...
std::string WrittenSoFar();
