#pragma once

// Damaged and hostile variants of valid inputs for the robustness tests: a fixed-seed mutator,
// raw storing of scrambled files (any bytes, any length) and a controller on an in-process
// line, so that whole reads and writes stay fast enough for thousands of variants.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/rtu_master.h"
#include "model/scramble.h"
#include "platform/serial_port.h"
#include "sim/virtual_controller.h"
#include "support/scripted_ui.h"
#include "support/temp_folder.h"
#include "sysfiles/app_state.h"
#include "sysfiles/language.h"
#include "transmit/transfer_context.h"

namespace velmora::test::robust {

// The text of a file as the program stores it: a NUL after the text, NULs up to a multiple of
// 4, scrambled.
inline std::string ScrambledForm(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    bytes.resize((bytes.size() + 3) / 4 * 4, 0);
    Scramble(bytes);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteDisk(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Stores text byte for byte (no code-set conversion, no line-end change).
inline void StoreRaw(const std::string& path, const std::string& text) {
    WriteDisk(path, ScrambledForm(text));
}

// CR LF for every LF without a CR, as data files are stored.
inline std::string CrLf(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A plain source file of the sample data set.
inline std::string SampleText(const std::string& name) {
    return ReadWhole(std::string(VELMORA_SOURCE_DIR) + "/data/sample/VMA-Series/" + name);
}

// Applies one to three damages of the kinds files meet in the field: flipped bits, lost,
// added and repeated bytes, cut ends, stray CR/LF/NUL/0xFF, comma and '|' storms, very long
// lines and fields, numbers that do not fit, lost, repeated and swapped lines, extra columns.
class Mutator {
  public:
    explicit Mutator(std::uint32_t seed) : rng_(seed) {}

    std::size_t Pick(std::size_t count) {
        return count == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, count - 1)(rng_);
    }

    std::string operator()(const std::string& base) {
        std::string text = base;
        const std::size_t rounds = 1 + Pick(3);
        for (std::size_t i = 0; i < rounds; ++i) {
            Apply(text);
        }
        return text;
    }

    // The kinds that keep the text short, for readers that are run very often.
    std::string Small(const std::string& base) {
        std::string text = base;
        const std::size_t rounds = 1 + Pick(3);
        for (std::size_t i = 0; i < rounds; ++i) {
            ApplyKind(text, kSmallKinds[Pick(std::size(kSmallKinds))]);
        }
        return text;
    }

  private:
    static constexpr int kSmallKinds[] = {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15};
    static constexpr int kLargeKinds[] = {6, 7, 8, 9};

    // Storms and long lines cost the readers most; one damage in eight is one of them.
    void Apply(std::string& text) {
        ApplyKind(text, Pick(8) == 0 ? kLargeKinds[Pick(std::size(kLargeKinds))]
                                     : kSmallKinds[Pick(std::size(kSmallKinds))]);
    }

    std::size_t Position(const std::string& text) { return Pick(text.size() + 1); }

    // Start offsets of the lines (after each LF).
    std::vector<std::size_t> LineStarts(const std::string& text) {
        std::vector<std::size_t> starts = {0};
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && i + 1 < text.size()) {
                starts.push_back(i + 1);
            }
        }
        return starts;
    }

    // [begin, end) of a random line, its line end included.
    std::pair<std::size_t, std::size_t> SomeLine(const std::string& text) {
        const auto starts = LineStarts(text);
        const std::size_t index = Pick(starts.size());
        const std::size_t end = index + 1 < starts.size() ? starts[index + 1] : text.size();
        return {starts[index], end};
    }

    void ApplyKind(std::string& text, int kind) {
        static const char* const kNumbers[] = {"99999999999999999999999",
                                               "-9223372036854775808",
                                               "9223372036854775807",
                                               "-2147483649",
                                               "4294967296",
                                               "-1",
                                               "2147483647",
                                               "65536",
                                               "-32769",
                                               "1e308",
                                               "0x7fffffff",
                                               "-"};
        static const std::string kBytes[] = {"\r",   "\n",   std::string(1, '\0'),
                                             "\xFF", "\r\r", "\n\r"};
        switch (kind) {
            case 0:  // bit flips
                for (std::size_t n = 1 + Pick(8); n > 0 && !text.empty(); --n) {
                    text[Pick(text.size())] ^= static_cast<char>(1u << Pick(8));
                }
                break;
            case 1: {  // lost bytes
                const std::size_t at = Position(text);
                text.erase(at, 1 + Pick(64));
                break;
            }
            case 2: {  // added bytes
                std::string bytes;
                for (std::size_t n = 1 + Pick(16); n > 0; --n) {
                    bytes.push_back(static_cast<char>(Pick(256)));
                }
                text.insert(Position(text), bytes);
                break;
            }
            case 3: {  // a range repeated elsewhere
                const std::size_t at = Position(text);
                const std::string range = text.substr(at, 1 + Pick(512));
                text.insert(Position(text), range);
                break;
            }
            case 4:  // cut short
                text.resize(Pick(text.size() + 1));
                break;
            case 5:  // stray CR, LF, NUL, 0xFF
                for (std::size_t n = 1 + Pick(4); n > 0; --n) {
                    text.insert(Position(text), kBytes[Pick(std::size(kBytes))]);
                }
                break;
            case 6:  // comma storm
                text.insert(Position(text), std::string(1 + Pick(20000), ','));
                break;
            case 7: {  // '|' storm: one long run, or alternatives in several fields
                if (Pick(2) == 0) {
                    text.insert(Position(text), std::string(1 + Pick(10000), '|'));
                } else {
                    for (std::size_t n = 2 + Pick(8); n > 0; --n) {
                        text.insert(Position(text), "a|b|c|d|e|f|g|h|i|j|k|l");
                    }
                }
                break;
            }
            case 8:  // a field longer than the field cap, or than 64 KiB
                text.insert(Position(text), std::string(Pick(2) == 0 ? 9000 : 70000, 'x'));
                break;
            case 9: {  // a very long line of fields
                std::string line;
                for (std::size_t n = 5000 + Pick(5000); n > 0; --n) {
                    line += "7,";
                }
                text.insert(Position(text), line);
                break;
            }
            case 10: {  // a number that does not fit
                const std::size_t from = Position(text);
                const std::size_t digit = text.find_first_of("0123456789", from);
                if (digit == std::string::npos) {
                    text.insert(from, kNumbers[Pick(std::size(kNumbers))]);
                    break;
                }
                const std::size_t end = text.find_first_not_of("0123456789", digit);
                text.replace(digit, (end == std::string::npos ? text.size() : end) - digit,
                             kNumbers[Pick(std::size(kNumbers))]);
                break;
            }
            case 11: {  // a lost line; one time in four one of the first three (the headings)
                const auto starts = LineStarts(text);
                const std::size_t index = Pick(4) == 0
                                              ? Pick(std::min<std::size_t>(3, starts.size()))
                                              : Pick(starts.size());
                const std::size_t end = index + 1 < starts.size() ? starts[index + 1] : text.size();
                text.erase(starts[index], end - starts[index]);
                break;
            }
            case 12: {  // a line repeated, or two lines swapped
                const auto [begin, end] = SomeLine(text);
                const std::string line = text.substr(begin, end - begin);
                if (Pick(2) == 0) {
                    text.insert(begin, line);
                } else {
                    text.erase(begin, end - begin);
                    const auto [other, otherEnd] = SomeLine(text);
                    (void)otherEnd;
                    text.insert(std::min(other, text.size()), line);
                }
                break;
            }
            case 13: {  // extra columns
                const auto [begin, end] = SomeLine(text);
                std::size_t at = end;
                while (at > begin && (text[at - 1] == '\n' || text[at - 1] == '\r')) {
                    --at;
                }
                text.insert(at, ",extra,99,|,");
                break;
            }
            case 14: {  // a line end changed
                const std::size_t crlf = text.find("\r\n", Position(text));
                if (crlf != std::string::npos) {
                    static const char* const kEnds[] = {"\n", "\r", "\r\r\n", "\n\r", ""};
                    text.replace(crlf, 2, kEnds[Pick(std::size(kEnds))]);
                }
                break;
            }
            default: {  // a field emptied
                const std::size_t comma = text.find(',', Position(text));
                if (comma != std::string::npos) {
                    const std::size_t end = text.find_first_of(",\r\n", comma + 1);
                    text.erase(comma + 1,
                               (end == std::string::npos ? text.size() : end) - comma - 1);
                }
                break;
            }
        }
    }

    std::mt19937 rng_;
};

// A serial line that hands each request straight to a virtual controller and queues its
// reply: no pseudo-terminal, no waiting.
class InProcessLine final : public SerialPort {
  public:
    explicit InProcessLine(sim::VirtualController& controller) : controller_(controller) {}
    bool open(const std::string&) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool configure(std::uint32_t) override { return true; }
    int bytesWaiting() override { return static_cast<int>(input_.size()); }
    int read(std::uint8_t* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, input_.size());
        std::copy_n(input_.begin(), count, buffer);
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
        return static_cast<int>(count);
    }
    int write(const std::uint8_t* data, std::size_t size) override {
        const auto reply = controller_.handleFrame(std::vector<std::uint8_t>(data, data + size));
        if (reply) {
            input_.insert(input_.end(), reply->begin(), reply->end());
        }
        return static_cast<int>(size);
    }
    bool waitForInput(int) override { return !input_.empty(); }
    void discardInput() override { input_.clear(); }

  private:
    sim::VirtualController& controller_;
    std::deque<std::uint8_t> input_;
    bool open_ = false;
};

// A controller on an in-process line, with the shipped message table.
class InProcessController : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFolder_ = App().moduleFolder;
        App().moduleFolder = VELMORA_SOURCE_DIR "/";
        ResetLanguageStateForTesting();
        LoadMessageTable(ui);
        ASSERT_FALSE(MessageText(kMsgTransmitFormatErrorTitle).empty());
        ASSERT_TRUE(link.open("in-process").ok());
        ASSERT_TRUE(link.configure(230400, 1, 0).ok());
        ui.clear();
    }
    void TearDown() override {
        link.close();
        ResetLanguageStateForTesting();
        App().moduleFolder = savedFolder_;
    }

    TransferContext context() { return TransferContext{link, 1, ui, nullptr}; }

    // A failure has told the user why, with an error box; a success has shown nothing.
    void ExpectMessagesFit(int result, int variant) {
        const auto messages = ui.messages();
        ASSERT_TRUE(result == 0 || result == -1) << "variant " << variant;
        if (result == 0) {
            ASSERT_TRUE(messages.empty()) << "variant " << variant << ": " << messages[0].text;
            return;
        }
        ASSERT_FALSE(messages.empty()) << "variant " << variant << ": a silent failure";
        for (const auto& message : messages) {
            ASSERT_EQ(message.icon, MessageIcon::Error) << "variant " << variant;
        }
    }

    sim::VirtualController controller;
    test::ScriptedUi ui;
    RtuMaster link{std::make_unique<test::robust::InProcessLine>(controller)};
    TempFolder folder;

  private:
    std::string savedFolder_;
};

}  // namespace velmora::test::robust
