// Seeded fuzzing of the decoder: random inputs and mutations of the golden
// fixtures, spread over every message type. Run under the sanitizers by
// ./dev test; any crash, leak or undefined behaviour fails it there.

#include "MessageTestSupport.h"

#include <random>

namespace kit::measurement {
namespace {

using testing::Bytes;

constexpr int inputCount = 100000;

struct Seed {
    MessageType type;
    Bytes bytes;
};

class InputMaker {
public:
    explicit InputMaker(std::vector<Seed> seeds) : seeds_(std::move(seeds)) {}

    Seed next() {
        switch (below(4)) {
        case 0:
            return {anyType(), randomBytes(below(48))};
        case 1:
            return {anyType(), randomFields()};
        default:
            return mutated();
        }
    }

private:
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : random_() % bound; }
    std::uint8_t anyByte() { return static_cast<std::uint8_t>(random_()); }
    MessageType anyType() { return static_cast<MessageType>(below(messageTypeCount)); }

    Bytes randomBytes(std::size_t length) {
        Bytes bytes(length);
        for (std::uint8_t& byte : bytes) {
            byte = anyByte();
        }
        return bytes;
    }

    // Plausible fields: small tags, every wire type, short payloads that may nest.
    Bytes randomFields(int depth = 0) {
        Bytes bytes;
        const std::size_t fields = below(6);
        for (std::size_t field = 0; field < fields; ++field) {
            const std::uint32_t tag = 1 + static_cast<std::uint32_t>(below(below(8) == 0 ? 90 : 10));
            const std::uint32_t wireType = std::array<std::uint32_t, 5>{0, 0, 1, 2, 5}[below(5)];
            appendVarint(bytes, (tag << 3) | wireType);
            switch (wireType) {
            case 0:
                appendVarint(bytes, below(2) == 0 ? below(300) : random_());
                break;
            case 1:
                append(bytes, randomBytes(8));
                break;
            case 5:
                append(bytes, randomBytes(4));
                break;
            default: {
                const Bytes payload = depth < 3 && below(2) == 0 ? randomFields(depth + 1) : randomBytes(below(12));
                appendVarint(bytes, payload.size());
                append(bytes, payload);
            }
            }
        }
        return bytes;
    }

    Seed mutated() {
        const Seed& seed = seeds_[below(seeds_.size())];
        Seed input{below(10) < 7 ? seed.type : anyType(), seed.bytes};
        Bytes& bytes = input.bytes;
        const std::size_t mutations = 1 + below(4);
        for (std::size_t count = 0; count < mutations && !bytes.empty(); ++count) {
            const std::size_t at = below(bytes.size());
            switch (below(7)) {
            case 0:
                bytes[at] ^= static_cast<std::uint8_t>(1u << below(8));
                break;
            case 1:
                bytes[at] = anyByte();
                break;
            case 2:
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), anyByte());
                break;
            case 3:
                bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at));
                break;
            case 4:
                bytes.resize(at);
                break;
            case 5: {  // repeat a stretch
                const std::size_t length = below(std::min<std::size_t>(bytes.size() - at, 64)) + 1;
                const Bytes stretch(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(below(bytes.size())), stretch.begin(),
                             stretch.end());
                break;
            }
            default: {  // splice in a stretch of another seed
                const Bytes& other = seeds_[below(seeds_.size())].bytes;
                const std::size_t from = below(other.size());
                const std::size_t length = below(std::min<std::size_t>(other.size() - from, 64)) + 1;
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             other.begin() + static_cast<std::ptrdiff_t>(from),
                             other.begin() + static_cast<std::ptrdiff_t>(from + length));
            }
            }
        }
        return input;
    }

    static void appendVarint(Bytes& bytes, std::uint64_t value) {
        while (value >= 0x80) {
            bytes.push_back(static_cast<std::uint8_t>((value & 0x7F) | 0x80));
            value >>= 7;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    static void append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

    std::vector<Seed> seeds_;
    std::mt19937_64 random_{0x5eed2024};
};

std::vector<Seed> fixtureSeeds() {
    std::vector<Seed> seeds;
    for (const testing::Fixture& fixture : testing::goldenFixtures()) {
        const MessageType type = testing::messageTypeNamed(fixture.message);
        const Bytes bytes = testing::fixtureBytes(fixture);
        seeds.push_back({type, bytes});
        // Each top-level element on its own as well, so small seeds reach every type.
        const auto decoded = decodeMessage(type, bytes);
        for (std::size_t slot = 0; decoded && slot < decoded->slots.size(); ++slot) {
            if (const auto* elements = std::get_if<NanoMessageList>(&decoded->slots[slot])) {
                for (const NanoMessageInfo& element : *elements) {
                    seeds.push_back({element.type, *encodeMessage(element)});
                }
            }
        }
    }
    return seeds;
}

TEST(MessageFuzz, InputsNeverCrashAndAcceptedOnesReachAFixedPoint) {
    InputMaker maker(fixtureSeeds());
    testing::DiscardLogSink log;
    int accepted = 0;
    for (int index = 0; index < inputCount; ++index) {
        const Seed input = maker.next();
        const auto decoded = decodeMessage(input.type, input.bytes, log);
        if (!decoded.has_value()) {
            continue;
        }
        ++accepted;
        const auto once = encodeMessage(*decoded);
        ASSERT_TRUE(once.has_value()) << testing::hexText(input.bytes);
        const auto again = decodeMessage(input.type, *once, log);
        ASSERT_TRUE(again.has_value()) << testing::hexText(input.bytes);
        ASSERT_EQ(encodeMessage(*again), once)
            << messageDescription(input.type).name << ": " << testing::hexText(input.bytes);
        ASSERT_EQ(encodeMessage(copyMessage(*again)), once);
    }
    // The fixed-point property means little unless many inputs get that far.
    EXPECT_GT(accepted, inputCount / 10);
}

}  // namespace
}  // namespace kit::measurement
