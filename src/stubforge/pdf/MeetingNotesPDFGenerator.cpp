#include "MeetingNotesDocument.h"

#include "ContentPicks.h"
#include "DocumentText.h"
#include "Documents.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <string_view>

namespace stubforge::meeting_notes {

namespace graphics = platform::graphics;
using content::pickOne;
using content::randomInt;

namespace {

constexpr std::array<std::string_view, 8> kMeetingTypes{"Sprint Planning",  "Product Review",   "Team Sync",
                                                        "Strategy Meeting", "Quarterly Review", "Project Kickoff",
                                                        "Retrospective",    "Design Review"};

constexpr std::array<std::string_view, 6> kLocations{"Conference Room A", "Virtual - Zoom", "Board Room",
                                                     "Virtual - Teams",   "Innovation Lab", "Meeting Room 3B"};

constexpr std::array<std::string_view, 5> kSprintAgenda{"Review previous sprint outcomes", "Sprint goal definition",
                                                        "Backlog refinement and prioritization",
                                                        "Team capacity planning", "Sprint commitment"};

constexpr std::array<std::string_view, 5> kProductAgenda{"Product roadmap updates", "Feature demonstrations",
                                                         "Customer feedback review", "Market positioning discussion",
                                                         "Release planning"};

constexpr std::array<std::string_view, 5> kDefaultAgenda{"Project status update", "Key challenges and blockers",
                                                         "Resource allocation", "Timeline review", "Risk assessment"};

constexpr std::array<std::string_view, 10> kTopics{"KPIs",         "ROI",       "deliverables", "milestones",
                                                   "stakeholders", "bandwidth", "synergies",    "objectives",
                                                   "initiatives",  "metrics"};

constexpr std::array<std::string_view, 8> kActionVerbs{"Create detailed project plan for",
                                                       "Schedule follow-up meeting to discuss",
                                                       "Prepare presentation on",
                                                       "Research best practices for",
                                                       "Develop prototype for",
                                                       "Review and update documentation for",
                                                       "Conduct analysis of",
                                                       "Implement solution for"};

constexpr std::array<std::string_view, 8> kActionSubjects{
    "new feature implementation",   "customer onboarding process", "performance optimization", "security improvements",
    "user experience enhancements", "integration requirements",    "testing strategy",         "deployment pipeline"};

constexpr std::array<std::string_view, 5> kNextSteps{
    "Circulate meeting minutes to all stakeholders", "Update project dashboard with latest decisions",
    "Schedule technical deep-dive session", "Prepare materials for executive review",
    "Coordinate with cross-functional teams"};

constexpr std::string_view kBullet = "\u2022 ";
constexpr std::string_view kPointBullet = "   \u2022 ";

constexpr double kSecondsPerDay = 86'400;

// Type-level fonts, in the order the notes declare them.
constinit StaticFontSlot titleSlot;
constinit StaticFontSlot sectionSlot;
constinit StaticFontSlot labelSlot;
constinit StaticFontSlot bodySlot;

// Now plus a whole-range draw of seconds from `lowest` to `highest`.
platform::TimePoint offsetFromNow(const platform::Clock& clock, platform::RandomSource& random, double lowest,
                                  double highest) {
    const double seconds = randomDoubleInClosedRange(random, lowest, highest);
    return clock.now() +
           std::chrono::duration_cast<platform::TimePoint::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

std::string capitalized(std::string_view text) {
    std::string result(text);
    bool wordStart = true;
    for (char& c : result) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isspace(byte) != 0) {
            wordStart = true;
            continue;
        }
        c = static_cast<char>(wordStart ? std::toupper(byte) : std::tolower(byte));
        wordStart = false;
    }
    return result;
}

std::vector<std::string> agendaItems(const std::string& meetingType, platform::RandomSource& random) {
    if (meetingType == "Sprint Planning") {
        return listOf(kSprintAgenda);
    }
    if (meetingType == "Product Review") {
        return listOf(kProductAgenda);
    }
    if (meetingType == "Quarterly Review") {
        // Two quarters drawn apart: the one reviewed and the one planned.
        std::string reviewed = std::string("Q").append(std::to_string(randomInt(random, 1, 4)));
        std::string planned = std::string("Q").append(std::to_string(randomInt(random, 1, 4)));
        return {reviewed.append(" performance metrics"), "Key achievements and milestones",
                "Budget review and forecast", "Strategic initiatives update", planned.append(" planning")};
    }
    return listOf(kDefaultAgenda);
}

std::vector<std::string> discussionPoints(bool detailed, sham::Faker& faker, platform::RandomSource& random) {
    const int count = detailed ? randomInt(random, 3, 5) : randomInt(random, 2, 3);
    std::vector<std::string> points;
    for (int index = 0; index < count; ++index) {
        const std::string topic = pickOne(kTopics, random);
        const int percentage = randomInt(random, 5, 35);
        const int amount = randomInt(random, 10, 200) * 1000;
        // Only the picked template draws its fake value, so the others cost nothing.
        switch (randomIntBelow(random, 5)) {
        case 0:
            points.push_back(faker.name().firstName() + " highlighted the importance of " + topic +
                             " in achieving our goals");
            break;
        case 1:
            points.push_back("Team agreed to increase focus on " + topic + " by " + std::to_string(percentage) + "%");
            break;
        case 2:
            points.push_back("Discussion on allocating $" + std::to_string(amount) + " budget for improving " + topic);
            break;
        case 3:
            points.push_back("Proposed new approach to tracking " + topic + " using " + faker.app().name() +
                             " platform");
            break;
        default:
            points.push_back(capitalized(faker.company().bs()) + " identified as key factor in " + topic +
                             " improvement");
            break;
        }
    }
    return points;
}

std::string actionItemText(platform::RandomSource& random) {
    return pickOne(kActionVerbs, random) + " " + pickOne(kActionSubjects, random);
}

std::vector<std::string> nextSteps(platform::RandomSource& random) { return content::pickSome(kNextSteps, 3, random); }

Notes buildNotes(bool detailed, sham::Faker& faker, platform::RandomSource& random, const platform::Clock& clock) {
    using platform::format::DateStyle;
    Notes notes;
    notes.detailed = detailed;
    notes.meetingType = pickOne(kMeetingTypes, random);
    notes.date = platform::format::date(offsetFromNow(clock, random, -30 * kSecondsPerDay, 0), DateStyle::longStyle,
                                        DateStyle::shortStyle);
    notes.location = pickOne(kLocations, random);
    notes.facilitator = faker.name().name();
    notes.noteTaker = faker.name().name();

    const int attendees = randomInt(random, 4, 8);
    for (int index = 0; index < attendees; ++index) {
        Attendee attendee;
        attendee.name = faker.name().name();
        attendee.role = capitalized(faker.company().bs());
        notes.attendees.push_back(std::move(attendee));
    }

    for (std::string& item : agendaItems(notes.meetingType, random)) {
        notes.agenda.push_back({std::move(item), discussionPoints(detailed, faker, random)});
    }

    const int actions = randomInt(random, 3, 6);
    for (int index = 0; index < actions; ++index) {
        ActionItem action;
        action.action = actionItemText(random);
        action.owner = faker.name().name();
        action.due = platform::format::date(offsetFromNow(clock, random, kSecondsPerDay, 14 * kSecondsPerDay),
                                            DateStyle::medium);
        notes.actionItems.push_back(std::move(action));
    }

    if (detailed) {
        notes.nextSteps = nextSteps(random);
    }
    notes.nextMeeting = platform::format::date(offsetFromNow(clock, random, kSecondsPerDay, 7 * kSecondsPerDay),
                                               DateStyle::full, DateStyle::shortStyle);
    return notes;
}

std::vector<Notes> buildDocument(ContentSize size, sham::Faker& faker, platform::RandomSource& random,
                                 const platform::Clock& clock) {
    std::vector<Notes> sets;
    if (size == ContentSize::small) {
        sets.push_back(buildNotes(true, faker, random, clock));
        return sets;
    }
    const int count = randomInt(random, 3, 4);
    for (int index = 0; index < count; ++index) {
        sets.push_back(buildNotes(false, faker, random, clock));
    }
    return sets;
}

graphics::AttributedText notesText(const Notes& notes) {
    const graphics::TextStyle title = textStyle(makeStaticFont(FontWeight::bold, 22, titleSlot));
    const graphics::TextStyle section = textStyle(makeStaticFont(FontWeight::bold, 16, sectionSlot));
    const graphics::TextStyle label = textStyle(makeStaticFont(FontWeight::bold, 14, labelSlot));
    const graphics::TextStyle body = textStyle(makeStaticFont(FontWeight::regular, 12, bodySlot));

    graphics::AttributedText text;
    text.append(notes.meetingType + " Meeting Notes\n\n", title);
    text.append("Date: ", label);
    text.append(notes.date + "\n", body);
    text.append("Location: ", label);
    text.append(notes.location + "\n", body);
    text.append("Facilitator: ", label);
    text.append(notes.facilitator + "\n", body);
    text.append("Note Taker: ", label);
    text.append(notes.noteTaker + "\n\n", body);

    text.append("Attendees:\n", section);
    for (const Attendee& attendee : notes.attendees) {
        text.append(std::string(kBullet) + attendee.name + " - " + attendee.role + "\n", body);
    }
    text.append("\n", body);

    text.append("Agenda:\n", section);
    for (std::size_t index = 0; index < notes.agenda.size(); ++index) {
        text.append(std::to_string(index + 1) + ". " + notes.agenda[index].item + "\n", body);
    }
    text.append("\n", body);

    text.append("Discussion Points:\n", section);
    for (std::size_t index = 0; index < notes.agenda.size(); ++index) {
        text.append(std::string("\n").append(std::to_string(index + 1)).append(". ") + notes.agenda[index].item + "\n",
                    label);
        for (const std::string& point : notes.agenda[index].points) {
            text.append(std::string(kPointBullet) + point + "\n", body);
        }
    }

    text.append("\nAction Items:\n", section);
    for (std::size_t index = 0; index < notes.actionItems.size(); ++index) {
        const ActionItem& item = notes.actionItems[index];
        text.append(
            std::to_string(index + 1) + ". " + item.action + "\n   Owner: " + item.owner + " | Due: " + item.due + "\n",
            body);
    }

    if (notes.detailed) {
        text.append("\nNext Steps:\n", section);
        for (const std::string& step : notes.nextSteps) {
            text.append(std::string(kBullet) + step + "\n", body);
        }
    }

    text.append("\nNext Meeting:\n", section);
    text.append(notes.nextMeeting + "\n", body);
    return text;
}

void drawNotes(DocumentPages& pages, const std::vector<Notes>& sets) {
    for (const Notes& notes : sets) {
        const graphics::TextFlow flow = paginateText(pages.typesetter(), notesText(notes), kTextArea);
        drawTextPages(pages, flow, {kMargin, kMargin});
    }
}

}  // namespace stubforge::meeting_notes

namespace stubforge {

std::filesystem::path PDFMeetingNotesGenerator::generateDocument(const std::filesystem::path& destination,
                                                                 ContentSize size, const GenerationContext& context) {
    sham::Faker faker = makeFaker(context);
    const std::vector<meeting_notes::Notes> sets =
        meeting_notes::buildDocument(size, faker, context.random(), context.clock());
    return generatePDFDocument(destination, PageSetup{meeting_notes::kPageSize}, context,
                               [&](DocumentPages& pages) { meeting_notes::drawNotes(pages, sets); });
}

}  // namespace stubforge
