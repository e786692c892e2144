#include "tandem/net_structure.h"

#include <chrono>
#include <new>

#include "common/trace.h"

namespace {

const uint32_t kUnwantedMs = 10000;
// A flood of refused requesters must not grow the list without end.
const size_t kUnwantedLimit = 1024;

int HostImage(HostKind kind)
{
    switch (kind) {
    case HOST_LOCAL:
        return TREE_IMAGE_LOCAL_HOST;
    case HOST_ADDED:
        return TREE_IMAGE_ADDED_HOST;
    default:
        return TREE_IMAGE_ANNOUNCED_HOST;
    }
}

uint32_t SteadyMilliseconds()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

ShareNode::ShareNode(const std::atomic<bool>& stop, ShareNode* parent, uint32_t hostAddress,
                     ShareItem item, ITreeView* tree)
    : m_stop(stop), m_parent(parent), m_hostAddress(hostAddress), m_item(std::move(item)), m_tree(tree)
{
}

ShareNode::~ShareNode()
{
    m_children.clear();
    if (m_tree && m_treeItem && !m_stop.load())
        m_tree->DeleteItem(m_treeItem);
}

std::string ShareNode::GetPath() const
{
    if (IsHostRoot())
        return m_item.name + "\\";
    std::string path = m_parent->GetPath() + m_item.name;
    if (m_item.isFolder)
        path += '\\';
    return path;
}

ShareNode* ShareNode::FindNode(const std::string& path)
{
    size_t separator = path.find('\\');
    std::string head = path.substr(0, separator);
    std::string rest = separator == std::string::npos ? std::string() : path.substr(separator + 1);
    if (head != m_item.name)
        return nullptr;
    if (rest.empty())
        return this;
    for (const auto& child : m_children)
        if (ShareNode* found = child->FindNode(rest))
            return found;
    return nullptr;
}

void ShareNode::CreateTreeItem(tTreeItem parent, const std::string& text, int image, int selectedImage)
{
    if (m_tree)
        m_treeItem = m_tree->InsertItem(parent, text, image, selectedImage, this);
}

void ShareNode::SetTreeText(const std::string& text)
{
    if (m_tree && m_treeItem)
        m_tree->SetItemText(m_treeItem, text);
}

void ShareNode::SetChildren(const std::vector<ShareItem>& items)
{
    m_children.clear();
    for (const ShareItem& item : items) {
        if (m_stop.load())
            break;
        std::string text = item.name.substr(item.name.rfind('\\') + 1);
        std::unique_ptr<ShareNode> child(new (std::nothrow)
                                             ShareNode(m_stop, this, m_hostAddress, item, m_tree));
        if (!child)
            continue;
        if (item.isFolder && m_tree && m_treeItem) {
            int image = IsHostRoot() ? TREE_IMAGE_SHARE : TREE_IMAGE_FOLDER_NEW;
            child->CreateTreeItem(m_treeItem, text, image, image);
            m_tree->Repaint();
        }
        m_children.push_back(std::move(child));
    }
    if (m_parent && m_parent->m_parent && m_tree && m_treeItem)
        m_tree->SetItemImage(m_treeItem, TREE_IMAGE_FOLDER, TREE_IMAGE_FOLDER_SELECTED);
}

bool ShareNode::RemoveChild(const std::string& name)
{
    for (auto it = m_children.begin(); it != m_children.end(); ++it)
        if ((*it)->m_item.name == name) {
            m_children.erase(it);
            return true;
        }
    return false;
}

CNetStructure::CNetStructure(const std::atomic<bool>& stop, ITreeView* tree)
    : m_stop(stop), m_tree(tree), m_clock(SteadyMilliseconds)
{
    TraceVerbose("entering\n");
}

CNetStructure::~CNetStructure()
{
    TraceVerbose("entering\n");
}

ShareNode* CNetStructure::AddHost(uint32_t address, const std::string& name, HostKind kind)
{
    TraceVerbose("entering\n");
    HostEntry entry;
    entry.kind = kind;
    entry.address = address;
    entry.name = name.empty() ? FormatAddress(address) : name;
    entry.root.reset(new (std::nothrow) ShareNode(m_stop, nullptr, address, ShareItem(), m_tree));
    if (!entry.root)
        return nullptr;
    int image = HostImage(kind);
    // A host root sits at the root level of the tree (parent 0) and shows the host's name.
    entry.root->CreateTreeItem(0, entry.name, image, image);
    m_hosts.push_back(std::move(entry));
    return m_hosts.back().root.get();
}

bool CNetStructure::FindHost(uint32_t address, size_t& index) const
{
    for (size_t i = 0; i < m_hosts.size(); ++i)
        if (m_hosts[i].address == address) {
            index = i;
            return true;
        }
    return false;
}

void CNetStructure::RemoveHost(uint32_t address)
{
    size_t index;
    if (FindHost(address, index))
        m_hosts.erase(m_hosts.begin() + static_cast<std::ptrdiff_t>(index));
}

void CNetStructure::RenameHost(size_t index, const std::string& name)
{
    if (index >= m_hosts.size())
        return;
    m_hosts[index].name = name;
    m_hosts[index].root->SetTreeText(name);
}

ShareNode* CNetStructure::SetChildren(uint32_t address, const std::string& path,
                                      const std::vector<ShareItem>& items)
{
    ShareNode* node = FindNode(address, path);
    if (node)
        node->SetChildren(items);
    return node;
}

ShareNode* CNetStructure::FindNode(uint32_t address, const std::string& path) const
{
    size_t index;
    if (!FindHost(address, index))
        return nullptr;
    return m_hosts[index].root->FindNode(path);
}

bool CNetStructure::RemoveChild(uint32_t address, const std::string& name)
{
    size_t index;
    return FindHost(address, index) && m_hosts[index].root->RemoveChild(name);
}

void CNetStructure::AddUnwantedHost(uint32_t address)
{
    if (m_unwanted.size() >= kUnwantedLimit)
        m_unwanted.erase(m_unwanted.begin());
    m_unwanted.emplace_back(address, m_clock());
}

bool CNetStructure::IsHostUnwanted(uint32_t address)
{
    uint32_t now = m_clock();
    for (auto it = m_unwanted.begin(); it != m_unwanted.end();) {
        if (now - it->second > kUnwantedMs) {
            TraceVerbose("the host %s timed out of the unwanted host list\n",
                         FormatAddress(it->first).c_str());
            it = m_unwanted.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& entry : m_unwanted)
        if (entry.first == address) {
            entry.second = now;
            return true;
        }
    return false;
}

int CompareShareItems(const ShareItem& a, const ShareItem& b, int sortKey, bool ascending)
{
    int result;
    if (a.isFolder != b.isFolder)
        result = a.isFolder ? -1 : 1;
    else if (sortKey == 1)
        result = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
    else
        result = a.name.compare(b.name) < 0 ? -1 : (a.name == b.name ? 0 : 1);
    return ascending ? result : -result;
}

bool ShareItemLess(const ShareItem& a, const ShareItem& b, int sortKey, bool ascending)
{
    return CompareShareItems(a, b, sortKey, ascending) < 0;
}
