#include "colorize/ColorizeFilter.h"

#include "colorize/GuideColorModel.h"
#include "colorize/Tint.h"
#include "settings/TintSettings.h"
#include "ui/ColorizeDialog.h"

ColorizeFilter::ColorizeFilter()
    : Filter("Colorize...|\x92\x50\x90\x46\x8C\xF8\x89\xCA...",  // 単色効果...
             "Color|\x83\x4A\x83\x89\x81\x5B") {}                // カラー

void ColorizeFilter::Execute(int, void* source, void* destination, int, FilterRect* rect, int, int stride, int,
                             ProgressSink* sink) {
    // Read on every run, so the latest OK applies. A hand-edited position out
    // of range runs as the dialog would open it.
    TintSettings settings;
    ReadTintSettings(settings);
    GuideColor guide;
    HueSatToRgb(PickerValueOr(settings.x, kDefaultPickerX), PickerValueOr(settings.y, kDefaultPickerY), &guide.red,
                &guide.green, &guide.blue);
    ColorizeRegion(source, destination, *rect, stride, *sink, guide);
}

int ColorizeFilter::Setup(HWND parent, void* pixels, int width, int height) {
    if (!CanSetup(parent, pixels, width, height)) return 0;
    ColorizeDialog dialog;
    // Anything but OK, a failure to create the dialog included, confirms nothing.
    return dialog.RunModal(parent, pixels, width, height) == IDOK ? 1 : 0;
}
