#include "setup/plan.h"

#include <stdio.h>

#include "setup/exec_entries.h"
#include "setup/registry_parts.h"
#include "setup/security.h"
#include "setup/services.h"
#include "setup/shortcuts.h"
#include "setup/uninstall_entry.h"

namespace setup {

namespace {

// Script fields may hold tabs or line ends only by mistake; the plan keeps one change a line.
std::string Clean(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

class CPlanWriter {
public:
    void Line(std::initializer_list<std::string> fields)
    {
        std::string line;
        for (const std::string& field : fields)
            line += (line.empty() ? "" : "\t") + Clean(field);
        m_lines.push_back(line);
    }
    void Comment(const std::string& text) { m_lines.push_back("# " + Clean(text)); }
    std::vector<std::string> Take() { return std::move(m_lines); }

private:
    std::vector<std::string> m_lines;
};

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Joined(const CInfLine& line, DWORD first)
{
    std::string text;
    DWORD count = line.FieldCount();
    for (DWORD index = first; index <= count; ++index)
        text += (index > first ? "," : "") + line.Field(index);
    return text;
}

void PlanFiles(const CInfFile& inf, const std::string& section, const std::string& sourceRoot, CPlanWriter& out)
{
    for (const std::string& list : inf.KeyValues(section, "CopyFiles")) {
        if (list[0] == '@') {
            std::string name = list.substr(1);
            std::string source = sourceRoot + "\\" + name;
            out.Line({"file", "copy", inf.TargetPath(section) + "\\" + name, source,
                      Exists(source) ? "present" : "missing"});
            continue;
        }
        std::string folder = inf.TargetPath(list);
        for (const CInfLine& line : inf.Lines(list)) {
            std::string target = line.Field(1);
            std::string source = line.Field(2).empty() ? target : line.Field(2);
            int flags = 0;
            line.IntField(4, flags);
            std::string sourcePath = sourceRoot + "\\" + source;
            std::string state = Exists(sourcePath) ? "present" : (flags & COPYFLG_NOSKIP) ? "missing" : "optional";
            out.Line({"file", "copy", folder + "\\" + target, sourcePath, state});
        }
    }
    for (const std::string& list : inf.KeyValues(section, "DelFiles")) {
        if (list[0] == '@') {
            out.Line({"file", "delete", inf.TargetPath(section) + "\\" + list.substr(1)});
            continue;
        }
        std::string folder = inf.TargetPath(list);
        for (const CInfLine& line : inf.Lines(list))
            out.Line({"file", "delete", folder + "\\" + line.Field(1)});
    }
}

void PlanRegistry(const CInfFile& inf, const std::string& section, CPlanWriter& out)
{
    for (const std::string& list : inf.KeyValues(section, "AddReg"))
        for (const CInfLine& line : inf.Lines(list)) {
            int flags = 0;
            line.IntField(4, flags);
            if (flags & FLG_ADDREG_KEYONLY)
                out.Line({"registry", "key", line.Field(1), line.Field(2)});
            else if (flags & FLG_ADDREG_DELVAL)
                out.Line({"registry", "delete", line.Field(1), line.Field(2), line.Field(3)});
            else
                out.Line({"registry", "add", line.Field(1), line.Field(2), line.Field(3),
                          AddRegTypeName(static_cast<unsigned long>(flags)), Joined(line, 5)});
        }
    for (const std::string& list : inf.KeyValues(section, "DelReg"))
        for (const CInfLine& line : inf.Lines(list))
            out.Line({"registry", "delete", line.Field(1), line.Field(2), line.Field(3)});
    for (const tRegistryKeyName& key : ReadEmptyKeyRemovals(inf, section))
        out.Line({"registry", "emptykey", key.root, key.key});
    for (const std::string& list : inf.KeyValues(section, "UpdateInis"))
        for (const CInfLine& line : inf.Lines(list))
            out.Line({"ini", line.Field(1), line.Field(2), line.Field(3), line.Field(4)});
    for (const tIniToRegistry& line : ReadIniToRegistry(inf, section))
        out.Line({"ini2reg", line.file, line.section, line.key, line.root, line.subkey});
    for (const std::string& list : inf.KeyValues(section, "MakeFirewallEntries"))
        for (const CInfLine& line : inf.Lines(list))
            out.Line({"firewall", "add", line.Field(1), line.Field(2)});
    for (const std::string& list : inf.KeyValues(section, "DelFirewallEntries"))
        for (const CInfLine& line : inf.Lines(list))
            out.Line({"firewall", "remove", line.Field(1), line.Field(2)});
    for (const tFileSecurity& entry : ReadFileSecurity(inf, section))
        out.Line({"security", "file", entry.path, entry.descriptor.empty() ? kDefaultDescriptor : entry.descriptor});
    for (const tRegSecurity& entry : ReadRegSecurity(inf, section))
        out.Line({"security", "registry", RegistryObjectName(entry.root, entry.key),
                  entry.descriptor.empty() ? kDefaultDescriptor : entry.descriptor});
}

void PlanShortcuts(const CInfFile& inf, const std::string& section, CPlanWriter& out)
{
    for (const tShortcut& shortcut : ReadShortcuts(inf, section, "MakeIcons"))
        out.Line({"shortcut", "make", ShortcutFile(shortcut), shortcut.target, shortcut.arguments,
                  shortcut.directory, std::to_string(shortcut.iconIndex),
                  (shortcut.flags & SHORTCUT_ASK) ? "ask" : "always"});
    for (const tShortcut& shortcut : ReadShortcuts(inf, section, "DelIcons")) {
        tShortcut link = shortcut, web = shortcut;
        web.target = "http://";
        out.Line({"shortcut", "delete", ShortcutFile(link)});
        out.Line({"shortcut", "delete", ShortcutFile(web)});
    }
}

} // namespace

std::string AddRegTypeName(unsigned long flags)
{
    switch (flags & (FLG_ADDREG_TYPE_MASK | FLG_ADDREG_BINVALUETYPE)) {
    case FLG_ADDREG_TYPE_SZ:
        return "REG_SZ";
    case FLG_ADDREG_TYPE_MULTI_SZ:
        return "REG_MULTI_SZ";
    case FLG_ADDREG_TYPE_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case FLG_ADDREG_TYPE_DWORD:
        return "REG_DWORD";
    case FLG_ADDREG_TYPE_NONE:
        return "REG_NONE";
    case FLG_ADDREG_TYPE_BINARY:
        return "REG_BINARY";
    default: {
        char text[32];
        snprintf(text, sizeof text, "0x%08lx", flags);
        return text;
    }
    }
}

std::vector<std::string> BuildPlan(const CInfFile& inf, const tPlanRun& run)
{
    CPlanWriter out;
    out.Comment(std::string(run.install ? "installation" : "removal") + " planned from " + inf.Path());
    out.Comment("nothing was changed; one change a line, fields separated by tabs");
    for (const tProduct& product : run.products) {
        out.Line({"product", product.key, product.name, product.version, product.targetDir});
        if (product.key.empty())
            continue;
        std::string key = std::string("HKLM\\") + kUninstallKey + "\\" + product.key;
        if (run.install) {
            out.Line({"uninstall", "add", key, "UserTargetDir", product.targetDir});
            out.Line({"uninstall", "add", key, "UninstallString", UninstallCommand(run.setupPath, product.key)});
            out.Line({"uninstall", "add", key, "ProductVersion", product.version});
        } else {
            out.Line({"uninstall", "delete", key});
        }
    }
    auto use = [&](size_t index) {
        if (!run.sections[index].targetDir.empty())
            inf.SetDirectoryId(DIRID_TARGET, run.sections[index].targetDir);
    };
    for (int phase = 1; phase <= 2; ++phase)
        for (size_t index = 0; index < run.sections.size(); ++index) {
            use(index);
            for (const tExecEntry& entry : ReadExecEntries(inf, run.sections[index].section, phase, run.install))
                out.Line({"exec", std::to_string(phase), entry.program, entry.parameters, entry.directory});
        }
    if (run.plugins)
        for (const tStepRecord& record : run.plugins->Steps())
            out.Line({"step", std::to_string(record.step.level), record.file, record.step.function, record.step.text});
    std::vector<std::string> sections;
    for (const tSectionEntry& entry : run.sections)
        sections.push_back(entry.section);
    tServicePlan services = ReadServicePlan(inf, sections, use);
    for (const std::string& name : services.stop)
        out.Line({"service", "stop", name});
    for (const std::string& name : services.remove)
        out.Line({"service", "delete", name});
    for (const tServiceEntry& wanted : services.add)
        out.Line({"service", "add", wanted.name, wanted.binary, std::to_string(wanted.start)});
    for (const auto& order : services.groupOrder)
        out.Line({"service", "group", order.first, order.second});
    for (const std::string& name : services.start)
        out.Line({"service", "start", name});
    for (size_t index = 0; index < run.sections.size(); ++index) {
        use(index);
        const std::string& section = run.sections[index].section;
        PlanFiles(inf, section, run.sourceRoot, out);
        PlanRegistry(inf, section, out);
        PlanShortcuts(inf, section, out);
    }
    return out.Take();
}

} // namespace setup
