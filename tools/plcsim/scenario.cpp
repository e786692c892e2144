#include "tools/plcsim/scenario.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <set>
#include <sstream>

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseBool(const std::string& value, bool& out)
{
    const char* v = value.c_str();
    if (!strcasecmp(v, "yes") || !strcasecmp(v, "true") || !strcmp(v, "1") || !strcasecmp(v, "on")) {
        out = true;
        return true;
    }
    if (!strcasecmp(v, "no") || !strcasecmp(v, "false") || !strcmp(v, "0") || !strcasecmp(v, "off")) {
        out = false;
        return true;
    }
    return false;
}

bool ParseNumber(const std::string& value, unsigned long maximum, unsigned long& out)
{
    if (value.empty() || value.size() > 10 || value.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = strtoul(value.c_str(), nullptr, 10);
    return out <= maximum;
}

// Pairs of hex digits, at most `maximum` bytes.
bool ParseHexBytes(const std::string& text, size_t maximum, std::vector<uint8_t>& out)
{
    if (text.size() % 2 || text.size() / 2 > maximum ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

std::string Fail(int line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

} // namespace

bool ParseIpv4(const std::string& text, uint32_t& out)
{
    unsigned long parts[4];
    std::istringstream in(text);
    std::string part;
    int count = 0;
    while (std::getline(in, part, '.')) {
        if (count == 4 || !ParseNumber(part, 255, parts[count]))
            return false;
        ++count;
    }
    if (count != 4)
        return false;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&out);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(parts[i]);
    return true;
}

bool ParseScenario(const std::string& text, tScenario& out, std::string& error)
{
    tScenario scenario;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    tEmulatedDevice* device = nullptr;
    std::set<std::string> names;
    std::vector<bool> hasAddress;
    while (std::getline(in, raw)) {
        ++line;
        std::string text = Trim(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            continue;
        if (text[0] == '[') {
            if (text.back() != ']') {
                error = Fail(line, "a section header ends with ]");
                return false;
            }
            std::istringstream header(text.substr(1, text.size() - 2));
            std::string role, name, extra;
            header >> role >> name >> extra;
            if ((strcasecmp(role.c_str(), "local") && strcasecmp(role.c_str(), "remote")) || name.empty() || !extra.empty()) {
                error = Fail(line, "expected [local NAME] or [remote NAME]");
                return false;
            }
            if (!names.insert(name).second) {
                error = Fail(line, "device " + name + " is defined twice");
                return false;
            }
            scenario.devices.emplace_back();
            hasAddress.push_back(false);
            device = &scenario.devices.back();
            device->name = name;
            device->role = strcasecmp(role.c_str(), "local") ? ROLE_REMOTE : ROLE_LOCAL;
            continue;
        }
        size_t equals = text.find('=');
        if (equals == std::string::npos) {
            error = Fail(line, "expected key = value");
            return false;
        }
        if (!device) {
            error = Fail(line, "a setting before the first device section");
            return false;
        }
        std::string key = Trim(text.substr(0, equals));
        std::string value = Trim(text.substr(equals + 1));
        unsigned long number = 0;
        bool ok = true;
        if (key == "address") {
            ok = MacFromText(value, device->address) && !(device->address.bytes[0] & 1);
            hasAddress.back() = ok;
        } else if (key == "kind") {
            ok = !strcasecmp(value.c_str(), "homeplug") || !strcasecmp(value.c_str(), "hs");
            device->kind = strcasecmp(value.c_str(), "hs") ? KIND_HOMEPLUG : KIND_HS;
        } else if (key == "port") {
            device->port = value;
        } else if (key == "key") {
            ok = !value.empty();
            device->key = value;
            device->keyIsPassword = false;
        } else if (key == "password") {
            ok = !value.empty();
            device->key = value;
            device->keyIsPassword = true;
        } else if (key == "security_id") {
            device->securityId = value;
        } else if (key == "eeprom") {
            ok = ParseHexBytes(value, 51, device->eeprom);
        } else if (key == "plugged") {
            ok = ParseBool(value, device->plugged);
        } else if (key == "rate") {
            ok = ParseNumber(value, 0xFFFF, number);
            device->rate = static_cast<uint16_t>(number);
        } else if (key == "quality") {
            ok = ParseNumber(value, 0xFFFF, number);
            device->quality = static_cast<uint16_t>(number);
        } else if (key == "group") {
            ok = ParseBool(value, device->group);
        } else if (key == "audio") {
            ok = ParseBool(value, device->audio);
        } else if (key == "ip") {
            ok = ParseIpv4(value, device->ip);
        } else if (key == "stream") {
            ok = ParseBool(value, device->stream);
        } else if (key == "http_port") {
            ok = ParseNumber(value, 0xFFFF, number) && number > 0;
            device->httpPort = static_cast<uint16_t>(number);
        } else if (key == "path") {
            ok = value.size() < 1000;
            device->path = value;
        } else if (key == "state") {
            ok = ParseNumber(value, 255, number);
            device->state = static_cast<uint8_t>(number);
        } else {
            error = Fail(line, "unknown setting " + key);
            return false;
        }
        if (!ok) {
            error = Fail(line, "bad value for " + key + ": " + value);
            return false;
        }
    }
    for (size_t i = 0; i < scenario.devices.size(); ++i)
        if (!hasAddress[i]) {
            error = "device " + scenario.devices[i].name + " has no address";
            return false;
        }
    if (scenario.devices.empty()) {
        error = "the scenario names no device";
        return false;
    }
    out = scenario;
    return true;
}
