// The progress callback handed to PBF_Execute: a bar on stderr.
#pragma once

#include <windows.h>

#include <string>

class ProgressBar {
public:
    explicit ProgressBar(const std::string& label);
    ~ProgressBar();

    // The plug-in's callback; userData is the ProgressBar.
    static int WINAPI Callback(int done, int total, void* userData);

    void Report(int done, int total);
    // True while a bar on the terminal waits for its 100 %: a message now
    // must start on a new line.
    static bool LineOpen() { return openBars > 0; }

private:
    void Draw(int percent);

    std::string label;
    int lastPercent = -1;
    // A terminal: the bar is redrawn in place.
    bool interactive;
    bool lineOpen = false;
    static int openBars;
};
