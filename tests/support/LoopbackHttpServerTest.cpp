#include "LoopbackHttpServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace platform::testing {
namespace {

using namespace std::chrono_literals;

struct CurlResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

CurlResult post(const std::string& url, const std::string& body, bool gzipped, long timeoutMilliseconds = 10'000) {
    CurlResult result;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    if (gzipped) {
        headers = curl_slist_append(headers, "Content-Encoding: gzip");
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMilliseconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    result.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result;
}

std::string gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

TEST(LoopbackHttpServerTest, RecordsRequestsWithTheirBodiesUnzipped) {
    LoopbackHttpServer server;
    server.script("/v1/upload", {{201, {{"Content-Type", "application/json"}}, "{\"ok\":true}"}});
    const CurlResult result = post(server.baseUrl() + "/v1/upload?key=abc&x=1", gzip("{\"events\":[1,2,3]}"), true);
    ASSERT_EQ(result.code, CURLE_OK);
    EXPECT_EQ(result.status, 201);
    EXPECT_EQ(result.body, "{\"ok\":true}");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/v1/upload");
    EXPECT_EQ(requests[0].query, "key=abc&x=1");
    EXPECT_EQ(requests[0].header("content-encoding"), "gzip");
    EXPECT_EQ(requests[0].body, "{\"events\":[1,2,3]}");
}

TEST(LoopbackHttpServerTest, ScriptedStatusesDelaysAndDropsReachTheClient) {
    LoopbackHttpServer server;
    server.script("/flaky", {{503, {}, "busy"}, {200, {}, "fine"}});
    server.script("/slow", {{200, {}, "late", 1500ms}});
    server.script("/dropped", {{200, {}, "", 0ms, true}});

    const CurlResult busy = post(server.baseUrl() + "/flaky", "{}", false);
    EXPECT_EQ(busy.code, CURLE_OK);
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.body, "busy");
    // The last scripted answer repeats.
    EXPECT_EQ(post(server.baseUrl() + "/flaky", "{}", false).status, 200);
    EXPECT_EQ(post(server.baseUrl() + "/flaky", "{}", false).status, 200);

    EXPECT_EQ(post(server.baseUrl() + "/slow", "{}", false, 300).code, CURLE_OPERATION_TIMEDOUT);

    const CurlResult dropped = post(server.baseUrl() + "/dropped", "{}", false);
    EXPECT_NE(dropped.code, CURLE_OK) << "a dropped connection must be a transport error";

    EXPECT_EQ(post(server.baseUrl() + "/unscripted", "{}", false).status, 404);
    EXPECT_TRUE(server.waitForRequests(6, 60s));
}

}  // namespace
}  // namespace platform::testing
