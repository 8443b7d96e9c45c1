// A call into a 32-bit plug-in's stdcall export that finds out how many bytes
// of arguments the export itself took off the stack.
#pragma once

#include <cstdint>

#if defined(__i386__)
// Pushes `bytes` bytes of args, calls proc and returns its EAX. popped gets
// what the callee removed: a stdcall function removes all of its arguments,
// a cdecl one none. The stack pointer is put back either way, so a wrong
// convention costs the caller nothing. At the call the stack pointer lies
// `misalign` bytes below a 16-byte boundary (0, 4, 8 or 12), as a host that
// keeps the stack aligned to 4 bytes only may call.
extern "C" uint32_t __cdecl CallMeasuringStack(const void* proc, const uint32_t* args, uint32_t bytes,
                                               int32_t* popped, uint32_t misalign);
#endif
