#include "monitor/source.win/global/status.h"

#include "common/trace.h"

namespace {

void DeleteItem(void* item)
{
    delete static_cast<CItem*>(item);
}

} // namespace

CState::CState() : m_list(ListNew())
{
    ListSetDeleter(m_list, DeleteItem);
}

CState::~CState()
{
    ListFree(m_list);
}

void CState::AddItem(CItem* item)
{
    if (item)
        ListAppend(m_list, item, item->GetId());
}

CItem* CState::FindItem(int32_t id) const
{
    if (CItem* item = static_cast<CItem*>(ListFindKey(m_list, id)))
        return item;
    for (const tListNode* node = m_list ? m_list->head : nullptr; node; node = node->next)
        if (CItem* found = static_cast<CItem*>(node->item)->GetChildren().FindItem(id))
            return found;
    return nullptr;
}

int32_t CState::GetCount() const
{
    return ListCount(m_list);
}

CItem* CState::GetAt(int32_t position) const
{
    return static_cast<CItem*>(ListGetAt(m_list, position));
}

void CState::RemoveAll()
{
    ListClear(m_list);
}

CItem::CItem(const std::string& name, int32_t icon, const std::string& value, int32_t id)
    : m_value(value), m_icon(icon), m_id(id), m_name(name), m_actions(nullptr)
{
    TraceHere("entering\n");
}

CItem::CItem(const std::string& name, int32_t icon, const std::string& value, int32_t id,
             tItemActions actions)
    : m_value(value), m_icon(icon), m_id(id), m_name(name),
      m_actions(new tItemActions(std::move(actions)))
{
    TraceHere("entering\n");
}

CItem::~CItem()
{
    delete m_actions;
    // m_children and the texts go with the members, in that order
}

void CItem::SetValue(const std::string& value)
{
    m_value = value;
}

void CItem::SetIcon(int32_t icon)
{
    TraceHere("entering\n");
    m_icon = icon;
}

void CItem::SetName(const std::string& name)
{
    TraceHere("entering\n");
    m_name = name;
}
