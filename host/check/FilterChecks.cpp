#include "host/check/FilterChecks.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "host/session/ClientInfo.h"
#include "host/session/GuardedMemory.h"
#include "host/session/ProbePixels.h"

namespace {

// Odd sizes, so that no vector loop ends on a row's end by luck.
const int kSmallWidth = 13;
const int kSmallHeight = 9;
const int kSpeedSide = 4096;

struct Shape {
    std::string what;
    FilterRect rect;
};

std::string RectText(const FilterRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// The whole image, one inside it and its last pixel, against the guard page.
std::vector<Shape> FilledShapes(int width, int height) {
    std::vector<Shape> shapes = {{"the whole image", {0, 0, width, height}}};
    if (width >= 3 && height >= 3)
        shapes.push_back(
            {"an inner rectangle", {width / 4 + 1, height / 4 + 1, width - width / 4, height - height / 4}});
    shapes.push_back({"its last pixel", {width - 1, height - 1, width, height}});
    return shapes;
}

typedef std::vector<std::pair<int, int>> ProgressLog;

int WINAPI RecordProgress(int done, int total, void* userData) {
    static_cast<ProgressLog*>(userData)->emplace_back(done, total);
    return 0;
}

int WINAPI IgnoreProgress(int, int, void*) { return 0; }

// A source of the image's pixels and a destination of canaries, both with
// canaries before every row.
class RunImages {
public:
    explicit RunImages(const Image& image)
        : width(image.width),
          height(image.height),
          source(width, height),
          destination(width, height),
          original(image.pixels) {
        if (!source.Ok() || !destination.Ok()) throw std::bad_alloc();
        for (int y = 0; y < height; ++y)
            for (int x = -source.Padding(); x < width; ++x)
                source.At(x, y) = x < 0 ? Canary(x, y) : original[size_t(y) * width + x];
    }

    // Runs the filter over rect; returns the first change outside rect, in
    // the destination or the source, or "".
    std::string Run(const PluginLibrary& plugin, int index, const FilterRect& rect, ProgressLog* log) {
        for (int y = 0; y < height; ++y)
            for (int x = -destination.Padding(); x < width; ++x) destination.At(x, y) = Canary(x, y);
        FilterRect handed = rect;
        plugin.Execute(index, source.Origin(), destination.Origin(), &handed, source.Stride(),
                       log ? RecordProgress : IgnoreProgress, log);
        for (int y = 0; y < height; ++y)
            for (int x = -source.Padding(); x < width; ++x) {
                const uint32_t was = x < 0 ? Canary(x, y) : original[size_t(y) * width + x];
                if (source.At(x, y) != was) return Change("source", x, y, was, source.At(x, y));
                if (!Inside(rect, x, y) && destination.At(x, y) != Canary(x, y))
                    return Change("destination", x, y, Canary(x, y), destination.At(x, y));
            }
        return "";
    }

    // Pixels inside rect whose alpha differs from the source's.
    int AlphaChanges(const FilterRect& rect) const {
        int changed = 0;
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x) changed += (source.At(x, y) ^ destination.At(x, y)) >> 24 != 0;
        return changed;
    }

    const int width;
    const int height;

private:
    std::string Change(const char* buffer, int x, int y, uint32_t was, uint32_t now) const {
        const std::string where = x < 0 ? "padding before row " + std::to_string(y) + " (x " + std::to_string(x) + ")"
                                        : "pixel " + std::to_string(x) + "," + std::to_string(y);
        return "the " + std::string(buffer) + "'s " + where + " changed from " + HexPixel(was) + " to " + HexPixel(now);
    }

    GuardedImage source;
    GuardedImage destination;
    const std::vector<uint32_t> original;
};

Image SmallImage() {
    Image image;
    image.width = kSmallWidth;
    image.height = kSmallHeight;
    for (int y = 0; y < kSmallHeight; ++y)
        for (int x = 0; x < kSmallWidth; ++x) image.pixels.push_back(Pattern(x, y));
    return image;
}

std::string Describe(const Shape& shape, const RunImages& images) {
    return shape.what + " " + RectText(shape.rect) + " of the " + std::to_string(images.width) + "x" +
           std::to_string(images.height) + " image";
}

// What is wrong with one run's calls; "" when nothing. Runs over no pixels
// need not report at all.
std::pair<std::string, std::string> ProgressProblem(const ProgressLog& log, bool required) {
    if (log.empty()) {
        if (!required) return {};
        return {"calls from (0,100) to (100,100)", "no call"};
    }
    auto call = [](const std::pair<int, int>& c) {
        return "(" + std::to_string(c.first) + "," + std::to_string(c.second) + ")";
    };
    if (log.front() != std::make_pair(0, 100)) return {"a first call (0,100)", call(log.front())};
    for (size_t i = 0; i < log.size(); ++i) {
        const std::string at = " at call " + std::to_string(i + 1);
        if (log[i].second != 100) return {"a total of 100 in every call", call(log[i]) + at};
        if (log[i].first < 0 || log[i].first > 100) return {"done within 0..100", call(log[i]) + at};
        if (i && log[i].first < log[i - 1].first)
            return {"done never to go back", call(log[i - 1]) + " then " + call(log[i]) + at};
    }
    if (log.back() != std::make_pair(100, 100)) return {"a last call (100,100)", call(log.back())};
    return {};
}

}  // namespace

CheckResult CheckRectangles(CheckContext& context, int index) {
    const PluginLibrary& plugin = context.Plugin();
    const int queries = DrawColorQueries();
    const Image small = SmallImage();
    int alphaChanged = 0, alphaTotal = 0;
    for (const Image* image : {&context.MainImage(), &small}) {
        RunImages images(*image);
        for (const Shape& shape : FilledShapes(image->width, image->height)) {
            const std::string change = images.Run(plugin, index, shape.rect, nullptr);
            if (!change.empty())
                return Failed("nothing outside the rectangle to change",
                              change + ", running over " + Describe(shape, images));
            if (image == &small) {
                alphaChanged += images.AlphaChanges(shape.rect);
                alphaTotal += (shape.rect.right - shape.rect.left) * (shape.rect.bottom - shape.rect.top);
            }
        }
    }
    const Image& main = context.MainImage();
    const int asked = DrawColorQueries() - queries;
    return Passed(
        "whole, inner and one-pixel rectangles of " + std::to_string(main.width) + "x" + std::to_string(main.height) +
        " and " + std::to_string(kSmallWidth) + "x" + std::to_string(kSmallHeight) +
        " images, rows against no-access pages: nothing outside changed, "
        "source kept; alpha " +
        (alphaChanged ? "changed in " + std::to_string(alphaChanged) + " of " + std::to_string(alphaTotal) + " pixels"
                      : std::string("kept")) +
        (asked ? "; asked the host for the drawing colour " + std::to_string(asked) + " times"
               : "; did not ask for the drawing colour"));
}

CheckResult CheckProgress(CheckContext& context, int index) {
    const PluginLibrary& plugin = context.Plugin();
    const Image small = SmallImage();
    size_t calls = 0, runs = 0;
    for (const Image* image : {&context.MainImage(), &small}) {
        RunImages images(*image);
        for (const Shape& shape : FilledShapes(image->width, image->height)) {
            ProgressLog log;
            images.Run(plugin, index, shape.rect, &log);
            const std::pair<std::string, std::string> problem = ProgressProblem(log, true);
            if (!problem.first.empty())
                return Failed(problem.first, problem.second + ", running over " + Describe(shape, images));
            calls += log.size();
            ++runs;
        }
    }
    return Passed(std::to_string(calls) + " calls in " + std::to_string(runs) +
                  " runs, each from (0,100) to (100,100), never back");
}

CheckResult CheckEmptyRectangles(CheckContext& context, int index) {
    const PluginLibrary& plugin = context.Plugin();
    const Shape shapes[] = {{"the empty rectangle", {0, 0, 0, 0}},
                            {"the empty rectangle", {5, 5, 5, 5}},
                            {"the inverted rectangle", {10, 3, 2, 7}},
                            {"the inverted rectangle", {2, 7, 10, 3}},
                            {"the inverted rectangle", {10, 7, 2, 3}}};
    RunImages images(SmallImage());
    for (const Shape& shape : shapes) {
        ProgressLog log;
        const std::string change = images.Run(plugin, index, shape.rect, &log);
        if (!change.empty()) return Failed("nothing written for " + shape.what + " " + RectText(shape.rect), change);
        const std::pair<std::string, std::string> problem = ProgressProblem(log, false);
        if (!problem.first.empty())
            return Failed(problem.first, problem.second + ", running over " + Describe(shape, images));
    }
    return Passed("2 empty and 3 inverted rectangles: nothing written");
}

CheckResult MeasureSpeed(CheckContext& context, int index) {
    const PluginLibrary& plugin = context.Plugin();
    const size_t count = size_t(kSpeedSide) * kSpeedSide;
    std::vector<uint32_t> source, destination;
    try {
        source.resize(count);
        destination.resize(count);
    } catch (const std::bad_alloc&) {
        return Skipped("no memory for two 4096x4096 images");
    }
    for (size_t i = 0; i < count; ++i) source[i] = Pattern(int(i % kSpeedSide), int(i / kSpeedSide));
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // The shortest of three runs, after one that brings the pages in.
    auto shortest = [&](const auto& work) {
        work();
        double fastest = 0;
        for (int i = 0; i < 3; ++i) {
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            work();
            QueryPerformanceCounter(&end);
            const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
            if (i == 0 || seconds < fastest) fastest = seconds;
        }
        return fastest;
    };
    const double filter = shortest([&] {
        FilterRect whole = {0, 0, kSpeedSide, kSpeedSide};
        plugin.Execute(index, source.data(), destination.data(), &whole, kSpeedSide, IgnoreProgress, nullptr);
    });
    const double copy = shortest([&] { std::memcpy(destination.data(), source.data(), count * 4); });
    char text[200];
    // Faster than a millisecond the clock says little, and 64 MiB were not
    // all touched.
    if (filter < 1e-3)
        std::snprintf(text, sizeof text,
                      "under 1 ms over 4096x4096, so it did not touch every pixel; memcpy of the "
                      "same buffer %.1f Mpix/s",
                      count / copy / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f Mpix/s over 4096x4096; memcpy of the same buffer %.1f Mpix/s",
                      count / filter / 1e6, count / copy / 1e6);
    return {Verdict::Info, text};
}
