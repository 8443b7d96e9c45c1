#include "host/faults/PipeLines.h"

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
