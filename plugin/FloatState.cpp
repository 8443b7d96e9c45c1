#include "plugin/FloatState.h"

namespace {

// Round to nearest, all six exceptions masked, no flush to zero, no
// denormals as zero, no flags.
constexpr uint32_t kMxcsr = 0x1F80;
// The same for the x87 unit, with 53-bit precision: Windows' own default.
constexpr uint16_t kX87Control = 0x027F;

// The entry whose code runs now; the chain of outer ones ends at the entry
// the host itself called. One export call at a time, on the host's thread.
PluginFloatState* innermost = nullptr;

// Out of line and opaque, so that no arithmetic of the caller moves across.
__attribute__((noinline)) void Save(SavedFloatState& state) {
    __asm__ volatile("stmxcsr %0" : "=m"(state.mxcsr) : : "memory");
    // fnstenv masks every x87 exception as it stores; SetPluginState and
    // Restore load a control word of their own after it.
    __asm__ volatile("fnstenv %0" : "=m"(state.x87) : : "memory");
}

__attribute__((noinline)) void Restore(const SavedFloatState& state) {
    __asm__ volatile("ldmxcsr %0" : : "m"(state.mxcsr) : "memory");
    // The status word with the caller's own flags comes back whole, and
    // none of ours: a flag left pending under an unmasked exception would
    // trap in the caller's next x87 instruction.
    __asm__ volatile("fldenv %0" : : "m"(state.x87) : "memory");
}

__attribute__((noinline)) void SetPluginState() {
    const uint32_t mxcsr = kMxcsr;
    const uint16_t control = kX87Control;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control) : "memory");
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr) : "memory");
}

}  // namespace

PluginFloatState::PluginFloatState() : outer(innermost) {
    Save(caller);
    SetPluginState();
    innermost = this;
}

PluginFloatState::~PluginFloatState() {
    innermost = outer;
    Restore(caller);
}

HostFloatState::HostFloatState() : active(innermost != nullptr) {
    if (!active) return;
    // The outermost entry's caller is the host.
    const PluginFloatState* entry = innermost;
    while (entry->outer) entry = entry->outer;
    Save(plugin);
    Restore(entry->caller);
}

HostFloatState::~HostFloatState() {
    if (active) Restore(plugin);
}
