// The progress callback handed to PBF_Execute: a bar on stderr.
#pragma once

#include <windows.h>

#include <string>

class ProgressBar {
public:
    // counter ("[3/12]") goes before the label; empty for a single file.
    explicit ProgressBar(const std::string& label, const std::string& counter = std::string());
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
    std::string counter;
    int lastPercent = -1;
    // A terminal: the bar is redrawn in place.
    bool interactive;
    bool lineOpen = false;
    static int openBars;
};

// Columns that UTF-8 text takes on a terminal: East Asian wide and
// full-width characters take two, combining marks none.
int DisplayColumns(const std::string& utf8);

// The bar's line without its carriage return, at most `columns` wide where
// that can be done: the bar shrinks first, then the label, never the counter
// or the percentage.
std::string ProgressLine(const std::string& label, const std::string& counter, int percent, int columns);
