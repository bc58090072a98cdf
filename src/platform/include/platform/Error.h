#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace platform {

// The one error that generators and writers throw: a domain naming the
// component ("XLSXGenerator", "PDFGeneration", "OutputFile", …), a code, and
// a message fit to show the user.
class Error : public std::runtime_error {
public:
    Error(std::string domain, int code, const std::string& message)
        : std::runtime_error(message), domain_(std::move(domain)), code_(code) {}

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }

private:
    std::string domain_;
    int code_;
};

// An error about `path` carrying the OS reason for `errorNumber`.
Error systemError(std::string domain, const std::string& what, const std::filesystem::path& path,
                  int errorNumber);

}  // namespace platform
