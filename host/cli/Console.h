// Text in and out of ppihost. Internally UTF-8; the plug-in's texts are
// CP932 and the command line is UTF-16.
#pragma once

#include <windows.h>

#include <string>

std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
// The plug-in's texts are Shift-JIS whatever the system code page is.
std::string Utf8FromCp932(const char* text);

// A console gets UTF-16 through WriteConsoleW; a pipe or file (Wine's stdout
// is a Unix pipe) gets UTF-8 bytes. Paths under UnixRoot are written as the
// machine's own.
void WriteStdout(const std::string& utf8);
void WriteStderr(const std::string& utf8);

// Where Wine shows the machine's root when ppihost runs for a Unix shell
// (QV_UNIX_ROOT, which scripts/ppihost sets: "/run/qvhost"); else empty.
const std::string& UnixRoot();

// The system's text for an error code or HRESULT, on one line.
std::string SystemMessage(DWORD code);
