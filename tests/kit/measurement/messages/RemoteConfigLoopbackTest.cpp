// A configuration fetched from a loopback server over the network client's
// transport and applied.

#include "LoopbackHttpServer.h"
#include "RemoteSettingCases.h"
#include "kit/core/Endpoints.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/measurement/messages/MSRQueryString.h"

#include <future>

namespace kit::measurement::testing {
namespace {

TEST_F(RemoteConfigTest, AFetchedConfigurationAnswersItsSettings) {
    platform::testing::LoopbackHttpServer server;
    const std::string served = R"(app_id: "1:42:test" version: 31
        settings { name: "measurement.upload.interval" value: "120000" }
        settings { name: "measurement.audience.max_count" value: "250" }
        settings { name: "measurement.upload.blacklist_public" value: "1" })";
    const Bytes body = protocEncode("MeasurementConfig", served);
    server.script("/config/app/1:42:test", {{200, {}, std::string(body.begin(), body.end())}});
    kit::Endpoints endpoints;
    endpoints.configurationHost = server.baseUrl();
    kit::Endpoints::setCurrent(endpoints);

    auto remote = makeConfig();
    const auto url = remote->remoteConfigURLWithPlatform("macos", 110900, 2);
    ASSERT_TRUE(url);

    kit::CurlTransport transport;
    std::promise<kit::TransportResult> answered;
    kit::TransportRequest request;
    request.url = *url;
    ASSERT_TRUE(transport.start(request, [&](kit::TransportResult result) { answered.set_value(std::move(result)); }));
    const kit::TransportResult result = answered.get_future().get();
    ASSERT_FALSE(result.error) << result.error->what();
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/config/app/1:42:test");
    EXPECT_EQ(msr_dictionaryWithHttpArgumentsString(requests[0].query),
              (MSRQueryDictionary{{"platform", "macos"}, {"runtime_version", "2"}, {"lmp_version", "110900"}}));

    auto fetched = MSRPBMeasurementConfig::initWithBuffer(result.data);
    ASSERT_TRUE(fetched);
    ASSERT_TRUE(remote->updateMeasurementConfig(fetched));
    EXPECT_EQ(remote->uploadingInterval(), 120.0);
    EXPECT_EQ(remote->maxAudienceCount(), 250);
    EXPECT_TRUE(remote->blocklistPublic());
    EXPECT_EQ(remote->version(), 31);

    // A new instance on the same store answers them too.
    auto reopened = makeConfig();
    EXPECT_EQ(reopened->uploadingInterval(), 120.0);
    EXPECT_EQ(reopened->maxAudienceCount(), 250);
    EXPECT_EQ(reopened->version(), 31);
}

}  // namespace
}  // namespace kit::measurement::testing
