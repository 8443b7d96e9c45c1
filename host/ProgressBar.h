// The progress callback handed to PBF_Execute: a bar on stderr.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ProgressBar {
public:
    explicit ProgressBar(const std::string& label);
    ~ProgressBar();

    // The plug-in's callback; userData is the ProgressBar.
    static int WINAPI Callback(int done, int total, void* userData);

    void Report(int done, int total);
    // Every (done, total) the plug-in reported, in order.
    const std::vector<std::pair<int, int>>& Calls() const { return calls; }

private:
    void Draw(int percent);

    std::string label;
    int lastPercent = -1;
    // A terminal: the bar is redrawn in place.
    bool interactive;
    bool lineOpen = false;
    std::vector<std::pair<int, int>> calls;
};
