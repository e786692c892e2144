// The encryption of the shared options exchange: a plug-in's options under the options key,
// and the options text a monitor serves. The texts themselves are in options_text.h.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "monitor/options_text.h"

// The key every monitor shares (32 hexadecimal digits, AES-128).
extern const char kOptionsKey[];

// AES-128 in ECB mode with PKCS #7 padding, as upper-case hexadecimal digits.
std::string EncryptOptions(const std::string& keyHex, const std::string& plain);
// False, with out unchanged, for a key or text that is no hexadecimal, a length that is not a
// whole number of blocks, or padding that does not verify (the mark of a wrong key).
bool DecryptOptions(const std::string& keyHex, const std::string& textHex, std::string& out);

// "name:ENCRYPTED;" for every plug-in with non-empty options, in the given order.
std::string BuildOptionsText(const std::vector<std::pair<std::string, std::string>>& pluginOptions,
                             const std::string& keyHex);
