#include "ProgramNotation.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <utility>
#include <variant>

namespace script_test {

using kit::measurement::MessageType;
using kit::measurement::NanoMessageList;

NanoMessageInfo makeEntity(EntityFields fields) {
    NanoMessageInfo entity(MessageType::RuntimeEntity);
    if (fields.type) {
        entity.slots[0] = static_cast<std::uint64_t>(static_cast<std::uint32_t>(*fields.type));
    }
    std::get<NanoMessageList>(entity.slots[1]) = std::move(fields.children);
    if (fields.functionName) {
        entity.slots[2] = *fields.functionName;
    }
    if (fields.stringValue) {
        entity.slots[3] = *fields.stringValue;
    }
    if (fields.booleanValue) {
        entity.slots[4] = static_cast<std::uint64_t>(*fields.booleanValue ? 1 : 0);
    }
    if (fields.numberValue) {
        entity.slots[5] = std::bit_cast<std::uint64_t>(*fields.numberValue);
    }
    return entity;
}

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::vector<NanoMessageInfo> readAll() {
        std::vector<NanoMessageInfo> entities;
        while (skipSpace()) {
            entities.push_back(readEntity());
        }
        return entities;
    }

private:
    [[noreturn]] void fail(const char* what) const {
        throw std::invalid_argument(std::string(what) + " at " + std::to_string(position_) + " in " +
                                    std::string(text_));
    }

    bool skipSpace() {
        while (position_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[position_]))) {
            ++position_;
        }
        return position_ < text_.size();
    }

    static bool isDelimiter(char character) {
        return std::isspace(static_cast<unsigned char>(character)) || character == '(' || character == ')' ||
               character == '{' || character == '}' || character == '"' || character == ':';
    }

    std::string readToken() {
        std::size_t start = position_;
        while (position_ < text_.size() && !isDelimiter(text_[position_]) && text_[position_] != '=') {
            ++position_;
        }
        if (start == position_) {
            fail("expected a token");
        }
        return std::string(text_.substr(start, position_ - start));
    }

    static void appendUtf8(std::string& out, unsigned codePoint) {
        if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            out += static_cast<char>(0xC0 | (codePoint >> 6));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (codePoint >> 12));
            out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }

    std::string readQuoted() {
        ++position_;
        std::string out;
        while (position_ < text_.size() && text_[position_] != '"') {
            char character = text_[position_++];
            if (character != '\\') {
                out += character;
                continue;
            }
            if (position_ >= text_.size()) {
                fail("dangling escape");
            }
            char escaped = text_[position_++];
            if (escaped == 'n') {
                out += '\n';
            } else if (escaped == 'u') {
                if (position_ + 4 > text_.size()) {
                    fail("short \\u escape");
                }
                appendUtf8(out,
                           static_cast<unsigned>(std::stoul(std::string(text_.substr(position_, 4)), nullptr, 16)));
                position_ += 4;
            } else {
                out += escaped;
            }
        }
        if (position_ >= text_.size()) {
            fail("unterminated string");
        }
        ++position_;
        return out;
    }

    static double readNumber(const std::string& token) {
        if (token == "NaN") {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (token == "Infinity") {
            return std::numeric_limits<double>::infinity();
        }
        if (token == "-Infinity") {
            return -std::numeric_limits<double>::infinity();
        }
        char* end = nullptr;
        double value = std::strtod(token.c_str(), &end);
        if (end == token.c_str() || *end != '\0') {
            throw std::invalid_argument("not a number: " + token);
        }
        return value;
    }

    NanoMessageInfo readEntity() {
        if (!skipSpace()) {
            fail("expected an entity");
        }
        char character = text_[position_];
        if (character == '"') {
            EntityFields fields;
            fields.type = 1;
            fields.stringValue = readQuoted();
            return makeEntity(std::move(fields));
        }
        if (character == '(') {
            ++position_;
            skipSpace();
            EntityFields fields;
            fields.type = 4;
            fields.functionName = text_[position_] == '"' ? readQuoted() : readToken();
            while (skipSpace() && text_[position_] != ')') {
                fields.children.push_back(readEntity());
            }
            if (position_ >= text_.size()) {
                fail("unclosed statement");
            }
            ++position_;
            return makeEntity(std::move(fields));
        }
        if (character == '{') {
            return readRaw();
        }
        std::string token = readToken();
        EntityFields fields;
        if (token == "true" || token == "false") {
            fields.type = 3;
            fields.booleanValue = token == "true";
        } else {
            fields.type = 2;
            fields.numberValue = readNumber(token);
        }
        return makeEntity(std::move(fields));
    }

    NanoMessageInfo readRaw() {
        ++position_;
        EntityFields fields;
        while (skipSpace() && text_[position_] != '}' && text_[position_] != ':') {
            std::string key = readToken();
            if (position_ >= text_.size() || text_[position_] != '=') {
                fail("expected =");
            }
            ++position_;
            std::string value = text_[position_] == '"' ? readQuoted() : readToken();
            if (key == "t") {
                fields.type = std::stoi(value);
            } else if (key == "f") {
                fields.functionName = value;
            } else if (key == "s") {
                fields.stringValue = value;
            } else if (key == "b") {
                fields.booleanValue = value != "0";
            } else if (key == "n") {
                fields.numberValue = readNumber(value);
            } else {
                fail("unknown field");
            }
        }
        if (position_ < text_.size() && text_[position_] == ':') {
            ++position_;
            while (skipSpace() && text_[position_] != '}') {
                fields.children.push_back(readEntity());
            }
        }
        if (position_ >= text_.size()) {
            fail("unclosed raw entity");
        }
        ++position_;
        return makeEntity(std::move(fields));
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

}  // namespace

std::vector<NanoMessageInfo> parseProgram(std::string_view text) { return Reader(text).readAll(); }

void dismantle(std::vector<NanoMessageInfo>& entities) {
    std::vector<NanoMessageInfo> pending = std::move(entities);
    entities.clear();
    while (!pending.empty()) {
        NanoMessageInfo entity = std::move(pending.back());
        pending.pop_back();
        auto& children = std::get<NanoMessageList>(entity.slots[1]);
        for (NanoMessageInfo& child : children) {
            pending.push_back(std::move(child));
        }
        children.clear();
    }
}

std::vector<NanoMessageInfo> nestedSequence(std::size_t depth) {
    EntityFields leaf;
    leaf.type = 2;
    leaf.numberValue = 1;
    NanoMessageInfo current = makeEntity(std::move(leaf));
    for (std::size_t level = 0; level < depth; ++level) {
        EntityFields fields;
        fields.type = 4;
        fields.functionName = "13";
        fields.children.push_back(std::move(current));
        current = makeEntity(std::move(fields));
    }
    std::vector<NanoMessageInfo> program;
    program.push_back(std::move(current));
    return program;
}

}  // namespace script_test
