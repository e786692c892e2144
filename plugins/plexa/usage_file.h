// condata.csv, the usage records waiting for their upload, one line each. Records are appended
// with 64-bit file positions, so a file past 4 GiB still grows at its end, and the file is kept
// below a size cap: when a record would take it past the cap, the oldest records (whole lines
// from the start) are dropped until the file holds at most three quarters of the cap. A
// collector whose uploads keep failing thus keeps the newest records and never fills the disk.
#pragma once

#include <stdint.h>

#include <string>

// 4 MiB: some 25,000 records, years of the default hourly check.
const uint64_t kUsageFileCap = 4 * 1024 * 1024;

// Appends one record (its line ending included). The file is opened for this one record with
// read and write access and no sharing, and created when missing. False when the file cannot
// be opened or written: the record is lost.
bool AppendUsageRecord(const std::string& path, const std::string& line, uint64_t cap = kUsageFileCap);
