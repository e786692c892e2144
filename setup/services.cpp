#include "setup/services.h"

#include <strings.h>

#include <algorithm>

#include "common/registry.h"
#include "common/trace.h"

namespace setup {

namespace {

struct tServiceTraits {
    using value_type = SC_HANDLE;
    static SC_HANDLE Invalid() { return nullptr; }
    static bool IsValid(SC_HANDLE h) { return h != nullptr; }
    static bool Close(SC_HANDLE h) { return CloseServiceHandle(h) != FALSE; }
};
using CServiceHandle = raii::CUnique<tServiceTraits>;

const char kGroupOrderKey[] = "System\\CurrentControlSet\\Control\\ServiceGroupOrder";
// How long a service may take to stop before the run asks for a restart instead.
const DWORD kStopTimeoutMs = 30000;

void AddOnce(std::vector<std::string>& names, const std::string& name)
{
    if (name.empty())
        return;
    for (const std::string& known : names)
        if (strcasecmp(known.c_str(), name.c_str()) == 0)
            return;
    names.push_back(name);
}

tServiceEntry ReadServiceEntry(const CInfFile& inf, const std::string& name, const std::string& section)
{
    tServiceEntry wanted;
    wanted.name = name;
    wanted.displayName = inf.KeyValue(section, "DisplayName");
    auto number = [&](const char* key, DWORD& out) {
        std::vector<CInfLine> lines = inf.Lines(section, key);
        int value = 0;
        if (!lines.empty() && lines.front().IntField(1, value))
            out = static_cast<DWORD>(value);
    };
    number("ServiceType", wanted.type);
    number("StartType", wanted.start);
    number("ErrorControl", wanted.errorControl);
    wanted.binary = inf.KeyValue(section, "ServiceBinary");
    wanted.group = inf.KeyValue(section, "LoadOrderGroup");
    wanted.dependencies = inf.KeyValues(section, "Dependencies");
    wanted.startName = inf.KeyValue(section, "StartName");
    return wanted;
}

bool OpenManager(CServiceHandle& manager, DWORD access, DWORD& error)
{
    manager.Attach(OpenSCManagerA(nullptr, nullptr, access));
    if (!manager) {
        error = GetLastError();
        TraceHere("OpenSCManager failed\n");
        TraceError(error);
        return false;
    }
    return true;
}

// Stops a service and waits for it; true when it is stopped or does not exist.
bool StopOne(SC_HANDLE manager, const std::string& name, DWORD& error)
{
    CServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        error = GetLastError();
        return error == ERROR_SERVICE_DOES_NOT_EXIST;
    }
    SERVICE_STATUS status = {};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
        error = GetLastError();
        if (error == ERROR_SERVICE_NOT_ACTIVE)
            return true;
        if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
            return false;
    }
    DWORD start = GetTickCount();
    while (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (GetTickCount() - start > kStopTimeoutMs) {
            error = ERROR_SERVICE_REQUEST_TIMEOUT;
            return false;
        }
        Sleep(100);
    }
    return true;
}

bool StartOne(SC_HANDLE manager, const std::string& name, DWORD& error)
{
    CServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_START));
    if (service && (StartServiceA(service.Get(), 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING))
        return true;
    error = GetLastError();
    return false;
}

// Does one thing to each named service; false, with the last failure, when one of them failed
// (the others are done all the same).
bool EachService(const std::vector<std::string>& names, const char* what, DWORD& error,
                 bool (*act)(SC_HANDLE manager, const std::string& name, DWORD& error))
{
    if (names.empty())
        return true;
    CServiceHandle manager;
    if (!OpenManager(manager, SC_MANAGER_CONNECT, error))
        return false;
    bool all = true;
    for (const std::string& name : names) {
        DWORD failure = 0;
        if (!act(manager.Get(), name, failure)) {
            TraceHere("cannot %s service %s\n", what, name.c_str());
            TraceError(failure);
            error = failure;
            all = false;
        }
    }
    return all;
}

} // namespace

tServicePlan ReadServicePlan(const CInfFile& inf, const std::vector<std::string>& sections,
                             const std::function<void(size_t index)>& prepare)
{
    tServicePlan plan;
    std::vector<std::string> added;
    for (size_t index = 0; index < sections.size(); ++index) {
        if (prepare)
            prepare(index);
        const std::string& section = sections[index];
        std::string services = section + ".Services";
        if (!inf.HasSection(services))
            continue;
        for (const CInfLine& line : inf.Lines(services, "StopService"))
            AddOnce(plan.stop, line.Field(1));
        for (const CInfLine& line : inf.Lines(services, "DelService"))
            AddOnce(plan.remove, line.Field(1));
        for (const CInfLine& line : inf.Lines(services, "AddService")) {
            std::string name = line.Field(1);
            size_t before = added.size();
            AddOnce(added, name);
            if (added.size() > before)
                plan.add.push_back(ReadServiceEntry(inf, name, line.Field(3)));
        }
        for (const CInfLine& line : inf.Lines(services, "ServiceGroupOrder"))
            if (!line.Field(1).empty())
                plan.groupOrder.emplace_back(line.Field(1), line.Field(2));
        for (const CInfLine& line : inf.Lines(services, "StartService"))
            AddOnce(plan.start, line.Field(1));
    }
    return plan;
}

bool StopServices(const std::vector<std::string>& names, DWORD& error)
{
    return EachService(names, "stop", error, StopOne);
}

bool DeleteServices(const std::vector<std::string>& names, DWORD& error)
{
    if (names.empty())
        return true;
    CServiceHandle manager;
    if (!OpenManager(manager, SC_MANAGER_CONNECT, error))
        return false;
    for (const std::string& name : names) {
        DWORD stopError = 0;
        StopOne(manager.Get(), name, stopError);
        CServiceHandle service(OpenServiceA(manager.Get(), name.c_str(), DELETE));
        if (!service) {
            error = GetLastError();
            if (error == ERROR_SERVICE_DOES_NOT_EXIST)
                continue;
            TraceHere("cannot open service %s\n", name.c_str());
            TraceError(error);
            return false;
        }
        if (!DeleteService(service.Get()) && (error = GetLastError()) != ERROR_SERVICE_MARKED_FOR_DELETE) {
            TraceHere("cannot delete service %s\n", name.c_str());
            TraceError(error);
            return false;
        }
        Trace("[setup] service %s deleted\n", name.c_str());
    }
    error = 0;
    return true;
}

bool AddServices(const std::vector<tServiceEntry>& services, DWORD& error)
{
    if (services.empty())
        return true;
    CServiceHandle manager;
    if (!OpenManager(manager, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT, error))
        return false;
    for (const tServiceEntry& wanted : services) {
        std::string dependencies;
        for (const std::string& name : wanted.dependencies)
            dependencies += name + '\0';
        dependencies += '\0';
        const char* display = wanted.displayName.empty() ? wanted.name.c_str() : wanted.displayName.c_str();
        const char* group = wanted.group.empty() ? nullptr : wanted.group.c_str();
        const char* startName = wanted.startName.empty() ? nullptr : wanted.startName.c_str();
        CServiceHandle service(CreateServiceA(manager.Get(), wanted.name.c_str(), display, SERVICE_ALL_ACCESS, wanted.type,
                                              wanted.start, wanted.errorControl, wanted.binary.c_str(), group, nullptr,
                                              dependencies.c_str(), startName, nullptr));
        if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
            service.Attach(OpenServiceA(manager.Get(), wanted.name.c_str(), SERVICE_CHANGE_CONFIG));
            if (service && !ChangeServiceConfigA(service.Get(), wanted.type, wanted.start, wanted.errorControl,
                                                 wanted.binary.c_str(), group, nullptr, dependencies.c_str(),
                                                 startName, nullptr, display))
                service.Close();
        }
        if (!service) {
            error = GetLastError();
            TraceHere("cannot add service %s\n", wanted.name.c_str());
            TraceError(error);
            return false;
        }
        Trace("[setup] service %s added\n", wanted.name.c_str());
    }
    return true;
}

bool StartServices(const std::vector<std::string>& names, DWORD& error)
{
    return EachService(names, "start", error, StartOne);
}

std::vector<std::string> InsertGroup(std::vector<std::string> list, const std::string& group,
                                     const std::string& neighbour)
{
    auto same = [](const std::string& name) {
        return [name](const std::string& entry) { return strcasecmp(entry.c_str(), name.c_str()) == 0; };
    };
    if (group.empty() || std::find_if(list.begin(), list.end(), same(group)) != list.end())
        return list;
    auto at = neighbour.empty() ? list.end() : std::find_if(list.begin(), list.end(), same(neighbour));
    list.insert(at == list.end() ? at : at + 1, group);
    return list;
}

bool InsertServiceGroup(const std::string& group, const std::string& neighbour, DWORD& error)
{
    CRegistryKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, kGroupOrderKey)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    std::vector<std::string> list;
    key.GetMultiString("List", list);
    std::vector<std::string> updated = InsertGroup(list, group, neighbour);
    if (updated.size() == list.size())
        return true;
    if (!key.SetMultiString("List", updated)) {
        error = ERROR_WRITE_FAULT;
        return false;
    }
    return true;
}

} // namespace setup
