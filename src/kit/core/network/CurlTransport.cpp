#include "kit/core/network/CurlTransport.h"

#include "platform/URL.h"
#include "platform/concurrency/SerialQueue.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kit {

namespace {

using Clock = std::chrono::steady_clock;

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

bool isHttpUrl(std::string_view url) {
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view scheme = url.substr(0, colon);
    return equalsIgnoringCase(scheme, "http") || equalsIgnoringCase(scheme, "https");
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

struct EasyDeleter {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

platform::Error transportError(int code, const std::string& text) {
    return platform::Error(std::string(kLMUNetworkTransportErrorDomain), code, text);
}

// One request with its hops, owned by the network thread once queued.
struct Transfer {
    TransportRequest request;
    CurlTransport::Completion completion;
    Clock::time_point deadline;
    int hops = 0;
    EasyHandle easy;
    HeaderList headers;
    std::vector<std::uint8_t> data;
    HTTPHeaderFields responseHeaders;
    bool tooLarge = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

std::size_t writeBody(char* bytes, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    const std::size_t limit = std::min(transfer.request.maximumBodySize, kMaximumResponseBodySize);
    if (transfer.data.size() + length > limit) {
        transfer.tooLarge = true;
        return 0;
    }
    if (transfer.data.size() + length > transfer.data.capacity()) {
        // Doubling, but never past the limit: a body near it costs the limit.
        transfer.data.reserve(std::min(limit, std::max(transfer.data.size() + length, 2 * transfer.data.capacity())));
    }
    transfer.data.insert(transfer.data.end(), bytes, bytes + length);
    return length;
}

std::size_t writeHeader(char* bytes, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    const std::string_view line(bytes, length);
    if (line.starts_with("HTTP/")) {
        // A new answer (after an interim 1xx): only the last one's fields count.
        transfer.responseHeaders.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer.responseHeaders.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    return length;
}

}  // namespace

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view name) const {
    for (const auto& [field, value] : allHeaderFields) {
        if (equalsIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

namespace {

// The core whose network thread the calling thread is, if any.
thread_local const void* networkThreadCore = nullptr;

}  // namespace

struct CurlTransport::Core final : platform::Stoppable {
    explicit Core(TransportOptions transportOptions) : options(std::move(transportOptions)) {
        initialiseCurlOnce();
        multi = curl_multi_init();
        for (const std::string& entry : options.connectTo) {
            curl_slist* appended = curl_slist_append(connectTo.get(), entry.c_str());
            if (appended != nullptr) {
                connectTo.release();
                connectTo.reset(appended);
            }
        }
    }
    ~Core() {
        for (auto& [easy, transfer] : active) {
            curl_multi_remove_handle(multi, easy);
        }
        active.clear();
        curl_multi_cleanup(multi);
    }

    const TransportOptions options;
    HeaderList connectTo;
    CURLM* multi = nullptr;

    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> incoming;  // guarded by mutex
    bool stopping = false;                           // guarded by mutex
    bool halted = false;                             // guarded by mutex; stopped by stopAllWork until the next start
    std::mutex joinMutex;                            // taken around joining or detaching `thread`
    std::thread thread;                              // started under mutex by the first transfer after a stop

    std::map<CURL*, std::unique_ptr<Transfer>> active;  // network thread only

    void run();
    void stopAndJoin() override;
    bool configure(Transfer& transfer);
    void begin(std::unique_ptr<Transfer> transfer);
    void finished(CURL* easy, CURLcode code);
};

bool CurlTransport::Core::configure(Transfer& transfer) {
    if (!transfer.easy) {
        transfer.easy.reset(curl_easy_init());
        if (!transfer.easy) {
            return false;
        }
    } else {
        curl_easy_reset(transfer.easy.get());
    }
    transfer.data.clear();
    transfer.responseHeaders.clear();
    transfer.tooLarge = false;
    transfer.errorBuffer[0] = '\0';

    HeaderList headers;
    const auto append = [&headers](const std::string& line) {
        if (curl_slist* appended = curl_slist_append(headers.get(), line.c_str())) {
            headers.release();
            headers.reset(appended);
        }
    };
    for (const auto& [name, value] : transfer.request.headers) {
        // "Name;" is how curl sends a field with an empty value.
        append(value.empty() ? name + ";" : name + ": " + value);
    }
    append("Expect:");
    transfer.headers = std::move(headers);

    CURL* easy = transfer.easy.get();
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(transfer.deadline - Clock::now()).count();
    curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(remaining, 1)));
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    // A body announced longer than the limit is refused before it is read.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min(transfer.request.maximumBodySize, kMaximumResponseBodySize)));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, writeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (connectTo) {
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo.get());
    }
    if (!options.caFile.empty()) {
        // The file adds to the system CAs rather than replacing them.
        curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    if (transfer.request.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        if (transfer.request.method != "POST") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, transfer.request.method.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer.request.body.size()));
        curl_easy_setopt(
            easy, CURLOPT_POSTFIELDS,
            transfer.request.body.empty() ? "" : reinterpret_cast<const char*>(transfer.request.body.data()));
    }
    return true;
}

void CurlTransport::Core::begin(std::unique_ptr<Transfer> transfer) {
    if (!configure(*transfer)) {
        TransportResult result;
        result.error = transportError(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
        transfer->completion(std::move(result));
        return;
    }
    CURL* easy = transfer->easy.get();
    if (const CURLMcode added = curl_multi_add_handle(multi, easy); added != CURLM_OK) {
        TransportResult result;
        result.error = transportError(CURLE_FAILED_INIT, curl_multi_strerror(added));
        transfer->completion(std::move(result));
        return;
    }
    active.emplace(easy, std::move(transfer));
}

void CurlTransport::Core::finished(CURL* easy, CURLcode code) {
    curl_multi_remove_handle(multi, easy);
    const auto found = active.find(easy);
    if (found == active.end()) {
        return;
    }
    std::unique_ptr<Transfer> transfer = std::move(found->second);
    active.erase(found);

    TransportResult result;
    if (auto parts = platform::parseURL(transfer->request.url)) {
        result.host = std::move(parts->host);
    }

    if (code != CURLE_OK || transfer->tooLarge) {
        // Whatever came before the failure (status line, part of the body)
        // is not an answer: the caller must not take a truncated body for one.
        std::string text = curl_easy_strerror(code);
        if (transfer->tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            const std::size_t limit = std::min(transfer->request.maximumBodySize, kMaximumResponseBodySize);
            text = limit == kMaximumResponseBodySize ? std::string("Response body larger than 64 MiB")
                                                     : "Response body larger than " + std::to_string(limit) + " bytes";
        } else if (transfer->errorBuffer[0] != '\0') {
            text += ": ";
            text += transfer->errorBuffer;
        }
        result.error = transportError(code, text);
        result.serverTrustFailed = code == CURLE_PEER_FAILED_VERIFICATION;
        transfer->completion(std::move(result));
        return;
    }

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    char* location = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
    if ((status == 303 || status == 308) && location != nullptr && isHttpUrl(location) &&
        transfer->hops < kMaximumRedirectHops) {
        transfer->request.url = location;
        if (status == 303) {
            transfer->request.method = "GET";
            transfer->request.body.clear();
            std::erase_if(transfer->request.headers, [](const auto& field) {
                return equalsIgnoringCase(field.first, "Content-Length") ||
                       equalsIgnoringCase(field.first, "Content-Type") ||
                       equalsIgnoringCase(field.first, "Content-Encoding");
            });
        }
        ++transfer->hops;
        begin(std::move(transfer));
        return;
    }

    HTTPURLResponse response;
    response.statusCode = static_cast<int>(status);
    response.url = transfer->request.url;
    response.allHeaderFields = std::move(transfer->responseHeaders);
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
        response.expectedContentLength = length;
    }
    result.response = std::move(response);
    result.data = std::move(transfer->data);
    transfer->completion(std::move(result));
}

void CurlTransport::Core::run() {
    networkThreadCore = this;
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> arrived;
        {
            std::lock_guard lock(mutex);
            if (stopping || halted) {
                return;
            }
            arrived.swap(incoming);
        }
        for (auto& transfer : arrived) {
            begin(std::move(transfer));
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                finished(message->easy_handle, message->data.result);
            }
        }
        {
            std::lock_guard lock(mutex);
            if (stopping || halted) {
                return;
            }
            if (!incoming.empty()) {
                continue;
            }
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
}

void CurlTransport::Core::stopAndJoin() {
    {
        std::lock_guard lock(mutex);
        halted = true;
    }
    curl_multi_wakeup(multi);
    std::lock_guard joining(joinMutex);
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
        thread.join();
    }
}

CurlTransport::CurlTransport(TransportOptions options) : core_(std::make_shared<Core>(std::move(options))) {
    platform::registerStoppable(core_);
}

CurlTransport::~CurlTransport() {
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
    }
    curl_multi_wakeup(core_->multi);
    // Queued transfers go with the core: their completions are dropped uncalled.
    if (networkThreadCore != core_.get()) {
        std::lock_guard joining(core_->joinMutex);
        if (core_->thread.joinable()) {
            core_->thread.join();
        }
        return;
    }
    // Released on its own thread (its last owner let go in a completion): it
    // must not join itself. A stop that holds the join lock now is joining
    // this very thread, which cannot end while this waits for the lock: the
    // stop joins it. Otherwise a pool thread joins it once it has left the
    // loop, so no thread outlives the process unjoined; once work has
    // stopped there is no pool, and the thread ends by itself.
    std::unique_lock joining(core_->joinMutex, std::try_to_lock);
    if (joining.owns_lock() && core_->thread.joinable()) {
        if (platform::workStopped()) {
            core_->thread.detach();
        } else {
            // Should the pool drop the block (work stopping meanwhile), the
            // thread is let go rather than left joinable.
            struct JoinLater {
                std::thread thread;
                ~JoinLater() {
                    if (thread.joinable()) {
                        thread.detach();
                    }
                }
            };
            auto later = std::make_shared<JoinLater>();
            later->thread = std::move(core_->thread);
            platform::globalQueue().async([later = std::move(later)] { later->thread.join(); });
        }
    }
}

bool CurlTransport::start(TransportRequest request, Completion completion) {
    auto transfer = std::make_unique<Transfer>();
    if (!std::isfinite(request.timeoutInterval) || request.timeoutInterval <= 0) {
        request.timeoutInterval = kDefaultTransportTimeout;
    }
    transfer->deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(request.timeoutInterval));
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    {
        std::lock_guard lock(core_->mutex);
        if (core_->stopping || platform::workStopped()) {
            return false;
        }
        core_->halted = false;
        core_->incoming.push_back(std::move(transfer));
        if (!core_->thread.joinable()) {
            core_->thread = std::thread([core = core_] { core->run(); });
        }
    }
    curl_multi_wakeup(core_->multi);
    return true;
}

}  // namespace kit
