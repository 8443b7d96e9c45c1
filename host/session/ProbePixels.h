// What the checks and the fault scenarios fill a plug-in's images with, and
// how they name a pixel they found changed.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/HostTypes.h"

// Around and outside the rectangle: a value that no filter makes by chance.
uint32_t Canary(int x, int y);
// Colours and alphas that differ from pixel to pixel.
uint32_t Pattern(int x, int y);
// "C0033C6E"
std::string HexPixel(uint32_t pixel);
bool Inside(const FilterRect& r, int x, int y);
