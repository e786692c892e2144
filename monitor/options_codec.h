// The texts of the shared options exchange between monitors: the encryption of a plug-in's
// options under the options key, the options text a monitor serves, and the proclamation
// datagram. Pure logic, no sockets.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

// The key every monitor shares (32 hexadecimal digits, AES-128).
extern const char kOptionsKey[];
extern const char kProclamationTag[];
const unsigned short kOptionsRequestPort = 10300;
const unsigned short kProclamationPort = 10301;
const size_t kMaxProclamation = 2048;
// Options texts are small; a peer that announces more is not believed.
const int64_t kMaxOptionsText = 1024 * 1024;

// AES-128 in ECB mode with PKCS #7 padding, as upper-case hexadecimal digits.
std::string EncryptOptions(const std::string& keyHex, const std::string& plain);
// False, with out unchanged, for a key or text that is no hexadecimal, a length that is not a
// whole number of blocks, or padding that does not verify (the mark of a wrong key).
bool DecryptOptions(const std::string& keyHex, const std::string& textHex, std::string& out);

// "name:ENCRYPTED;" for every plug-in with non-empty options, in the given order.
std::string BuildOptionsText(const std::vector<std::pair<std::string, std::string>>& pluginOptions,
                             const std::string& keyHex);
// The entries of an options text, as (name, encrypted data), walked while the rest holds both
// ":" and ";".
std::vector<std::pair<std::string, std::string>> SplitOptionsText(const std::string& text);

// The proclamation datagram: tag, zero byte, id, zero byte.
std::string BuildProclamation(int id);
// The received bytes split at zero bytes into at most three parts (the third is the rest).
std::vector<std::string> SplitProclamation(const uint8_t* data, size_t length);
