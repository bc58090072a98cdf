#pragma once

#include "csv/CSVParseError.h"
#include "csv/Messages.h"
#include "platform/Error.h"
#include "platform/InputFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

namespace csv::detail {

static_assert(platform::InputFile::kNotRegularFile == messages::kNotRegularFile);

// The file's error as the reader's, with the file's error underneath.
template <typename Action>
auto inCSVDomain(Action action) {
    try {
        return action();
    } catch (const platform::Error& error) {
        CSVFileError code = CSVFileError::couldNotRead;
        if (error.is(platform::InputFileError::couldNotOpen)) {
            code = CSVFileError::couldNotOpen;
        } else if (error.is(platform::InputFileError::notRegularFile)) {
            code = CSVFileError::notRegularFile;
        }
        throw platform::Error(code, error.what(), error);
    }
}

// A regular file open for reading; failures, and paths that are not regular
// files, throw platform::Error (CSVFileError) naming the file and the reason,
// with the file's own error underneath.
class FileReader {
public:
    explicit FileReader(std::filesystem::path path) : file_(inCSVDomain([&] { return platform::InputFile(path); })) {}

    // Appends up to `count` bytes to `buffer`; false once the end is reached.
    bool read(std::string& buffer, std::size_t count) {
        return inCSVDomain([&] { return file_.read(buffer, count); });
    }
    std::string readAll() {
        return inCSVDomain([&] { return file_.readAll(std::numeric_limits<std::uint64_t>::max()); });
    }

private:
    platform::InputFile file_;
};

}  // namespace csv::detail
