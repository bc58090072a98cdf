#pragma once

#include <string>
#include <string_view>

// What the driver prints. Standard output carries a command's result and
// nothing else; notices and refusals go to standard error.
namespace driver {

// Writes `text` to standard output and flushes it. 0 when all of it got
// out; otherwise says so on standard error and gives 1, so a caller never
// takes a lost result for success.
int writeResult(std::string_view text);

// A line on standard error; gives `status` back.
int complain(std::string_view line, int status);

// The usage of one command ("generate", "sample", "csv-header") or, for an
// empty name, of them all; for --help also the names each option accepts.
std::string usage(std::string_view command, bool withNames);

// A misused command's usage on standard error, and status 2.
int usageError(std::string_view command);

}  // namespace driver
