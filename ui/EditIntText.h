// The strict number rule of the Colorize dialog's edit boxes, on plain text.
#pragma once

// text holds n characters (no terminator needed). Accepts an optional "-"
// followed by decimal digits without a leading zero ("0" alone is fine).
// On success sets ok and returns the value; a value beyond the int range is
// returned as a large number of the same sign, which no range check passes.
// Otherwise ok is false and fallback is returned.
int ParseEditText(const char* text, int n, int fallback, bool& ok);
