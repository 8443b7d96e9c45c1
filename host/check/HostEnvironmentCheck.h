// `ppihost check`'s host-environment checks: each filter over the check's
// image in the default floating-point state, then in each state of
// HostEnvironments() (Delphi's unmasked exceptions, single precision, each
// rounding mode, flush to zero, all at once; on 32 bits a stack aligned to
// 4 bytes only), each state in a worker process. The default state's bytes
// are the reference; with --setup, the set-up ended by Cancel runs in each
// state too.
#pragma once

#include <string>

#include "host/check/CheckContext.h"

// The parent's side: the verdict on one state, from a worker of its own.
CheckResult CheckHostEnvironment(CheckContext& context, size_t environment);

// The worker's side. The default state's worker writes the reference file;
// the others compare with it.
CheckResult ServeHostEnvironment(const CheckOptions& options, size_t environment, const std::wstring& reference);
