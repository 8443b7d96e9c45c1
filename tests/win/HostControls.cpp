#include "tests/win/HostControls.h"

#include <windows.h>
#include <commctrl.h>

bool RegisterHostControls() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
}
