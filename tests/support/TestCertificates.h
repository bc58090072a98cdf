#pragma once

// A throwaway CA and a server certificate signed by it, made with the
// openssl command in a directory of the test's own.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::testing {

struct TestCertificates {
    std::filesystem::path caFile;           // the CA's certificate
    std::filesystem::path certificateFile;  // the server's, for `hosts`
    std::filesystem::path privateKeyFile;   // the server's key
};

// `hosts` become DNS names of the server certificate; 127.0.0.1 is always an
// IP name of it.
inline TestCertificates makeTestCertificates(const std::filesystem::path& directory,
                                             const std::vector<std::string>& hosts) {
    const auto in = [&](const char* name) { return (directory / name).string(); };
    std::string names = "IP:127.0.0.1";
    for (const std::string& host : hosts) {
        names += ",DNS:" + host;
    }
    {
        std::FILE* extensions = std::fopen(in("server.ext").c_str(), "w");
        if (extensions == nullptr) {
            throw std::runtime_error("cannot write server.ext");
        }
        std::fprintf(extensions, "subjectAltName=%s\nbasicConstraints=CA:FALSE\n", names.c_str());
        std::fclose(extensions);
    }
    const std::vector<std::string> commands = {
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + in("ca.key") + "' -out '" + in("ca.pem") +
            "' -days 2 -subj '/CN=Stubforge Test CA' -addext basicConstraints=critical,CA:TRUE"
            " -addext keyUsage=critical,keyCertSign,cRLSign",
        "openssl req -newkey rsa:2048 -nodes -keyout '" + in("server.key") + "' -out '" + in("server.csr") +
            "' -subj '/CN=" + (hosts.empty() ? std::string("127.0.0.1") : hosts.front()) + "'",
        "openssl x509 -req -in '" + in("server.csr") + "' -CA '" + in("ca.pem") + "' -CAkey '" + in("ca.key") +
            "' -CAcreateserial -out '" + in("server.pem") + "' -days 2 -extfile '" + in("server.ext") + "'",
    };
    for (const std::string& command : commands) {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
            throw std::runtime_error("failed: " + command);
        }
    }
    return {directory / "ca.pem", directory / "server.pem", directory / "server.key"};
}

}  // namespace platform::testing
