#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace csv::detail {

// A regular file open for reading; failures, and paths that are not regular
// files, throw platform::Error (domain "CSV") naming the file and the reason.
class FileReader {
public:
    explicit FileReader(std::filesystem::path path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Appends up to `count` bytes to `buffer`; false once the end is reached.
    bool read(std::string& buffer, std::size_t count);
    std::string readAll();

private:
    void closeDescriptor();

    std::filesystem::path path_;
    int descriptor_ = -1;
};

}  // namespace csv::detail
