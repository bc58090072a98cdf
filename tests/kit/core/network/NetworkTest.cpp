#include "LoopbackHttpServer.h"
#include "LoopbackRawServer.h"
#include "NetworkTestSupport.h"
#include "TestCertificates.h"
#include "kit/core/network/CurlTransport.h"
#include "platform/concurrency/WorkStop.h"

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <thread>

namespace kit {
namespace {

using platform::testing::LoopbackHttpServer;
using platform::testing::LoopbackRawServer;
using platform::testing::ScriptedResponse;
using testing::Completions;
using ::testing::HasSubstr;
using testing::NetworkTest;

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// One raw HTTP request as a client sent it.
struct RawRequest {
    std::string requestLine;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string body;

    std::optional<std::string> header(std::string_view name) const {
        for (const auto& [field, value] : headers) {
            if (field == name) {
                return value;
            }
        }
        return std::nullopt;
    }
};

RawRequest parseRaw(const std::string& raw) {
    RawRequest request;
    const auto headEnd = raw.find("\r\n\r\n");
    EXPECT_NE(headEnd, std::string::npos) << raw;
    const std::string head = raw.substr(0, headEnd);
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
        const auto end = std::min(head.find("\r\n", start), head.size());
        const std::string line = head.substr(start, end - start);
        if (first) {
            request.requestLine = line;
            first = false;
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers.emplace_back(name, value);
        }
        start = end + 2;
    }
    request.body = headEnd == std::string::npos ? "" : raw.substr(headEnd + 4);
    return request;
}

// What `gzip -dc` makes of `compressed`.
std::string gunzipWithTool(const std::filesystem::path& directory, const std::string& compressed) {
    const auto file = directory / "body.gz";
    std::ofstream(file, std::ios::binary) << compressed;
    std::string output;
    if (std::FILE* pipe = ::popen(("gzip -dc '" + file.string() + "'").c_str(), "r")) {
        char buffer[256];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, read);
        }
        EXPECT_EQ(::pclose(pipe), 0);
    }
    return output;
}

int refusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // never listened on: connections are refused
    return ntohs(address.sin_port);
}

TEST_F(NetworkTest, PostSendsTheGzippedBodyWithTheFormHeaders) {
    LoopbackHttpServer server;
    server.script("/upload", {{200, {}, "ok"}});
    LoopbackRawServer relay(LoopbackRawServer::Mode::relay, server.port());
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    Completions completions;
    const std::string sessionID =
        network->postURL(relay.baseUrl() + "/upload", {{"Content-Type", "text/plain"}, {"X-A", "1"}}, bytes("abc"),
                         completions.queue(), false, completions.handler());
    EXPECT_THAT(sessionID, ::testing::StartsWith("com.lmu.network.background-upload-"));
    const auto outcome = completions.single();
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->statusCode, 200);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(std::string(outcome.data.begin(), outcome.data.end()), "ok");
    EXPECT_TRUE(outcome.onGivenQueue);

    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].method, "POST");
    EXPECT_EQ(recorded[0].header("content-encoding"), "gzip");
    EXPECT_EQ(recorded[0].header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(recorded[0].header("x-a"), "1");
    EXPECT_EQ(recorded[0].headers.count("expect"), 0u);

    const auto raw = relay.clientBytes();
    ASSERT_EQ(raw.size(), 1u);
    const RawRequest request = parseRaw(raw[0]);
    EXPECT_EQ(request.requestLine, "POST /upload HTTP/1.1");
    EXPECT_EQ(request.header("content-length"), std::to_string(request.body.size()));
    EXPECT_FALSE(request.header("expect"));
    ASSERT_GE(request.body.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(request.body[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(request.body[1]), 0x8b);
    EXPECT_EQ(gunzipWithTool(root(), request.body), "abc");
}

TEST_F(NetworkTest, EmptyPayloadAndGetSendNoBody) {
    LoopbackHttpServer server;
    server.setDefaultResponse({200, {}, ""});
    LoopbackRawServer relay(LoopbackRawServer::Mode::relay, server.port());
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    Completions post;
    network->postURL(relay.baseUrl() + "/empty", {}, {}, post.queue(), false, post.handler());
    EXPECT_FALSE(post.single().error);
    Completions get;
    network->getURL(relay.baseUrl() + "/get", {{"X-B", "2"}, {"If-None-Match", "\"e1\""}}, get.queue(), false,
                    get.handler());
    EXPECT_FALSE(get.single().error);

    const auto raw = relay.clientBytes();
    std::string all;
    for (const auto& connection : raw) {
        all += connection;
    }
    const auto split = all.find("GET /get");
    ASSERT_NE(split, std::string::npos) << all;
    const RawRequest emptyPost = parseRaw(all.substr(0, split));
    EXPECT_EQ(emptyPost.requestLine, "POST /empty HTTP/1.1");
    EXPECT_EQ(emptyPost.header("content-length"), "0");
    EXPECT_EQ(emptyPost.header("content-encoding"), "gzip");
    EXPECT_EQ(emptyPost.body, "");
    const RawRequest plainGet = parseRaw(all.substr(split));
    EXPECT_EQ(plainGet.requestLine, "GET /get HTTP/1.1");
    EXPECT_EQ(plainGet.header("x-b"), "2");
    EXPECT_EQ(plainGet.header("if-none-match"), "\"e1\"");
    EXPECT_FALSE(plainGet.header("content-length"));
    EXPECT_FALSE(plainGet.header("content-encoding"));
    EXPECT_EQ(plainGet.body, "");
}

TEST_F(NetworkTest, AnswersOfEveryStatusAreDeliveredWithoutError) {
    struct Row {
        int status;
        std::string location;  // of the first answer; empty: none
        int expectedStatus;    // of the answer delivered
        std::size_t expectedRequests;
        std::string secondMethod;  // of the second request, if any
    };
    const Row rows[] = {
        {200, "", 200, 1, ""},
        {204, "", 204, 1, ""},
        {304, "", 304, 1, ""},
        {404, "", 404, 1, ""},
        {500, "", 500, 1, ""},
        {300, "/next", 300, 1, ""},
        {301, "/next", 301, 1, ""},
        {302, "/next", 302, 1, ""},
        {307, "/next", 307, 1, ""},
        {303, "/next", 200, 2, "GET"},
        {308, "/next", 200, 2, "POST"},
        {303, "file:///etc/hostname", 303, 1, ""},
        {308, "/start", 308, 11, "POST"},  // a loop
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.status << " to " << row.location);
        LoopbackHttpServer server;
        ScriptedResponse first{row.status, {}, "first"};
        if (!row.location.empty()) {
            first.headers.emplace_back("Location", row.location);
        }
        server.script("/start", {first});
        server.script("/next", {{200, {}, "second"}});
        auto network = makeNetwork();
        ASSERT_TRUE(network);
        Completions completions;
        network->postURL(server.baseUrl() + "/start", bytes("payload"), completions.queue(), false,
                         completions.handler());
        const auto outcome = completions.single();
        ASSERT_TRUE(outcome.response);
        EXPECT_EQ(outcome.response->statusCode, row.expectedStatus);
        EXPECT_FALSE(outcome.error);
        const auto recorded = server.requests();
        EXPECT_EQ(recorded.size(), row.expectedRequests);
        if (recorded.size() >= 2) {
            EXPECT_EQ(recorded[1].method, row.secondMethod);
            EXPECT_EQ(recorded[1].body, row.secondMethod == "POST" ? "payload" : "");
        }
        EXPECT_FALSE(network->hasUploadInProgress());
    }
}

TEST_F(NetworkTest, EmptyUrlFailsWithCodeOneOnTheGivenQueueAfterTheCallReturned) {
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    for (const bool post : {true, false}) {
        Completions completions;
        completions.holdUntilCallReturned();
        const std::string sessionID =
            post ? network->postURL("", bytes("abc"), completions.queue(), false, completions.handler())
                 : network->getURL("", {}, completions.queue(), false, completions.handler());
        completions.callReturned();
        EXPECT_EQ(sessionID, "");
        const auto outcome = completions.single();
        EXPECT_FALSE(outcome.response);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->domain(), "com.lmu.network.ErrorDomain");
        EXPECT_EQ(outcome.error->code(), 1);
        const platform::Value* context = outcome.error->userInfo().find("Context");
        ASSERT_NE(context, nullptr);
        ASSERT_TRUE(context->isString());
        EXPECT_EQ(*context->asString(), "Failed to create network request");
        EXPECT_TRUE(outcome.onGivenQueue);
        EXPECT_TRUE(outcome.afterCallReturned);
    }
}

TEST_F(NetworkTest, TransportFailuresGiveAnErrorAndNoResponse) {
    LoopbackHttpServer slow;
    slow.setDefaultResponse({200, {}, "late", std::chrono::milliseconds(3000)});
    LoopbackRawServer truncated(LoopbackRawServer::Mode::truncatedBody);
    struct Row {
        std::string name;
        std::string url;
        double timeout;
    };
    const Row rows[] = {
        {"delay past the timeout", slow.baseUrl() + "/slow", 0.5},
        {"body shorter than announced", truncated.baseUrl() + "/cut", 10},
        {"refused port", "http://127.0.0.1:" + std::to_string(refusedPort()) + "/", 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto network = makeNetwork();
        ASSERT_TRUE(network);
        network->setTimeoutInterval(row.timeout);
        Completions completions;
        completions.holdUntilCallReturned();
        network->getURL(row.url, {}, completions.queue(), false, completions.handler());
        completions.callReturned();
        const auto outcome = completions.single();
        EXPECT_FALSE(outcome.response);
        ASSERT_TRUE(outcome.error);
        EXPECT_NE(outcome.error->domain(), "com.lmu.network.ErrorDomain");
        EXPECT_TRUE(outcome.onGivenQueue);
        EXPECT_TRUE(outcome.afterCallReturned);
        EXPECT_FALSE(network->hasUploadInProgress());
    }
}

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(NetworkTest, AnswersPastTheCapFailWithoutTakingTheirLengthInMemory) {
    LoopbackRawServer declared(LoopbackRawServer::Mode::hugeDeclaredBody);
    LoopbackRawServer endless(LoopbackRawServer::Mode::endlessBody);
    struct Row {
        std::string name;
        std::string url;
        std::size_t cap;
        int code;  // the announced length is refused before any body byte; a stream is cut at the cap
    };
    const Row rows[] = {
        {"2 GiB announced, 1 MiB cap", declared.baseUrl() + "/config", std::size_t{1} << 20, 63},
        {"endless stream, 1 MiB cap", endless.baseUrl() + "/config", std::size_t{1} << 20, 23},
        {"2 GiB announced, 64 KiB cap", declared.baseUrl() + "/upload", std::size_t{64} << 10, 63},
        {"endless stream, 64 KiB cap", endless.baseUrl() + "/upload", std::size_t{64} << 10, 23},
    };
    const long before = peakResidentKilobytes();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto network = makeNetwork();
        ASSERT_TRUE(network);
        Completions completions;
        network->getURL(row.url, {}, completions.queue(), false, completions.handler(), row.cap);
        const auto outcome = completions.single();
        EXPECT_FALSE(outcome.response);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->code(), row.code);
        EXPECT_EQ(std::string(outcome.error->what()),
                  "Response body larger than " + std::to_string(row.cap) + " bytes");
    }
    const long grown = peakResidentKilobytes() - before;
    std::printf("peak resident size grew by %ld KiB over the refused answers\n", grown);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers' shadow memory grows with every allocation: measured in
    // plain builds only.
    EXPECT_LT(grown, 8 * 1024);
#endif
}

TEST_F(NetworkTest, ClientDestroyedMidRequestCallsNothing) {
    LoopbackHttpServer server;
    server.setDefaultResponse({200, {}, "late", std::chrono::milliseconds(400)});
    Completions completions;
    {
        auto network = makeNetwork();
        ASSERT_TRUE(network);
        network->postURL(server.baseUrl() + "/upload", bytes("abc"), completions.queue(), false, completions.handler());
        network->getURL(server.baseUrl() + "/config", {}, completions.queue(), false, completions.handler());
        ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(60)));
    }
    EXPECT_FALSE(completions.waitFor(1, std::chrono::milliseconds(900)));
}

TEST_F(NetworkTest, FastFailuresOnAnotherQueueLeaveNoRequestInFlight) {
    LoopbackRawServer resetting(LoopbackRawServer::Mode::reset);
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    Completions completions;
    constexpr std::size_t kRequests = 200;
    for (std::size_t index = 0; index < kRequests; ++index) {
        network->postURL(resetting.baseUrl() + "/upload", bytes("abc"), completions.queue(), false,
                         completions.handler());
    }
    ASSERT_TRUE(completions.waitFor(kRequests, std::chrono::seconds(60)));
    for (const auto& outcome : completions.outcomes()) {
        EXPECT_FALSE(outcome.response);
        EXPECT_TRUE(outcome.error);
    }
    EXPECT_FALSE(network->hasUploadInProgress());
}

// The last owner of a transport may let go of it in a completion, on the
// network thread, while a stop (a kit context ending) is joining that very
// thread: the transport ends there and the stop still finishes.
TEST_F(NetworkTest, ATransportReleasedInItsCompletionDuringAStopLetsTheStopFinish) {
    LoopbackHttpServer server;
    server.script("/config", {{200, {}, "configuration"}});
    auto owner = std::make_shared<std::unique_ptr<CurlTransport>>(std::make_unique<CurlTransport>());
    std::promise<void> completed;
    TransportRequest request;
    request.url = server.baseUrl() + "/config";
    ASSERT_TRUE((*owner)->start(std::move(request), [owner, &completed](TransportResult) {
        completed.set_value();
        for (int wait = 0; wait < 6000 && !platform::workStopped(); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // Time for the stop to reach the join, so the transport ends under it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        owner->reset();
    }));
    ASSERT_EQ(completed.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    platform::stopAllWork();  // hung here when the transport waited for the stop's join lock
    platform::resumeAllWork();
    EXPECT_FALSE(*owner);
}

TEST_F(NetworkTest, TrustedServerIsReachedThroughConnectTo) {
    const auto certificates = platform::testing::makeTestCertificates(root(), {"collect.test.invalid"});
    LoopbackHttpServer server(platform::testing::LoopbackTlsFiles{certificates.certificateFile.string(),
                                                                  certificates.privateKeyFile.string()});
    server.script("/config", {{200, {}, "configuration"}});
    const std::string connectTo = "collect.test.invalid:443:127.0.0.1:" + std::to_string(server.port());

    // As a test's endpoints resource would give them.
    const auto endpoints = kit::Endpoints::fromDictionary(platform::Value(platform::Value::Dictionary{
        {"CAFile", certificates.caFile.string()},
        {"ConnectTo", platform::Value(platform::Value::Array{connectTo})},
    }));
    auto trusting = makeNetwork(kit::TransportOptions::fromEndpoints(endpoints));
    ASSERT_TRUE(trusting);
    Completions completions;
    trusting->getURL("https://collect.test.invalid/config", {}, completions.queue(), false, completions.handler());
    const auto outcome = completions.single();
    ASSERT_TRUE(outcome.response) << (outcome.error ? outcome.error->what() : "");
    EXPECT_EQ(outcome.response->statusCode, 200);
    EXPECT_EQ(std::string(outcome.data.begin(), outcome.data.end()), "configuration");
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].header("host"), "collect.test.invalid");
}

TEST_F(NetworkTest, UntrustedServerFailsAndLogsTheCancelledChallenge) {
    const auto certificates = platform::testing::makeTestCertificates(root(), {"collect.test.invalid"});
    LoopbackHttpServer server(platform::testing::LoopbackTlsFiles{certificates.certificateFile.string(),
                                                                  certificates.privateKeyFile.string()});
    const std::string connectTo = "collect.test.invalid:443:127.0.0.1:" + std::to_string(server.port());
    auto network = makeNetwork({"", {connectTo}});
    ASSERT_TRUE(network);
    auto logger = std::make_shared<testing::RecordingLoggerDelegate>();
    network->setLoggerDelegate(logger);
    Completions completions;
    network->getURL("https://collect.test.invalid/config", {}, completions.queue(), false, completions.handler());
    const auto outcome = completions.single();
    EXPECT_FALSE(outcome.response);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(logger->hasCode(901007));
    EXPECT_TRUE(logger->hasCode(901017));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(NetworkTest, BuiltInLoggingDropsDebugLinesAndWritesContexts) {
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    LMULoggerEnableDebugMode();  // the kit's logger would write a debug line
    drainLog();
    network->LMUNetwork_logWithLevel(kLMUNetworkLogLevelDebug, 900001, "dropped", LMUNetworkLogContexts{});
    network->LMUNetwork_logWithLevel(kLMUNetworkLogLevelError, 900002, "m",
                                     LMUNetworkLogContexts{std::string("c1"), std::nullopt});
    const auto entries = drainLog();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_THAT(entries[0].line, HasSubstr("I-NET900002"));
    EXPECT_THAT(entries[0].line, HasSubstr("<Lumen/Utilities/Network/ERROR> m: c1, (nil)"));

    network->setIsDebugModeEnabled(true);
    network->LMUNetwork_logWithLevel(kLMUNetworkLogLevelDebug, 900001, "kept");
    const auto debug = drainLines();
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_THAT(debug[0], HasSubstr("<Lumen/Utilities/Network/DEBUG> kept"));
}

TEST_F(NetworkTest, LoggerDelegateTakesEveryLineAndAnExpiredOneIsRefused) {
    auto network = makeNetwork();
    ASSERT_TRUE(network);
    auto logger = std::make_shared<testing::RecordingLoggerDelegate>();
    network->setLoggerDelegate(std::weak_ptr<LMUNetworkLoggerDelegate>());
    network->setLoggerDelegate(logger);
    network->setLoggerDelegate(std::weak_ptr<LMUNetworkLoggerDelegate>());
    network->LMUNetwork_logWithLevel(kLMUNetworkLogLevelDebug, 900001, "to the delegate", std::string("ctx"));
    // The second refusal went to the delegate kept; the first, with none
    // yet, to the built-in logging.
    const auto lines = logger->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].code, 900004);
    EXPECT_EQ(lines[1].level, 7);
    EXPECT_EQ(lines[1].message, "to the delegate");
    EXPECT_EQ(lines[1].contexts, (LMUNetworkLogContexts{std::string("ctx")}));
    const auto written = drainLines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_THAT(written[0], HasSubstr("I-NET900004"));
}

TEST_F(NetworkTest, BackgroundSessionEventsAreLoggedAndHandledAtOnce) {
    bool called = false;
    LMUNetwork::handleEventsForBackgroundURLSessionID("com.lmu.network.background-upload-X", [&] { called = true; });
    EXPECT_TRUE(called);
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("I-NET900003"));
}

}  // namespace
}  // namespace kit
