#include "tests/win/HostAnswer.h"

#include <windows.h>

#include <cstring>

HostAnswer& TheHostAnswer() {
    static HostAnswer answer;
    return answer;
}

// Exported by plain name from the executable, where the plug-in looks it up.
extern "C" __declspec(dllexport) int WINAPI PBF_QueryClientInfo(int code, void* out) {
    HostAnswer& answer = TheHostAnswer();
    answer.codes.push_back(code);
    if (code == 1 && answer.writes) std::memcpy(out, answer.bytes, 4);
    return answer.result;
}
