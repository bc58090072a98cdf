#pragma once

#include <span>
#include <string_view>

// One function per driver subcommand; each gets the arguments after its
// name and returns the process exit status.
namespace driver {

int runSample(std::span<const std::string_view> arguments);
int runGenerate(std::span<const std::string_view> arguments);
int runCsvHeader(std::span<const std::string_view> arguments);

}  // namespace driver
