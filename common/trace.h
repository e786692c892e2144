// Debug trace channel. Where lines go is decided once per module by TraceInit from the
// "debug" command-line option or the DEBUG environment variable: standard output, files,
// devices, and by default the developer's pipe "\\.\pipe\debug". Every message is written at
// level 1 and flushed at once, so nothing is lost when a process ends abruptly. A line goes out
// with one write per destination, so lines of several threads do not mix. Pipes are written
// without waiting: while a viewer does not read, its lines are dropped.
//
// Statements:
//   Trace(fmt, ...)        one bare message (components with a "[tag]" of their own use it)
//   TraceHere(fmt, ...)    a line with the place prefix: file(line) : Class::Function(): message
//   TraceVerbose(fmt, ...) like TraceHere, but compiled to nothing in release builds
//   TraceVerboseText(fmt, ...) like Trace, but compiled to nothing in release builds
#pragma once

#include <stdarg.h>
#include <stdint.h>

// Verbose statements exist in debug builds; a translation unit may decide for itself by
// defining VELMORA_TRACE_VERBOSE before including this header.
#ifndef VELMORA_TRACE_VERBOSE
#ifdef NDEBUG
#define VELMORA_TRACE_VERBOSE 0
#else
#define VELMORA_TRACE_VERBOSE 1
#endif
#endif

bool TraceInit(const char* commandLine);
int Trace(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
int TraceV(const char* format, va_list args);
void TraceError(uint32_t code);
void TraceLastError(void);

// Writes the seven pieces of a prefixed line, each as a separate Trace call.
void TracePlace(const char* file, int line, const char* prettyFunction, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));

// The qualified function name out of the compiler's full signature:
// "virtual void CMonitor::Stop(int)" gives "CMonitor::Stop".
void TraceQualifiedName(const char* prettyFunction, char* out, size_t size);

// Closes every output and restores the initial configuration (level 3, no destinations).
// Registered to run at exit; tests call it to start from a clean state.
void TraceCloseAll(void);

// Current configuration, for diagnostics and tests.
int TraceGetLevel(void);
int TraceGetOutputCount(void);
bool TraceGetStdout(void);

#define TraceHere(...) TracePlace(__FILE__, __LINE__, __PRETTY_FUNCTION__, __VA_ARGS__)

#if VELMORA_TRACE_VERBOSE
#define TraceVerbose(...) TracePlace(__FILE__, __LINE__, __PRETTY_FUNCTION__, __VA_ARGS__)
#define TraceVerboseText(...) Trace(__VA_ARGS__)
#else
#define TraceVerbose(...) ((void)0)
#define TraceVerboseText(...) ((void)0)
#endif
