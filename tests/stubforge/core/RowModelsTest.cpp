// The column and field models: their first row, counts, names given by
// addRow, row identity and the change announcements.

#include "stubforge/core/RowModels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <type_traits>
#include <utility>

namespace stubforge {
namespace {

template <typename Model>
class RowModelsTest : public ::testing::Test {
protected:
    using Row = std::remove_cvref_t<decltype(std::declval<Model>().rows().front())>;

    static std::string nameOf(const Row& row) { return RowTraits<Row>::name(row); }

    static std::vector<std::string> names(const Model& model) {
        std::vector<std::string> result;
        for (const Row& row : model.rows()) {
            result.push_back(nameOf(row));
        }
        return result;
    }

    // "Column" or "Field" followed by each number.
    static std::vector<std::string> numbered(std::initializer_list<int> numbers) {
        std::vector<std::string> result;
        for (const int number : numbers) {
            result.push_back(std::string(RowTraits<Row>::namePrefix) + std::to_string(number));
        }
        return result;
    }

    static Row row(std::string name) {
        Row made;
        RowTraits<Row>::name(made) = std::move(name);
        return made;
    }
};

using Models = ::testing::Types<CSVColumnsViewModel, JSONFieldsViewModel>;
TYPED_TEST_SUITE(RowModelsTest, Models);

TYPED_TEST(RowModelsTest, ANewModelHoldsOneStreetAddressRow) {
    const TypeParam model;
    ASSERT_EQ(model.rows().size(), 1u);
    EXPECT_EQ(this->names(model), this->numbered({1}));
    EXPECT_EQ(model.rows()[0].dataType, CSVColumnDataType::streetAddress);
    // Each model's first row has an identity of its own.
    EXPECT_NE(TypeParam().rows()[0].id, model.rows()[0].id);
}

TYPED_TEST(RowModelsTest, IdentitiesComeFromTheGivenSource) {
    platform::SeededRandom firstSource(5);
    platform::SeededRandom secondSource(5);
    TypeParam first(firstSource);
    TypeParam second(secondSource);
    first.updateRowCount(3);
    // A copy keeps drawing from its original's source.
    TypeParam copy = second;
    copy.updateRowCount(3);
    ASSERT_EQ(copy.rows().size(), 3u);
    std::set<std::string> distinct;
    for (std::size_t index = 0; index < 3; ++index) {
        EXPECT_EQ(first.rows()[index].id, copy.rows()[index].id) << index;
        distinct.insert(first.rows()[index].id.uuidString());
    }
    EXPECT_EQ(distinct.size(), 3u);
}

TYPED_TEST(RowModelsTest, UpdateRowCount) {
    struct Case {
        std::int64_t from;
        std::int64_t to;
        std::vector<int> expected;
        int announcements;  // one per added or removed row
    };
    const Case cases[] = {
        {1, 3, {1, 2, 3}, 2}, {3, 0, {1}, 2},    {3, -5, {1}, 2},   {1, 0, {1}, 0},
        {1, 1, {1}, 0},       {4, 2, {1, 2}, 2}, {2, 2, {1, 2}, 0},
    };
    for (const auto& item : cases) {
        TypeParam model;
        model.updateRowCount(item.from);
        int willChange = 0;
        int didChange = 0;
        model.observe(RowsObserver{[&](const RowsChange&) { ++willChange; }, [&](const RowsChange&) { ++didChange; }});
        model.updateRowCount(item.to);
        std::vector<std::string> expected;
        for (const int number : item.expected) {
            expected.push_back(this->numbered({number})[0]);
        }
        EXPECT_EQ(this->names(model), expected) << item.from << " -> " << item.to;
        EXPECT_EQ(willChange, item.announcements) << item.from << " -> " << item.to;
        EXPECT_EQ(didChange, item.announcements);
        for (const auto& row : model.rows()) {
            EXPECT_EQ(row.dataType, CSVColumnDataType::streetAddress);
        }
    }
}

// A stray huge count adds rows only up to the cap; a longer list set whole
// is not cut back by a count above the cap, but is by one below it.
TYPED_TEST(RowModelsTest, UpdateRowCountAddsNoMoreThanTheMaximum) {
    using ModelRow = typename TestFixture::Row;
    const auto maximum = static_cast<std::size_t>(TypeParam::maximumRowCount);
    const struct {
        std::size_t from;  // rows set whole beforehand
        std::int64_t to;
        std::size_t expected;
    } cases[] = {
        {1, INT64_MAX, maximum},
        {1, TypeParam::maximumRowCount + 1, maximum},
        {1, TypeParam::maximumRowCount, maximum},
        {maximum + 200, INT64_MAX, maximum + 200},
        {maximum + 200, TypeParam::maximumRowCount + 100, maximum + 100},
        {maximum + 200, 3, 3},
    };
    for (const auto& [from, to, expected] : cases) {
        TypeParam model;
        model.setRows(std::vector<ModelRow>(from));
        std::size_t announcements = 0;
        model.observe(RowsObserver{{}, [&](const RowsChange&) { ++announcements; }});
        model.updateRowCount(to);
        EXPECT_EQ(model.rows().size(), expected) << from << " -> " << to;
        EXPECT_EQ(announcements, from > expected ? from - expected : expected - from);
    }
    // The rows added past a short list are numbered on from it.
    TypeParam model;
    model.updateRowCount(INT64_MAX);
    EXPECT_EQ(this->nameOf(model.rows().back()), this->numbered({static_cast<int>(TypeParam::maximumRowCount)})[0]);
}

TYPED_TEST(RowModelsTest, ShrinkingKeepsARenamedRow) {
    TypeParam model;
    model.updateRowCount(3);
    model.setName(1, "Renamed");
    model.setDataType(1, CSVColumnDataType::email);
    const UUID first = model.rows()[0].id;
    const UUID second = model.rows()[1].id;
    model.updateRowCount(2);
    ASSERT_EQ(model.rows().size(), 2u);
    EXPECT_EQ(this->nameOf(model.rows()[1]), "Renamed");
    EXPECT_EQ(model.rows()[1].dataType, CSVColumnDataType::email);
    EXPECT_EQ(model.rows()[0].id, first);
    EXPECT_EQ(model.rows()[1].id, second);
}

TYPED_TEST(RowModelsTest, AddRowNamesByCountAlone) {
    TypeParam model;
    model.setRows({this->row(this->numbered({1})[0]), this->row(this->numbered({3})[0])});
    model.addRow();
    EXPECT_EQ(this->names(model), this->numbered({1, 3, 3}));

    // Removing the middle of three and adding again repeats the last name.
    TypeParam other;
    other.updateRowCount(3);
    other.removeRow(1);
    other.addRow();
    EXPECT_EQ(this->names(other), this->numbered({1, 3, 3}));

    // From an empty list the first added row is number 1.
    TypeParam empty;
    empty.setRows({});
    EXPECT_TRUE(empty.rows().empty());
    empty.addRow();
    EXPECT_EQ(this->names(empty), this->numbered({1}));

    std::set<std::string> identities;
    for (const auto& row : other.rows()) {
        identities.insert(row.id.uuidString());
    }
    EXPECT_EQ(identities.size(), 3u);
}

TYPED_TEST(RowModelsTest, ObserversHearBeforeAndAfter) {
    TypeParam model;
    std::vector<std::string> heard;
    const auto id = model.observe(RowsObserver{
        [&](const RowsChange& change) {
            heard.push_back("will " + std::to_string(static_cast<int>(change.kind)) + " " +
                            std::to_string(change.first) + " rows " + std::to_string(model.rows().size()));
        },
        [&](const RowsChange&) { heard.push_back("did rows " + std::to_string(model.rows().size())); },
    });
    model.addRow();
    model.removeRow(0);
    model.removeRow(5);  // no such row: nothing
    model.setName(0, "x");
    model.setRows({});
    EXPECT_EQ(heard, (std::vector<std::string>{"will 0 1 rows 1", "did rows 2", "will 1 0 rows 2", "did rows 1",
                                               "will 2 0 rows 1", "did rows 1", "will 3 0 rows 1", "did rows 0"}));

    // A copy carries the rows but not the observers.
    heard.clear();
    TypeParam copy = model;
    copy.addRow();
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(copy.rows().size(), 1u);
    EXPECT_TRUE(model.rows().empty());

    model.stopObserving(id);
    model.addRow();
    EXPECT_TRUE(heard.empty());
}

TYPED_TEST(RowModelsTest, IndexOfFindsARowByIdentity) {
    TypeParam model;
    model.updateRowCount(3);
    const UUID third = model.rows()[2].id;
    EXPECT_EQ(model.indexOf(third), 2u);
    model.removeRow(0);
    EXPECT_EQ(model.indexOf(third), 1u);
    model.removeRow(1);
    EXPECT_FALSE(model.indexOf(third));
}

TEST(CSVColumnTableRowTest, EqualityIsIdentity) {
    const CSVColumnTableRow first{UUID::random(platform::systemRandom()), "name", CSVColumnDataType::city};
    const CSVColumnTableRow twin{UUID::random(platform::systemRandom()), "name", CSVColumnDataType::city};
    EXPECT_FALSE(first == twin);
    CSVColumnTableRow edited = first;
    edited.columnName = "renamed";
    edited.dataType = CSVColumnDataType::email;
    EXPECT_TRUE(edited == first);
}

TEST(UUIDTest, VersionFourText) {
    platform::SeededRandom random(3);
    const UUID uuid = UUID::random(random);
    const std::string text = uuid.uuidString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[8], '-');
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << text;
    EXPECT_NE(UUID::random(random), uuid);
}

}  // namespace
}  // namespace stubforge
