// The floating-point states and stack alignments that real paint programs
// call plug-ins in. A plug-in must give the same bytes in each as in the
// default state, raise no exception, and hand the state back as it found it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostEnvironment {
    const char* name;  // "rounding down"
    // As the host sets them, with no exception flag raised.
    uint32_t mxcsr;
    uint16_t x87Control;
    // Bytes below a 16-byte boundary that the stack pointer lies at the call
    // of an export; 32 bits only.
    int stackOffset;
};

// The default state first, then each hostile one; on 32 bits the
// misaligned stacks too.
const std::vector<HostEnvironment>& HostEnvironments();

struct FloatControl {
    uint32_t mxcsr;
    uint16_t x87Control;
    uint16_t x87Status;
};

FloatControl ReadFloatControl();
// Clears every flag of both units and sets their control words.
void SetFloatControl(uint32_t mxcsr, uint16_t x87Control);

// "" when after still holds the control bits that env set and no x87
// exception is left pending unmasked; else what changed: "the host's MXCSR
// changed from 1900 to 1f80".
std::string FloatControlChange(const HostEnvironment& env, const FloatControl& after);
