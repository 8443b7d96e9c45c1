#include "host/image/OutputFile.h"

#include <vector>

#include "host/HostError.h"
#include "host/cli/Console.h"

namespace {

// Guards the list of temporary files and every step that creates, renames
// or removes one, so that a handler on another thread never sees half of a
// rename. AbandonOutputs enters it and never leaves.
struct OutputLock {
    OutputLock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
} outputLock;

class Locked {
public:
    Locked() { EnterCriticalSection(&outputLock.section); }
    ~Locked() { LeaveCriticalSection(&outputLock.section); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

std::vector<std::wstring> pendingTemps;
int committedOutputs = 0;
int expectedOutputs = 0;

std::string Quoted(const std::wstring& path) { return "'" + Utf8FromWide(path) + "'"; }

std::wstring Hex(unsigned long long value, int digits) {
    std::wstring text(static_cast<size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = L"0123456789abcdef"[value & 15];
    return text;
}

void Forget(const std::wstring& temp) {
    for (size_t i = 0; i < pendingTemps.size(); ++i)
        if (pendingTemps[i] == temp) {
            pendingTemps.erase(pendingTemps.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
}

// Marks an open file for deletion when its last handle closes, which the
// system does for a process that ends in any way, or takes the mark back.
bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The full path and its folder, with the trailing separator.
void SplitPath(const std::wstring& path, const std::string& what, std::wstring& full, std::wstring& folder) {
    wchar_t buffer[MAX_PATH * 4];
    wchar_t* namePart = nullptr;
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buffer, &namePart);
    if (n == 0 || n >= MAX_PATH * 4 || !namePart) throw HostError(what + ": not a usable file name");
    full = buffer;
    folder.assign(buffer, namePart);
}

void CheckFolderExists(const std::wstring& folder, const std::string& what) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw HostError(what + ": the folder does not exist");
}

// A new file in folder, open for writing and for the final rename, and
// already marked for deletion. Shared for deletion only, so a handler can
// still remove it by name where the mark could not be set.
HANDLE CreateTemp(const std::wstring& folder, const std::string& what, std::wstring& temp) {
    static unsigned serial = 0;
    Locked lock;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const unsigned unique = GetCurrentProcessId() * 0x10001u ^ GetTickCount() ^ ++serial * 0x9E3779B9u;
        temp = folder + L"ppi" + Hex(unique, 8) + L".tmp";
        const HANDLE file = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            SetDeleteOnClose(file, true);
            pendingTemps.push_back(temp);
            return file;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw HostError(what + ": cannot create a file in its folder: " + SystemMessage(error));
    }
    throw HostError(what + ": cannot find a free temporary name in its folder");
}

// An IStream over the temporary file's handle, which the encoders write
// through: opening the file again by name would fail, since it is marked
// for deletion.
class HandleStream final : public IStream {
public:
    explicit HandleStream(HANDLE file) : file(file) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (!out) return E_POINTER;
        if (id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* done) override {
        DWORD n = 0;
        const BOOL ok = ReadFile(file, data, size, &n, nullptr);
        if (done) *done = n;
        return !ok ? HRESULT_FROM_WIN32(GetLastError()) : (n < size ? S_FALSE : S_OK);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* done) override {
        DWORD n = 0;
        const BOOL ok = WriteFile(file, data, size, &n, nullptr);
        if (done) *done = n;
        return ok && n == size ? S_OK : HRESULT_FROM_WIN32(ok ? ERROR_DISK_FULL : GetLastError());
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        LARGE_INTEGER now;
        if (!SetFilePointerEx(file, move, &now, origin)) return HRESULT_FROM_WIN32(GetLastError());
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        LARGE_INTEGER zero = {}, now, end;
        end.QuadPart = static_cast<LONGLONG>(size.QuadPart);
        if (!SetFilePointerEx(file, zero, &now, FILE_CURRENT) || !SetFilePointerEx(file, end, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(file) || !SetFilePointerEx(file, now, nullptr, FILE_BEGIN))
            return HRESULT_FROM_WIN32(GetLastError());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file, &size)) return HRESULT_FROM_WIN32(GetLastError());
        *stat = STATSTG();
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    ~HandleStream() = default;
    HANDLE file;
    LONG references = 1;
};

}  // namespace

OutputFile::OutputFile(const std::wstring& given) : path(given), what("cannot write " + Quoted(given)) {
    if (!FormatForName(path, format)) throw HostError(what + ": only .png and .bmp can be written", kExitUsage);
    std::wstring folder;
    SplitPath(path, what, full, folder);
    CheckFolderExists(folder, what);
    // What would make the final rename fail, found before the run.
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw HostError(what + ": there is a folder of that name");
        if (attributes & FILE_ATTRIBUTE_READONLY) throw HostError(what + ": the file is read-only");
        // Replacing needs the right to delete it, and no program holding it
        // open without sharing that.
        const HANDLE old = CreateFileW(full.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
        if (old == INVALID_HANDLE_VALUE)
            throw HostError(what + ": the file cannot be replaced: " + SystemMessage(GetLastError()));
        CloseHandle(old);
    }
    handle = CreateTemp(folder, what, temp);
}

OutputFile::~OutputFile() {
    if (handle == INVALID_HANDLE_VALUE) return;
    Locked lock;
    // By name as well, where the deletion mark could not be set.
    DeleteFileW(temp.c_str());
    CloseHandle(handle);
    Forget(temp);
}

void OutputFile::Write(const Image& image) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) || !SetEndOfFile(handle))
        throw HostError(what + ": " + SystemMessage(GetLastError()));
    HandleStream* stream = new HandleStream(handle);
    try {
        EncodeImage(stream, format, image, what);
    } catch (...) {
        stream->Release();
        throw;
    }
    stream->Release();
}

void OutputFile::Commit() {
    // On the disk before its name is, so a crash cannot leave a short file
    // under the final name.
    if (!FlushFileBuffers(handle)) throw HostError(what + ": " + SystemMessage(GetLastError()));
    Locked lock;
    SetDeleteOnClose(handle, false);
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    Forget(temp);
    if (!MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        throw HostError(what + ": " + SystemMessage(error));
    }
    ++committedOutputs;
}

void CheckOutputFolder(const std::wstring& folder) {
    const std::string what = "cannot write in " + Quoted(folder);
    std::wstring trimmed = folder;
    while (trimmed.size() > 1 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
    // The folder as SplitPath gives it for a file inside.
    std::wstring inside, full;
    SplitPath(trimmed + L"\\x", what, inside, full);
    CheckFolderExists(full, what);
    std::wstring temp;
    const HANDLE probe = CreateTemp(full, what, temp);
    Locked lock;
    CloseHandle(probe);
    DeleteFileW(temp.c_str());
    Forget(temp);
}

std::wstring FileKey(const std::wstring& path) {
    // No access asked for: enough to read its identity, also of a file
    // another program has open.
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        const BOOL ok = GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        if (ok)
            return L"#" + Hex(info.dwVolumeSerialNumber, 8) + Hex(info.nFileIndexHigh, 8) +
                   Hex(info.nFileIndexLow, 8);
    }
    // A file yet to be made: its full path with the folder's long name, in
    // one case.
    std::wstring full, folder;
    try {
        SplitPath(path, "", full, folder);
    } catch (const HostError&) {
        return path;
    }
    wchar_t longFolder[MAX_PATH * 4];
    const DWORD n = GetLongPathNameW(folder.c_str(), longFolder, MAX_PATH * 4);
    std::wstring key = (n && n < MAX_PATH * 4 ? std::wstring(longFolder) : folder) + full.substr(folder.size());
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

void AbandonOutputs() {
    EnterCriticalSection(&outputLock.section);
    for (const std::wstring& temp : pendingTemps) DeleteFileW(temp.c_str());
}

void ExpectOutputs(int count) { expectedOutputs = count; }

std::string WrittenSoFar() {
    const int n = committedOutputs;
    if (n == 0) return "nothing was written";
    if (expectedOutputs > 0)
        return std::to_string(n) + " of " + std::to_string(expectedOutputs) + " files were written";
    return std::to_string(n) + (n == 1 ? " file was written" : " files were written");
}
