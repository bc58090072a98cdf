// Nothing lost, each event once: two kit processes in turn over the same
// folders, a service that fails in every way it can before it accepts, and
// a SIGKILL while a batch is held. Batches are read with protoc.

#include "ChildProcess.h"
#include "KitTestSupport.h"
#include "MeasurementBatches.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

namespace kit::testing {
namespace {

using platform::testing::LoopbackHttpServer;
using platform::testing::RecordedRequest;
using platform::testing::ScriptedResponse;

// What one posted bundle holds: its delivery index and the seq of each event.
struct PostedBundle {
    std::int64_t deliveryIndex = -1;
    std::vector<std::int64_t> seqs;
};

class UploadProcessesTest : public KitTest {
protected:
    pid_t spawn(long first, long count) {
        const std::string url = server_.baseUrl();
        const std::string firstText = std::to_string(first);
        const std::string countText = std::to_string(count);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(KIT_UPLOAD_CHILD, "kit-upload-child", url.c_str(), firstText.c_str(), countText.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }

    std::vector<RecordedRequest> posts() const { return measurementPosts(server_.requests()); }

    // The bundles of one batch, as protoc reads them with our schema.
    static std::vector<PostedBundle> bundlesOf(const RecordedRequest& request) {
        const std::string text = measurement::testing::protocDecode(
            "MeasurementBatch", measurement::testing::Bytes(request.body.begin(), request.body.end()),
            ::testing::TempDir());
        std::vector<PostedBundle> bundles;
        static const std::regex seq(R"re(name: "seq"\s+int_value: (-?\d+))re");
        static const std::regex delivery(R"(\n  delivery_index: (\d+))");
        std::size_t start = text.find("bundles {");
        while (start != std::string::npos) {
            const std::size_t next = text.find("\nbundles {", start + 1);
            const std::string block = text.substr(start, next == std::string::npos ? std::string::npos : next - start);
            PostedBundle bundle;
            for (std::sregex_iterator match(block.begin(), block.end(), seq), end; match != end; ++match) {
                bundle.seqs.push_back(std::stoll((*match)[1]));
            }
            if (std::smatch found; std::regex_search(block, found, delivery)) {
                bundle.deliveryIndex = std::stoll(found[1]);
            }
            bundles.push_back(std::move(bundle));
            start = next == std::string::npos ? next : next + 1;
        }
        return bundles;
    }

    LoopbackHttpServer server_;
};

TEST_F(UploadProcessesTest, EveryEventIsAcceptedOnceAcrossFailuresAndAKill) {
    const std::vector<std::pair<std::string, std::string>> close{{"Connection", "close"}};
    server_.setDefaultResponse({404, close, ""});
    server_.script("/a", {{500, close, "no"},
                          {200, close, "", std::chrono::milliseconds(0), true},
                          {429, close, ""},
                          {200, close, "", std::chrono::seconds(3), true},
                          {200, close, ""}});

    const pid_t first = spawn(0, 20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (posts().size() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(posts().size(), 4u) << "the first process never reached the held batch";
    // The fourth batch is held by the service: the process dies waiting.
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);

    const pid_t second = spawn(20, 20);
    ASSERT_EQ(platform::testing::waitForExit(second, std::chrono::seconds(90)), 0);

    const auto sent = posts();
    ASSERT_GT(sent.size(), 4u);
    std::multiset<std::int64_t> accepted;
    std::map<std::int64_t, std::set<std::int64_t>> deliveryIndexesOfSeq;
    for (std::size_t index = 0; index < sent.size(); ++index) {
        for (const PostedBundle& bundle : bundlesOf(sent[index])) {
            for (const std::int64_t value : bundle.seqs) {
                deliveryIndexesOfSeq[value].insert(bundle.deliveryIndex);
                // The first four were refused, dropped or held; the rest 200.
                if (index >= 4) {
                    accepted.insert(value);
                }
            }
        }
    }
    std::multiset<std::int64_t> expected;
    for (std::int64_t value = 0; value < 40; ++value) {
        expected.insert(value);
    }
    EXPECT_EQ(accepted, expected);
    // A bundle sent again is the same bundle: its delivery index stays.
    for (const auto& [value, indexes] : deliveryIndexesOfSeq) {
        EXPECT_EQ(indexes.size(), 1u) << "seq " << value;
    }
}

}  // namespace
}  // namespace kit::testing
