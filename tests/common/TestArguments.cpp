#include "tests/common/TestArguments.h"

#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string>& Arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void SetTestArguments(int argc, char** argv) { Arguments().assign(argv + 1, argv + argc); }

std::string TestArgument(const char* name, const std::string& fallback) {
    const std::string prefix = std::string("--") + name + "=";
    // The last one given: an entry's emulated arguments follow its own.
    const std::vector<std::string>& all = Arguments();
    for (auto a = all.rbegin(); a != all.rend(); ++a)
        if (a->compare(0, prefix.size(), prefix) == 0) return a->substr(prefix.size());
    return fallback;
}

int TestArgument(const char* name, int fallback) {
    const std::string value = TestArgument(name);
    return value.empty() ? fallback : std::atoi(value.c_str());
}
