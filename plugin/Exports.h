// The five functions the host calls, each exported under its plain and its
// decorated name (see resources/qvhuetint*.def).
#pragma once

#include <windows.h>

#include "plugin/HostTypes.h"

extern "C" {
WORD WINAPI PB_GetPluginInfo(char* buffer, int length);
int WINAPI PBF_FilterCount();
char* WINAPI PBF_GetName(int index, char* category, int categoryLength, char* name, int nameLength);
int WINAPI PBF_Execute(int index, int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect,
                       int hostArg7, int stride, int hostArg9, ProgressCallback callback, void* userData);
int WINAPI PBF_Setup(int index, HWND parent, void* pixels, int width, int height);
}
