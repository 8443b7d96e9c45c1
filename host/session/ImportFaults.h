// Makes the system fail a loaded module, one call or one function at a time,
// the way the fault injection of storage engines fails every allocation and
// every I/O call in turn. Each import of the module that the failure table
// knows is pointed, in its import address table, at a shim that counts the
// call and then either passes it on or fails it as the table says.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One function of the failure table: how a call of it fails.
struct FailableImport {
    const char* name;
    // What the failing call returns and the last error it leaves, as the
    // reports print it ("NULL, ERROR_NOT_ENOUGH_MEMORY").
    const char* how;
};

int FailableImportCount();
const FailableImport& FailableImportAt(int id);
// Whether the function fails from a call on too, as memory and a disk that
// fills up do.
bool ImportRunsOut(int id);
// "GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY"
std::string FailingText(int id);
// The table's id of an import by name, or -1.
int FindFailableImport(const char* name);
// Imports that cannot fail for a caller that passes what it owns: releases of
// what it acquired, reads of its own controls, the C runtime's string and
// memory functions, critical sections, stock objects. They never fail; the
// releases of GDI objects and of modules are pointed at shims all the same,
// which count what is given back.
bool ImportPassesThrough(const char* name);

struct ImportCall {
    int function;  // the table's id
    // Where in the module the call returns to: calls in one loop share it.
    const void* caller;
};

// One at a time: the shims share one set of counters.
class ImportFaults {
public:
    ImportFaults() = default;
    ~ImportFaults();
    ImportFaults(const ImportFaults&) = delete;
    ImportFaults& operator=(const ImportFaults&) = delete;

    // Points the module's imports that the table knows at the shims, all
    // passing calls on. False, with error set, when its import directory
    // cannot be read or written.
    // Whether the loader has bound the module's import slots yet: some
    // loaders tell of a new module before, others after.
    static bool ImportsBound(HMODULE module);
    bool Install(HMODULE module, std::string* error);
    // Puts the module's own import pointers back. After the module was
    // unloaded, Forget() instead.
    void Uninstall();
    void Forget();

    // From now on: no call fails; the call'th call from now (1 for the next)
    // fails, once; the call'th call of function id fails, once; that call
    // of id and every one after it fail; every call of the functions ids
    // fails.
    void PassAll();
    void FailCall(long long call);
    void FailCallOf(int id, long long call);
    void FailFrom(int id, long long call);
    void FailFunctions(const std::vector<int>& ids);
    // Keeps every call from now in Log().
    void KeepLog(bool keep);

    // Calls of table functions since the last PassAll or Fail... call.
    long long Calls() const;
    // The calls that were failed since then.
    long long Failures() const;
    // The first failed call: the table's id, or -1.
    int FirstFailedFunction() const;
    const std::vector<ImportCall>& Log() const;
    // GDI objects (DCs, pens, bitmaps...) and module references that the
    // module got through its imports since Install and did not give back:
    // "GDI objects not given back (1 from GetDC)", "module references not
    // given back (1 from LoadLibraryW)", both joined by "; ", or "". Still
    // there after Forget(), so it can be read after the unload.
    std::string Held() const;

    // Imports of the module in neither list, "DLL!name" (or "DLL!#ordinal").
    const std::vector<std::string>& Unknown() const { return unknown; }
    // Table ids of the module's imports that were pointed at shims.
    const std::vector<int>& Patched() const { return patched; }

private:
    struct Slot {
        void** address;
        void* original;
    };
    std::vector<Slot> slots;
    std::vector<std::string> unknown;
    std::vector<int> patched;
};
