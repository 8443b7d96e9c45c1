#include "host/check/PluginChecks.h"

#include <windows.h>

#include <winternl.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "host/HostError.h"
#include "host/cli/Console.h"
#include "host/faults/LeakGauge.h"
#include "host/session/GuardedMemory.h"
#include "host/session/PluginLibrary.h"
#include "host/session/ProbePixels.h"
#include "host/session/SetupSession.h"

namespace {

const int kReloads = 20;

struct TextFault {
    std::string expected;
    std::string seen;
    bool Found() const { return !expected.empty(); }
};

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

std::string Hex(unsigned value) {
    char text[16];
    wsprintfA(text, "0x%02X", value);
    return text;
}

// bytes holds what the plug-in wrote into kTextBytes bytes. what names the
// text ("filter 1's name").
TextFault TextProblem(const unsigned char* bytes, const std::string& what, bool mayBeEmpty) {
    const void* zero = std::memchr(bytes, 0, kTextBytes);
    if (!zero)
        return {what + " to end with a zero within the " + std::to_string(kTextBytes) + " bytes given",
                "no zero in them"};
    const int length = static_cast<int>(static_cast<const unsigned char*>(zero) - bytes);
    if (length == 0 && !mayBeEmpty) return {what + " to be a text", "an empty one"};
    const std::string expected = what + " to be code page 932 text";
    for (int i = 0; i < length; ++i) {
        const unsigned char b = bytes[i];
        if (b < 0x20 || b == 0x7F)
            return {expected, "the control character " + Hex(b) + " at byte " + std::to_string(i)};
        if (IsLeadByte(b)) {
            if (i + 1 >= length || !IsTrailByte(bytes[i + 1]))
                return {expected,
                        "the lead byte " + Hex(b) + " at byte " + std::to_string(i) + " without a second byte"};
            ++i;
        } else if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
            return {expected, "the byte " + Hex(b) + " at byte " + std::to_string(i)};
        }
    }
    if (length &&
        !MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), length, nullptr, 0))
        return {expected, "characters that code page 932 does not define"};
    return {};
}

// "English|Japanese": the host splits at the bar, skipping second bytes of
// double-byte characters, where 0x7C is a letter and not a bar.
TextFault FormProblem(const unsigned char* bytes, const std::string& what) {
    const int length = static_cast<int>(std::strlen(reinterpret_cast<const char*>(bytes)));
    int bars = 0, bar = -1;
    for (int i = 0; i < length; ++i) {
        if (IsLeadByte(bytes[i])) {
            ++i;
        } else if (bytes[i] == '|') {
            ++bars;
            bar = i;
        }
    }
    if (bars > 1) return {what + " to have at most one | (English|Japanese)", std::to_string(bars)};
    if (bars == 1 && (bar == 0 || bar == length - 1))
        return {what + " to have text on both sides of its |",
                "\"" + Utf8FromCp932(reinterpret_cast<const char*>(bytes)) + "\""};
    return {};
}

// Every handle value of this process with its object's type ("Semaphore"),
// found by asking about each value in turn: no enumeration works alike on
// Windows and Wine. An invalid value just answers an error.
std::map<uintptr_t, std::wstring> HandleTypes() {
    typedef NTSTATUS(NTAPI * QueryObjectProc)(HANDLE, OBJECT_INFORMATION_CLASS, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObjectProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    std::map<uintptr_t, std::wstring> types;
    if (!query) return types;
    union {
        PUBLIC_OBJECT_TYPE_INFORMATION info;
        unsigned char bytes[512];
    } answer;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        ULONG length = 0;
        if (query(reinterpret_cast<HANDLE>(value), ObjectTypeInformation, &answer, sizeof answer, &length) >= 0)
            types[value] = std::wstring(answer.info.TypeName.Buffer, answer.info.TypeName.Length / sizeof(wchar_t));
    }
    return types;
}

// "20 Semaphore, 1 Event": the handles open now that were not before.
std::string NewHandles(const std::map<uintptr_t, std::wstring>& before,
                       const std::map<uintptr_t, std::wstring>& after) {
    std::map<std::wstring, int> kinds;
    for (const auto& handle : after) {
        const auto was = before.find(handle.first);
        if (was == before.end() || was->second != handle.second) ++kinds[handle.second];
    }
    std::string text;
    for (const auto& kind : kinds)
        text += (text.empty() ? "" : ", ") + std::to_string(kind.second) + " " + Utf8FromWide(kind.first);
    return text;
}

#if defined(__i386__)
int WINAPI IgnoreProgress(int, int, void*) { return 0; }
#endif

// The five exports with the bytes of their arguments, which their stdcall
// names carry: "_PBF_Execute@44" as Microsoft's compilers write them,
// "PBF_Execute@44" as GCC's do.
const struct {
    const char* name;
    int bytes;
} kExports[] = {
    {"PB_GetPluginInfo", 8}, {"PBF_FilterCount", 0}, {"PBF_GetName", 20}, {"PBF_Execute", 44}, {"PBF_Setup", 20}};

std::string Decorated(const char* name, int bytes, bool underscore = true) {
    return (underscore ? "_" : "") + std::string(name) + "@" + std::to_string(bytes);
}

}  // namespace

CheckResult CheckLoad(CheckContext& context) {
    const char* expected =
        "a DLL that loads and exports PB_GetPluginInfo, PBF_FilterCount, PBF_GetName, "
        "PBF_Execute and PBF_Setup by their plain names";
    std::unique_ptr<PluginLibrary> plugin;
    try {
        plugin.reset(new PluginLibrary(context.options.plugin));
    } catch (const HostError& e) {
        std::string seen = e.what();
        // A host looks up the plain names; a stdcall name alone is a .def
        // file missing.
        if (const HMODULE module =
                LoadLibraryExW(context.options.plugin.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            std::string decorated;
            for (const auto& entry : kExports)
                for (const bool underscore : {true, false})
                    if (GetProcAddress(module, Decorated(entry.name, entry.bytes, underscore).c_str()))
                        decorated += (decorated.empty() ? "" : ", ") + Decorated(entry.name, entry.bytes, underscore);
            if (!decorated.empty()) seen += " (only under stdcall names: " + decorated + ")";
            FreeLibrary(module);
        }
        return Failed(expected, seen);
    }
    // Where the stdcall names are exported too, they must be the same
    // functions.
    int decorated = 0;
    for (const auto& e : kExports) {
        const FARPROC plain = GetProcAddress(plugin->Module(), e.name);
        const FARPROC other = GetProcAddress(plugin->Module(), Decorated(e.name, e.bytes).c_str());
        if (other && other != plain) return Failed(Decorated(e.name, e.bytes) + " to be " + e.name, "another function");
        decorated += other != nullptr;
    }
    return Passed(
        "loads; exports PB_GetPluginInfo, PBF_FilterCount, PBF_GetName, PBF_Execute and PBF_Setup by "
        "their plain names" +
        std::string(decorated == 5   ? ", and by their stdcall names too"
                    : decorated == 0 ? ""
                                     : ", " + std::to_string(decorated) + " by their stdcall names too"));
}

CheckResult CheckStdcall(CheckContext& context) {
#if !defined(__i386__)
    (void)context;
    return Skipped("a 64-bit process has one calling convention");
#else
    const PluginLibrary& plugin = context.Plugin();
    char text[kTextBytes + 1] = {};
    plugin.RawInfo(text, kTextBytes);
    const int count = plugin.RawCount();
    std::string called = "PB_GetPluginInfo (8 bytes), PBF_FilterCount (0)";
    if (count > 0) {
        const int index = context.options.filter >= 0 && context.options.filter < count ? context.options.filter : 0;
        char category[kTextBytes + 1] = {}, name[kTextBytes + 1] = {};
        plugin.RawNames(index, category, kTextBytes, name, kTextBytes);
        GuardedPixels pixels(16, 16);
        FilterRect none = {0, 0, 0, 0};
        plugin.Execute(index, pixels.Data(), pixels.Data(), &none, 16, IgnoreProgress, nullptr);
        called += ", PBF_GetName (20), PBF_Execute (44)";
        if (context.options.setup) {
            SetupRequest request;
            request.index = index;
            request.press = IDCANCEL;
            // What this set-up leaves in the folder is the set-up check's.
            context.NoteFolderBeforeSetup();
            RunSetup(plugin, pixels.Data(), 16, 16, request);
            called += ", PBF_Setup (20)";
        } else {
            called += "; PBF_Setup only with --setup";
        }
    }
    if (!plugin.StackError().empty())
        return Failed("each export to take its own arguments off the stack (stdcall)", plugin.StackError());
    return Passed("each export took its own arguments off the stack: " + called);
#endif
}

CheckResult CheckReload(CheckContext& context) {
    context.Plugin();
    // Loaded once before, so what a first load keeps for good is not counted.
    context.Unload();
    const std::map<uintptr_t, std::wstring> typesBefore = HandleTypes();
    const long before = OpenHandles();
    for (int i = 0; i < kReloads; ++i) PluginLibrary plugin(context.options.plugin);
    const long after = OpenHandles();
    const std::string counts = std::to_string(before) + " handles open before, " + std::to_string(after) + " after";
    if (after - before >= kReloads / 2) {
        const std::string kinds = NewHandles(typesBefore, HandleTypes());
        return Failed(
            "no handle left open by " + std::to_string(kReloads) + " loads and unloads",
            std::to_string(after - before) + " more (" + counts + (kinds.empty() ? "" : "; new: " + kinds) + ")");
    }
    return Passed("loaded and unloaded " + std::to_string(kReloads) + " times; " + counts);
}

CheckResult CheckInfo(CheckContext& context) {
    const PluginLibrary& plugin = context.Plugin();
    const int count = plugin.RawCount();
    const int again = plugin.RawCount();
    if (count != again)
        return Failed("the same filter count on every call", std::to_string(count) + ", then " + std::to_string(again));
    if (count < 1 || count > kMaxFilters)
        return Failed("1 to " + std::to_string(kMaxFilters) + " filters", std::to_string(count));
    context.filterCount = count;
    GuardedBytes info(kTextBytes);
    plugin.RawInfo(reinterpret_cast<char*>(info.Data()), kTextBytes);
    const TextFault fault = TextProblem(info.Data(), "the information line", false);
    if (fault.Found()) return Failed(fault.expected, fault.seen);
    return Passed("\"" + Utf8FromCp932(reinterpret_cast<const char*>(info.Data())) + "\"; " + std::to_string(count) +
                  (count == 1 ? " filter" : " filters"));
}

CheckResult CheckNames(CheckContext& context) {
    const PluginLibrary& plugin = context.Plugin();
    if (context.filterCount < 0) return Skipped("no sane filter count");
    for (int i = 0; i < context.filterCount; ++i) {
        // Each against a no-access page: a byte past the length given faults.
        GuardedBytes category(kTextBytes), name(kTextBytes);
        plugin.RawNames(i, reinterpret_cast<char*>(category.Data()), kTextBytes, reinterpret_cast<char*>(name.Data()),
                        kTextBytes);
        const std::string filter = "filter " + std::to_string(i) + "'s ";
        // In this order: a form is only looked for in a text that ends.
        TextFault fault = TextProblem(name.Data(), filter + "name", false);
        if (!fault.Found()) fault = TextProblem(category.Data(), filter + "category", true);
        if (!fault.Found()) fault = FormProblem(name.Data(), filter + "name");
        if (!fault.Found()) fault = FormProblem(category.Data(), filter + "category");
        if (fault.Found()) return Failed(fault.expected, fault.seen);
    }
    return Passed(
        std::to_string(context.filterCount) +
        (context.filterCount == 1 ? " filter: its name and category are" : " filters: every name and category is") +
        " code page 932 text within " + std::to_string(kTextBytes - 1) +
        " bytes, with English|Japanese parsed as the host does");
}
