#include "host/session/ThreadDialog.h"

namespace {

struct Search {
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND candidate, LPARAM lParam) {
    Search& search = *reinterpret_cast<Search*>(lParam);
    wchar_t name[16];
    if ((search.visibleOnly && !IsWindowVisible(candidate)) || !GetClassNameW(candidate, name, 16) ||
        lstrcmpW(name, L"#32770"))
        return TRUE;
    search.found = candidate;
    return FALSE;
}

}  // namespace

HWND FindThreadDialog(bool visibleOnly) {
    Search search = {visibleOnly, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PressDialogButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
