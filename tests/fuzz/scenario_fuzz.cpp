// Fuzz entry point for the emulator's scenario files and the emulator built from them: any text
// either parses or is refused with a line number, and an emulator of what parsed survives any
// frame and any command. Built natively with libFuzzer (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/plcsim/emulator.h"
#include "tools/plcsim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    tScenario scenario;
    std::string error;
    if (!ParseScenario(text, scenario, error))
        return error.empty() ? 1 : 0; // a refusal always says why
    CEmulator emulator(scenario);
    // The same bytes as a frame on every port the scenario names, and each line as a command.
    std::vector<uint8_t> frame(data, data + (size < 1514 ? size : 1514));
    for (const std::string& port : emulator.Ports())
        for (const tEmulatorFrame& answer : emulator.OnFrame(port, frame.data(), frame.size()))
            if (answer.bytes.size() > 1514)
                __builtin_trap();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string reply;
        emulator.Command(text.substr(start, end == std::string::npos ? std::string::npos : end - start), reply);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return 0;
}
