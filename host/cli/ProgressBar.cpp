#include "host/cli/ProgressBar.h"

#include <vector>

#include "host/cli/Console.h"

namespace {

const int kBarMax = 40;
const int kBarMin = 10;
// A label cut shorter than this says nothing: the bar goes instead.
const int kLabelMin = 8;
// Where the width is unknown: a pipe, a file, a terminal Windows does not own.
const int kDefaultColumns = 79;

// The next code point of UTF-8 text; a broken byte counts as one character.
char32_t NextCodePoint(const std::string& text, size_t& i) {
    const unsigned char c = static_cast<unsigned char>(text[i++]);
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t value = more == 3 ? c & 0x07 : more == 2 ? c & 0x0F : more == 1 ? c & 0x1F : c;
    for (; more > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; --more)
        value = (value << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return value;
}

int ColumnsOf(char32_t c) {
    if (c == 0 || (c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F))
        return 0;
    struct Range {
        char32_t first, last;
    };
    // East Asian Wide and Fullwidth blocks; half-width katakana (FF61..FF9F),
    // which Shift-JIS texts use, stay narrow.
    static const Range wide[] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
        {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const Range& r : wide)
        if (c >= r.first && c <= r.last) return 2;
    return 1;
}

// The longest start of text that takes at most `columns`, with "..." when
// something had to go and there is room for it.
std::string Cut(const std::string& text, int columns) {
    if (DisplayColumns(text) <= columns) return text;
    const std::string dots = columns >= 4 ? "..." : "";
    const int room = columns - static_cast<int>(dots.size());
    size_t end = 0;
    int used = 0;
    for (size_t i = 0; i < text.size();) {
        const int w = ColumnsOf(NextCodePoint(text, i));
        if (used + w > room) break;
        used += w;
        end = i;
    }
    return text.substr(0, end) + dots;
}

// What the line may take on stderr's console. A character in the last
// column moves the cursor to the next line, so that column stays free.
int ConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return kDefaultColumns;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 1 ? columns - 1 : kDefaultColumns;
}

}  // namespace

int DisplayColumns(const std::string& utf8) {
    int columns = 0;
    for (size_t i = 0; i < utf8.size();) columns += ColumnsOf(NextCodePoint(utf8, i));
    return columns;
}

std::string ProgressLine(const std::string& label, const std::string& counter, int percent, int columns) {
    std::string percentText = std::to_string(percent) + "%";
    // Always four wide, so the line keeps its length as it is redrawn.
    percentText.insert(0, percentText.size() < 4 ? 4 - percentText.size() : 0, ' ');
    // Room for the label and " [bar]".
    const int room = columns - (counter.empty() ? 0 : DisplayColumns(counter) + 1) - 1 - 4;
    const int labelColumns = DisplayColumns(label);
    // What the bar can have beside the whole label.
    const int spare = room - labelColumns - 3;
    const bool roomToCut = room >= kLabelMin + 3 + kBarMin;
    int bar;
    std::string name;
    if (spare >= kBarMin || (spare >= 1 && !roomToCut)) {
        bar = spare < kBarMax ? spare : kBarMax;
        name = label;
    } else if (roomToCut) {
        bar = kBarMin;
        name = Cut(label, room - 3 - kBarMin);
    } else {
        bar = 0;
        name = Cut(label, room);
    }
    std::vector<std::string> parts;
    if (!counter.empty()) parts.push_back(counter);
    if (!name.empty()) parts.push_back(name);
    if (bar > 0) {
        const int filled = percent * bar / 100;
        parts.push_back("[" + std::string(static_cast<size_t>(filled), '#') +
                        std::string(static_cast<size_t>(bar - filled), '.') + "]");
    }
    parts.push_back(percentText);
    std::string line;
    for (const std::string& part : parts) line += (line.empty() ? "" : " ") + part;
    return line;
}

int ProgressBar::openBars = 0;

ProgressBar::ProgressBar(const std::string& text, const std::string& count)
    : label(text), counter(count), interactive(GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR) {}

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
    // A pipe or a log file gets the finished bar only, not a hundred
    // carriage returns.
    if (!interactive && percent < 100) return;
    // Asked on every draw: the user may resize the window during a run.
    std::string line = ProgressLine(label, counter, percent, interactive ? ConsoleColumns() : kDefaultColumns);
    const bool open = interactive && percent < 100;
    if (open != lineOpen) openBars += open ? 1 : -1;
    lineOpen = open;
    if (!lineOpen) line += "\n";
    WriteStderr(interactive ? "\r" + line : line);
}
