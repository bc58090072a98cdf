#include "CVDocument.h"

#include "ContentPicks.h"
#include "DocumentText.h"
#include "Documents.h"

#include "stubforge/core/FakeData.h"

#include "platform/graphics/Color.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace stubforge::cv {

namespace graphics = platform::graphics;
using content::pickOne;
using content::pickSome;
using content::randomInt;
using content::randomNumberText;

namespace {

constexpr std::array<std::string_view, 10> kHeadlineTitles{
    "Senior Software Engineer", "Product Manager", "Data Scientist",   "Marketing Manager", "Financial Analyst",
    "UX/UI Designer",           "DevOps Engineer", "Business Analyst", "Project Manager",   "Full Stack Developer"};

constexpr std::array<std::string_view, 10> kJobTitles{"Senior Software Engineer", "Lead Developer",
                                                      "Product Manager",          "Technical Lead",
                                                      "Solutions Architect",      "Engineering Manager",
                                                      "Principal Consultant",     "Director of Engineering",
                                                      "Senior Analyst",           "Team Lead"};

constexpr std::array<int, 9> kPercentages{10, 15, 20, 25, 30, 35, 40, 45, 50};

constexpr std::array<std::string_view, 4> kFrequencies{"quarterly", "monthly", "annual", "weekly"};

constexpr std::array<std::string_view, 6> kDegrees{
    "Bachelor of Science in Computer Science",         "Master of Business Administration (MBA)",
    "Bachelor of Arts in Business Administration",     "Master of Science in Data Science",
    "Bachelor of Engineering in Software Engineering", "Master of Science in Information Technology"};

constexpr std::array<std::string_view, 8> kUniversities{"Stanford University",
                                                        "Massachusetts Institute of Technology",
                                                        "University of California, Berkeley",
                                                        "Harvard University",
                                                        "Carnegie Mellon University",
                                                        "University of Michigan",
                                                        "Georgia Institute of Technology",
                                                        "University of Texas at Austin"};

constexpr std::array<std::string_view, 20> kTechnicalSkills{
    "Python",     "JavaScript",       "Java",          "C++", "Swift",   "React", "Node.js", "AWS",   "Docker",
    "Kubernetes", "Machine Learning", "Data Analysis", "SQL", "MongoDB", "Git",   "CI/CD",   "Agile", "Scrum",
    "REST APIs",  "Microservices"};

constexpr std::array<std::string_view, 10> kSoftSkills{
    "Leadership",         "Communication",          "Problem Solving", "Team Management", "Strategic Planning",
    "Project Management", "Stakeholder Management", "Negotiation",     "Analytics",       "Innovation"};

constexpr std::array<std::string_view, 8> kCertifications{"AWS Certified Solutions Architect",
                                                          "Project Management Professional (PMP)",
                                                          "Certified Scrum Master (CSM)",
                                                          "Lumen Cloud Professional Data Engineer",
                                                          "Microsoft Azure Administrator",
                                                          "Certified Information Security Manager (CISM)",
                                                          "Six Sigma Black Belt",
                                                          "Certified Kubernetes Administrator (CKA)"};

constexpr std::array<std::string_view, 7> kLanguages{
    "English (Native)",      "Spanish (Fluent)",          "French (Conversational)", "Mandarin (Basic)",
    "German (Professional)", "Japanese (Conversational)", "Portuguese (Fluent)"};

struct ProjectText {
    std::string_view name;
    std::string_view description;
    std::string_view technologies;
};

constexpr std::array<ProjectText, 4> kProjects{{
    {"Enterprise Resource Planning System",
     "Designed and delivered an ERP platform serving 10,000+ users across multiple departments, cutting manual "
     "data entry by 60% and closing the books two days faster.",
     "Java, Spring Boot, React, PostgreSQL, Docker, Kubernetes"},
    {"Real-time Analytics Dashboard",
     "Built a streaming dashboard that processes 5M+ events per day with 99.9% uptime, giving leadership live "
     "insight into sales and operations.",
     "Python, Kafka, Apache Spark, TypeScript, D3.js, AWS"},
    {"Mobile Banking Application",
     "Launched a mobile banking app used by 500,000+ customers, reducing branch visits by 40% while keeping a "
     "4.8-star rating in both app stores.",
     "Swift, Kotlin, Node.js, GraphQL, MongoDB, Azure"},
    {"AI-Powered Customer Service Platform",
     "Introduced a conversational support platform that resolves 70% of inquiries automatically and reduced "
     "average response time from hours to seconds.",
     "Python, TensorFlow, FastAPI, Redis, Elasticsearch, GCP"},
}};

struct SummaryText {
    std::string_view opening;
    std::string_view remainder;
};

constexpr std::array<SummaryText, 4> kSummaries{{
    {"Results-driven professional with ",
     "+ years of experience delivering innovative solutions that drive business growth. Proven track record of "
     "leading cross-functional teams, shaping product strategy and turning complex requirements into reliable, "
     "scalable results."},
    {"Accomplished professional with ",
     "+ years of expertise in cutting-edge technologies and complex projects. Known for pairing deep technical "
     "knowledge with a clear focus on customer value."},
    {"Dynamic leader with ",
     "+ years of experience in business operations and digital innovation. Skilled at aligning teams around "
     "shared goals and bringing new ideas from concept to market."},
    {"Strategic thinker with ",
     "+ years of experience shaping business strategies and leading change management across growing "
     "organizations."},
}};

constexpr std::array<std::string_view, 3> kSummaryAdditions{
    " Recognized for exceptional problem-solving abilities and strong communication skills.",
    " Passionate about leveraging technology to solve challenging business problems.",
    " Committed to continuous learning and staying ahead of industry trends."};

// The profile line of the large form: a networking service's label and the
// start of its public profile address.
constexpr std::string_view kProfileLabel = "LinkedIn: ";
constexpr std::string_view kProfilePrefix = "linkedin.com/in/";

constexpr std::string_view kBullet = "\u2022 ";
constexpr std::string_view kSkillSeparator = " \u2022 ";

// Type-level fonts, in the order the CV declares them.
constinit StaticFontSlot nameSlot;
constinit StaticFontSlot headlineSlot;
constinit StaticFontSlot sectionSlot;
constinit StaticFontSlot jobTitleSlot;
constinit StaticFontSlot bodySlot;
constinit StaticFontSlot technologiesSlot;
constinit StaticFontSlot footerSlot;

std::string percentage(platform::RandomSource& random) {
    return std::to_string(kPercentages[static_cast<std::size_t>(randomIntBelow(random, kPercentages.size()))]);
}

std::vector<std::string> achievementTemplates(platform::RandomSource& random) {
    std::vector<std::string> texts;
    texts.reserve(10);
    texts.push_back("Led a team of " + randomNumberText(random, 5, 15) + " engineers to deliver " +
                    randomNumberText(random, 3, 10) + " major projects on time and within budget");
    texts.push_back("Increased operational efficiency by " + percentage(random) +
                    "% through implementation of automated workflows");
    texts.push_back("Managed $" + randomNumberText(random, 1, 10) + "M budget and reduced costs by " +
                    percentage(random) + "%");
    texts.push_back("Developed and implemented new strategies that resulted in " + percentage(random) +
                    "% revenue growth");
    texts.push_back("Collaborated with cross-functional teams to launch " + randomNumberText(random, 5, 20) +
                    " new features");
    texts.push_back("Mentored " + randomNumberText(random, 3, 8) +
                    " junior team members and improved team productivity by " + percentage(random) + "%");
    texts.push_back("Spearheaded digital transformation initiative affecting " + randomNumberText(random, 100, 1000) +
                    " users");
    texts.push_back("Optimized system performance resulting in " + percentage(random) + "% faster processing times");
    texts.push_back("Established best practices that reduced errors by " + percentage(random) + "% " +
                    pickOne(kFrequencies, random));
    texts.emplace_back("Successfully migrated legacy systems to modern architecture with zero downtime");
    return texts;
}

// "Jane Doe" -> "jane-doe" with `joiner` "-", "janedoe" with "".
std::string nameSlug(const std::string& name, std::string_view joiner) {
    std::string slug;
    for (const char c : lowercase(name)) {
        if (c == ' ') {
            slug += joiner;
        } else {
            slug += c;
        }
    }
    return slug;
}

}  // namespace

std::string makeSummary(bool large, platform::RandomSource& random) {
    const std::string years = randomNumberText(random, 5, 15);
    const SummaryText& text = kSummaries[static_cast<std::size_t>(randomIntBelow(random, kSummaries.size()))];
    std::string summary = std::string(text.opening) + years + std::string(text.remainder);
    if (large) {
        summary += pickOne(kSummaryAdditions, random);
    }
    return summary;
}

std::vector<std::string> makeAchievements(bool large, platform::RandomSource& random) {
    std::vector<std::string> texts = achievementTemplates(random);
    const std::size_t count = (large ? 4 : 2) + static_cast<std::size_t>(randomIntBelow(random, 2));
    return pickSome(std::move(texts), count, random);
}

std::vector<std::string> makeEducation(bool large, int currentYear, platform::RandomSource& random) {
    const int firstYear = currentYear - randomInt(random, 5, 20);
    std::vector<std::string> lines;
    lines.push_back(pickOne(kDegrees, random) + ", " + pickOne(kUniversities, random) + " (" +
                    std::to_string(firstYear) + ")");
    if (large && (random.next() & 1U) != 0) {
        std::vector<std::string_view> masters;
        std::copy_if(kDegrees.begin(), kDegrees.end(), std::back_inserter(masters),
                     [](std::string_view degree) { return degree.find("Master") != std::string_view::npos; });
        const int secondYear = firstYear + randomInt(random, 2, 5);
        lines.push_back(pickOne(masters, random) + ", " + pickOne(kUniversities, random) + " (" +
                        std::to_string(secondYear) + ")");
    }
    return lines;
}

std::vector<std::string> makeSkills(bool large, platform::RandomSource& random) {
    std::vector<std::string> skills = pickSome(kTechnicalSkills, large ? 8 : 5, random);
    const std::vector<std::string> soft = pickSome(kSoftSkills, large ? 4 : 2, random);
    skills.insert(skills.end(), soft.begin(), soft.end());
    content::shuffle(skills, random);
    return skills;
}

CV buildCV(ContentSize size, sham::Faker& faker, platform::RandomSource& random, platform::TimePoint now) {
    CV cv;
    cv.large = size != ContentSize::small;
    cv.currentYear = platform::localTime(now).tm_year + 1900;
    cv.name = faker.name().name();
    cv.headline = pickOne(kHeadlineTitles, random);
    cv.email = faker.internet().email();
    cv.phone = faker.phoneNumber().phoneNumber();
    cv.city = faker.address().city();
    cv.stateAbbreviation = faker.address().stateAbbreviation();
    cv.postcode = faker.address().postcode();
    cv.summary = makeSummary(cv.large, random);

    const int jobCount = cv.large ? randomInt(random, 4, 6) : randomInt(random, 2, 3);
    int endYear = cv.currentYear;
    for (int index = 0; index < jobCount; ++index) {
        if (index > 0) {
            endYear = (cv.jobs.back().startYear - 1) - randomInt(random, 1, 2);
        }
        Job job;
        job.endYear = endYear;
        job.startYear = endYear - randomInt(random, 2, 4);
        job.company = faker.company().name();
        job.title = pickOne(kJobTitles, random);
        job.achievements = makeAchievements(cv.large, random);
        cv.jobs.push_back(std::move(job));
    }

    cv.education = makeEducation(cv.large, cv.currentYear, random);
    cv.skills = makeSkills(cv.large, random);

    if (cv.large) {
        cv.certifications = pickSome(kCertifications, 2 + randomIntBelow(random, 3), random);
        std::vector<Project> projects;
        for (const ProjectText& project : kProjects) {
            projects.push_back(
                {std::string(project.name), std::string(project.description), std::string(project.technologies)});
        }
        cv.projects = pickSome(std::move(projects), 2 + randomIntBelow(random, 2), random);
        cv.languages = pickSome(kLanguages, 2 + randomIntBelow(random, 2), random);
    }
    return cv;
}

graphics::AttributedText buildContent(const CV& cv) {
    const graphics::TextStyle name = textStyle(makeStaticFont(FontWeight::bold, 24, nameSlot));
    const graphics::TextStyle headline = textStyle(makeStaticFont(FontWeight::regular, 16, headlineSlot));
    const graphics::TextStyle section = textStyle(makeStaticFont(FontWeight::bold, 14, sectionSlot));
    const graphics::TextStyle jobTitle = textStyle(makeStaticFont(FontWeight::bold, 12, jobTitleSlot));
    const graphics::TextStyle body = textStyle(makeStaticFont(FontWeight::regular, 11, bodySlot));
    const graphics::TextStyle technologies = textStyle(makeStaticFont(FontWeight::regular, 9, technologiesSlot));

    graphics::AttributedText text;
    text.append(cv.name + "\n", name);
    text.append(cv.headline + "\n\n", headline);
    text.append("Email: " + cv.email + " | Phone: " + cv.phone + "\n", body);
    text.append("Location: " + cv.city + ", " + cv.stateAbbreviation + " " + cv.postcode + "\n", body);
    if (cv.large) {
        text.append(std::string(kProfileLabel) + std::string(kProfilePrefix) + nameSlug(cv.name, "-") + "\n", body);
        text.append("Portfolio: " + nameSlug(cv.name, "") + ".com\n", body);
    }
    text.append("\n", body);

    text.append("PROFESSIONAL SUMMARY\n", section);
    text.append(cv.summary + "\n\n", body);

    text.append("WORK EXPERIENCE\n", section);
    for (std::size_t index = 0; index < cv.jobs.size(); ++index) {
        const Job& job = cv.jobs[index];
        text.append("\n" + job.title + "\n", jobTitle);
        text.append(job.company + " | " + std::to_string(job.startYear) + " - " +
                        (index == 0 ? std::string("Present") : std::to_string(job.endYear)) + "\n",
                    body);
        for (const std::string& achievement : job.achievements) {
            text.append(std::string(kBullet) + achievement + "\n", body);
        }
    }

    text.append("\nEDUCATION\n", section);
    for (const std::string& line : cv.education) {
        text.append(line + "\n", body);
    }

    text.append("\nSKILLS\n", section);
    std::string skills;
    for (const std::string& skill : cv.skills) {
        if (!skills.empty()) {
            skills += kSkillSeparator;
        }
        skills += skill;
    }
    text.append(skills, body);
    text.append("\n", body);
    if (!cv.large) {
        return text;
    }

    text.append("\nCERTIFICATIONS\n", section);
    for (const std::string& certification : cv.certifications) {
        text.append(std::string(kBullet) + certification + "\n", body);
    }
    text.append("\nKEY PROJECTS\n", section);
    for (const Project& project : cv.projects) {
        text.append(project.name + "\n", jobTitle);
        text.append(project.description + "\n", body);
        text.append("Technologies: " + project.technologies + "\n", technologies);
    }
    text.append("\nLANGUAGES\n", section);
    for (const std::string& language : cv.languages) {
        text.append(std::string(kBullet) + language + "\n", body);
    }
    return text;
}

void drawPages(DocumentPages& pages, const graphics::AttributedText& content) {
    graphics::TextStyle footer = textStyle(makeStaticFont(FontWeight::regular, 10, footerSlot));
    footer.color = graphics::colors::gray.withAlpha(0.5);
    const graphics::AttributedText footerText(kFooterText, footer);

    const graphics::TextFlow flow = paginateText(pages.typesetter(), content, kTextArea);
    drawTextPages(pages, flow, {kMargin, kMargin}, [&](graphics::Canvas& canvas, std::size_t, std::size_t) {
        canvas.save();
        const double width = canvas.measure(footerText).width;
        canvas.drawText(footerText,
                        graphics::Point{kPageSize.width - width - kFooterInset, kPageSize.height - kFooterRise});
        canvas.restore();
    });
}

}  // namespace stubforge::cv

namespace stubforge {

std::filesystem::path PDFCVGenerator::generateDocument(const std::filesystem::path& destination, ContentSize size,
                                                       const GenerationContext& context) {
    sham::Faker faker = makeFaker(context);
    const cv::CV document = cv::buildCV(size, faker, context.random(), context.clock().now());
    const platform::graphics::AttributedText content = cv::buildContent(document);
    return generatePDFDocument(destination, PageSetup{cv::kPageSize}, context,
                               [&](DocumentPages& pages) { cv::drawPages(pages, content); });
}

}  // namespace stubforge
