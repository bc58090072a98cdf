#include "kit/core/SecureItemStore.h"

#include "kit/core/KitError.h"
#include "kit/core/KitPaths.h"
#include "platform/Error.h"
#include "platform/OutputFile.h"
#include "platform/Value.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

namespace kit {

namespace fs = std::filesystem;

namespace {

constexpr off_t kLargestFile = 16 << 20;

bool matches(const SecureItemQuery& query, const std::string& account, const std::optional<std::string>& group) {
    return account == query.account && (!query.accessGroup || group == query.accessGroup);
}

// A file name for any service text: bytes other than letters, digits, "-",
// "_" and an inner "." are written as %XX.
std::string encodedName(const std::string& service) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (std::size_t i = 0; i < service.size(); ++i) {
        const auto byte = static_cast<unsigned char>(service[i]);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || (byte == '.' && i > 0);
        if (plain) {
            name.push_back(static_cast<char>(byte));
        } else {
            name.push_back('%');
            name.push_back(kHex[byte >> 4]);
            name.push_back(kHex[byte & 0xF]);
        }
    }
    return name.empty() ? std::string("%") : name;
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

// The items of one service file, as stored.
struct ServiceFile {
    platform::Value::Array items;
    bool unreadable = false;  // there, but not a file of ours
};

int readServiceFile(const fs::path& path, ServiceFile& file) {
    const Descriptor descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (descriptor.get() < 0) {
        return errno == ENOENT ? kSecureItemSuccess : errno;
    }
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kLargestFile) {
        file.unreadable = true;
        return kSecureItemSuccess;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(descriptor.get(), bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return errno;
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    bytes.resize(done);
    const auto parsed = platform::Value::fromPlist(bytes);
    const platform::Value* items = parsed ? parsed->find("items") : nullptr;
    if (items == nullptr || !items->isArray()) {
        file.unreadable = true;
        return kSecureItemSuccess;
    }
    file.items = *items->asArray();
    return kSecureItemSuccess;
}

std::optional<std::string> accessGroupOf(const platform::Value& item) {
    if (const auto* group = item.find("accessGroup"); group != nullptr && group->isString()) {
        return *group->asString();
    }
    return std::nullopt;
}

bool itemMatches(const platform::Value& item, const SecureItemQuery& query) {
    const auto* account = item.find("account");
    return account != nullptr && account->isString() && matches(query, *account->asString(), accessGroupOf(item));
}

// An exclusive flock for one service, held for the object's life.
class ServiceLock {
public:
    explicit ServiceLock(const fs::path& path)
        : descriptor_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (descriptor_.get() < 0) {
            status_ = errno;
            return;
        }
        while (::flock(descriptor_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                status_ = errno;
                return;
            }
        }
    }
    int status() const { return status_; }

private:
    Descriptor descriptor_;
    int status_ = kSecureItemSuccess;
};

}  // namespace

FileSecureItemStore::FileSecureItemStore(fs::path folder) : folder_(std::move(folder)) {}

fs::path FileSecureItemStore::fileForService(const std::string& service) const {
    return folder_ / (encodedName(service) + ".plist");
}

namespace {

int ensurePrivateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder.parent_path(), error);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    // Also for a folder made before, or by someone with a looser umask.
    if (::chmod(folder.c_str(), 0700) != 0) {
        return errno;
    }
    return kSecureItemSuccess;
}

// Under the service's lock: reads the items, lets `edit` change them, and
// writes them back when it answers success.
int modifyService(const fs::path& folder, const fs::path& file, const fs::path& lockFile,
                  const std::function<int(platform::Value::Array&)>& edit) {
    if (const int status = ensurePrivateFolder(folder); status != kSecureItemSuccess) {
        return status;
    }
    const ServiceLock lock(lockFile);
    if (lock.status() != kSecureItemSuccess) {
        return lock.status();
    }
    ServiceFile current;
    if (const int status = readServiceFile(file, current); status != kSecureItemSuccess) {
        return status;
    }
    if (current.unreadable) {
        // Kept for a person to look at; the store starts afresh.
        fs::path aside = file;
        aside += ".corrupt";
        if (::rename(file.c_str(), aside.c_str()) != 0) {
            return errno;
        }
    }
    const int status = edit(current.items);
    if (status != kSecureItemSuccess) {
        return status;
    }
    try {
        platform::Value::Dictionary root;
        root.emplace("items", std::move(current.items));
        const std::string bytes = platform::Value(std::move(root)).toXmlPlist();
        platform::replaceFileAtomically(file, std::as_bytes(std::span(bytes.data(), bytes.size())));
    } catch (const platform::Error& error) {
        const int reason = osErrorNumber(error);
        return reason != 0 ? reason : EIO;
    }
    // The folder is private, so the file was never readable by others while
    // it had the umask's mode.
    if (::chmod(file.c_str(), 0600) != 0) {
        return errno;
    }
    return kSecureItemSuccess;
}

platform::Value newItem(const SecureItemQuery& query, std::span<const std::uint8_t> data) {
    platform::Value::Dictionary item;
    item.emplace("account", query.account);
    if (query.accessGroup) {
        item.emplace("accessGroup", *query.accessGroup);
    }
    item.emplace("data", platform::Value::Data(data.begin(), data.end()));
    return platform::Value(std::move(item));
}

}  // namespace

int FileSecureItemStore::copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) {
    // Files are replaced whole, so a read needs no lock.
    ServiceFile current;
    if (const int status = readServiceFile(fileForService(query.service), current); status != kSecureItemSuccess) {
        return status;
    }
    for (const auto& item : current.items) {
        if (itemMatches(item, query)) {
            const auto* bytes = item.find("data");
            if (bytes != nullptr && bytes->isData()) {
                data = *bytes->asData();
                return kSecureItemSuccess;
            }
        }
    }
    return kSecureItemNotFound;
}

int FileSecureItemStore::add(const SecureItemQuery& query, std::span<const std::uint8_t> data) {
    const fs::path file = fileForService(query.service);
    return modifyService(folder_, file, folder_ / (encodedName(query.service) + ".lock"),
                         [&](platform::Value::Array& items) {
                             if (std::any_of(items.begin(), items.end(),
                                             [&](const platform::Value& item) { return itemMatches(item, query); })) {
                                 return kSecureItemDuplicate;
                             }
                             items.push_back(newItem(query, data));
                             return kSecureItemSuccess;
                         });
}

int FileSecureItemStore::update(const SecureItemQuery& query, std::span<const std::uint8_t> data) {
    const fs::path file = fileForService(query.service);
    return modifyService(folder_, file, folder_ / (encodedName(query.service) + ".lock"),
                         [&](platform::Value::Array& items) {
                             bool found = false;
                             for (auto& item : items) {
                                 if (itemMatches(item, query)) {
                                     (*item.asDictionary())["data"] = platform::Value::Data(data.begin(), data.end());
                                     found = true;
                                 }
                             }
                             return found ? kSecureItemSuccess : kSecureItemNotFound;
                         });
}

int FileSecureItemStore::remove(const SecureItemQuery& query) {
    const fs::path file = fileForService(query.service);
    return modifyService(
        folder_, file, folder_ / (encodedName(query.service) + ".lock"), [&](platform::Value::Array& items) {
            const auto before = items.size();
            std::erase_if(items, [&](const platform::Value& item) { return itemMatches(item, query); });
            return items.size() == before ? kSecureItemNotFound : kSecureItemSuccess;
        });
}

int InMemorySecureItemStore::copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) {
    std::lock_guard lock(mutex_);
    for (const auto& item : items_) {
        if (item.service == query.service && matches(query, item.account, item.accessGroup)) {
            data = item.data;
            return kSecureItemSuccess;
        }
    }
    return kSecureItemNotFound;
}

int InMemorySecureItemStore::add(const SecureItemQuery& query, std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    for (const auto& item : items_) {
        if (item.service == query.service && matches(query, item.account, item.accessGroup)) {
            return kSecureItemDuplicate;
        }
    }
    items_.push_back({query.service, query.account, query.accessGroup, {data.begin(), data.end()}});
    return kSecureItemSuccess;
}

int InMemorySecureItemStore::update(const SecureItemQuery& query, std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    bool found = false;
    for (auto& item : items_) {
        if (item.service == query.service && matches(query, item.account, item.accessGroup)) {
            item.data.assign(data.begin(), data.end());
            found = true;
        }
    }
    return found ? kSecureItemSuccess : kSecureItemNotFound;
}

int InMemorySecureItemStore::remove(const SecureItemQuery& query) {
    std::lock_guard lock(mutex_);
    const auto before = items_.size();
    std::erase_if(items_, [&](const Item& item) {
        return item.service == query.service && matches(query, item.account, item.accessGroup);
    });
    return items_.size() == before ? kSecureItemNotFound : kSecureItemSuccess;
}

std::shared_ptr<SecureItemStore> defaultSecureItemStore() {
    return std::make_shared<FileSecureItemStore>(kitDataDirectory() / "secure-items");
}

}  // namespace kit
