#include "LoopbackHttpServer.h"

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <stdexcept>
#include <thread>

namespace platform::testing {

namespace {

std::string gunzip(const std::string& compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        throw std::runtime_error("inflateInit2 failed");
    }
    std::string out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;
        }
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return "<not gzip: " + compressed + ">";
    }
    return out;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::string RecordedRequest::header(const std::string& lowerCaseName) const {
    const auto found = headers.find(lowerCaseName);
    return found == headers.end() ? std::string() : found->second;
}

struct LoopbackHttpServer::State {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    std::vector<RecordedRequest> requests;                                        // guarded by mutex
    std::map<std::string, std::deque<ScriptedResponse>> scripts;                  // guarded by mutex
    std::map<std::string, Responder> responders;                                  // guarded by mutex
    ScriptedResponse fallback{404, {}, "", std::chrono::milliseconds(0), false};  // guarded by mutex

    ScriptedResponse next(const RecordedRequest& request) {
        Responder responder;
        {
            std::lock_guard lock(mutex);
            if (const auto made = responders.find(request.path); made != responders.end()) {
                responder = made->second;
            }
        }
        if (responder) {
            return responder(request);
        }
        std::lock_guard lock(mutex);
        const auto found = scripts.find(request.path);
        if (found == scripts.end() || found->second.empty()) {
            return fallback;
        }
        ScriptedResponse response = found->second.front();
        if (found->second.size() > 1) {
            found->second.pop_front();
        }
        return response;
    }

    void handle(const httplib::Request& request, httplib::Response& response) {
        RecordedRequest record;
        record.method = request.method;
        record.path = request.path;
        const auto question = request.target.find('?');
        record.query = question == std::string::npos ? "" : request.target.substr(question + 1);
        for (const auto& [name, value] : request.headers) {
            record.headers.emplace(lowerCase(name), value);
        }
        // The library may have unzipped the body already, depending on how it was built.
        const bool stillZipped = request.body.size() >= 2 && static_cast<unsigned char>(request.body[0]) == 0x1f &&
                                 static_cast<unsigned char>(request.body[1]) == 0x8b;
        record.body = lowerCase(request.get_header_value("Content-Encoding")) == "gzip" && stillZipped
                          ? gunzip(request.body)
                          : request.body;
        const ScriptedResponse scripted = next(record);
        {
            std::lock_guard lock(mutex);
            requests.push_back(std::move(record));
        }
        recorded.notify_all();
        if (scripted.delay.count() > 0) {
            std::this_thread::sleep_for(scripted.delay);
        }
        response.status = scripted.status;
        for (const auto& [name, value] : scripted.headers) {
            response.set_header(name, value);
        }
        if (scripted.dropConnection) {
            // A provider that gives up: the server closes the connection
            // after the head, short of the length it announced.
            response.set_content_provider(1024, "application/octet-stream",
                                          [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
            return;
        }
        const std::string type = [&] {
            for (const auto& [name, value] : scripted.headers) {
                if (lowerCase(name) == "content-type") {
                    return value;
                }
            }
            return std::string("application/octet-stream");
        }();
        response.set_content(scripted.body, type.c_str());
    }
};

LoopbackHttpServer::LoopbackHttpServer() : state_(std::make_shared<State>()) {
    state_->server = std::make_unique<httplib::Server>();
    listen();
}

LoopbackHttpServer::LoopbackHttpServer(const LoopbackTlsFiles& tls) : state_(std::make_shared<State>()), tls_(true) {
    auto server = std::make_unique<httplib::SSLServer>(tls.certificateFile.c_str(), tls.privateKeyFile.c_str());
    if (!server->is_valid()) {
        throw std::runtime_error("cannot load the TLS certificate " + tls.certificateFile);
    }
    state_->server = std::move(server);
    listen();
}

void LoopbackHttpServer::listen() {
    State& state = *state_;
    const auto handler = [&state](const httplib::Request& request, httplib::Response& response) {
        state.handle(request, response);
    };
    // Bodies are read through a content reader: the library's own reading
    // refuses form content past 8 KiB, and measurement batches are posted
    // as form content.
    const auto readingHandler = [&state](const httplib::Request& request, httplib::Response& response,
                                         const httplib::ContentReader& reader) {
        httplib::Request withBody = request;
        reader([&withBody](const char* data, std::size_t length) {
            withBody.body.append(data, length);
            return true;
        });
        state.handle(withBody, response);
    };
    state.server->Get(".*", handler);
    state.server->Post(".*", readingHandler);
    state.server->Put(".*", readingHandler);
    state.server->Delete(".*", readingHandler);
    state.server->Patch(".*", readingHandler);
    port_ = state.server->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    state.thread = std::thread([&state] { state.server->listen_after_bind(); });
    // A stop() before the loop runs is lost, and the loop then never ends:
    // a test that sends nothing would hang in the destructor.
    while (!state.server->is_running()) {
        std::this_thread::yield();
    }
}

LoopbackHttpServer::~LoopbackHttpServer() {
    state_->server->stop();
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
}

std::string LoopbackHttpServer::baseUrl() const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

void LoopbackHttpServer::script(const std::string& path, std::vector<ScriptedResponse> responses) {
    std::lock_guard lock(state_->mutex);
    state_->responders.erase(path);
    state_->scripts[path] = std::deque<ScriptedResponse>(responses.begin(), responses.end());
}

void LoopbackHttpServer::respond(const std::string& path, Responder responder) {
    std::lock_guard lock(state_->mutex);
    state_->scripts.erase(path);
    state_->responders[path] = std::move(responder);
}

void LoopbackHttpServer::setDefaultResponse(ScriptedResponse response) {
    std::lock_guard lock(state_->mutex);
    state_->fallback = std::move(response);
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->recorded.wait_for(lock, timeout, [&] { return state_->requests.size() >= count; });
}

}  // namespace platform::testing
