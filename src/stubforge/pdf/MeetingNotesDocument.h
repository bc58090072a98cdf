#pragma once

#include "stubforge/pdf/DocumentSupport.h"

#include "sham/Faker.h"

#include "platform/Clock.h"
#include "platform/Random.h"
#include "platform/graphics/AttributedText.h"

#include <string>
#include <vector>

// Meeting notes: one detailed set (small form) or three or four brief sets,
// each from the top of a page (large form), flowed over US Letter pages.
namespace stubforge::meeting_notes {

inline constexpr platform::graphics::Size kPageSize = platform::graphics::pageSizes::usLetter;
inline constexpr double kMargin = 50;
inline constexpr platform::graphics::Size kTextArea{kPageSize.width - 2 * kMargin, kPageSize.height - 2 * kMargin};

struct Attendee {
    std::string name;
    std::string role;
};

struct ActionItem {
    std::string action;
    std::string owner;
    std::string due;
};

struct AgendaTopic {
    std::string item;
    std::vector<std::string> points;
};

struct Notes {
    bool detailed = false;
    std::string meetingType;
    std::string date;
    std::string location;
    std::string facilitator;
    std::string noteTaker;
    std::vector<Attendee> attendees;
    std::vector<AgendaTopic> agenda;  // five items, each with its discussion points
    std::vector<ActionItem> actionItems;
    std::vector<std::string> nextSteps;  // empty unless detailed
    std::string nextMeeting;
};

// One set of notes: every draw and fake value. Dates count from the clock,
// read anew for each.
Notes buildNotes(bool detailed, sham::Faker& faker, platform::RandomSource& random, const platform::Clock& clock);

// The sets of one document: one detailed set, or three or four brief ones.
std::vector<Notes> buildDocument(ContentSize size, sham::Faker& faker, platform::RandomSource& random,
                                 const platform::Clock& clock);

std::vector<std::string> agendaItems(const std::string& meetingType, platform::RandomSource& random);
std::vector<std::string> discussionPoints(bool detailed, sham::Faker& faker, platform::RandomSource& random);
std::string actionItemText(platform::RandomSource& random);
std::vector<std::string> nextSteps(platform::RandomSource& random);

// First letter of each space-separated word upper case, the rest lower case.
std::string capitalized(std::string_view text);

// One set of notes as one styled text.
platform::graphics::AttributedText notesText(const Notes& notes);

// Every set flowed over its own pages.
void drawNotes(DocumentPages& pages, const std::vector<Notes>& sets);

}  // namespace stubforge::meeting_notes
