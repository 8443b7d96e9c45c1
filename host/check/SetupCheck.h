// The check of one filter's set-up: opened over an image and ended as Cancel
// would, twice, with the plug-in's folder watched.
#pragma once

#include "host/check/CheckContext.h"

CheckResult CheckSetup(CheckContext& context, int index);
