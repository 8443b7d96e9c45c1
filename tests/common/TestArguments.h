// The arguments a test program was started with, beyond GoogleTest's own:
// how its ctest entry narrows it where the 32-bit programs run emulated
// (qv_entry's EMULATED, in tests/win/CMakeLists.txt).
#pragma once

#include <string>

void SetTestArguments(int argc, char** argv);

// The value of --name=value, or fallback where it was not given.
std::string TestArgument(const char* name, const std::string& fallback = "");
int TestArgument(const char* name, int fallback);
