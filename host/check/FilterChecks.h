// The checks of one filter's runs over images whose rows end against
// no-access pages: the rectangles it writes, its progress, empty and
// inverted rectangles, and its speed.
#pragma once

#include "host/check/CheckContext.h"

CheckResult CheckRectangles(CheckContext& context, int index);
CheckResult CheckProgress(CheckContext& context, int index);
CheckResult CheckEmptyRectangles(CheckContext& context, int index);
// Information only: Mpix/s over 4096 x 4096 beside memcpy of the same bytes.
CheckResult MeasureSpeed(CheckContext& context, int index);
