#include "common/trace.h"

#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include "common/options.h"

namespace {

const int kMaxOutputs = 16;
const int kInitialLevel = 3;

// One configuration per module: every program and plug-in carries its own copy.
struct tTraceState {
    int level = kInitialLevel;
    bool toStdout = false;
    FILE* outputs[kMaxOutputs] = {};
    int outputCount = 0;
    bool atExitRegistered = false;
};

tTraceState g_trace;

void OpenOutput(const char* name)
{
    if (g_trace.outputCount >= kMaxOutputs)
        return;
    int fd = _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    // Devices and pipes cannot be created or truncated: open them as they are.
    if (fd < 0 && errno == EINVAL)
        fd = _open(name, _O_WRONLY | _O_TEXT);
    if (fd < 0)
        return;
    FILE* stream = _fdopen(fd, "wt");
    if (!stream) {
        _close(fd);
        return;
    }
    g_trace.outputs[g_trace.outputCount++] = stream;
}

bool IsLevelItem(const char* item)
{
    return item[0] >= '0' && item[0] <= '3' && item[1] == '\0';
}

bool IsNtFamily()
{
    return (GetVersion() & 0x80000000u) == 0;
}

void AtExitCloseAll()
{
    TraceCloseAll();
}

} // namespace

bool TraceInit(const char* commandLine)
{
    if (!g_trace.atExitRegistered) {
        atexit(AtExitCloseAll);
        g_trace.atExitRegistered = true;
    }

    tList* options = nullptr;
    const char* list = nullptr;
    char* envList = nullptr;
    if (commandLine) {
        options = ParseOptions(commandLine);
        if (tOption* debug = FindOption(options, "debug"))
            list = debug->value ? debug->value : "\0";
    }
    if (!list) {
        // The whole variable is one comma-separated list.
        DWORD needed = GetEnvironmentVariableA("DEBUG", nullptr, 0);
        if (needed > 0) {
            char* text = static_cast<char*>(calloc(needed, 1));
            DWORD length = text ? GetEnvironmentVariableA("DEBUG", text, needed) : 0;
            if (length > 0 && length < needed)
                envList = SplitList(text, length);
            free(text);
            list = envList;
        }
    }

    const char* item = list;
    if (item && *item && IsLevelItem(item)) {
        g_trace.level = item[0] - '0';
        item += strlen(item) + 1;
    }
    if (item && *item) {
        for (; *item; item += strlen(item) + 1) {
            if (strcasecmp(item, "stdout") == 0)
                g_trace.toStdout = true;
            else if (strcasecmp(item, "msdbg") == 0)
                continue;
            else
                OpenOutput(item);
        }
    } else {
        g_trace.toStdout = true;
        if (IsNtFamily())
            OpenOutput("\\\\.\\pipe\\debug");
    }

    ListFree(options);
    free(envList);
    return true;
}

int TraceV(const char* format, va_list args)
{
    if (g_trace.level < 1 || !format)
        return 0;
    int result = 0;
    if (g_trace.toStdout) {
        va_list copy;
        va_copy(copy, args);
        result = vfprintf(stdout, format, copy);
        va_end(copy);
        fflush(stdout);
    }
    for (int i = 0; i < g_trace.outputCount; ++i) {
        FILE* stream = g_trace.outputs[i];
        if (!stream)
            continue;
        va_list copy;
        va_copy(copy, args);
        result = vfprintf(stream, format, copy);
        va_end(copy);
        fflush(stream);
    }
    return result;
}

int Trace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = TraceV(format, args);
    va_end(args);
    return result;
}

void TraceQualifiedName(const char* pretty, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!pretty)
        return;
    // The parameter list starts at the first "(" outside template brackets; the name runs
    // back from there to the last blank outside template brackets.
    const char* open = nullptr;
    int depth = 0;
    for (const char* p = pretty; *p; ++p) {
        if (*p == '<')
            ++depth;
        else if (*p == '>' && depth > 0)
            --depth;
        else if (*p == '(' && depth == 0) {
            // "operator()" keeps its own brackets
            if (p - pretty >= 8 && strncmp(p - 8, "operator", 8) == 0 && p[1] == ')') {
                ++p;
                continue;
            }
            open = p;
            break;
        }
    }
    if (!open)
        open = pretty + strlen(pretty);
    const char* begin = open;
    depth = 0;
    while (begin > pretty) {
        char c = begin[-1];
        if (c == '>')
            ++depth;
        else if (c == '<' && depth > 0)
            --depth;
        else if ((c == ' ' || c == '*' || c == '&') && depth == 0)
            break;
        --begin;
    }
    size_t length = static_cast<size_t>(open - begin);
    if (length >= size)
        length = size - 1;
    memcpy(out, begin, length);
    out[length] = '\0';
}

void TracePlace(const char* file, int line, const char* prettyFunction, const char* format, ...)
{
    if (g_trace.level < 1)
        return;
    char function[256];
    TraceQualifiedName(prettyFunction, function, sizeof function);
    Trace("%s", file);
    Trace("(");
    Trace("%d", line);
    Trace(") : ");
    Trace("%s", function);
    Trace("(): ");
    va_list args;
    va_start(args, format);
    TraceV(format, args);
    va_end(args);
}

void TraceError(uint32_t code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&text), 0, nullptr);
    // Codes without a system text still get their number traced.
    Trace("Error number %i: %s", static_cast<int>(code), length && text ? text : "\n");
    if (text)
        LocalFree(text);
}

void TraceLastError(void)
{
    TraceError(GetLastError());
}

void TraceCloseAll(void)
{
    for (int i = 0; i < g_trace.outputCount; ++i) {
        if (g_trace.outputs[i])
            fclose(g_trace.outputs[i]);
        g_trace.outputs[i] = nullptr;
    }
    g_trace.outputCount = 0;
    g_trace.toStdout = false;
    g_trace.level = kInitialLevel;
}

int TraceGetLevel(void)
{
    return g_trace.level;
}

int TraceGetOutputCount(void)
{
    return g_trace.outputCount;
}

bool TraceGetStdout(void)
{
    return g_trace.toStdout;
}
