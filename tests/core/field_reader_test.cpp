#include "model/field_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::TempFolder;

// A stored data file holding text, opened for reading.
class StoredText {
  public:
    explicit StoredText(const std::string& text) {
        const std::string path = folder_.file("data.vmw");
        CFileCtrl writer;
        EXPECT_TRUE(writer.Open(path, kFileModeCreate | kFileModeWrite));
        writer.WriteText(text);
        EXPECT_EQ(writer.ScrambleAndWrite(), 0);
        writer.Close();
        EXPECT_TRUE(file_.Open(path, kFileModeRead | kFileShareExclusive));
    }
    CFileCtrl& file() { return file_; }

    // The byte at the position, or -1 past the text.
    int ByteHere() {
        const std::int64_t position = file_.GetPosition();
        char byte = 0;
        const bool read = file_.Read(&byte, 1) == 1;
        file_.Seek(position, SeekFrom::Begin);
        return read ? byte : -1;
    }

  private:
    TempFolder folder_;
    CFileCtrl file_;
};

struct FieldCall {
    int index;
    int result;
    std::string text;
};

// Calls in order on one file; each gives its result and text.
void ExpectCalls(CFileCtrl& file, const std::vector<FieldCall>& calls) {
    for (const FieldCall& call : calls) {
        std::string out = "stale";
        EXPECT_EQ(GetField(out, file, call.index), call.result) << "index " << call.index;
        EXPECT_EQ(out, call.text) << "index " << call.index;
    }
}

TEST(GetFieldTest, FieldsOfALineInAnyOrder) {
    const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0},    {1, 2, 0},
                                                  {2, 0, 1}, {0, 2, 1, 0}, {1, 1, 2, 2}};
    const std::string fields[] = {"a", "b", "c"};
    for (const auto& order : orders) {
        StoredText stored("a,b,c\r\nnext,line\r\n");
        for (int index : order) {
            std::string out;
            EXPECT_EQ(GetField(out, stored.file(), index), 0);
            EXPECT_EQ(out, fields[index]);
        }
    }
}

TEST(GetFieldTest, MissingFieldIsEmptyAndLeavesThePositionOnTheCr) {
    StoredText stored("a,b,c\r\nnext,line\r\n");
    CFileCtrl& file = stored.file();
    ExpectCalls(file, {{1, 0, "b"}, {3, 0, ""}});
    EXPECT_EQ(file.GetPosition(), 5);
    EXPECT_EQ(stored.ByteHere(), '\r');
    ExpectCalls(file, {{7, 0, ""}, {0, 0, "a"}, {3, 0, ""}});
    ASSERT_EQ(SkipLines(file, 1), 0);
    EXPECT_EQ(file.GetPosition(), 7);
    ExpectCalls(file, {{1, 0, "line"}, {0, 0, "next"}});
}

TEST(GetFieldTest, PositionAfterTheFieldsOwnCommaOrOnTheCr) {
    struct Case {
        int index;
        std::int64_t position;
    };
    for (const Case& c : {Case{0, 2}, Case{1, 4}, Case{2, 5}, Case{5, 5}}) {
        StoredText stored("a,b,c\r\nx\r\n");
        std::string out;
        ASSERT_EQ(GetField(out, stored.file(), c.index), 0);
        EXPECT_EQ(stored.file().GetPosition(), c.position) << c.index;
        // Wherever the reader stopped, the next line is one line further on.
        ASSERT_EQ(SkipLines(stored.file(), 1), 0);
        ExpectCalls(stored.file(), {{0, 0, "x"}});
    }
}

TEST(GetFieldTest, EndsOfContentInsideALine) {
    struct Case {
        std::string text;
        std::vector<FieldCall> calls;
    };
    const Case cases[] = {
        // A last line without CR LF: its last field cannot be told complete.
        {"last,z", {{0, 0, "last"}, {1, -1, ""}, {2, -1, ""}}},
        // Nothing after the CR.
        {"a,b\r", {{0, 0, "a"}, {1, -2, ""}, {4, -2, ""}}},
        // A CR followed by any byte ends the line.
        {"a,b\rc", {{1, 0, "b"}, {2, 0, ""}}},
        {"", {{0, -1, ""}}},
    };
    for (const Case& c : cases) {
        StoredText stored(c.text);
        ExpectCalls(stored.file(), c.calls);
    }
}

TEST(GetFieldTest, LastLineWithoutLineEndAfterAFullLine) {
    StoredText stored("h1,h2\r\nlast,z");
    ASSERT_EQ(SkipLines(stored.file(), 1), 0);
    ExpectCalls(stored.file(), {{1, -1, ""}});
}

TEST(GetFieldTest, LongFieldKeepsItsFirst8192Bytes) {
    std::string longField;
    for (int i = 0; i < 9000; ++i) {
        longField.push_back(static_cast<char>('a' + i % 26));
    }
    StoredText stored("x," + longField + ",tail\r\n" + longField + "\r\n");
    ExpectCalls(stored.file(), {{1, 0, longField.substr(0, 8192)}, {2, 0, "tail"}});
    ASSERT_EQ(SkipLines(stored.file(), 1), 0);
    ExpectCalls(stored.file(), {{0, 0, longField.substr(0, kMaxFieldBytes)}});
}

TEST(GetFieldTest, LoneLfIsPartOfTheLineButEndsTheFieldScan) {
    // The line start search passes over a LF without CR; the field scan stops at it.
    StoredText stored("a,b\nc,d\r\n");
    CFileCtrl& file = stored.file();
    file.Seek(5, SeekFrom::Begin);  // inside "c,d"
    ExpectCalls(file, {{0, 0, "a"}, {1, 0, "b"}, {2, 0, ""}});
}

TEST(SkipLinesTest, CountsCrLfPairsOnly) {
    struct Case {
        std::string text;
        int lines;
        int result;
        std::int64_t position;
    };
    const Case cases[] = {
        {"a\r\nb\r\nc\r\n", 1, 0, 3}, {"a\r\nb\r\nc\r\n", 2, 0, 6},
        {"a\r\nb\r\nc\r\n", 3, 0, 9}, {"a\r\nb\r\nc\r\n", 4, -1, 9},
        {"a\rb\r\nc\r\n", 1, 0, 5},   {"a\nb\r\nc\r\n", 1, 0, 5},
        {"a\r\r\nb", 1, 0, 4},        {"abc", 1, -1, 3},
        {"a\r\nb", 0, 0, 0},
    };
    for (const Case& c : cases) {
        StoredText stored(c.text);
        EXPECT_EQ(SkipLines(stored.file(), c.lines), c.result) << c.lines;
        EXPECT_EQ(stored.file().GetPosition(), c.position) << c.lines;
    }
}

struct NextCall {
    int result;
    std::string text;
};

TEST(GetNextFieldTest, ReturnCodesFollowHowTheFieldEnded) {
    struct Case {
        std::string text;
        std::vector<NextCall> calls;
    };
    const Case cases[] = {
        {"x,,y\r\nz\r\n", {{0, "x"}, {0, ""}, {1, "y"}, {1, "z"}, {-1, ""}}},
        {"p,q,\r\nz\r\n", {{0, "p"}, {0, "q"}, {-2, ""}, {1, "z"}}},
        {"\r\n\r\nw,", {{-2, ""}, {-2, ""}, {0, "w"}, {-1, ""}}},
        {"x,y", {{0, "x"}, {-1, ""}}},
        {"x\r", {{1, "x"}, {-1, ""}}},
        // After a CR the next byte is taken as part of the line end, whatever it is.
        {"x\ryz\r\n", {{1, "x"}, {1, "z"}}},
        {"a\nb\r\n", {{1, "a"}, {1, "b"}}},
    };
    for (const Case& c : cases) {
        StoredText stored(c.text);
        for (std::size_t i = 0; i < c.calls.size(); ++i) {
            std::string out = "stale";
            EXPECT_EQ(GetNextField(out, stored.file()), c.calls[i].result) << c.text << " #" << i;
            EXPECT_EQ(out, c.calls[i].text) << c.text << " #" << i;
        }
    }
}

TEST(GetNextFieldTest, BytesAreTakenAsTheyAre) {
    const std::string bytes = "\xC3\xA4\xFF\x80";
    StoredText stored(bytes + ",x\r\n");
    std::string out;
    ASSERT_EQ(GetNextField(out, stored.file()), 0);
    EXPECT_EQ(out, bytes);
}

}  // namespace
}  // namespace velmora
