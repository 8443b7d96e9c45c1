#include "colorize/DrawColorFilter.h"

#include "colorize/HostQuery.h"
#include "colorize/Tint.h"

DrawColorFilter::DrawColorFilter()
    : Filter("Colorize by Drawcolor|"
             "\x95\x60\x89\xE6\x90\x46\x82\xC9\x82\xE6\x82\xE9\x92\x50\x90\x46\x8C\xF8\x89\xCA",  // 描画色による単色効果
             "Color|\x83\x4A\x83\x89\x81\x5B") {}                                                 // カラー

void DrawColorFilter::Execute(int, void* source, void* destination, int, FilterRect* rect, int, int stride, int,
                              ProgressSink* sink) {
    // Zeroed first: a host that does not answer gets the image's own grey,
    // the same on every run.
    unsigned char color[4] = {0, 0, 0, 0};
    QueryHostDrawColor(kQueryDrawColor, color);
    const GuideColor guide = {color[0], color[1], color[2]};
    ColorizeRegion(source, destination, *rect, stride, *sink, guide);
}
