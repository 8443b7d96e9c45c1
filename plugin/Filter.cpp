#include "plugin/Filter.h"

Filter::Filter(const char* name, const char* category) : name(name), category(category) {}

Filter::~Filter() = default;

void Filter::Execute(int, void*, void*, int, FilterRect*, int, int, int, ProgressSink*) {}

int Filter::Setup(HWND parent, void* pixels, int width, int height) {
    return CanSetup(parent, pixels, width, height) ? 1 : 0;
}

bool Filter::CanSetup(HWND, void*, int, int) { return true; }
