#include "host/ProgressBar.h"

#include "host/Console.h"

namespace {
const int kBarWidth = 40;
}

int ProgressBar::openBars = 0;

ProgressBar::ProgressBar(const std::string& text)
    : label(text), interactive(GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR) {}

ProgressBar::~ProgressBar() {
    // A run that ended short of 100 % still leaves the terminal on a new line.
    if (lineOpen) {
        WriteStderr("\n");
        --openBars;
    }
}

int WINAPI ProgressBar::Callback(int done, int total, void* userData) {
    if (userData) static_cast<ProgressBar*>(userData)->Report(done, total);
    return 1;
}

void ProgressBar::Report(int done, int total) {
    // Whatever the plug-in sends, the bar stays within 0..100 %.
    long long percent = total > 0 ? static_cast<long long>(done) * 100 / total : 0;
    percent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
    if (percent != lastPercent) Draw(static_cast<int>(percent));
}

void ProgressBar::Draw(int percent) {
    lastPercent = percent;
    const int filled = percent * kBarWidth / 100;
    std::string line = "\r" + label + " [" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " +
                       std::to_string(percent) + "%";
    // A pipe or a log file gets the finished bar only, not a hundred
    // carriage returns.
    if (!interactive && percent < 100) return;
    const bool open = interactive && percent < 100;
    if (open != lineOpen) openBars += open ? 1 : -1;
    lineOpen = open;
    if (!lineOpen) line += "\n";
    WriteStderr(interactive ? line : line.substr(1));
}
