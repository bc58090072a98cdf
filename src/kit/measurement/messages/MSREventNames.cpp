#include "kit/measurement/messages/MSREventNames.h"

#include <string_view>
#include <utility>

namespace kit::measurement {
namespace {

using NamePair = std::pair<std::string_view, std::string_view>;

constexpr NamePair kInternalEventNames[] = {
    {"adunit_exposure", "_xu"},
    {"ad_activeview", "_aa"},
    {"ad_click", "_ac"},
    {"ad_exposure", "_xa"},
    {"ad_impression", "_ai"},
    {"ad_query", "_aq"},
    {"ad_reward", "_ar"},
    {"app_clear_data", "_cd"},
    {"app_exception", "_ae"},
    {"app_remove", "_ui"},
    {"app_store_refund", "_asr"},
    {"app_store_subscription_cancel", "_asse"},
    {"app_store_subscription_convert", "_assc"},
    {"app_store_subscription_renew", "_assr"},
    {"app_update", "_au"},
    {"session_start_with_rollout", "_ssr"},
    {"app_upgrade", "_ug"},
    {"error", "_err"},
    {"halo_campaign", "_cmp"},
    {"first_open", "_f"},
    {"first_visit", "_v"},
    {"la_campaign", "_cmp"},
    {"la_extra_parameter", "_ep"},
    {"in_app_purchase", "_iap"},
    {"notification_dismiss", "_nd"},
    {"notification_foreground", "_nf"},
    {"notification_open", "_no"},
    {"notification_receive", "_nr"},
    {"os_update", "_ou"},
    {"screen_view", "_vs"},
    {"session_start", "_s"},
    {"user_engagement", "_e"},
};

}  // namespace

const MSRNameMap& MSRInternalEventNameMap() {
    static const MSRNameMap& map = *new MSRNameMap([] {
        MSRNameMap names;
        for (const auto& [publicName, internalName] : kInternalEventNames) {
            names.emplace(publicName, internalName);
        }
        return names;
    }());
    return map;
}

}  // namespace kit::measurement
