#include "host/worker/PipeLines.h"

#include <cstring>
#include <sstream>

bool PipeLines::Read(std::string& line) {
    for (;;) {
        const size_t end = buffer.find('\n');
        if (end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return true;
        }
        char chunk[4096];
        DWORD n = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &n, nullptr) || n == 0) return false;
        buffer.append(chunk, n);
    }
}

bool PipeLines::Write(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

std::string RunCommand(const std::string& token, const FaultRun& run) {
    const char* verb = run.call == 0 ? "always " : run.onward ? "from " : "single ";
    return verb + token + " " + std::to_string(run.function) + (run.call ? " " + std::to_string(run.call) : "");
}

bool ParseRunCommand(const std::string& command, std::string& token, FaultRun& run) {
    std::istringstream words(command);
    std::string verb;
    run = {-1, 0};
    words >> verb >> token;
    if (verb == "always") words >> run.function;
    if (verb == "single" || verb == "from") words >> run.function >> run.call;
    run.onward = verb == "from";
    if (!words || run.function < 0 || (verb != "always" && run.call < 1)) run.function = -1;
    return run.function >= 0;
}

const char* AfterWord(const std::string& line, const char* word) {
    const size_t n = std::strlen(word);
    return line.compare(0, n, word) == 0 && line.size() > n && line[n] == ' ' ? line.c_str() + n + 1 : nullptr;
}

std::string DoneLine(const DoneAnswer& a) {
    return std::string(WorkerWords::kDone) + " " + std::to_string(a.calls) + " " + std::to_string(a.failures) + " " +
           std::to_string(a.firstFailed) + (a.problem.empty() ? "" : " " + a.problem);
}

bool ParseDoneLine(const std::string& line, DoneAnswer& answer) {
    const char* rest = AfterWord(line, WorkerWords::kDone);
    if (!rest) return false;
    std::istringstream words(rest);
    words >> answer.calls >> answer.failures >> answer.firstFailed;
    std::getline(words, answer.problem);
    if (!answer.problem.empty() && answer.problem[0] == ' ') answer.problem.erase(0, 1);
    return true;
}
