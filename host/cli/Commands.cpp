#include "host/cli/Commands.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>

#include "host/HostError.h"
#include "host/check/CheckCommand.h"
#include "host/cli/Batch.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/cli/ProgressBar.h"
#include "host/image/OutputFile.h"
#include "host/image/TestChart.h"
#include "host/image/WicImage.h"
#include "host/session/ClientInfo.h"
#include "host/session/PluginLibrary.h"
#include "host/session/SetupSession.h"

namespace {

const char kListUsage[] = "ppihost list PLUGIN";
const char kRunUsage[] = "ppihost run PLUGIN INDEX IN OUT [--rect L,T,R,B] [--draw-color RRGGBB]";
const char kBatchUsage[] = "ppihost run PLUGIN INDEX IN... OUTDIR [--rect L,T,R,B] [--draw-color RRGGBB]";
// Both on one line, for an error message.
const char kRunErrorUsage[] = "ppihost run PLUGIN INDEX IN OUT|IN... OUTDIR [--rect L,T,R,B] [--draw-color RRGGBB]";
const char kSetupUsage[] =
    "ppihost setup PLUGIN INDEX IN [--screenshot PNG] [--press ok|cancel] [--run OUT] [--draw-color RRGGBB]";
const char kChartUsage[] = "ppihost chart OUT";

// count positional arguments, or more up to most.
ParsedArgs Split(const std::vector<std::string>& args, const std::vector<std::string>& known, size_t count,
                 const char* usage, size_t most = 0) {
    ParsedArgs parsed = SplitArgs(args, known);
    const size_t n = parsed.positional.size();
    if (parsed.error.empty() && (n < count || n > (most > count ? most : count)))
        parsed.error = n < count ? "missing arguments" : "too many arguments";
    if (!parsed.error.empty()) throw HostError(parsed.error + "; usage: " + usage, kExitUsage);
    return parsed;
}

int IndexArgument(const std::string& text) {
    int index;
    if (!ParseInteger(text, index)) throw HostError("bad filter index '" + text + "': not a number", kExitUsage);
    return index;
}

void ApplyDrawColor(const ParsedArgs& parsed) {
    const std::string* text = parsed.Option("--draw-color");
    if (!text) return;
    uint8_t red, green, blue;
    if (!ParseColor(*text, red, green, blue))
        throw HostError("bad drawing colour '" + *text + "': expected RRGGBB in hexadecimal", kExitUsage);
    SetDrawColor(red, green, blue);
}

std::string RectText(const FilterRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Runs the filter over rect of source and returns the result.
Image RunFilter(const PluginLibrary& plugin, int index, Image& source, FilterRect rect,
                const std::string& counter = std::string()) {
    // A copy of the source, so that pixels outside the rectangle keep theirs.
    Image destination = source;
    ProgressBar bar(plugin.Name(index), counter);
    plugin.Execute(index, source.pixels.data(), destination.pixels.data(), &rect, source.width, ProgressBar::Callback,
                   &bar);
    return destination;
}

void ReportWritten(const OutputFile& out, const Image& image, int index, const FilterRect& rect) {
    WriteStdout("wrote " + Utf8FromWide(out.Path()) + " (" + std::to_string(image.width) + "x" +
                std::to_string(image.height) + ", filter " + std::to_string(index) + ", rectangle " + RectText(rect) +
                ")\n");
}

// Each file on its own: one that fails is reported and the rest go on.
int RunBatch(const PluginLibrary& plugin, int index, const std::vector<std::wstring>& inputs,
             const std::wstring& outputs, const FilterRect* rect) {
    ComScope com;
    std::string skipped;
    const std::vector<BatchFile> files = PlanBatch(inputs, outputs, skipped);
    if (!skipped.empty()) WriteStderr("ppihost: skipped: " + skipped + "\n");
    const size_t count = files.size();
    ExpectOutputs(static_cast<int>(count));
    size_t failed = 0;
    for (size_t i = 0; i < count; ++i) {
        const BatchFile& file = files[i];
        const std::string counter = "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "]";
        try {
            if (!file.problem.empty()) throw HostError(file.problem);
            OutputFile out(file.output);
            Image source = LoadImageFile(file.input);
            FilterRect area = {0, 0, source.width, source.height};
            if (rect) {
                const std::string problem = CheckRect(*rect, source.width, source.height);
                if (!problem.empty())
                    throw HostError("bad rectangle " + RectText(*rect) + " for '" + Utf8FromWide(file.input) +
                                    "': " + problem);
                area = *rect;
            }
            Image result = RunFilter(plugin, index, source, area, counter);
            source = Image();
            out.Write(result);
            out.Commit();
            ReportWritten(out, result, index, area);
        } catch (const HostError& e) {
            WriteStderr("ppihost: " + counter + " " + e.what() + "\n");
            ++failed;
        } catch (const std::bad_alloc&) {
            WriteStderr("ppihost: " + counter + " not enough memory for the image '" + Utf8FromWide(file.input) +
                        "'\n");
            ++failed;
        }
    }
    if (failed == 0) return 0;
    WriteStderr("ppihost: " + std::to_string(failed) + " of " + std::to_string(count) + " files not written\n");
    return kExitFailure;
}

}  // namespace

std::string UsageText() {
    return std::string("usage:\n  ") + kListUsage + "\n  " + kRunUsage + "\n  " + kBatchUsage + "\n  " +
           kSetupUsage + "\n  " + kChartUsage + "\n  " + kCheckUsage +
           "\n"
           "INDEX counts from 0; --rect is left,top,right,bottom with right and bottom exclusive;\n"
           "with several INs, a folder as IN or OUTDIR ending in \\ or /, run writes each image into\n"
           "the existing folder OUTDIR under its own name (.png unless it is a .png or .bmp);\n"
           "--draw-color is the colour the host reports as its drawing colour (default 000000);\n"
           "setup --run runs the filter over IN into OUT when the set-up returned 1;\n"
           "check runs the plug-in through the host's contract, one line per check, --setup with\n"
           "its set-up dialogs ended by Cancel, --faults while the system fails its calls (--sample: the\n"
           "first FIRST runs failing a call and one in every EVERY after, named a sample in the report;\n"
           "--patience: the seconds after which a check is a hang, 300 by default, 60 for a run of\n"
           "--faults), --no-speed without the speed lines; the exit code is 0 when no check failed.\n";
}

int ListCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = Split(args, {}, 1, kListUsage);
    PluginLibrary plugin(WideFromUtf8(parsed.positional[0]));
    std::string text = plugin.Info() + "\n";
    const int count = plugin.Count();
    for (int i = 0; i < count; ++i)
        text += std::to_string(i) + "\t" + plugin.Category(i) + "\t" + plugin.Name(i) + "\n";
    WriteStdout(text);
    return 0;
}

int RunCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = Split(args, {"--rect", "--draw-color"}, 4, kRunErrorUsage, SIZE_MAX);
    const std::wstring pluginPath = WideFromUtf8(parsed.positional[0]);
    const int index = IndexArgument(parsed.positional[1]);
    const std::wstring inPath = WideFromUtf8(parsed.positional[2]);
    const std::wstring outPath = WideFromUtf8(parsed.positional[3]);
    FilterRect rect = {0, 0, 0, 0};
    const std::string* rectText = parsed.Option("--rect");
    if (rectText && !ParseRect(*rectText, rect))
        throw HostError("bad rectangle '" + *rectText + "': expected L,T,R,B", kExitUsage);
    ApplyDrawColor(parsed);

    PluginLibrary plugin(pluginPath);
    plugin.CheckIndex(index);
    // Several inputs, a folder, or OUT written as a folder: a batch into
    // the folder that the last name gives.
    const std::vector<std::string>& names = parsed.positional;
    if (names.size() > 4 || IsFolder(inPath) || EndsWithSeparator(WideFromUtf8(names.back()))) {
        std::vector<std::wstring> inputs;
        for (size_t i = 2; i + 1 < names.size(); ++i) inputs.push_back(WideFromUtf8(names[i]));
        return RunBatch(plugin, index, inputs, WideFromUtf8(names.back()), rectText ? &rect : nullptr);
    }
    // Begun before the run, so no work is thrown away for want of a place
    // to put it.
    ExpectOutputs(1);
    OutputFile out(outPath);
    ComScope com;
    Image source = LoadImageFile(inPath);
    if (rectText) {
        const std::string problem = CheckRect(rect, source.width, source.height);
        if (!problem.empty()) throw HostError("bad rectangle " + RectText(rect) + ": " + problem, kExitUsage);
    } else {
        rect = {0, 0, source.width, source.height};
    }

    Image result = RunFilter(plugin, index, source, rect);
    out.Write(result);
    out.Commit();
    ReportWritten(out, result, index, rect);
    return 0;
}

int SetupCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = Split(args, {"--screenshot", "--press", "--run", "--draw-color"}, 3, kSetupUsage);
    SetupRequest request;
    request.index = IndexArgument(parsed.positional[1]);
    if (const std::string* press = parsed.Option("--press")) {
        if (*press == "ok")
            request.press = IDOK;
        else if (*press == "cancel")
            request.press = IDCANCEL;
        else
            throw HostError("bad button '" + *press + "': expected ok or cancel", kExitUsage);
    }
    const std::string* shotPath = parsed.Option("--screenshot");
    const std::string* runPath = parsed.Option("--run");
    if (shotPath && runPath && FileKey(WideFromUtf8(*shotPath)) == FileKey(WideFromUtf8(*runPath)))
        throw HostError("--screenshot and --run name the same file", kExitUsage);
    ApplyDrawColor(parsed);

    PluginLibrary plugin(WideFromUtf8(parsed.positional[0]));
    plugin.CheckIndex(request.index);
    ExpectOutputs((shotPath ? 1 : 0) + (runPath ? 1 : 0));
    std::unique_ptr<OutputFile> shot, runOut;
    if (shotPath) shot.reset(new OutputFile(WideFromUtf8(*shotPath)));
    if (runPath) runOut.reset(new OutputFile(WideFromUtf8(*runPath)));
    request.screenshot = shot.get();
    ComScope com;
    Image image = LoadImageFile(WideFromUtf8(parsed.positional[2]));
    // The set-up only borrows the image; the run starts from the file's pixels.
    Image setupImage = image;
    const SetupOutcome outcome = RunSetup(plugin, setupImage, request);

    std::string text = outcome.dialogShown ? "dialog: shown, " + std::to_string(outcome.dialogWidth) + "x" +
                                                 std::to_string(outcome.dialogHeight) + "\n"
                                           : std::string("dialog: none\n");
    if (outcome.screenshotWritten) text += "screenshot: " + *shotPath + "\n";
    text += "PBF_Setup(" + std::to_string(request.index) + ") returned " + std::to_string(outcome.result) +
            (outcome.result == 1 ? ": the host should now run the filter\n"
                                 : ": the host should not run the filter\n");
    WriteStdout(text);

    // A failed screenshot fails the command, so nothing else may be written.
    if (shot && !outcome.screenshotWritten) {
        const std::string why = outcome.dialogShown ? outcome.screenshotError : "the plug-in showed no dialog";
        throw HostError("no screenshot written: " + why);
    }
    // As a host does: the filter runs only after its set-up said so.
    Image result;
    const FilterRect whole = {0, 0, image.width, image.height};
    const bool run = runOut && outcome.result == 1;
    if (run) {
        result = RunFilter(plugin, request.index, image, whole);
        runOut->Write(result);
    }
    // Both files are complete before either is renamed into place.
    if (shot) shot->Commit();
    if (run) {
        runOut->Commit();
        ReportWritten(*runOut, result, request.index, whole);
    }
    return 0;
}

int ChartCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = Split(args, {}, 1, kChartUsage);
    ExpectOutputs(1);
    OutputFile out(WideFromUtf8(parsed.positional[0]));
    Image chart;
    chart.width = kChartWidth;
    chart.height = kChartHeight;
    chart.pixels = DrawTestChart();
    ComScope com;
    out.Write(chart);
    out.Commit();
    WriteStdout("wrote " + parsed.positional[0] + " (" + std::to_string(kChartWidth) + "x" +
                std::to_string(kChartHeight) + " test chart)\n");
    return 0;
}
