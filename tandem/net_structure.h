// The picture of the sharing network the main window shows: known hosts, each with a browse
// tree of its shares, folders and files as far as they have been listed, and hosts the user
// refused a moment ago. Called on the user-interface thread only, so it takes no lock. The
// folder tree view is reached through ITreeView, so the model runs without a window.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tandem/protocol.h"

enum HostKind {
    HOST_LOCAL = 0,     // this computer, 127.0.0.1
    HOST_ANNOUNCED = 1, // heard on the LAN
    HOST_ADDED = 2,     // typed in by the user, or admitted to a download
};

// Images of the folder tree's 16-pixel image list.
enum {
    TREE_IMAGE_FOLDER_NEW = 0,
    TREE_IMAGE_FOLDER = 1,
    TREE_IMAGE_FOLDER_SELECTED = 2,
    TREE_IMAGE_ANNOUNCED_HOST = 4,
    TREE_IMAGE_LOCAL_HOST = 5,
    TREE_IMAGE_SHARE = 6,
    TREE_IMAGE_ADDED_HOST = 9,
};

// A tree-view item handle (an HTREEITEM in the window); 0 is none, and as a parent the root.
typedef uintptr_t tTreeItem;

// The folder tree as the model needs it. The window implements it over its tree-view control.
class ITreeView {
public:
    virtual tTreeItem InsertItem(tTreeItem parent, const std::string& text, int image,
                                 int selectedImage, void* data) = 0;
    virtual void DeleteItem(tTreeItem item) = 0;
    virtual void SetItemText(tTreeItem item, const std::string& text) = 0;
    virtual void SetItemImage(tTreeItem item, int image, int selectedImage) = 0;
    virtual void Repaint() = 0;

protected:
    ~ITreeView() = default;
};

// A node of a host's browse tree: the host root, a share, a folder or a file. Owns its
// children; folders and shares (never files) have an item in the folder tree.
class ShareNode {
public:
    ShareNode(const std::atomic<bool>& stop, ShareNode* parent, uint32_t hostAddress, ShareItem item,
              ITreeView* tree);
    // Destroys the children first, then the tree item, unless the program is shutting down
    // (the tree control then goes as a whole).
    ~ShareNode();
    ShareNode(const ShareNode&) = delete;
    ShareNode& operator=(const ShareNode&) = delete;

    const ShareItem& Item() const { return m_item; }
    ShareNode* Parent() const { return m_parent; }
    uint32_t HostAddress() const { return m_hostAddress; }
    tTreeItem TreeItem() const { return m_treeItem; }
    const std::vector<std::unique_ptr<ShareNode>>& Children() const { return m_children; }

    bool IsHostRoot() const { return m_parent == nullptr; }
    bool IsShare() const { return m_parent && m_parent->m_parent == nullptr; }
    bool Requested() const { return m_requested != 0; }
    void SetRequested(bool requested) { m_requested = requested ? 1 : 0; }

    // The share path sent in requests: "\" for a host root, "\music\live\" for a folder,
    // "\music\live\a.mp3" for a file.
    std::string GetPath() const;
    // The node the path names below (and including) this one, or null.
    ShareNode* FindNode(const std::string& path);
    // Replaces the children with the items of a listing.
    void SetChildren(const std::vector<ShareItem>& items);
    // Removes the first child of that name; false when there is none.
    bool RemoveChild(const std::string& name);

    // Only for host roots, whose item name stays empty while the tree shows the host's name.
    void CreateTreeItem(tTreeItem parent, const std::string& text, int image, int selectedImage);
    void SetTreeText(const std::string& text);

private:
    const std::atomic<bool>& m_stop;
    unsigned char m_requested = 0;
    ShareNode* m_parent;
    uint32_t m_hostAddress;
    ShareItem m_item;
    ITreeView* m_tree;
    tTreeItem m_treeItem = 0;
    std::vector<std::unique_ptr<ShareNode>> m_children;
};

struct HostEntry {
    HostKind kind = HOST_ANNOUNCED;
    uint32_t address = 0; // network byte order
    std::string name;
    std::unique_ptr<ShareNode> root;
};

class CNetStructure {
public:
    // tree may be null: the model then keeps no tree items (console hosts, tests).
    CNetStructure(const std::atomic<bool>& stop, ITreeView* tree);
    ~CNetStructure();
    CNetStructure(const CNetStructure&) = delete;
    CNetStructure& operator=(const CNetStructure&) = delete;

    // Appends a host without looking for an existing entry (callers look first). An empty
    // name shows the address.
    ShareNode* AddHost(uint32_t address, const std::string& name, HostKind kind);
    bool FindHost(uint32_t address, size_t& index) const;
    size_t GetHostCount() const { return m_hosts.size(); }
    HostKind GetHostKind(size_t index) const { return m_hosts[index].kind; }
    uint32_t GetHostAddress(size_t index) const { return m_hosts[index].address; }
    std::string GetHostName(size_t index) const { return m_hosts[index].name; }
    ShareNode* GetHostRoot(size_t index) const { return m_hosts[index].root.get(); }
    void RemoveHost(uint32_t address);
    void RenameHost(size_t index, const std::string& name);

    // Stores a listing at the node the path names; the node, or null when it is unknown.
    ShareNode* SetChildren(uint32_t address, const std::string& path, const std::vector<ShareItem>& items);
    ShareNode* FindNode(uint32_t address, const std::string& path) const;
    // Removes a share of a host (the local host's, when the user removes a share).
    bool RemoveChild(uint32_t address, const std::string& name);

    // Hosts the user refused a download: refused silently for as long as they keep asking,
    // forgotten after 10 s of silence.
    void AddUnwantedHost(uint32_t address);
    bool IsHostUnwanted(uint32_t address);

    // Milliseconds of a wrapping 32-bit clock; tests replace it.
    void SetClock(std::function<uint32_t()> clock) { m_clock = std::move(clock); }

private:
    const std::atomic<bool>& m_stop;
    ITreeView* m_tree;
    std::vector<HostEntry> m_hosts;
    std::vector<std::pair<uint32_t, uint32_t>> m_unwanted; // address, time stamp
    std::function<uint32_t()> m_clock;
};

// Order of the file list: folders before files ascending, then by name (sortKey 0, byte-wise)
// or size (sortKey 1); descending is the exact reverse. True when a goes before b.
bool ShareItemLess(const ShareItem& a, const ShareItem& b, int sortKey, bool ascending);
// Three-way form of the same order, for list-view comparison callbacks.
int CompareShareItems(const ShareItem& a, const ShareItem& b, int sortKey, bool ascending);
