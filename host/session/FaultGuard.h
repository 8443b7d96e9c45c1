// Ends the process on a fault in this program's own code or a plug-in's,
// wherever it happens, instead of leaving it to Wine or Windows.
#pragma once

#include <windows.h>

#include <string>

// Called with the fault; must not return (it ends the process).
typedef void (*FaultReport)(const EXCEPTION_RECORD& record);

// Registers `report` as the first vectored exception handler. It sees
// hardware faults (access violations, illegal instructions, divisions by
// zero, stack overflows, floating-point exceptions) raised outside the
// system's own DLLs.
void InstallFaultGuard(FaultReport report);

// The file name of the module holding `address`, or "an unknown module".
void FaultModuleName(const void* address, char* name, int size);
// "exception 0xC0000005 (writing 0000000000000010)", "exception 0xC0000090
// (invalid-operation)", or without the parenthesis for any other exception.
std::string ExceptionText(const EXCEPTION_RECORD& record);
// "qvhuetint.ppi+0x1A2B": the same place in every load of the module.
std::string FaultPlace(const void* address);
