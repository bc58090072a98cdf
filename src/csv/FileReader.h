#pragma once

#include "csv/Messages.h"
#include "platform/InputFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

namespace csv::detail {

static_assert(platform::InputFile::kNotRegularFile == messages::kNotRegularFile);

// A regular file open for reading; failures, and paths that are not regular
// files, throw platform::Error (domain "CSV") naming the file and the reason.
class FileReader {
public:
    explicit FileReader(std::filesystem::path path) : file_(std::move(path), "CSV") {}

    // Appends up to `count` bytes to `buffer`; false once the end is reached.
    bool read(std::string& buffer, std::size_t count) { return file_.read(buffer, count); }
    std::string readAll() { return file_.readAll(std::numeric_limits<std::uint64_t>::max()); }

private:
    platform::InputFile file_;
};

}  // namespace csv::detail
