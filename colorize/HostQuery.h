// Calls back into the host's executable.
#pragma once

constexpr int kQueryDrawColor = 1;

// Looks up PBF_QueryClientInfo in the process's main executable and calls it.
// code 1 asks for the drawing colour: blue, green, red, and a fourth byte, so
// out must have room for 4 bytes. Returns the host's result, or 0 without
// touching out when the host has no such function.
int QueryHostDrawColor(int code, void* out);
