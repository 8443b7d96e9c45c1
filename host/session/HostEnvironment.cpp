#include "host/session/HostEnvironment.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr uint32_t kDefaultMxcsr = 0x1F80;
constexpr uint16_t kDefaultX87 = 0x027F;
// MXCSR: rounding in bits 13-14, flush to zero 15, denormals as zero 6;
// exception masks 7-12 (invalid 7, zero-divide 9, overflow 10).
constexpr uint32_t kMxcsrDelphiMasks = 0x1900;
constexpr uint32_t kMxcsrDown = 0x2000, kMxcsrUp = 0x4000, kMxcsrZero = 0x6000;
constexpr uint32_t kMxcsrFlushDenormals = 0x8040;
// x87: rounding in bits 10-11, precision 8-9 (0 single, 2 double, 3
// extended), masks 0-5. Delphi's default control word is 0x1332.
constexpr uint16_t kX87Delphi = 0x1332;
constexpr uint16_t kX87Down = 0x0400, kX87Up = 0x0800, kX87Zero = 0x0C00;

std::vector<HostEnvironment> Table() {
    std::vector<HostEnvironment> table = {
        {"default", kDefaultMxcsr, kDefaultX87, 0},
        {"Delphi exceptions", kMxcsrDelphiMasks, kX87Delphi, 0},
        {"x87 single precision", kDefaultMxcsr, kDefaultX87 & ~0x0300, 0},
        {"rounding down", kDefaultMxcsr | kMxcsrDown, kDefaultX87 | kX87Down, 0},
        {"rounding up", kDefaultMxcsr | kMxcsrUp, kDefaultX87 | kX87Up, 0},
        {"rounding toward zero", kDefaultMxcsr | kMxcsrZero, kDefaultX87 | kX87Zero, 0},
        {"flush to zero", kDefaultMxcsr | kMxcsrFlushDenormals, kDefaultX87, 0},
        {"all at once", kMxcsrDelphiMasks | kMxcsrZero | kMxcsrFlushDenormals, (kX87Delphi & ~0x0300) | kX87Zero,
         0},
    };
    if (sizeof(void*) == 4) {
        table.push_back({"4-byte stack", kDefaultMxcsr, kDefaultX87, 4});
        table.push_back({"8-byte stack", kDefaultMxcsr, kDefaultX87, 8});
        table.push_back({"12-byte stack", kDefaultMxcsr, kDefaultX87, 12});
        table.push_back({"all at once, 4-byte stack", kMxcsrDelphiMasks | kMxcsrDown | kMxcsrFlushDenormals,
                         (kX87Delphi & ~0x0300) | kX87Down, 4});
    }
    return table;
}

}  // namespace

const std::vector<HostEnvironment>& HostEnvironments() {
    static const std::vector<HostEnvironment> table = Table();
    return table;
}

FloatControl ReadFloatControl() {
    FloatControl state;
    __asm__ volatile("stmxcsr %0\n\tfnstcw %1\n\tfnstsw %2"
                     : "=m"(state.mxcsr), "=m"(state.x87Control), "=m"(state.x87Status)
                     :
                     : "memory");
    return state;
}

void SetFloatControl(uint32_t mxcsr, uint16_t x87Control) {
    __asm__ volatile("fnclex\n\tfldcw %0\n\tldmxcsr %1" : : "m"(x87Control), "m"(mxcsr) : "memory");
}

std::string FloatControlChange(const HostEnvironment& env, const FloatControl& after) {
    char text[96];
    // The flags (bits 0-5) are the plug-in's to raise where they are masked.
    if ((after.mxcsr & ~0x3Fu) != env.mxcsr) {
        std::snprintf(text, sizeof text, "the host's MXCSR changed from %x to %x", static_cast<unsigned>(env.mxcsr),
                      static_cast<unsigned>(after.mxcsr & ~0x3Fu));
        return text;
    }
    // Bits 6, 7 and 13 to 15 are reserved: the unit reads back 6 as set.
    if ((after.x87Control & 0x1F3F) != (env.x87Control & 0x1F3F)) {
        std::snprintf(text, sizeof text, "the host's x87 control word changed from %x to %x",
                      static_cast<unsigned>(env.x87Control), static_cast<unsigned>(after.x87Control));
        return text;
    }
    // An unmasked flag traps in the host's next x87 instruction.
    const unsigned pending = after.x87Status & ~after.x87Control & 0x3Fu;
    if (pending) {
        std::snprintf(text, sizeof text, "an unmasked x87 exception left pending (status word %x)",
                      static_cast<unsigned>(after.x87Status));
        return text;
    }
    return "";
}
