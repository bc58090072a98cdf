#include "MeetingNotesDocument.h"

#include "CoreTestSupport.h"

#include "sham/Faker.h"

#include <gtest/gtest.h>

#include <ctime>
#include <iomanip>
#include <regex>
#include <set>
#include <sstream>

namespace stubforge::meeting_notes {
namespace {

constexpr int kSeeds = 30;

// Seconds since the epoch of a formatted date in UTC, read with `format`.
std::time_t parsedUtc(const std::string& text, const char* format) {
    std::tm parts{};
    std::istringstream stream(text);
    stream >> std::get_time(&parts, format);
    EXPECT_FALSE(stream.fail()) << text;
    return timegm(&parts);
}

TEST(MeetingNotesDataTest, DetailedAndBriefSetsHaveTheirCounts) {
    testing::WriterFixture world;
    for (const bool detailed : {true, false}) {
        for (int seed = 0; seed < kSeeds; ++seed) {
            SCOPED_TRACE(::testing::Message() << (detailed ? "detailed" : "brief") << " seed " << seed);
            platform::SeededRandom random(seed);
            sham::Faker faker("en", testing::shippedLocales(), random, world.clock);
            const Notes notes = buildNotes(detailed, faker, random, world.clock);
            EXPECT_GE(notes.attendees.size(), 4u);
            EXPECT_LE(notes.attendees.size(), 8u);
            ASSERT_EQ(notes.agenda.size(), 5u);
            for (const AgendaTopic& topic : notes.agenda) {
                EXPECT_GE(topic.points.size(), detailed ? 3u : 2u);
                EXPECT_LE(topic.points.size(), detailed ? 5u : 3u);
                for (const std::string& point : topic.points) {
                    // Amounts are plain digits: a dollar sign, then no separator.
                    if (point.find('$') != std::string::npos) {
                        EXPECT_TRUE(std::regex_search(point, std::regex(R"(\$[1-9][0-9]{4,5} budget)"))) << point;
                    }
                }
            }
            EXPECT_GE(notes.actionItems.size(), 3u);
            EXPECT_LE(notes.actionItems.size(), 6u);
            if (detailed) {
                ASSERT_EQ(notes.nextSteps.size(), 3u);
                EXPECT_EQ(std::set<std::string>(notes.nextSteps.begin(), notes.nextSteps.end()).size(), 3u);
            } else {
                EXPECT_TRUE(notes.nextSteps.empty());
            }

            const std::string text = notesText(notes).string();
            EXPECT_EQ(text.find(notes.meetingType + " Meeting Notes\n\n"), 0u);
            EXPECT_EQ(text.find("\nNext Steps:\n") != std::string::npos, detailed);
        }
    }
}

TEST(MeetingNotesDataTest, DatesLieInTheirWindows) {
    testing::WriterFixture world;  // the clock stands at 2026-12-08 06:50:16 UTC
    const std::time_t now = std::chrono::system_clock::to_time_t(world.clock.now());
    const std::time_t today = now - now % 86'400;
    for (int seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE(seed);
        platform::SeededRandom random(seed);
        sham::Faker faker("en", testing::shippedLocales(), random, world.clock);
        const Notes notes = buildNotes(true, faker, random, world.clock);
        // "December 1, 2026 at 3:04 PM": within the past 30 days, never ahead.
        const std::time_t meeting = parsedUtc(notes.date, "%B %d, %Y at %I:%M %p");
        EXPECT_LE(meeting, now);
        EXPECT_GE(meeting, now - 30 * 86'400 - 60);
        for (const ActionItem& item : notes.actionItems) {
            const std::time_t due = parsedUtc(item.due, "%b %d, %Y");
            EXPECT_GE(due, today + 86'400) << item.due;
            EXPECT_LE(due, today + 14 * 86'400) << item.due;
        }
        // "Tuesday, December 15, 2026 at 9:30 AM": one to seven days ahead.
        const std::time_t next = parsedUtc(notes.nextMeeting, "%A, %B %d, %Y at %I:%M %p");
        EXPECT_GE(next, now + 86'400 - 60);
        EXPECT_LE(next, now + 7 * 86'400);
    }
}

TEST(MeetingNotesDataTest, AgendasFollowTheMeetingType) {
    platform::SeededRandom random(5);
    EXPECT_EQ(agendaItems("Team Sync", random), agendaItems("Design Review", random));
    EXPECT_EQ(agendaItems("Team Sync", random).front(), "Project status update");
    EXPECT_EQ(agendaItems("Sprint Planning", random).back(), "Sprint commitment");
    EXPECT_EQ(agendaItems("Product Review", random).front(), "Product roadmap updates");

    // The two quarters of a quarterly review are drawn apart.
    std::set<std::pair<std::string, std::string>> quarters;
    for (int draw = 0; draw < 200; ++draw) {
        const std::vector<std::string> items = agendaItems("Quarterly Review", random);
        ASSERT_EQ(items.size(), 5u);
        ASSERT_TRUE(std::regex_match(items.front(), std::regex("Q[1-4] performance metrics"))) << items.front();
        ASSERT_TRUE(std::regex_match(items.back(), std::regex("Q[1-4] planning"))) << items.back();
        quarters.emplace(items.front().substr(0, 2), items.back().substr(0, 2));
    }
    EXPECT_EQ(quarters.size(), 16u);
}

TEST(MeetingNotesDataTest, CapitalizedStartsEveryWordUpperCase) {
    EXPECT_EQ(capitalized("envisioneer B2B one-to-one  web-readiness"), "Envisioneer B2b One-to-one  Web-readiness");
    EXPECT_EQ(capitalized(""), "");
}

TEST(MeetingNotesDataTest, TheLargeFormHasThreeOrFourBriefSets) {
    testing::WriterFixture world;
    std::set<std::size_t> counts;
    for (int seed = 0; seed < kSeeds; ++seed) {
        platform::SeededRandom random(seed);
        sham::Faker faker("en", testing::shippedLocales(), random, world.clock);
        const std::vector<Notes> sets = buildDocument(ContentSize::large, faker, random, world.clock);
        counts.insert(sets.size());
        for (const Notes& notes : sets) {
            EXPECT_FALSE(notes.detailed);
        }
    }
    EXPECT_EQ(counts, (std::set<std::size_t>{3, 4}));

    platform::SeededRandom random(1);
    sham::Faker faker("en", testing::shippedLocales(), random, world.clock);
    const std::vector<Notes> small = buildDocument(ContentSize::small, faker, random, world.clock);
    ASSERT_EQ(small.size(), 1u);
    EXPECT_TRUE(small.front().detailed);
}

}  // namespace
}  // namespace stubforge::meeting_notes
