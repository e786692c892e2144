// Services of the script's ".Services" sections, through the service control manager:
// stopped, deleted, added or reconfigured, started, and their load order groups.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "setup/inf_file.h"

namespace setup {

struct tServiceEntry {
    std::string name;
    std::string displayName;
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD start = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string binary;
    std::string group;
    std::vector<std::string> dependencies;
    std::string startName;
};

// Every service name once, in the order the sections name them.
struct tServicePlan {
    std::vector<std::string> stop;
    std::vector<std::string> remove;
    std::vector<tServiceEntry> add;
    std::vector<std::pair<std::string, std::string>> groupOrder; // group, neighbour
    std::vector<std::string> start;
};

// The plan of the sections' companion sections (section name + ".Services"). `prepare`, when
// given, runs before each section is read (to point the script's folder ids at it).
tServicePlan ReadServicePlan(const CInfFile& inf, const std::vector<std::string>& sections,
                             const std::function<void(size_t index)>& prepare = nullptr);

// Each returns false with `error` on the first failure; names of services that do not
// exist count as done where that is the goal (stopping, deleting).
bool StopServices(const std::vector<std::string>& names, DWORD& error);
bool DeleteServices(const std::vector<std::string>& names, DWORD& error);
bool AddServices(const std::vector<tServiceEntry>& services, DWORD& error);
bool StartServices(const std::vector<std::string>& names, DWORD& error);
// Inserts the group after its neighbour in the "List" of the service group order (at the
// end when the neighbour is not listed); a group listed already stays where it is.
bool InsertServiceGroup(const std::string& group, const std::string& neighbour, DWORD& error);
// The pure part of it.
std::vector<std::string> InsertGroup(std::vector<std::string> list, const std::string& group,
                                     const std::string& neighbour);

} // namespace setup
