// The status tree that every plug-in builds and the monitor reads in place across the module
// boundary. Monitor and plug-ins are compiled from this one definition with the same compiler
// settings, so both sides lay the objects out identically. A tree's memory belongs to the
// module that built it: the monitor only reads, copies what it shows and never frees.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "common/list.h"

class CItem;

// A row's context-menu entry calls back into the plug-in on the monitor's window thread.
// optionsChanged arrives false; the plug-in sets it when it changed a shareable option.
extern "C" typedef void (*ItemActionProc)(HWND window, int32_t id, bool* optionsChanged);

struct tItemAction {
    std::string text; // empty: a separator line
    ItemActionProc proc;
};

typedef std::vector<tItemAction> tItemActions;

// A list of status items: a plug-in's whole tree, and the children of every item.
class CState {
public:
    CState();
    virtual ~CState();
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;

    void AddItem(CItem* item);
    // Depth first, in insertion order: this level first, then each item's children.
    CItem* FindItem(int32_t id) const;
    int32_t GetCount() const;
    CItem* GetAt(int32_t position) const;
    // Deletes every item of this level with its subtree; the state stays usable.
    void RemoveAll();
    // Calls f(const CItem&) for each item of this level in order, in one walk (GetAt walks
    // from the head for every position).
    template <class F>
    void ForEach(F f) const
    {
        for (const tListNode* node = m_list ? m_list->head : nullptr; node; node = node->next)
            if (node->item)
                f(*static_cast<const CItem*>(node->item));
    }

private:
    tList* m_list;
};

// One row: a fixed name and an optional value ("Device status: Operational").
class CItem {
public:
    CItem(const std::string& name, int32_t icon, const std::string& value, int32_t id);
    CItem(const std::string& name, int32_t icon, const std::string& value, int32_t id,
          tItemActions actions);
    virtual ~CItem();
    CItem(const CItem&) = delete;
    CItem& operator=(const CItem&) = delete;

    void SetValue(const std::string& value);
    void SetIcon(int32_t icon);
    void SetName(const std::string& name);

    const std::string& GetName() const { return m_name; }
    const std::string& GetValue() const { return m_value; }
    int32_t GetIcon() const { return m_icon; }
    int32_t GetId() const { return m_id; }
    // None unless the item was constructed with actions.
    const tItemActions* GetActions() const { return m_actions; }
    CState& GetChildren() { return m_children; }
    const CState& GetChildren() const { return m_children; }

private:
    std::string m_value;
    int32_t m_icon;
    int32_t m_id;
    std::string m_name;
    tItemActions* m_actions;
    CState m_children;
};
