#include "LocaleFileCache.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_map>

namespace sham::detail {

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::shared_ptr<const LocaleFile> file;
    fs::file_time_type modified;
    std::uintmax_t size = 0;
};

struct Cache {
    std::mutex mutex;  // guards entries
    std::unordered_map<std::string, Entry> entries;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

std::shared_ptr<const LocaleFile> readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return nullptr;
    }
    auto file = std::make_shared<LocaleFile>();
    file->bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        return nullptr;
    }
    file->document = platform::Value::fromJson(file->bytes);
    return file;
}

}  // namespace

std::shared_ptr<const LocaleFile> cachedLocaleFile(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return nullptr;
    }
    const auto modified = fs::last_write_time(path, error);
    if (error) {
        return nullptr;
    }
    const auto size = fs::file_size(path, error);
    if (error) {
        return nullptr;
    }

    Cache& store = cache();
    std::lock_guard lock(store.mutex);
    const std::string key = path.lexically_normal().string();
    if (auto found = store.entries.find(key);
        found != store.entries.end() && found->second.modified == modified && found->second.size == size) {
        return found->second.file;
    }
    auto file = readFile(path);
    if (file) {
        store.entries[key] = Entry{file, modified, size};
    }
    return file;
}

}  // namespace sham::detail
