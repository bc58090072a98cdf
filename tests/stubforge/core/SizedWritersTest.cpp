#include "stubforge/core/SizedWriters.h"

#include "platform/Error.h"

#include "ChildProcess.h"
#include "CoreTestSupport.h"

#include <sys/resource.h>

#include <csignal>
#include <cmath>

namespace stubforge {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStamp = "20261208065016";

TEST(FillerTest, ChunksRestartTheFiller) {
    EXPECT_EQ(makeFillerChunk(0), "");
    EXPECT_EQ(makeFillerChunk(5), "- Stu");
    EXPECT_EQ(makeFillerChunk(15), "- Stubforge -- ");
    EXPECT_EQ(makeFillerChunk(26), "- Stubforge -- Stubforge -");
}

class SizedWritersTest : public ::testing::Test {
protected:
    testing::WriterFixture world;
};

TEST_F(SizedWritersTest, TxtSizesAndLayout) {
    struct Case {
        const char* sizeText;
        double size;
        std::uint64_t bytes;
    };
    const Case cases[] = {{"0.5", 0.5, 500000}, {"1.001", 1.001, 1001000}, {"10", 10, 10000000}, {"25", 25, 25000000}};
    for (const auto& item : cases) {
        const fs::path path = generateTXTFile(item.sizeText, item.size, world.context());
        std::string label = item.sizeText;
        std::replace(label.begin(), label.end(), '.', '_');
        EXPECT_EQ(path, world.outputFolder / ("document_" + label + "MB_" + kStamp + ".txt"));
        const std::string content = testing::readFile(path);
        ASSERT_EQ(content.size(), item.bytes);
        // Every ten-million-byte chunk starts with the whole filler.
        for (std::uint64_t offset = 0; offset < item.bytes; offset += kMaximumFillerChunk) {
            EXPECT_EQ(content.compare(offset, kFillerText.size(), kFillerText), 0) << "chunk at " << offset;
        }
        fs::remove(path);
    }
    const std::string half = makeFillerChunk(500000);
    EXPECT_EQ(half.substr(half.size() - 7), "- Stubf");  // 38,461 fillers, then 7 bytes
}

TEST_F(SizedWritersTest, DummyFilesCarryTheCategoryWord) {
    struct Case {
        FileExtension extension;
        const char* prefix;
    };
    const Case cases[] = {{FileExtension::png, "image_1_5MB_"}, {FileExtension::wav, "audio_1_5MB_"},
                          {FileExtension::usdz, "3D_model_1_5MB_"}, {FileExtension::docx, "document_1_5MB_"},
                          {FileExtension::showAll, "_1_5MB_"}};
    for (const auto& item : cases) {
        const fs::path path = generateSizedDummyFile(item.extension, "1.5", 0.01, world.context());
        EXPECT_EQ(path.filename(), std::string(item.prefix) + kStamp + "." + std::string(rawValue(item.extension)));
        EXPECT_EQ(fs::file_size(path), 10000u);
    }
}

TEST_F(SizedWritersTest, BadSizesAreRefusedBeforeTouchingTheDisk) {
    struct Case {
        const char* sizeText;
        double size;
    };
    const Case cases[] = {{"0", 0.0}, {"-1", -1.0}, {"nan", std::nan("")}, {"inf", INFINITY},
                          {"1e30", 1e30}, {"0.0000001", 1e-7}, {"50000.1", 50000.1},
                          {"", 1.0}, {"../1", 1.0}};
    world.defaults->set("customFolderPath", "file://" + (world.outputFolder / "not-yet").string());
    testing::writeFile(world.bundleFolder / "image.png", "PNGDATA");
    for (const auto& item : cases) {
        SCOPED_TRACE(item.sizeText);
        EXPECT_THROW(generateTXTFile(item.sizeText, item.size, world.context()), platform::Error);
        EXPECT_THROW(PNGGenerator.generate(item.sizeText, item.size, world.context()), platform::Error);
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(SizedWritersTest, BaseFilesRepeatAndCut) {
    testing::writeFile(world.bundleFolder / "document.xlsx", "0123456789");
    struct Case {
        double size;
        std::uint64_t bytes;
    };
    // 1 byte is below one copy; 10,000 bytes is an exact multiple.
    const Case cases[] = {{0.000001, 1}, {0.00001, 10}, {0.01, 10000}, {0.010003, 10003}};
    for (const auto& item : cases) {
        const fs::path path = XLSXGenerator.generate("2.5", item.size, world.context());
        EXPECT_EQ(path.filename(), std::string("document_2_5MB_") + kStamp + ".xlsx");
        const std::string content = testing::readFile(path);
        ASSERT_EQ(content.size(), item.bytes);
        for (std::size_t i = 0; i < content.size(); ++i) {
            ASSERT_EQ(content[i], '0' + static_cast<char>(i % 10)) << i;
        }
        fs::remove(path);
    }
}

TEST_F(SizedWritersTest, EveryGeneratorNamesItsMissingBaseFile) {
    for (const BaseFileGenerator* generator : kBaseFileGenerators) {
        SCOPED_TRACE(generator->name);
        try {
            generator->generate("1", 1.0, world.context());
            FAIL() << "expected an error";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.domain(), generator->name);
            EXPECT_EQ(error.code(), 1);
            EXPECT_EQ(std::string(error.what()), "Base file '" + std::string(generator->resourceName) + "." +
                                                     std::string(rawValue(generator->extension)) +
                                                     "' not found in bundle.");
        }
        EXPECT_EQ(baseFileGenerator(generator->extension), generator);
    }
    EXPECT_EQ(world.outputCount(), 0u);

    testing::writeFile(world.bundleFolder / "audio.wav", "");
    EXPECT_THROW(WAVGenerator.generate("1", 1.0, world.context()), platform::Error);
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(SizedWritersTest, ModelsAreCopiedExactly) {
    testing::writeFile(world.bundleFolder / "3D_model_small.usdz", "small model");
    testing::writeFile(world.bundleFolder / "3D_model_large.usdz", std::string(3 << 20, 'L'));
    const fs::path small = USDZGenerator.generate(ContentSize::small, world.context());
    const fs::path large = USDZGenerator.generate(ContentSize::large, world.context());
    EXPECT_EQ(small.filename(), std::string("3D_model_small_") + kStamp + ".usdz");
    EXPECT_EQ(large.filename(), std::string("3D_model_large_") + kStamp + ".usdz");
    EXPECT_EQ(testing::readFile(small), "small model");
    EXPECT_EQ(testing::readFile(large), std::string(3 << 20, 'L'));

    // The same form again in the same second gets a new name, not an error
    // and not an overwrite.
    testing::writeFile(small, "kept");
    const fs::path again = USDZGenerator.generate(ContentSize::small, world.context());
    EXPECT_EQ(again.filename(), std::string("3D_model_small_") + kStamp + "_2.usdz");
    EXPECT_EQ(testing::readFile(small), "kept");

    fs::remove(world.bundleFolder / "3D_model_large.usdz");
    try {
        USDZGenerator.generate(ContentSize::large, world.context());
        FAIL() << "expected an error";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.domain(), "USDZGenerator");
        EXPECT_STREQ(error.what(), "Base file '3D_model.usdz' not found in bundle.");
    }
}

TEST_F(SizedWritersTest, WriteFailureIsReportedAndLeavesNothing) {
    const int status = platform::testing::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{200000, 200000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            generateTXTFile("1", 1.0, world.context());
        } catch (const platform::Error& error) {
            const bool named = std::string(error.what()).find(world.outputFolder.string()) != std::string::npos;
            return error.domain() == kTXTGeneratorErrorDomain &&
                           error.code() == static_cast<int>(TXTGeneratorError::failedToWriteDataToFile) && named
                       ? 0
                       : 4;
        }
        return 5;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(world.outputCount(), 0u);
}

TEST_F(SizedWritersTest, MissingOutputFolderIsCreated) {
    const fs::path nested = world.root.path() / "a" / "b";
    // The custom folder must exist to be chosen, so the default folder is
    // the one created here.
    platform::testing::ScopedEnvironment data("XDG_DATA_HOME", nested.c_str());
    world.defaults->set("useCustomFolder", false);
    const fs::path path = generateTXTFile("1", 0.01, world.context());
    EXPECT_EQ(path.parent_path(), nested / "Stubforge");
}

}  // namespace
}  // namespace stubforge
