#include "host/session/PluginLibrary.h"

#include <type_traits>

#include "host/HostError.h"
#include "host/cli/Console.h"
#include "host/session/StdcallThunk.h"

namespace {

std::string Quoted(const std::wstring& path) { return "'" + Utf8FromWide(path) + "'"; }

// The machine field of a PE file's header, 0 when the file is none.
WORD PeMachine(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    WORD machine = 0;
    if (ReadFile(file, &dos, sizeof dos, &read, nullptr) && read == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        struct {
            DWORD signature;
            IMAGE_FILE_HEADER header;
        } pe = {};
        if (ReadFile(file, &pe, sizeof pe, &read, nullptr) && read == sizeof pe && pe.signature == IMAGE_NT_SIGNATURE)
            machine = pe.header.Machine;
    }
    CloseHandle(file);
    return machine;
}

std::string LoadFailure(const std::wstring& path, DWORD error) {
    if (error != ERROR_BAD_EXE_FORMAT) return SystemMessage(error);
    const WORD machine = PeMachine(path);
    if (machine == 0) return "not a Windows DLL";
    const WORD own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if (machine == IMAGE_FILE_MACHINE_I386 && own != machine)
        return "a 32-bit DLL, which only the 32-bit ppihost can load";
    if (machine == IMAGE_FILE_MACHINE_AMD64 && own != machine)
        return "a 64-bit DLL, which only the 64-bit ppihost can load";
    return "a DLL this system cannot load";
}

#if defined(__i386__)
// Every argument of the five exports is one 32-bit word.
uint32_t Word(int value) { return static_cast<uint32_t>(value); }
uint32_t Word(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }
uint32_t Word(ProgressCallback callback) { return Word(reinterpret_cast<const void*>(callback)); }

template <class R>
R FromEax(uint32_t eax) {
    if constexpr (std::is_pointer<R>::value)
        return reinterpret_cast<R>(static_cast<uintptr_t>(eax));
    else
        return static_cast<R>(eax);
}
#endif

}  // namespace

template <class R, class... P, class... A>
R PluginLibrary::Call(const char* name, R(WINAPI* proc)(P...), A... args) const {
    static_assert(sizeof...(P) == sizeof...(A), "one value per parameter");
#if defined(__i386__)
    const uint32_t words[] = {Word(static_cast<P>(args))..., 0};
    const int32_t bytes = 4 * sizeof...(P);
    int32_t popped = 0;
    const uint32_t eax = CallMeasuringStack(reinterpret_cast<const void*>(proc), words, bytes, &popped,
                                            static_cast<uint32_t>(stackOffset) & 12u);
    if (popped != bytes && stackError.empty())
        stackError = std::string(name) + " took " + std::to_string(popped) + " bytes of arguments off the stack, not " +
                     std::to_string(bytes);
    return FromEax<R>(eax);
#else
    (void)name;
    return proc(static_cast<P>(args)...);
#endif
}

PluginLibrary::PluginLibrary(const std::wstring& file) {
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(file.c_str(), MAX_PATH * 4, full, nullptr);
    path = n && n < MAX_PATH * 4 ? std::wstring(full) : file;

    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw HostError("plug-in not found: " + Quoted(file));

    // A full path, so no other module of that name is picked up from the
    // search path; its own folder is searched for what it needs.
    // A file name without an extension would get ".dll" added; a trailing dot
    // keeps it as it is.
    const size_t name = path.find_last_of(L"\\/");
    const bool bare = path.find(L'.', name == std::wstring::npos ? 0 : name) == std::wstring::npos;
    module = LoadLibraryExW((bare ? path + L"." : path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        const DWORD error = GetLastError();
        throw HostError("cannot load plug-in " + Quoted(file) + ": " + LoadFailure(path, error));
    }
    try {
        Resolve(getPluginInfo, "PB_GetPluginInfo");
        Resolve(filterCount, "PBF_FilterCount");
        Resolve(getName, "PBF_GetName");
        Resolve(execute, "PBF_Execute");
        Resolve(setup, "PBF_Setup");
    } catch (...) {
        FreeLibrary(module);
        throw;
    }
}

PluginLibrary::~PluginLibrary() { FreeLibrary(module); }

template <class T>
void PluginLibrary::Resolve(T& proc, const char* name) {
    proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!proc) throw HostError(Quoted(path) + " is not a filter plug-in: it does not export " + name);
}

WORD PluginLibrary::RawInfo(char* buffer, int length) const {
    return Call("PB_GetPluginInfo", getPluginInfo, buffer, length);
}

int PluginLibrary::RawCount() const { return Call("PBF_FilterCount", filterCount); }

char* PluginLibrary::RawNames(int index, char* category, int categoryLength, char* name, int nameLength) const {
    return Call("PBF_GetName", getName, index, category, categoryLength, name, nameLength);
}

std::string PluginLibrary::Info() const {
    // A text that fills the buffer comes without a terminator (strncpy):
    // each buffer keeps one zero of its own.
    char text[kTextBytes + 1] = {};
    RawInfo(text, kTextBytes);
    return Utf8FromCp932(text);
}

int PluginLibrary::Count() const {
    const int count = RawCount();
    // A broken count would have list print forever.
    if (count < 0 || count > kMaxFilters)
        throw HostError(Quoted(path) + " reports " + std::to_string(count) + " filters, which cannot be right");
    return count;
}

void PluginLibrary::Names(int index, std::string* category, std::string* name) const {
    char categoryText[kTextBytes + 1] = {};
    char nameText[kTextBytes + 1] = {};
    RawNames(index, categoryText, kTextBytes, nameText, kTextBytes);
    if (category) *category = Utf8FromCp932(categoryText);
    if (name) *name = Utf8FromCp932(nameText);
}

std::string PluginLibrary::Category(int index) const {
    std::string text;
    Names(index, &text, nullptr);
    return text;
}

std::string PluginLibrary::Name(int index) const {
    std::string text;
    Names(index, nullptr, &text);
    return text;
}

void PluginLibrary::CheckIndex(int index) const {
    const int count = Count();
    if (index < 0 || index >= count)
        throw HostError("bad filter index " + std::to_string(index) + ": the plug-in has " +
                        (count == 1 ? std::string("1 filter (index 0)")
                         : count > 1 ? std::to_string(count) + " filters (0 to " + std::to_string(count - 1) + ")"
                                     : std::string("no filters")),
                        kExitUsage);
}

int PluginLibrary::Execute(int index, void* source, void* destination, FilterRect* rect, int stride,
                           ProgressCallback callback, void* userData) const {
    // The four arguments the plug-in passes through unread get odd values,
    // so a plug-in that reads them shows it.
    return Call("PBF_Execute", execute, index, 0x2222, source, destination, 0x5555, rect, 0x7777, stride, 0x9999,
                callback, userData);
}

int PluginLibrary::Setup(int index, HWND parent, void* pixels, int width, int height) const {
    return Call("PBF_Setup", setup, index, parent, pixels, width, height);
}
