// The rows of the transfer view. A list view that is shown spends many milliseconds on every
// single change, longer than a small file takes to travel: a burst of uploads would keep the
// window thread busy and hold up every transfer that waits for it. So the first change after
// a quiet spell shows at once, and the changes that follow within the pace wait and go into
// the view together, with its drawing held, on the timer.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

class CPacedRows {
public:
    // The timer (of the id given) runs on the owner window, which hands its WM_TIMER to Flush.
    CPacedRows(UINT_PTR timerId, UINT paceMs) : m_timerId(timerId), m_paceMs(paceMs) {}
    CPacedRows(const CPacedRows&) = delete;
    CPacedRows& operator=(const CPacedRows&) = delete;

    void Attach(HWND owner, HWND view)
    {
        m_owner = owner;
        m_view = view;
    }
    // Rows are keyed by a number kept in the item's parameter; new rows go to the end.
    void Add(int key, const std::string& name, const std::string& status, const std::string& host);
    void SetStatus(int key, const std::string& status);
    void Remove(int key);
    // The timer's turn: what waited goes in, or, after a quiet pace, the timer stops.
    void Flush();
    // The view is going: the timer stops and what waited is dropped.
    void Stop();

private:
    struct tRow {
        int key;
        std::string name, status, host;
    };
    void Insert(const tRow& row);
    void SetText(int key, const std::string& status);
    void Delete(int key);
    // False when the change is to be done at once (and the pace has begun).
    bool Paced();

    HWND m_owner = nullptr;
    HWND m_view = nullptr;
    UINT_PTR m_timerId;
    UINT m_paceMs;
    bool m_paced = false;
    std::vector<tRow> m_added;         // not yet in the view, in order
    std::map<int, std::string> m_texts; // newest text of rows in the view
    std::set<int> m_removed;           // rows in the view that are to go
};
