#include "model/file_ctrl.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "model/scramble.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ReadBytes;
using test::TempFolder;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Saves text through the writing mode and returns the file's path.
std::string Save(const TempFolder& folder, const std::string& name, const std::string& text) {
    const std::string path = folder.file(name);
    CFileCtrl file;
    EXPECT_TRUE(file.Open(path, kFileModeCreate | kFileModeWrite | kFileShareExclusive));
    file.WriteText(text);
    EXPECT_EQ(file.ScrambleAndWrite(), 0);
    return path;
}

// Everything from the position to the end, read one byte at a time.
std::string ReadRest(CFileCtrl& file) {
    std::string text;
    char byte = 0;
    while (file.Read(&byte, 1) == 1) {
        text.push_back(byte);
    }
    return text;
}

// The stored form of raw bytes, for files the writer would never make.
std::string StoredForm(std::vector<std::uint8_t> bytes) {
    EXPECT_TRUE(Scramble(bytes));
    return std::string(bytes.begin(), bytes.end());
}

TEST(ScrambleTest, KnownAnswerForTheFixedKeySet) {
    // Thirty-two bytes reach every slot of the 16-entry pattern and mask and every rotation
    // count twice. These bytes are what shipped data files hold; they must never change.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 32; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    const std::vector<std::uint8_t> expected = {0x7C, 0xB5, 0x84, 0x2B, 0xA0, 0x96, 0xCD, 0x3E,
                                                0x86, 0xB3, 0x75, 0xD9, 0x3A, 0xEA, 0x66, 0x36,
                                                0x7E, 0xB7, 0xA4, 0x0B, 0xA0, 0xB4, 0xCD, 0x1C,
                                                0xA4, 0xB1, 0x75, 0xF9, 0x3A, 0xAE, 0x66, 0x72};
    ASSERT_TRUE(Scramble(bytes));
    EXPECT_EQ(bytes, expected);
}

TEST(ScrambleTest, SavedFileHoldsTheKnownBytes) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = Save(folder, "known.vmw", "Velmora\r\n");
    const std::string expected = {'\xB0', '\x7F', '\x4C', '\xF6', '\x4E', '\x57',
                                  '\x9B', '\xF0', '\x86', '\xF2', '\x41', '\xCF'};
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST(ScrambleTest, UnscrambleUndoesScrambleForManyLengths) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length = 0; length <= 260; length += 4) {
        std::vector<std::uint8_t> original(length);
        for (auto& b : original) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        std::vector<std::uint8_t> bytes = original;
        ASSERT_TRUE(Scramble(bytes)) << length;
        if (length >= 16) {
            EXPECT_NE(bytes, original) << length;
        }
        ASSERT_TRUE(Unscramble(bytes)) << length;
        EXPECT_EQ(bytes, original) << length;
    }
}

TEST(ScrambleTest, LengthsThatAreNotWholeGroupsAreLeftAlone) {
    for (std::size_t length : {1u, 2u, 3u, 5u, 7u, 17u}) {
        const std::vector<std::uint8_t> original(length, 0x41);
        std::vector<std::uint8_t> bytes = original;
        EXPECT_FALSE(Scramble(bytes)) << length;
        EXPECT_FALSE(Unscramble(bytes)) << length;
        EXPECT_EQ(bytes, original) << length;
    }
}

struct SaveCase {
    std::string text;
    std::size_t storedBytes;
};

class FileCtrlSaveTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(FileCtrlSaveTest, StoresTextWithNulPaddingAndLoadsItBack) {
    const SaveCase& c = GetParam();
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = Save(folder, "data.vmw", c.text);

    const std::string stored = ReadBytes(path);
    ASSERT_EQ(stored.size(), c.storedBytes);
    std::vector<std::uint8_t> plain = Bytes(stored);
    ASSERT_TRUE(Unscramble(plain));
    std::vector<std::uint8_t> expected = Bytes(c.text);
    expected.resize(c.storedBytes, 0);
    EXPECT_EQ(plain, expected);

    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead | kFileShareExclusive));
    EXPECT_EQ(file.GetMode(), CFileCtrl::kReading);
    EXPECT_EQ(file.GetLength(), static_cast<std::int64_t>(c.text.size()));
    EXPECT_EQ(file.GetPosition(), 0);
    EXPECT_EQ(ReadRest(file), c.text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FileCtrlSaveTest,
                         ::testing::Values(SaveCase{"", 4}, SaveCase{"abc", 4}, SaveCase{"abcd", 8},
                                           SaveCase{"abcde", 8}, SaveCase{"a,b,c\r\nde\r\n", 12},
                                           SaveCase{"Hub \xC3\xA4,\xE6\x97\xA5\r\n", 16}));

TEST(FileCtrlTest, SeveralWritesAreStoredAsOneText) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = folder.file("joined.vmw");
    {
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeCreate | kFileModeWrite));
        EXPECT_EQ(file.GetMode(), CFileCtrl::kWriting);
        file.WriteText("BackupDataV001,");
        file.WriteText("x\r\n");
        // Nothing reaches the disk before the save.
        EXPECT_EQ(ReadBytes(path).size(), 0u);
        ASSERT_EQ(file.ScrambleAndWrite(), 0);
    }
    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead));
    EXPECT_EQ(ReadRest(file), "BackupDataV001,x\r\n");
}

TEST(FileCtrlTest, WritingReplacesALongerOldFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    Save(folder, "data.vmw", std::string(100, 'x'));
    const std::string path = Save(folder, "data.vmw", "short");
    EXPECT_EQ(ReadBytes(path).size(), 8u);
    CFileCtrl file;
    ASSERT_TRUE(file.Open(path, kFileModeRead));
    EXPECT_EQ(ReadRest(file), "short");
}

TEST(FileCtrlTest, NulOnlyAndEmptyFilesHaveNoContent) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::vector<std::string> stored = {"", StoredForm(std::vector<std::uint8_t>(4, 0)),
                                             StoredForm(std::vector<std::uint8_t>(12, 0))};
    for (const std::string& bytes : stored) {
        const std::string path = folder.write("nul.vmw", bytes);
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeRead)) << bytes.size();
        EXPECT_EQ(file.GetLength(), 0) << bytes.size();
        char byte = 'x';
        EXPECT_EQ(file.Read(&byte, 1), 0u) << bytes.size();
    }
}

TEST(FileCtrlTest, TruncatedStoredFileIsRefused) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string whole = ReadBytes(Save(folder, "whole.vmw", "a,b,c\r\nd,e,f\r\n"));
    ASSERT_EQ(whole.size(), 16u);
    for (std::size_t cut = 1; cut <= 3; ++cut) {
        const std::string path = folder.write("cut.vmw", whole.substr(0, whole.size() - cut));
        CFileCtrl file;
        EXPECT_FALSE(file.Open(path, kFileModeRead)) << cut;
        EXPECT_FALSE(file.IsOpen()) << cut;
        char byte = 0;
        EXPECT_EQ(file.Read(&byte, 1), 0u) << cut;
    }
}

TEST(FileCtrlTest, MissingFileOrFolderFailsToOpen) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CFileCtrl file;
    EXPECT_FALSE(file.Open(folder.file("absent.vmw"), kFileModeRead));
    EXPECT_FALSE(file.Open(folder.file("absent/out.vmw"), kFileModeCreate | kFileModeWrite));
}

TEST(FileCtrlTest, ReadCopiesWhatIsLeftButReportsTheShortRead) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CFileCtrl file;
    ASSERT_TRUE(file.Open(Save(folder, "data.vmw", "abcdef"), kFileModeRead));
    char buffer[8] = {};
    ASSERT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(std::string(buffer, 2), "ef");  // copied before the end was met
    EXPECT_EQ(file.GetPosition(), 6);
}

struct SeekCase {
    std::int64_t start;
    std::int64_t offset;
    SeekFrom from;
    std::int64_t expected;
};

TEST(FileCtrlTest, SeekStaysWithinTheStoredFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CFileCtrl file;
    // Six bytes of text, eight on disk: seeking may pass the text into the padding.
    ASSERT_TRUE(file.Open(Save(folder, "data.vmw", "abcdef"), kFileModeRead));
    const SeekCase cases[] = {
        {0, 3, SeekFrom::Begin, 3},    {5, -9, SeekFrom::Begin, 0},   {0, 100, SeekFrom::Begin, 8},
        {2, 3, SeekFrom::Current, 5},  {5, -2, SeekFrom::Current, 3}, {5, 10, SeekFrom::Current, 8},
        {1, -5, SeekFrom::Current, 0}, {0, 7, SeekFrom::Begin, 7},
    };
    for (const SeekCase& c : cases) {
        file.Seek(c.start, SeekFrom::Begin);
        EXPECT_EQ(file.Seek(c.offset, c.from), c.expected) << c.start << " " << c.offset;
        EXPECT_EQ(file.GetPosition(), c.expected);
    }
    file.Seek(7, SeekFrom::Begin);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);  // in the padding: past the text
}

TEST(FileCtrlTest, WritingModeHasNoPositionAndReadsNothing) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CFileCtrl file;
    ASSERT_TRUE(file.Open(folder.file("out.vmw"), kFileModeCreate | kFileModeWrite));
    file.WriteText("abc");
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
    EXPECT_EQ(file.Seek(2, SeekFrom::Begin), 0);
    EXPECT_EQ(file.GetPosition(), 0);
}

TEST(FileCtrlTest, CloseForgetsTheContent) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    CFileCtrl file;
    ASSERT_TRUE(file.Open(Save(folder, "data.vmw", "abc"), kFileModeRead));
    file.Seek(2, SeekFrom::Begin);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetLength(), 0);
    EXPECT_EQ(file.GetPosition(), 0);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
}

TEST(FileCtrlTest, ReadAndWriteAccessStillOpensForReadingOnly) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = Save(folder, "list.vmw", "x\r\n");
    const std::string before = ReadBytes(path);
    {
        CFileCtrl file;
        ASSERT_TRUE(file.Open(path, kFileModeReadWrite | kFileShareExclusive));
        EXPECT_EQ(file.GetMode(), CFileCtrl::kReading);
        EXPECT_EQ(ReadRest(file), "x\r\n");
        EXPECT_EQ(file.ScrambleAndWrite(), -1);
    }
    EXPECT_EQ(ReadBytes(path), before);
}

// A lock held by another open file description, as another process would hold it.
class ForeignLock {
  public:
    ForeignLock(const std::string& path, int operation) : fd_(::open(path.c_str(), O_RDONLY)) {
        locked_ = fd_ >= 0 && ::flock(fd_, operation | LOCK_NB) == 0;
    }
    ~ForeignLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool locked() const { return locked_; }

  private:
    int fd_;
    bool locked_ = false;
};

TEST(FileCtrlTest, SharingFollowsTheLocksOfOtherHolders) {
    TempFolder folder;
    ASSERT_TRUE(folder.valid());
    const std::string path = Save(folder, "data.vmw", "abc");
    const std::string before = ReadBytes(path);
    struct LockCase {
        int foreign;
        unsigned flags;
        bool opens;
    };
    const LockCase cases[] = {
        {LOCK_SH, kFileModeRead | kFileShareExclusive, true},
        {LOCK_SH, kFileModeCreate | kFileModeWrite | kFileShareExclusive, false},
        {LOCK_EX, kFileModeRead | kFileShareExclusive, false},
        {LOCK_EX, kFileModeCreate | kFileModeWrite | kFileShareExclusive, false},
    };
    for (const LockCase& c : cases) {
        ForeignLock lock(path, c.foreign);
        ASSERT_TRUE(lock.locked());
        CFileCtrl file;
        EXPECT_EQ(file.Open(path, c.flags), c.opens) << c.foreign << " " << c.flags;
        // A refused writer must leave the file as it was.
        EXPECT_EQ(ReadBytes(path), before);
    }
    {
        CFileCtrl reader;
        ASSERT_TRUE(reader.Open(path, kFileModeRead));
        EXPECT_FALSE(ForeignLock(path, LOCK_EX).locked());
        EXPECT_TRUE(ForeignLock(path, LOCK_SH).locked());
    }
    // The destructor closed the file and so released its lock.
    EXPECT_TRUE(ForeignLock(path, LOCK_EX).locked());
}

TEST(FileCtrlTest, LineEndsBecomeCrLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\r\nb\nc", "a\r\nb\r\nc"},
        {"\n\n", "\r\n\r\n"},
        {"a\rb", "a\rb"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(WithCrLfLineEnds(in), out);
    }
}

}  // namespace
}  // namespace velmora
