#include "setup/setup_context.h"

namespace setup {

void tSetupContext::AssignTargets()
{
    for (tProduct& product : products) {
        std::string own = ProductDestination(inf, product.key);
        product.targetDir = own.empty() ? targetDir : own;
    }
}

std::vector<tSectionEntry> tSetupContext::SelectedSections() const
{
    std::vector<tSectionEntry> sections;
    for (const tProduct& product : products) {
        if (!product.selected)
            continue;
        const std::string& section = Removal() ? product.removeSection : product.installSection;
        if (!section.empty())
            sections.push_back({section, product.key, product.targetDir});
    }
    return sections;
}

} // namespace setup
