#include "CVDocument.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include "sham/Faker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace stubforge::cv {
namespace {

namespace graphics = platform::graphics;

constexpr int kSeeds = 40;

CV cvFor(ContentSize size, std::uint64_t seed, const platform::Clock& clock) {
    platform::SeededRandom random(seed);
    sham::Faker faker("en", testing::shippedLocales(), random, clock);
    return buildCV(size, faker, random, clock.now());
}

TEST(CVDataTest, JobsRunBackFromThePresentWithGaps) {
    testing::WriterFixture world;
    const int year = platform::localTime(world.clock.now()).tm_year + 1900;
    for (const ContentSize size : {ContentSize::small, ContentSize::large}) {
        const bool large = size == ContentSize::large;
        for (int seed = 0; seed < kSeeds; ++seed) {
            const CV cv = cvFor(size, seed, world.clock);
            SCOPED_TRACE(::testing::Message() << (large ? "large" : "small") << " seed " << seed);
            ASSERT_GE(cv.jobs.size(), large ? 4u : 2u);
            ASSERT_LE(cv.jobs.size(), large ? 6u : 3u);
            EXPECT_EQ(cv.jobs.front().endYear, year);
            for (std::size_t index = 0; index < cv.jobs.size(); ++index) {
                const Job& job = cv.jobs[index];
                EXPECT_GE(job.endYear - job.startYear, 2);
                EXPECT_LE(job.endYear - job.startYear, 4);
                EXPECT_GE(job.achievements.size(), large ? 4u : 2u);
                EXPECT_LE(job.achievements.size(), large ? 5u : 3u);
                EXPECT_EQ(std::set<std::string>(job.achievements.begin(), job.achievements.end()).size(),
                          job.achievements.size());
                if (index > 0) {
                    // One or two whole years between a job's end and the next one's start.
                    const int gap = cv.jobs[index - 1].startYear - job.endYear;
                    EXPECT_GE(gap, 2);
                    EXPECT_LE(gap, 3);
                }
            }
        }
    }
}

TEST(CVDataTest, TheLargeFormAddsSectionsSkillsAndSometimesASecondMaster) {
    testing::WriterFixture world;
    const int year = platform::localTime(world.clock.now()).tm_year + 1900;
    int secondDegrees = 0;
    for (int seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE(seed);
        const CV small = cvFor(ContentSize::small, seed, world.clock);
        EXPECT_EQ(small.skills.size(), 7u);
        EXPECT_EQ(small.education.size(), 1u);
        EXPECT_TRUE(small.certifications.empty() && small.projects.empty() && small.languages.empty());

        const CV large = cvFor(ContentSize::large, seed, world.clock);
        EXPECT_EQ(large.skills.size(), 12u);
        EXPECT_EQ(std::set<std::string>(large.skills.begin(), large.skills.end()).size(), 12u);
        EXPECT_GE(large.certifications.size(), 2u);
        EXPECT_LE(large.certifications.size(), 4u);
        EXPECT_GE(large.projects.size(), 2u);
        EXPECT_LE(large.projects.size(), 3u);
        EXPECT_GE(large.languages.size(), 2u);
        EXPECT_LE(large.languages.size(), 3u);
        ASSERT_GE(large.education.size(), 1u);
        if (large.education.size() == 2) {
            ++secondDegrees;
            EXPECT_EQ(large.education[1].rfind("Master", 0), 0u) << large.education[1];
            const int first = std::stoi(large.education[0].substr(large.education[0].size() - 5, 4));
            const int second = std::stoi(large.education[1].substr(large.education[1].size() - 5, 4));
            EXPECT_GE(second - first, 2);
            EXPECT_LE(second - first, 5);
            EXPECT_LE(second, year);
        }
    }
    // About half of them: fixed seeds, and a fair coin falls outside 6–34 heads in 40 throws about once in a million.
    EXPECT_GT(secondDegrees, 5);
    EXPECT_LT(secondDegrees, kSeeds - 5);
}

TEST(CVContentTest, LinksFollowTheNameAndTheSmallFormEndsWithTheSkills) {
    CV cv;
    cv.name = "Mary-Kate O'Neil Smith";
    cv.jobs = {{"Team Lead", "Acme", 2020, 2026, {"Did things"}}, {"Senior Analyst", "Initech", 2015, 2018, {}}};
    cv.education = {"Master of Science in Data Science, Harvard University (2010)"};
    cv.skills = {"SQL", "Git"};

    const std::string small = buildContent(cv).string();
    EXPECT_EQ(small.find("Portfolio: "), std::string::npos);
    EXPECT_NE(small.find("Acme | 2020 - Present\n"), std::string::npos);
    EXPECT_NE(small.find("Initech | 2015 - 2018\n"), std::string::npos);
    EXPECT_TRUE(small.ends_with("\nSKILLS\nSQL \u2022 Git\n")) << small;

    cv.large = true;
    cv.projects = {{"Mobile Banking Application", "An app.", "Swift, Kotlin"}};
    const graphics::AttributedText large = buildContent(cv);
    EXPECT_NE(large.string().find("linkedin.com/in/mary-kate-o'neil-smith\n"), std::string::npos);
    EXPECT_NE(large.string().find("Portfolio: mary-kateo'neilsmith.com\n"), std::string::npos);

    // The name stands largest; the technologies line is smaller than the text around it.
    const std::size_t technologies = large.string().find("Technologies: ");
    ASSERT_NE(technologies, std::string::npos);
    EXPECT_EQ(large.styleAt(technologies).font.size, 9);
    EXPECT_EQ(large.styleAt(technologies - 2).font.size, 11);
    EXPECT_EQ(large.styleAt(0).font, graphics::Font::boldSystem(24));
}

TEST(CVPagesTest, ALongCVKeepsItsTextInTheTextAreaAndItsFooterOnEveryPage) {
    testing::WriterFixture world;
    CV cv = cvFor(ContentSize::large, 3, world.clock);
    // Enough jobs to run over several pages.
    const Job job = cv.jobs.front();
    cv.jobs.assign(30, job);
    const graphics::AttributedText content = buildContent(cv);
    const auto pdf = renderPDFDocument(PageSetup{kPageSize}, world.context(),
                                       [&](DocumentPages& pages) { drawPages(pages, content); });
    graphics_test::TemporaryFolder folder;
    const auto path = folder.write("cv.pdf", pdf);
    const std::vector<graphics_test::Word> words = graphics_test::wordsOf(path);
    int pages = 0;
    for (const graphics_test::Word& word : words) {
        pages = std::max(pages, word.page + 1);
    }
    ASSERT_GT(pages, 2);
    for (int page = 0; page < pages; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(graphics_test::find(words, "Stubforge", page).size(), 1u);
    }
    for (const graphics_test::Word& word : words) {
        if (word.yMin >= kPageSize.height - kMargin) {
            // The footer: right end 20 pt from the edge, top 30 pt above the bottom.
            EXPECT_LE(word.xMax, kPageSize.width - kFooterInset + 0.5) << word.text;
            EXPECT_NEAR(word.yMin, kPageSize.height - kFooterRise, 0.5) << word.text;
            continue;
        }
        EXPECT_GE(word.xMin, kMargin - 0.5) << word.text;
        EXPECT_GE(word.yMin, kMargin - 0.5) << word.text;
        EXPECT_LE(word.xMax, kPageSize.width - kMargin + 0.5) << word.text;
        EXPECT_LE(word.yMax, kPageSize.height - kMargin + 0.5) << word.text;
    }
}

}  // namespace
}  // namespace stubforge::cv
