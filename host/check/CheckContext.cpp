#include "host/check/CheckContext.h"

#include "host/HostError.h"
#include "host/image/TestChart.h"

CheckContext::~CheckContext() {
    if (!environmentReference.empty()) DeleteFileW(environmentReference.c_str());
}

const PluginLibrary& CheckContext::Plugin() {
    if (!library) {
        try {
            library.reset(new PluginLibrary(options.plugin));
        } catch (const HostError&) {
            throw PluginNotLoaded();
        }
    }
    return *library;
}

const Image& CheckContext::MainImage() {
    if (!imageLoaded) {
        if (options.image.empty()) {
            image.width = kChartWidth;
            image.height = kChartHeight;
            image.pixels = DrawTestChart();
        } else {
            image = LoadImageFile(options.image);
        }
        imageLoaded = true;
    }
    return image;
}

void CheckContext::NoteFolderBeforeSetup() {
    if (folderNoted) return;
    folderBeforeSetup = SnapshotFolder(FolderOf(Plugin().Path()));
    folderNoted = true;
}

FolderSnapshot CheckContext::FolderBeforeSetup() {
    NoteFolderBeforeSetup();
    FolderSnapshot before;
    before.swap(folderBeforeSetup);
    folderNoted = false;
    return before;
}
