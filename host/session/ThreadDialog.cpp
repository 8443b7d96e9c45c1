#include "host/session/ThreadDialog.h"

namespace {

struct Search {
    bool visibleOnly;
    bool owned;
    HWND found;
};

bool IsDialog(HWND window) {
    wchar_t name[16];
    return window && GetClassNameW(window, name, 16) && !lstrcmpW(name, L"#32770");
}

BOOL CALLBACK MatchDialog(HWND candidate, LPARAM lParam) {
    Search& search = *reinterpret_cast<Search*>(lParam);
    if ((search.visibleOnly && !IsWindowVisible(candidate)) || !IsDialog(candidate)) return TRUE;
    if (search.owned && !IsDialog(GetWindow(candidate, GW_OWNER))) return TRUE;
    search.found = candidate;
    return FALSE;
}

HWND Find(bool visibleOnly, bool owned) {
    Search search = {visibleOnly, owned, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND FindThreadDialog(bool visibleOnly) { return Find(visibleOnly, false); }

HWND FindOwnedThreadDialog() { return Find(true, true); }

std::wstring MessageBoxText(HWND box) {
    // The text of a message box is its static 0xFFFF.
    wchar_t text[2048] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

void PressDialogButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
