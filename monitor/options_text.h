// The texts of the shared options exchange that need no cryptography: the options text a
// monitor serves (split into its entries) and the proclamation datagram. Pure logic without
// windows.h, fuzzed natively (tests/fuzz).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

extern const char kProclamationTag[];
const unsigned short kOptionsRequestPort = 10300;
const unsigned short kProclamationPort = 10301;
const size_t kMaxProclamation = 2048;
// Options texts are small; a peer that announces more is not believed.
const int64_t kMaxOptionsText = 1024 * 1024;
// A monitor has four plug-ins: a text of more entries is not a monitor's, and each entry
// costs a decryption. The entries after these are ignored.
const size_t kMaxOptionsEntries = 32;

// The entries of an options text, as (name, encrypted data), walked while the rest holds both
// ":" and ";", at most kMaxOptionsEntries of them.
std::vector<std::pair<std::string, std::string>> SplitOptionsText(const std::string& text);

// The proclamation datagram: tag, zero byte, id (SendDatagram adds the closing zero byte).
std::string BuildProclamation(int id);
// The received bytes split at zero bytes into at most three parts (the third is the rest).
std::vector<std::string> SplitProclamation(const uint8_t* data, size_t length);
