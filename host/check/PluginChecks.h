// The checks of the plug-in as a whole: that it loads with its exports,
// their calling convention, loading it again and again, and its texts.
#pragma once

#include "host/check/CheckContext.h"

CheckResult CheckLoad(CheckContext& context);
CheckResult CheckStdcall(CheckContext& context);
CheckResult CheckReload(CheckContext& context);
// Sets context.filterCount when the count is sane.
CheckResult CheckInfo(CheckContext& context);
CheckResult CheckNames(CheckContext& context);
