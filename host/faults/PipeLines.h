// Lines of text over an anonymous pipe, the way a fault sweep's parent and
// its worker talk.
#pragma once

#include <windows.h>

#include <string>

class PipeLines {
public:
    PipeLines(HANDLE in, HANDLE out) : in(in), out(out) {}
    // False once the other end is gone.
    bool Read(std::string& line);
    bool Write(const std::string& line);
    HANDLE In() const { return in; }
    HANDLE Out() const { return out; }

private:
    HANDLE in;
    HANDLE out;
    std::string buffer;
};
