// The plug-in base: the status tree with a value provider behind every item, and the wait cycle
// of one GetState call (wait on the monitor's two events and the plug-in's own handles, then tell
// every provider what woke it).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/raii.h"
#include "monitor/source.win/global/status.h"

class CRASConnection;

// What woke the wait cycle; every provider hears each of these.
enum tNotification { NOTIFY_BEFORE_WAIT, NOTIFY_CANCEL, NOTIFY_REFRESH, NOTIFY_TIMEOUT };

// Sets one item's texts from what it watches.
class CValueProvider {
public:
    virtual ~CValueProvider() = default;
    virtual const char* GetTypeName() const = 0;
    // Once before the item's children hear the same notification, and once after them.
    virtual void Notify(tNotification notification, bool afterChildren, CItem& item)
    {
        (void)notification, (void)afterChildren, (void)item;
    }
    // What the item stands for (the device name of a connection's top item).
    virtual std::string GetKey() const { return std::string(); }
    // The connection the item's hang-up acts on, none when it has none (any more).
    virtual CRASConnection* GetConnection() const { return nullptr; }
};

class CPluginBase {
public:
    // `tree`: the root the monitor reads; the plug-in fills it and empties it when it goes.
    CPluginBase(CState& tree, DWORD timeoutMs);
    virtual ~CPluginBase();
    CPluginBase(const CPluginBase&) = delete;
    CPluginBase& operator=(const CPluginBase&) = delete;

    CState& GetTree() { return m_tree; }
    // One GetState call: before-wait notification, the wait, the notification of what fired.
    CState* RunWaitCycle(HANDLE cancel, HANDLE refresh);

    // Handles the wait cycle also waits on; HandleSignaled hears of them.
    void AddWaitHandle(HANDLE handle);
    void RemoveWaitHandle(HANDLE handle);
    void SetTimeout(DWORD timeoutMs) { m_timeoutMs = timeoutMs; }

    // A new item at the end of `parent`'s children (of the top level for none), with a fresh id.
    CItem* AddItem(CItem* parent, const std::string& name, int32_t icon, const std::string& value,
                   const tItemActions* actions, std::unique_ptr<CValueProvider> provider);
    // Removes an item with all its descendants and their providers.
    void RemoveItem(CItem* item);
    CValueProvider* GetProvider(const CItem* item) const;
    CItem* FindItem(int32_t id) const { return m_tree.FindItem(id); }
    std::vector<CItem*> GetTopItems() const;

    // Sends one notification through the whole tree, depth first.
    void NotifyAll(tNotification notification);

protected:
    // A WAIT_TIMEOUT, before the time-out notification.
    virtual void OnTimeout() {}
    // One of the registered handles fired.
    virtual void HandleSignaled(HANDLE handle) { (void)handle; }
    // Drops every item and provider (a plug-in calls it from its destructor, while the objects
    // its providers watch still exist).
    void RemoveAllItems();

private:
    struct tNode {
        CItem* item = nullptr;
        std::unique_ptr<CValueProvider> provider;
        std::vector<std::unique_ptr<tNode>> children;
    };

    tNode* FindNode(const CItem* item) const;
    void Notify(tNode& node, tNotification notification);
    // CState can only be emptied as a whole: the level is rebuilt from the nodes.
    void Rebuild();
    CItem* Recreate(tNode& node);

    CState& m_tree;
    DWORD m_timeoutMs;
    raii::CCriticalSection m_lock; // guards m_handles
    std::vector<HANDLE> m_handles;
    std::vector<std::unique_ptr<tNode>> m_roots;
    int32_t m_nextId = 1;
};
