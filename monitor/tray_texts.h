// Texts of the tray icon: its tool tip (the product name and a summary line) and the notice
// shown when devices appear or disappear. Pure text work, without windows; the formats come
// from the string table.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// Replaces the first "%s" or "%d" of a format with the text (a name can hold no format).
std::string FormatText(const std::string& format, const std::string& argument);

struct tTipTexts {
    std::string title; // first line: the product name
    std::string none;  // "No device found"
    std::string one;   // "1 device found"
    std::string many;  // "%d devices found"
};
std::string TrayTip(const tTipTexts& texts, size_t devices);

// Which root rows of a plug-in appeared and which disappeared between two updates, by name:
// rows are matched by name, not by id, because a plug-in may number its devices by position
// (a new device shifts the ids of those after it). A name held twice counts twice.
void DiffNames(const std::vector<std::string>& before, const std::vector<std::string>& after,
               std::vector<std::string>& appeared, std::vector<std::string>& gone);

struct tNoticeTexts {
    std::string found; // "Found: %s"
    std::string gone;  // "No longer found: %s"
    std::string more;  // "and %d more"
};
// One line per device, at most `maxLines` lines (the last then sums up the rest); empty when
// nothing changed.
std::string NoticeText(const tNoticeTexts& texts, const std::vector<std::string>& appeared,
                       const std::vector<std::string>& gone, size_t maxLines = 4);
