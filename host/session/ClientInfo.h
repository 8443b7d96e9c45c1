// What the host tells its plug-ins through PBF_QueryClientInfo, which the
// executable exports under its plain name (see ppihost*.def).
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kQueryDrawColor = 1;

// The drawing colour answered to query code 1; black until set.
void SetDrawColor(uint8_t red, uint8_t green, uint8_t blue);

// Queries for the drawing colour so far.
int DrawColorQueries();

extern "C" int WINAPI PBF_QueryClientInfo(int code, void* out);
