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

#include <string>

#include "common/options.h"

namespace {

const int kMaxOutputs = 16;
const int kInitialLevel = 3;
const char kPipePrefix[] = "\\\\.\\pipe\\";

// A pipe is written without waiting: a viewer that does not read must not stop the program.
// What the pipe took only in part is finished before the next line, so that a viewer never
// sees a line cut; lines that find the pipe full are dropped.
struct tPipeOutput {
    HANDLE handle;
    std::string pending;
};

// Files and devices are text streams; pipes are handles of their own.
struct tOutput {
    FILE* stream;
    tPipeOutput* pipe;
};

// One configuration per module: every program and plug-in carries its own copy. Only plain
// members, so that it is ready before any constructor of the module runs.
struct tTraceState {
    int level = kInitialLevel;
    bool toStdout = false;
    tOutput outputs[kMaxOutputs] = {};
    int outputCount = 0;
    bool atExitRegistered = false;
};

tTraceState g_trace;
// Guards the pending rest of every pipe; held only for writes that do not wait.
SRWLOCK g_pipeLock = SRWLOCK_INIT;

tPipeOutput* OpenPipe(const char* name)
{
    // Identification only: whoever serves the pipe learns who we are, but cannot act as us.
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    if (!SetNamedPipeHandleState(handle, &mode, nullptr, nullptr)) {
        CloseHandle(handle);
        return nullptr;
    }
    return new tPipeOutput{handle, std::string()};
}

// Writes what the pipe takes now; the rest is returned in place.
void WriteSome(HANDLE handle, std::string& bytes)
{
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        written = 0;
    bytes.erase(0, written);
}

void WritePipe(tPipeOutput& pipe, const char* text, size_t length)
{
    // The bytes a text-mode stream would write.
    std::string bytes;
    bytes.reserve(length + 8);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n')
            bytes += '\r';
        bytes += text[i];
    }
    AcquireSRWLockExclusive(&g_pipeLock);
    if (!pipe.pending.empty())
        WriteSome(pipe.handle, pipe.pending);
    if (pipe.pending.empty()) {
        size_t size = bytes.size();
        WriteSome(pipe.handle, bytes);
        if (bytes.size() < size)
            pipe.pending.swap(bytes);
    }
    ReleaseSRWLockExclusive(&g_pipeLock);
}

void OpenOutput(const char* name)
{
    if (g_trace.outputCount >= kMaxOutputs)
        return;
    if (_strnicmp(name, kPipePrefix, sizeof kPipePrefix - 1) == 0) {
        if (tPipeOutput* pipe = OpenPipe(name))
            g_trace.outputs[g_trace.outputCount++] = tOutput{nullptr, pipe};
        return;
    }
    int fd = _open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    // Devices cannot be created or truncated: open them as they are.
    if (fd < 0 && errno == EINVAL)
        fd = _open(name, _O_WRONLY | _O_TEXT);
    if (fd < 0)
        return;
    FILE* stream = _fdopen(fd, "wt");
    if (!stream) {
        _close(fd);
        return;
    }
    g_trace.outputs[g_trace.outputCount++] = tOutput{stream, nullptr};
}

// One line goes out with one write per destination, so that lines of several threads do not
// mix.
void WriteLine(const char* text, size_t length)
{
    if (g_trace.toStdout) {
        fwrite(text, 1, length, stdout);
        fflush(stdout);
    }
    for (int i = 0; i < g_trace.outputCount; ++i) {
        tOutput& output = g_trace.outputs[i];
        if (output.stream) {
            fwrite(text, 1, length, output.stream);
            fflush(output.stream);
        } else if (output.pipe) {
            WritePipe(*output.pipe, text, length);
        }
    }
}

// Appends the formatted message to the text; false when the format cannot be applied.
bool AppendFormatted(std::string& text, const char* format, va_list args)
{
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0)
        return false;
    if (static_cast<size_t>(length) < sizeof small) {
        text.append(small, static_cast<size_t>(length));
        return true;
    }
    size_t at = text.size();
    text.resize(at + static_cast<size_t>(length) + 1);
    va_copy(copy, args);
    vsnprintf(&text[at], static_cast<size_t>(length) + 1, format, copy);
    va_end(copy);
    text.resize(at + static_cast<size_t>(length));
    return true;
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
    std::string text;
    if (!AppendFormatted(text, format, args))
        return -1;
    WriteLine(text.data(), text.size());
    return static_cast<int>(text.size());
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
    if (g_trace.level < 1 || !format)
        return;
    char function[256];
    TraceQualifiedName(prettyFunction, function, sizeof function);
    // The seven pieces of a placed line, written as one.
    std::string text = file ? file : "";
    text += "(";
    text += std::to_string(line);
    text += ") : ";
    text += function;
    text += "(): ";
    va_list args;
    va_start(args, format);
    bool ok = AppendFormatted(text, format, args);
    va_end(args);
    if (ok)
        WriteLine(text.data(), text.size());
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
        tOutput& output = g_trace.outputs[i];
        if (output.stream)
            fclose(output.stream);
        if (output.pipe) {
            CloseHandle(output.pipe->handle);
            delete output.pipe;
        }
        output = tOutput{nullptr, nullptr};
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
