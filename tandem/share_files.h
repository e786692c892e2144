// The local side of sharing: where a share path from a peer leads in this computer's file
// system, what a shared folder holds, and where a download may be written. Everything a peer
// names is checked twice: by the rules for names (protocol.h), and by where the system's own
// canonical form of the path ends up.
#pragma once

#include <string>

#include "common/parseini.h"
#include "common/sockets.h"

// The settings section whose keys are share names and whose values are local folders.
extern const char kSharesSection[];

// True when the canonical form of path is the folder itself or lies below it.
bool IsInsideFolder(const std::string& folder, const std::string& path);

// The local path a share path names ("\share\folder\file"), or false when the share is
// unknown, the path could leave its folder, or its canonical form lies outside the share.
bool MapSharePath(const utilcpp::CParseini& settings, const std::string& sharePath, std::string& local);

// The listing of the root: every share name, trimmed, as a folder.
std::string ListShares(const utilcpp::CParseini& settings);
// The listing of a local folder (with or without trailing "\"), in the order the file system
// gives; at most kListingEntryLimit entries. Stops early when cancelled.
std::string ListFolder(const std::string& folder, const tCancelFlag& cancel);

bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
// Creates every missing folder of the folder part of a file path (up to its last "\").
bool CreateParentFolders(const std::string& filePath);

// Where a file of a folder download goes: the chosen folder joined with the file's path
// relative to it, refused when a part of it is no plain name or the result would lie outside
// the chosen folder.
bool BuildDownloadTarget(const std::string& folder, const std::string& relative, std::string& out);
