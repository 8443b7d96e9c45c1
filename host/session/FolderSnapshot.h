// The files of one folder, each with its size and a hash of its bytes, to
// tell whether anything in it changed.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct FileSum {
    std::wstring name;  // as the folder spells it
    uint64_t size = 0;
    uint64_t hash = 0;
    bool operator!=(const FileSum& other) const { return size != other.size || hash != other.hash; }
};

// Files only, not subfolders; keyed by upper-case name.
typedef std::map<std::wstring, FileSum> FolderSnapshot;

// Without contents, a file's last write time stands for its hash: for a
// look taken hundreds of times.
FolderSnapshot SnapshotFolder(const std::wstring& folder, bool contents = true);

// "" when both are alike; else, in UTF-8, "qvfilters.ini changed, new.txt
// added, old.txt removed".
std::string FolderChanges(const FolderSnapshot& before, const FolderSnapshot& after);

// The folder that holds a file, without a trailing separator.
std::wstring FolderOf(const std::wstring& path);
