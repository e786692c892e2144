// Integrity seal of plug-in files. The build appends a seal to every plug-in DLL (the loader
// ignores data behind the last section): the magic "VLMSEAL1", the length of the sealed
// image as a little-endian 64-bit number, and the HMAC-SHA-256 of the image under the suite's
// seal key. The monitor loads only plug-ins whose seal matches, so a modified or truncated
// file is refused. The key lives in the programs; the seal guards against damaged and
// tampered files, not against someone who extracts the key.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "common/raii.h"

const size_t kPluginSealSize = 8 + 8 + 32;
// Plug-ins are small; a file beyond this is refused unread.
const uint64_t kPluginSealMaxFile = 64ull * 1024 * 1024;

// Checks a whole file image (image plus seal) held in memory.
bool CheckPluginSeal(const uint8_t* data, size_t size);
// The seal for an image, for tests and tools.
std::string MakePluginSeal(const uint8_t* image, size_t size);
// Reads the file and checks its seal; false for missing, unreadable or oversized files.
bool VerifyPluginFile(const std::string& path);

// A plug-in file opened for its check and held open, closed to writers, renames and deletes,
// until it has been loaded: loading the same path meanwhile loads the bytes that were checked.
class CCheckedPluginFile {
public:
    // Opens the file and checks its seal through that handle; false (and nothing held) for
    // missing, unreadable, oversized or unsealed files.
    bool Open(const std::string& path);
    void Close() { m_file.Close(); }
    bool IsOpen() const { return m_file.IsValid(); }

private:
    raii::CHandle m_file;
};
