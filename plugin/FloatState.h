// The floating-point state the colour formulas are defined in: IEEE doubles
// rounded to nearest, exceptions masked, no flush to zero. Hosts call in with
// their own: Delphi unmasks exceptions, Direct3D 9 leaves the x87 unit at
// single precision, some programs change the rounding mode. Each entry of the
// plug-in's own code (an export that computes colours, a window or dialog
// procedure) holds a PluginFloatState for its duration; calls out to the
// host's code inside it hold a HostFloatState.
#pragma once

#include <cstdint>

struct SavedFloatState {
    uint32_t mxcsr;
    // The x87 environment as fnstenv stores it: control word, status word
    // with its exception flags, tags; 28 bytes in either mode.
    uint8_t x87[28];
};

class PluginFloatState {
public:
    // Keeps the caller's state, control bits and flags, and sets ours.
    PluginFloatState();
    // Gives the caller exactly what it had: its control bits, its own
    // flags and none raised here, so no pending exception traps in its next
    // instruction.
    ~PluginFloatState();
    PluginFloatState(const PluginFloatState&) = delete;
    PluginFloatState& operator=(const PluginFloatState&) = delete;

private:
    SavedFloatState caller;
    PluginFloatState* outer;
    friend class HostFloatState;
};

// Inside a PluginFloatState: the host's state of the outermost entry while a
// call into the host's code runs (its progress callback, its answer to a
// query, a message box whose loop runs the host's windows), ours again after.
class HostFloatState {
public:
    HostFloatState();
    ~HostFloatState();
    HostFloatState(const HostFloatState&) = delete;
    HostFloatState& operator=(const HostFloatState&) = delete;

private:
    SavedFloatState plugin;
    bool active;
};
