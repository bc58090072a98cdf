#include "platform/UserDefaults.h"

#include "platform/Bundle.h"
#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/InputFile.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <exception>
#include <list>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSubsystem = "org.stubforge.platform";
constexpr const char* kCategory = "UserDefaults";
// Far beyond any settings file; a larger one is not read at all.
constexpr std::uint64_t kMaxSuiteFileBytes = 16 << 20;

// What identifies one version of the file on disk.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identify(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_size,
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

struct SuiteFileContents {
    Value::Dictionary values;
    bool unreadable = false;  // the file exists but holds no settings we can read
};

// Never throws: whatever cannot be read is logged and reads as no settings.
SuiteFileContents readSuiteFile(const fs::path& path, LogSink& log) {
    std::string bytes;
    try {
        bytes = InputFile(path, "settings file").readAll(kMaxSuiteFileBytes);
    } catch (const Error& error) {
        if (posixReason(error) == ENOENT) {
            return {};  // removed since we looked
        }
        log.log(kSubsystem, kCategory, LogType::error, std::string(error.what()) + "; using the default settings");
        return {{}, true};
    }
    if (bytes.empty()) {
        return {};
    }
    auto parsed = Value::fromPlist(bytes);
    if (!parsed || !parsed->isDictionary()) {
        log.log(kSubsystem, kCategory, LogType::error,
                "Could not read settings file \"" + path.string() +
                    "\": not a property list holding a dictionary; using the default settings");
        return {{}, true};
    }
    return {std::move(*parsed->asDictionary()), false};
}

// An advisory lock on <file>.lock, so that processes sharing a suite do not
// interleave their read-modify-write cycles. A write that cannot take it
// fails rather than risk losing another process's change.
class FileLock {
public:
    explicit FileLock(const fs::path& file) {
        const fs::path lockPath = file.string() + ".lock";
        descriptor_.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
        if (!descriptor_) {
            throw systemError(UserDefaultsError::couldNotLock, "Could not lock the settings with", lockPath, errno);
        }
        int result = 0;
        while ((result = ::flock(descriptor_.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            throw systemError(UserDefaultsError::couldNotLock, "Could not lock the settings with", lockPath, errno);
        }
    }

private:
    UniqueFd descriptor_;
};

// The current UTC time as 20250102T030405Z, for the names of files kept aside.
std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// Renames `from` to `to` unless `to` exists.
int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // File systems without renameat2: we hold the suite's lock, and no one
    // else makes names like ours.
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// Keeps an unreadable suite file as <file>.corrupt-<stamp> (then _2, _3, …);
// throws when it cannot, so that a write never replaces it.
void moveAside(const fs::path& path, LogSink& log) {
    const std::string stem = path.string() + ".corrupt-" + utcStamp();
    for (int n = 1; n <= 100; ++n) {
        const fs::path kept = n == 1 ? fs::path(stem) : fs::path(stem + "_" + std::to_string(n));
        if (renameWithoutReplacing(path, kept) == 0) {
            log.log(kSubsystem, kCategory, LogType::notice,
                    "Kept the unreadable settings file \"" + path.string() + "\" as \"" + kept.string() + "\"");
            return;
        }
        if (errno == ENOENT) {
            return;  // gone already: nothing left to keep
        }
        if (errno != EEXIST) {
            break;
        }
    }
    throw systemError(UserDefaultsError::couldNotKeepAside, "Could not keep aside the unreadable settings file", path,
                      errno);
}

struct PendingNotification {
    std::string key;
    std::optional<Value> value;
};

}  // namespace

namespace {

// One observer. Calls hold `mutex`, and reset() takes it too, so once reset()
// returns no call is running or will start. It is recursive so that an
// observer can reset its own observation from inside the call.
struct ObserverEntry {
    ObserverEntry(std::string observedKey, UserDefaults::Observer function)
        : key(std::move(observedKey)), observer(std::move(function)) {}

    const std::string key;
    std::recursive_mutex mutex;
    bool alive = true;  // guarded by mutex
    UserDefaults::Observer observer;
};

}  // namespace

struct UserDefaults::Observation::Link {
    std::weak_ptr<UserDefaults::Suite> suite;
    std::uint64_t id = 0;
    std::shared_ptr<ObserverEntry> entry;
};

struct UserDefaults::Suite {
    explicit Suite(fs::path file) : path(std::move(file)) {}

    const fs::path path;
    std::mutex mutex;  // guards every field below
    Value::Dictionary values;
    FileIdentity identity;
    bool loaded = false;
    bool unreadable = false;  // the file on disk could not be read; a write keeps it aside first
    std::uint64_t nextObserverId = 1;
    std::map<std::uint64_t, std::shared_ptr<ObserverEntry>> observers;

    // With mutex held: re-reads the file when it changed, collecting what differs.
    // Each version of the file is read (and a failure logged) once.
    void refresh(std::vector<PendingNotification>& changes, LogSink& log) {
        const FileIdentity current = identify(path);
        if (loaded && current == identity) {
            return;
        }
        SuiteFileContents fresh = current.exists ? readSuiteFile(path, log) : SuiteFileContents{};
        if (loaded) {
            diff(values, fresh.values, changes);
        }
        values = std::move(fresh.values);
        unreadable = fresh.unreadable;
        identity = current;
        loaded = true;
    }

    static void diff(const Value::Dictionary& before, const Value::Dictionary& after,
                     std::vector<PendingNotification>& changes) {
        for (const auto& [key, value] : before) {
            const auto found = after.find(key);
            if (found == after.end()) {
                changes.push_back({key, std::nullopt});
            } else if (!(found->second == value)) {
                changes.push_back({key, found->second});
            }
        }
        for (const auto& [key, value] : after) {
            if (!before.contains(key)) {
                changes.push_back({key, value});
            }
        }
    }

    // Applies `edit` to the values and writes the file, under both locks.
    // When the edit or the write fails, what the refresh picked up from disk
    // is still announced before the error goes on.
    template <typename Edit>
    void modify(Edit edit, LogSink& log) {
        std::vector<PendingNotification> changes;
        std::exception_ptr failure;
        {
            std::lock_guard lock(mutex);
            std::error_code error;
            fs::create_directories(path.parent_path(), error);
            if (error) {
                log.log(
                    kSubsystem, kCategory, LogType::error,
                    "Could not create the settings folder \"" + path.parent_path().string() + "\": " + error.message());
            }
            FileLock fileLock(path);
            refresh(changes, log);
            try {
                if (unreadable) {
                    moveAside(path, log);
                    unreadable = false;
                }
                Value::Dictionary edited = values;
                edit(edited);
                const std::string bytes = Value(edited).toXmlPlist();
                replaceFileAtomically(path, std::as_bytes(std::span(bytes.data(), bytes.size())));
                diff(values, edited, changes);
                values = std::move(edited);
                identity = identify(path);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        notify(changes);
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    void notify(const std::vector<PendingNotification>& changes) {
        if (changes.empty()) {
            return;
        }
        std::vector<std::shared_ptr<ObserverEntry>> listeners;
        {
            std::lock_guard lock(mutex);
            for (const auto& [id, entry] : observers) {
                listeners.push_back(entry);
            }
        }
        // Called without the suite lock, so observers may use the defaults.
        for (const auto& change : changes) {
            for (const auto& entry : listeners) {
                if (entry->key != change.key) {
                    continue;
                }
                std::lock_guard call(entry->mutex);
                if (entry->alive) {
                    entry->observer(change.key, change.value ? &*change.value : nullptr);
                }
            }
        }
    }
};

namespace {

// Never destroyed, like the standard suite: threads still running while the
// process exits may open a suite.
struct SuiteRegistry {
    std::mutex mutex;
    std::map<fs::path, std::weak_ptr<UserDefaults::Suite>> suites;  // guarded by mutex
};

std::shared_ptr<UserDefaults::Suite> suiteFor(const fs::path& file) {
    static auto* registry = new SuiteRegistry;
    std::lock_guard lock(registry->mutex);
    auto& slot = registry->suites[file];
    if (auto existing = slot.lock()) {
        return existing;
    }
    auto created = std::make_shared<UserDefaults::Suite>(file);
    slot = created;
    return created;
}

}  // namespace

UserDefaults::Observation::Observation(Observation&& other) noexcept : link_(std::move(other.link_)) {}

UserDefaults::Observation& UserDefaults::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        link_ = std::move(other.link_);
    }
    return *this;
}

UserDefaults::Observation::~Observation() { reset(); }

void UserDefaults::Observation::reset() {
    if (!link_) {
        return;
    }
    const std::shared_ptr<Link> link = std::move(link_);
    {
        // Waits for a call in flight on another thread.
        std::lock_guard call(link->entry->mutex);
        link->entry->alive = false;
    }
    if (auto suite = link->suite.lock()) {
        std::lock_guard lock(suite->mutex);
        suite->observers.erase(link->id);
    }
}

UserDefaults::UserDefaults(std::string suiteName, LogSink& log)
    : UserDefaults(std::move(suiteName), paths::settingsFolder(), log) {}

UserDefaults::UserDefaults(std::string suiteName, fs::path folder, LogSink& log)
    : suiteName_(std::move(suiteName)), suite_(suiteFor(folder / (suiteName_ + ".plist"))), log_(&log) {
    if (suiteName_.empty() || suiteName_.find('/') != std::string::npos) {
        throw Error(UserDefaultsError::invalidSuiteName, "Invalid settings suite name \"" + suiteName_ + "\"");
    }
}

UserDefaults::~UserDefaults() = default;

// Never destroyed: every write reaches the file at once, and the kit's
// queues may still read and write settings while the process exits.
UserDefaults& UserDefaults::standard() {
    static auto* defaults = new UserDefaults(standardSuiteName(Bundle::main()));
    return *defaults;
}

std::string UserDefaults::standardSuiteName(const Bundle& bundle) {
    std::string identifier = bundle.bundleIdentifier();
    return identifier.empty() ? std::string("org.stubforge.Stubforge") : identifier;
}

fs::path UserDefaults::filePath() const { return suite_->path; }

std::optional<Value> UserDefaults::object(std::string_view key) const {
    std::vector<PendingNotification> changes;
    std::optional<Value> result;
    {
        std::lock_guard lock(suite_->mutex);
        suite_->refresh(changes, *log_);
        if (const auto found = suite_->values.find(key); found != suite_->values.end()) {
            result = found->second;
        }
    }
    suite_->notify(changes);
    return result;
}

bool UserDefaults::boolForKey(std::string_view key) const {
    const auto value = object(key);
    if (!value) {
        return false;
    }
    if (auto flag = value->asBool()) {
        return *flag;
    }
    if (auto number = value->asInteger()) {
        return *number != 0;
    }
    if (const auto* text = value->asString()) {
        return *text == "YES" || *text == "true" || *text == "1";
    }
    return false;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
    const auto value = object(key);
    if (!value) {
        return 0;
    }
    if (auto flag = value->asBool()) {
        return *flag ? 1 : 0;
    }
    return value->asInteger().value_or(0);
}

double UserDefaults::doubleForKey(std::string_view key) const {
    const auto value = object(key);
    return value ? value->asDouble().value_or(0.0) : 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    const auto value = object(key);
    if (value && value->isString()) {
        return *value->asString();
    }
    return std::nullopt;
}

std::optional<Value::Data> UserDefaults::dataForKey(std::string_view key) const {
    const auto value = object(key);
    if (value && value->isData()) {
        return *value->asData();
    }
    return std::nullopt;
}

Value::Dictionary UserDefaults::dictionaryRepresentation() const {
    std::vector<PendingNotification> changes;
    Value::Dictionary copy;
    {
        std::lock_guard lock(suite_->mutex);
        suite_->refresh(changes, *log_);
        copy = suite_->values;
    }
    suite_->notify(changes);
    return copy;
}

void UserDefaults::set(std::string_view key, Value value) {
    if (value.isNull()) {
        removeObject(key);
        return;
    }
    suite_->modify([&](Value::Dictionary& values) { values.insert_or_assign(std::string(key), std::move(value)); },
                   *log_);
}

void UserDefaults::removeObject(std::string_view key) {
    suite_->modify(
        [&](Value::Dictionary& values) {
            if (const auto found = values.find(key); found != values.end()) {
                values.erase(found);
            }
        },
        *log_);
}

void UserDefaults::removeAll() {
    suite_->modify([](Value::Dictionary& values) { values.clear(); }, *log_);
}

void UserDefaults::synchronize() {
    std::vector<PendingNotification> changes;
    {
        std::lock_guard lock(suite_->mutex);
        suite_->refresh(changes, *log_);
    }
    suite_->notify(changes);
}

UserDefaults::Observation UserDefaults::observe(std::string key, Observer observer) {
    Observation observation;
    observation.link_ = std::make_shared<Observation::Link>();
    observation.link_->suite = suite_;
    std::lock_guard lock(suite_->mutex);
    // Load now so that later reloads report changes against what we saw.
    std::vector<PendingNotification> ignored;
    suite_->refresh(ignored, *log_);
    observation.link_->id = suite_->nextObserverId++;
    observation.link_->entry = std::make_shared<ObserverEntry>(std::move(key), std::move(observer));
    suite_->observers.emplace(observation.link_->id, observation.link_->entry);
    return observation;
}

}  // namespace platform
