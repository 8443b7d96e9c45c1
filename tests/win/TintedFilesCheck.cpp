// For own_files_test.sh: each OUT must hold, pixel for pixel and alpha
// included, the tint of IN as this system decodes IN, by the formula
// written out again.
//   tinted_files_check RRGGBB IN OUT [IN OUT]...
// One line per pair, "ok OUT" or "FAIL OUT: ..."; exit code 1 when any failed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/image/WicImage.h"
#include "tests/common/ReferenceTint.h"

namespace {

// "" when out is the tint of in, else what differs.
std::string Compare(const Image& in, const Image& out, ReferenceGuide guide) {
    if (in.width != out.width || in.height != out.height)
        return "size " + std::to_string(out.width) + "x" + std::to_string(out.height) + ", expected " +
               std::to_string(in.width) + "x" + std::to_string(in.height);
    size_t wrong = 0, first = 0;
    for (size_t i = 0; i < in.pixels.size(); ++i)
        if (out.pixels[i] != ReferenceTint(in.pixels[i], guide) && wrong++ == 0) first = i;
    if (wrong == 0) return "";
    char text[160];
    std::snprintf(text, sizeof text, "%zu wrong pixels; the first at (%d,%d): source %08X expected %08X actual %08X",
                  wrong, static_cast<int>(first % size_t(in.width)), static_cast<int>(first / size_t(in.width)),
                  in.pixels[first], ReferenceTint(in.pixels[first], guide), out.pixels[first]);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ReferenceGuide guide;
    if (argc < 4 || argc % 2 != 0 || !ParseColor(Utf8FromWide(argv[1]), guide.red, guide.green, guide.blue)) {
        WriteStderr("usage: tinted_files_check RRGGBB IN OUT [IN OUT]...\n");
        return 2;
    }
    ComScope com;
    int failed = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string problem;
        try {
            problem = Compare(LoadImageFile(argv[i]), LoadImageFile(argv[i + 1]), guide);
        } catch (const std::exception& e) {
            problem = e.what();
        }
        const std::string out = Utf8FromWide(argv[i + 1]);
        WriteStdout(problem.empty() ? "ok " + out + "\n" : "FAIL " + out + ": " + problem + "\n");
        failed += !problem.empty();
    }
    return failed ? 1 : 0;
}
