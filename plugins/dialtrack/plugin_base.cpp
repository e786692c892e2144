#include "plugins/dialtrack/plugin_base.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "common/trace.h"

CPluginBase::CPluginBase(CState& tree, DWORD timeoutMs) : m_tree(tree), m_timeoutMs(timeoutMs)
{
}

CPluginBase::~CPluginBase()
{
    RemoveAllItems();
}

void CPluginBase::AddWaitHandle(HANDLE handle)
{
    raii::CLock lock(m_lock);
    if (handle && std::find(m_handles.begin(), m_handles.end(), handle) == m_handles.end())
        m_handles.push_back(handle);
}

void CPluginBase::RemoveWaitHandle(HANDLE handle)
{
    raii::CLock lock(m_lock);
    m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), handle), m_handles.end());
}

CState* CPluginBase::RunWaitCycle(HANDLE cancel, HANDLE refresh)
{
    std::vector<HANDLE> handles = {cancel, refresh};
    {
        raii::CLock lock(m_lock);
        handles.insert(handles.end(), m_handles.begin(), m_handles.end());
    }
    if (handles.size() > MAXIMUM_WAIT_OBJECTS)
        handles.resize(MAXIMUM_WAIT_OBJECTS);
    NotifyAll(NOTIFY_BEFORE_WAIT);
    DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, m_timeoutMs);
    if (result == WAIT_OBJECT_0) {
        NotifyAll(NOTIFY_CANCEL);
    } else if (result == WAIT_OBJECT_0 + 1) {
        NotifyAll(NOTIFY_REFRESH);
    } else if (result == WAIT_TIMEOUT) {
        OnTimeout();
        NotifyAll(NOTIFY_TIMEOUT);
    } else if (result > WAIT_OBJECT_0 + 1 && result < WAIT_OBJECT_0 + handles.size()) {
        HandleSignaled(handles[result - WAIT_OBJECT_0]);
    } else {
        // A handle closed under the wait: do not spin on it.
        TraceVerbose("WaitForMultipleObjects failed: %lu\n", GetLastError());
        Sleep(m_timeoutMs);
    }
    return &m_tree;
}

CItem* CPluginBase::AddItem(CItem* parent, const std::string& name, int32_t icon, const std::string& value,
                            const tItemActions* actions, std::unique_ptr<CValueProvider> provider)
{
    tNode* parentNode = parent ? FindNode(parent) : nullptr;
    if (parent && !parentNode)
        return nullptr;
    auto node = std::make_unique<tNode>();
    int32_t id = m_nextId++;
    node->item = actions ? new CItem(name, icon, value, id, *actions) : new CItem(name, icon, value, id);
    node->provider = std::move(provider);
    CItem* item = node->item;
    (parent ? parent->GetChildren() : m_tree).AddItem(item);
    (parentNode ? parentNode->children : m_roots).push_back(std::move(node));
    return item;
}

void CPluginBase::RemoveItem(CItem* item)
{
    std::function<bool(std::vector<std::unique_ptr<tNode>>&)> remove = [&](std::vector<std::unique_ptr<tNode>>& level) {
        for (auto it = level.begin(); it != level.end(); ++it) {
            if ((*it)->item == item) {
                level.erase(it); // providers of the whole subtree go with it
                return true;
            }
            if (remove((*it)->children))
                return true;
        }
        return false;
    };
    if (remove(m_roots))
        Rebuild();
}

void CPluginBase::RemoveAllItems()
{
    // Providers first: they may still refer to their items.
    m_roots.clear();
    m_tree.RemoveAll();
}

CItem* CPluginBase::Recreate(tNode& node)
{
    const CItem& old = *node.item;
    CItem* item = old.GetActions() ? new CItem(old.GetName(), old.GetIcon(), old.GetValue(), old.GetId(), *old.GetActions())
                                   : new CItem(old.GetName(), old.GetIcon(), old.GetValue(), old.GetId());
    node.item = item;
    for (auto& child : node.children)
        item->GetChildren().AddItem(Recreate(*child));
    return item;
}

void CPluginBase::Rebuild()
{
    // The old items are read while the new ones are made, then deleted together.
    std::vector<CItem*> fresh;
    for (auto& root : m_roots)
        fresh.push_back(Recreate(*root));
    m_tree.RemoveAll();
    for (CItem* item : fresh)
        m_tree.AddItem(item);
}

CPluginBase::tNode* CPluginBase::FindNode(const CItem* item) const
{
    std::function<tNode*(const std::vector<std::unique_ptr<tNode>>&)> find =
        [&](const std::vector<std::unique_ptr<tNode>>& level) -> tNode* {
        for (const auto& node : level) {
            if (node->item == item)
                return node.get();
            if (tNode* found = find(node->children))
                return found;
        }
        return nullptr;
    };
    return find(m_roots);
}

CValueProvider* CPluginBase::GetProvider(const CItem* item) const
{
    tNode* node = FindNode(item);
    return node ? node->provider.get() : nullptr;
}

std::vector<CItem*> CPluginBase::GetTopItems() const
{
    std::vector<CItem*> items;
    for (const auto& node : m_roots)
        items.push_back(node->item);
    return items;
}

void CPluginBase::NotifyAll(tNotification notification)
{
    for (auto& root : m_roots)
        Notify(*root, notification);
}

void CPluginBase::Notify(tNode& node, tNotification notification)
{
    // A provider that throws spoils its own item only; the walk goes on.
    auto call = [&](bool afterChildren) {
        if (!node.provider)
            return;
        try {
            node.provider->Notify(notification, afterChildren, *node.item);
        } catch (const std::exception& e) {
            TraceVerbose("provider %s failed: %s\n", node.provider->GetTypeName(), e.what());
        } catch (...) {
            TraceVerbose("provider %s failed\n", node.provider->GetTypeName());
        }
    };
    call(false);
    for (auto& child : node.children)
        Notify(*child, notification);
    call(true);
}
