// ppihost: loads a filter plug-in and lists, sets up or runs its filters,
// the way a paint program hosts it, or checks it against the host's contract.
#include <windows.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "host/check/CheckCommand.h"
#include "host/cli/Commands.h"
#include "host/cli/Console.h"
#include "host/cli/ProgressBar.h"
#include "host/image/OutputFile.h"
#include "host/session/FaultGuard.h"

namespace {

// A fault inside a plug-in ends the process with one line instead of a crash
// dialog; outputs are only renamed into place after a finished run, so none
// is left half-written.
[[noreturn]] void ReportFault(const EXCEPTION_RECORD& record) {
    AbandonOutputs();
    WriteStderr(std::string(ProgressBar::LineOpen() ? "\n" : "") + "ppihost: " + ExceptionText(record) + " in " +
                FaultPlace(record.ExceptionAddress) + "; " + WrittenSoFar() + "\n");
    ExitProcess(3);
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* info) { ReportFault(*info->ExceptionRecord); }
// Ctrl+C, Ctrl+Break or the console closing, on a thread of its own. The
// system's own handler would end the process in the middle of a rename;
// this one waits for it, removes the temporary files, then ends it.
BOOL WINAPI ReportInterrupt(DWORD) {
    AbandonOutputs();
    WriteStderr(std::string(ProgressBar::LineOpen() ? "\n" : "") + "ppihost: interrupted; " + WrittenSoFar() + "\n");
    ExitProcess(STATUS_CONTROL_C_EXIT);
    return TRUE;
}

int Dispatch(const std::vector<std::string>& args) {
    if (args.empty()) throw HostError("no command; run 'ppihost help' for usage", kExitUsage);
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "list") return ListCommand(rest);
    if (command == "run") return RunCommand(rest);
    if (command == "setup") return SetupCommand(rest);
    if (command == "chart") return ChartCommand(rest);
    if (command == "check") return CheckCommand(rest);
    if (command == "help" || command == "--help" || command == "-h" || command == "/?") {
        WriteStdout(UsageText());
        return 0;
    }
    throw HostError("unknown command '" + command + "'; run 'ppihost help' for usage", kExitUsage);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // No system dialog for a plug-in that cannot be loaded.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    InstallFaultGuard(ReportFault);
    SetUnhandledExceptionFilter(ReportUnhandled);
    SetConsoleCtrlHandler(ReportInterrupt, TRUE);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        // "C:\out\" reaches a program as C:\out" (a backslash before a
        // quote escapes it); no file name holds a quote, so it was a
        // separator.
        if (!arg.empty() && arg.back() == L'"') arg.back() = L'\\';
        args.push_back(Utf8FromWide(arg));
    }
    try {
        return Dispatch(args);
    } catch (const HostError& e) {
        WriteStderr(std::string("ppihost: ") + e.what() + "\n");
        return e.ExitCode();
    } catch (const std::bad_alloc&) {
        WriteStderr("ppihost: not enough memory for the image\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        WriteStderr(std::string("ppihost: ") + e.what() + "\n");
        return kExitFailure;
    }
}
