#include "setup/script.h"

#include <stdio.h>

#include "common/module.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/script_rules.h"
#include "setup/setup_plugin.h"

namespace setup {

namespace {

std::string FirstExisting(const CInfFile& inf, const std::string& base, const tOSVersion& running)
{
    for (const std::string& name : SectionCandidates(base, running))
        if (inf.HasSection(name))
            return name;
    return std::string();
}

bool IsAbsolute(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
}

// One condition section; false with the message when it does not hold.
bool CheckCondition(const CInfFile& inf, const std::string& condition, const std::string& folder,
                    std::string& message)
{
    std::string scripted = inf.KeyValue(condition, "Message");
    if (!inf.HasSection(condition)) {
        TraceHere("condition section %s is missing\n", condition.c_str());
        message = scripted;
        return false;
    }
    for (const CInfLine& line : inf.Lines(condition, "OS")) {
        std::string expression = line.Field(1);
        if (!xUtilMatchOSVersion(expression.c_str())) {
            TraceHere("condition %s: the system is not %s\n", condition.c_str(), expression.c_str());
            message = scripted;
            return false;
        }
    }
    for (const CInfLine& line : inf.Lines(condition, "File")) {
        std::string path = PathBeside(folder, line.Field(1));
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            TraceHere("condition %s: %s is missing\n", condition.c_str(), path.c_str());
            message = scripted;
            return false;
        }
    }
    for (const CInfLine& line : inf.Lines(condition, "Dll")) {
        std::string file = line.Field(1);
        std::string function = line.Field(2);
        // A DLL that cannot be used counts as a failed condition without a message.
        message.clear();
        if (!IsBareFileName(file)) {
            TraceHere("condition %s: %s is no file name beside the program\n", condition.c_str(), file.c_str());
            return false;
        }
        CDllBinding dll;
        tGetVersionNumber version = nullptr;
        tConditionFunction holds = nullptr;
        tGetLastFailMessage failMessage = nullptr;
        if (!dll.Load(PathBeside(folder, file).c_str()) || !dll.Bind(version, "GetVersionNumber") ||
            version() >= 2 || !dll.Bind(holds, function.c_str())) {
            TraceHere("condition DLL %s (%s) cannot be used\n", file.c_str(), function.c_str());
            return false;
        }
        if (!holds()) {
            char buffer[SETUP_FAIL_MESSAGE_SIZE + 1] = "";
            if (dll.Bind(failMessage, "GetLastFailMessage"))
                failMessage(buffer);
            buffer[SETUP_FAIL_MESSAGE_SIZE] = '\0';
            message = buffer[0] ? buffer : scripted;
            TraceHere("condition %s: %s says no\n", condition.c_str(), function.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

std::string PathBeside(const std::string& folder, const std::string& name)
{
    if (name.empty() || IsAbsolute(name))
        return name;
    return folder + "\\" + name;
}

tChosenSections ChooseSections(const CInfFile& inf, const tOSVersion& running)
{
    tChosenSections chosen;
    chosen.install = FirstExisting(inf, "Install", running);
    chosen.remove = FirstExisting(inf, "Remove", running);
    chosen.products = FirstExisting(inf, "Products", running);
    return chosen;
}

std::vector<tProduct> ReadProducts(const CInfFile& inf, const tChosenSections& sections)
{
    std::vector<tProduct> products;
    if (sections.products.empty()) {
        tProduct alone;
        alone.installSection = sections.install;
        alone.removeSection = sections.remove;
        alone.flags = PRODUCT_PRESELECTED;
        products.push_back(alone);
        return products;
    }
    for (const CInfLine& line : inf.Lines(sections.products)) {
        tProduct product;
        product.key = line.Field(0);
        product.name = line.Field(1);
        if (product.name.empty())
            product.name = product.key;
        product.installSection = line.Field(2);
        product.removeSection = line.Field(3);
        if (!line.IntField(4, product.flags))
            product.flags = 0;
        if (product.key.empty())
            continue;
        products.push_back(product);
    }
    return products;
}

std::string FileVersionText(const std::string& path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return std::string();
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof *fixed)
        return std::string();
    char text[64];
    snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
             static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)), static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
             static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
    return text;
}

std::vector<tProductVersion> ReadProductVersions(const CInfFile& inf, const std::string& section,
                                                 const std::string& folder)
{
    std::vector<tProductVersion> versions;
    for (const CInfLine& line : inf.Lines(section, "ProductVer")) {
        tProductVersion entry;
        entry.product = line.Field(1);
        std::string version = line.Field(2);
        entry.version = IsDottedVersion(version) ? version : FileVersionText(PathBeside(folder, version));
        if (!entry.product.empty())
            versions.push_back(entry);
    }
    return versions;
}

std::string ProductDestination(const CInfFile& inf, const std::string& product)
{
    if (product.empty())
        return std::string();
    return inf.KeyValue("ProductDestinationDirs", product.c_str());
}

std::string DefaultTargetDir(const CInfFile& inf)
{
    return inf.TargetPath(std::string());
}

std::vector<tFinishAction> ReadFinishActions(const CInfFile& inf, const std::string& section)
{
    std::vector<tFinishAction> actions;
    for (const CInfLine& line : inf.Lines(section, "FinishAction")) {
        tFinishAction action;
        std::string texts = line.Field(1);
        action.text = inf.KeyValue(texts, "Text");
        int ticked = 0;
        std::vector<CInfLine> defaults = inf.Lines(texts, "Default");
        action.ticked = !defaults.empty() && defaults.front().IntField(1, ticked) && ticked == 1;
        action.program = line.Field(2);
        action.parameters = line.Field(3);
        if (!action.program.empty())
            actions.push_back(action);
    }
    return actions;
}

tConditionOutcome CheckConditions(const CInfFile& inf, const std::string& section, const std::string& folder)
{
    tConditionOutcome outcome;
    for (const std::string& condition : inf.KeyValues(section, "Conditions")) {
        if (!CheckCondition(inf, condition, folder, outcome.message)) {
            outcome.holds = false;
            return outcome;
        }
    }
    return outcome;
}

} // namespace setup
