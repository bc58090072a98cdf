#include "stubforge/core/SizedWriters.h"

#include "stubforge/core/CSVUtils.h"
#include "stubforge/core/JSONWriter.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include "ChildProcess.h"
#include "CoreTestSupport.h"
#include "ErrorChecks.h"

#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>

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

// Every byte of the output against the filler worked out afresh: the text
// "- Stubforge -" over and over, starting again every ten million bytes.
TEST_F(SizedWritersTest, FillerBytesMatchTheirDefinition) {
    const auto expectedByte = [](std::uint64_t offset) {
        constexpr std::string_view text = "- Stubforge -";
        return text[(offset % 10000000) % text.size()];
    };
    struct Case {
        const char* sizeText;
        double size;
        bool dummy;
    };
    // Sizes across the chunk boundary and off any power of two, short ones,
    // and a dummy file, which shares the filler.
    const Case cases[] = {{"25", 25, false},
                          {"20.000001", 20.000001, false},
                          {"0.262157", 0.262157, false},
                          {"0.000013", 0.000013, false},
                          {"10.5", 10.5, true}};
    for (const auto& item : cases) {
        const fs::path path =
            item.dummy ? generateSizedDummyFile(FileExtension::mp4, item.sizeText, item.size, world.context())
                       : generateTXTFile(item.sizeText, item.size, world.context());
        const std::string content = testing::readFile(path);
        ASSERT_EQ(content.size(), static_cast<std::size_t>(std::llround(item.size * 1e6))) << item.sizeText;
        std::uint64_t firstWrong = content.size();
        for (std::uint64_t offset = 0; offset < content.size(); ++offset) {
            if (content[offset] != expectedByte(offset)) {
                firstWrong = offset;
                break;
            }
        }
        EXPECT_EQ(firstWrong, content.size()) << item.sizeText << ": first wrong byte";
        fs::remove(path);
    }
}

TEST_F(SizedWritersTest, DummyFilesCarryTheCategoryWord) {
    struct Case {
        FileExtension extension;
        const char* prefix;
    };
    const Case cases[] = {{FileExtension::png, "image_1_5MB_"},
                          {FileExtension::wav, "audio_1_5MB_"},
                          {FileExtension::usdz, "3D_model_1_5MB_"},
                          {FileExtension::docx, "document_1_5MB_"}};
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
    const Case cases[] = {{"0", 0.0},           {"-1", -1.0},   {"nan", std::nan("")},
                          {"inf", INFINITY},    {"1e30", 1e30}, {"0.0000001", 1e-7},
                          {"50000.1", 50000.1}, {"", 1.0},      {"../1", 1.0}};
    world.defaults->set("customFolderPath", "file://" + (world.outputFolder / "not-yet").string());
    testing::writeFile(world.bundleFolder / "image.png", "PNGDATA");
    for (const auto& item : cases) {
        SCOPED_TRACE(item.sizeText);
        EXPECT_THROW(generateTXTFile(item.sizeText, item.size, world.context()), platform::Error);
        EXPECT_THROW(PNGGenerator.generate(item.sizeText, item.size, world.context()), platform::Error);
    }
    EXPECT_EQ(world.outputCount(), 0u);

    // The refusal shows the size as "%g" would.
    for (const auto& [size, shown] : {std::pair{50000.1, "50000.1"}, {1e30, "1e+30"}, {1e-7, "1e-07"}}) {
        try {
            generateTXTFile("1", size, world.context());
            ADD_FAILURE() << shown;
        } catch (const platform::Error& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string("The size ") + shown + " MB is not a size between one byte and 50000 MB.");
        }
    }
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
            EXPECT_EQ(error.code(), static_cast<int>(BaseFileGeneratorError::baseFileNotFound));
            EXPECT_EQ(error.code(), 1) << "the code callers know a missing base file by";
            EXPECT_EQ(std::string(error.what()), "Base file '" + std::string(generator->resourceName()) + "." +
                                                     std::string(rawValue(generator->extension)) +
                                                     "' not found in bundle.");
        }
        EXPECT_EQ(baseFileGenerator(generator->extension), generator);
    }
    EXPECT_EQ(world.outputCount(), 0u);

    testing::writeFile(world.bundleFolder / "audio.wav", "");
    try {
        WAVGenerator.generate("1", 1.0, world.context());
        ADD_FAILURE() << "an empty base file cannot grow a file";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.domain(), "WAVGenerator");
        EXPECT_EQ(error.code(), static_cast<int>(BaseFileGeneratorError::baseFileEmpty));
    }
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
        EXPECT_TRUE(error.is(USDZGeneratorError::modelNotFound)) << test_support::describe(error);
        EXPECT_EQ(error.code(), 1) << "the code callers know a missing model by";
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
            // Translated once: the output file's error, with the OS reason
            // under it, is the cause.
            const platform::Error* cause = error.underlyingError();
            return error.is(TXTGeneratorError::failedToWriteDataToFile) && named && cause != nullptr &&
                           cause->is(platform::OutputFileError::couldNotWrite) &&
                           test_support::posixReason(error) == EFBIG
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

// A folder that cannot be made is the output file's failure, reported as
// such, with the OS reason under it.
TEST_F(SizedWritersTest, FolderThatCannotBeMadeIsAnOutputFileError) {
    testing::writeFile(world.bundleFolder / "image.png", "PNGDATA");
    testing::writeFile(world.bundleFolder / "3D_model_small.usdz", "model");
    const fs::path regularFile = world.root.path() / "plain";
    testing::writeFile(regularFile, "not a folder");
    platform::testing::ScopedEnvironment data("XDG_DATA_HOME", (regularFile / "data").c_str());
    world.defaults->set("useCustomFolder", false);
    platform::SeededRandom ids(1);
    const std::vector<CSVColumnTableRow> columns = {{UUID::random(ids), "name", CSVColumnDataType::name}};
    const struct {
        const char* writer;
        std::function<void()> run;
    } cases[] = {
        {"txt", [&] { generateTXTFile("1", 0.01, world.context()); }},
        {"png", [&] { PNGGenerator.generate("1", 0.01, world.context()); }},
        {"usdz", [&] { USDZGenerator.generate(ContentSize::small, world.context()); }},
        {"json", [&] { generateJSONFile(1, columns, world.context()); }},
        {"csv", [&] { CSVUtils::generateCSVByColumns(1, columns, world.context()); }},
    };
    for (const auto& [writer, run] : cases) {
        SCOPED_TRACE(writer);
        try {
            run();
            ADD_FAILURE() << "expected an error";
        } catch (const platform::Error& error) {
            // The folder lookup said so first, in the context's log.
            EXPECT_EQ(world.log.drainLines(),
                      std::vector<std::string>{"Failed to create default folder: Not a directory"});
            EXPECT_TRUE(error.is(platform::OutputFileError::couldNotCreateFolder)) << test_support::describe(error);
            EXPECT_EQ(test_support::posixReason(error), ENOTDIR);
            EXPECT_EQ(std::string(error.what()), "Could not create the folder \"" +
                                                     (regularFile / "data" / "Stubforge").string() +
                                                     "\": " + std::strerror(ENOTDIR));
        }
    }
}

// Files that open but cannot be read, even by root: the message and the
// underlying error carry the reason of the failing read, and the code is
// the writer's read failure.
TEST_F(SizedWritersTest, UnreadableResourcesReportTheRealReason) {
    const struct {
        const char* target;
        const char* reason;
        int errorNumber;
    } cases[] = {
        {"/proc/self/mem", "Input/output error", EIO},
        {"/proc/self/clear_refs", "Invalid argument", EINVAL},
    };
    for (const auto& [target, reason, errorNumber] : cases) {
        SCOPED_TRACE(target);
        if (!fs::is_regular_file(target)) {
            GTEST_SKIP() << target << " is not available here";
        }
        const fs::path base = world.bundleFolder / "image.png";
        const fs::path model = world.bundleFolder / "3D_model_small.usdz";
        fs::remove(base);
        fs::remove(model);
        fs::create_symlink(target, base);
        fs::create_symlink(target, model);
        errno = EPERM;  // a stale value that must not show
        try {
            PNGGenerator.generate("1", 0.01, world.context());
            ADD_FAILURE() << "expected an error";
        } catch (const platform::Error& error) {
            EXPECT_EQ(error.domain(), PNGGenerator.name);
            EXPECT_EQ(error.code(), static_cast<int>(BaseFileGeneratorError::baseFileUnreadable));
            EXPECT_EQ(test_support::posixReason(error), errorNumber);
            EXPECT_EQ(std::string(error.what()), "Could not read base file \"" + base.string() + "\": " + reason);
        }
        errno = ENOENT;
        try {
            USDZGenerator.generate(ContentSize::small, world.context());
            ADD_FAILURE() << "expected an error";
        } catch (const platform::Error& error) {
            EXPECT_TRUE(error.is(USDZGeneratorError::modelUnreadable)) << test_support::describe(error);
            EXPECT_EQ(test_support::posixReason(error), errorNumber);
            EXPECT_EQ(std::string(error.what()), "Could not read model \"" + model.string() + "\": " + reason);
        }
    }
    EXPECT_EQ(world.outputCount(), 0u);
}

}  // namespace
}  // namespace stubforge
