// The file adapter on the real file system: appending, lengths and the
// run-time error numbers of missing files and folders.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "win32/Win32Files.h"

namespace quillon::win32 {
namespace {

class AppendFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = std::string(temp) + "AppendFileTest." + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
        path_ = folder_ + "\\ErrorLog.txt";
    }
    void TearDown() override {
        ::DeleteFileA(path_.c_str());
        ::RemoveDirectoryA(folder_.c_str());
    }

    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    Win32Files files_;
    std::string folder_;
    std::string path_;
};

TEST_F(AppendFileTest, CreatesTheFileAndAppendsCrLfLinesAcrossOpens) {
    {
        auto file = files_.OpenForAppend(path_);
        file->WriteLine("first");
        file->WriteLine("");
    }
    EXPECT_EQ(Contents(), "first\r\n\r\n");
    {
        auto file = files_.OpenForAppend(path_);
        file->WriteLine("second");
    }
    EXPECT_EQ(Contents(), "first\r\n\r\nsecond\r\n");
    EXPECT_EQ(files_.FileLength(path_), 17);
}

TEST_F(AppendFileTest, WritesSingleByteTextUnchanged) {
    const std::string text = "\xAD\xB7\xD8 73 de \x80\xFF";
    files_.OpenForAppend(path_)->WriteLine(text);
    EXPECT_EQ(Contents(), text + "\r\n");
}

TEST_F(AppendFileTest, TwoOpenWritersBothLandAtTheEnd) {
    // Another process appending to the log while it is open must not be
    // overwritten: each write goes to the end as it is then.
    auto first = files_.OpenForAppend(path_);
    auto second = files_.OpenForAppend(path_);
    first->WriteLine("one");
    second->WriteLine("two");
    first->WriteLine("three");
    EXPECT_EQ(Contents(), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(AppendFileTest, MissingFilesAndFoldersRaiseTheirNumbers) {
    EXPECT_EQ(CollectError([&] { files_.FileLength(path_); }), kErrFileNotFound);
    const std::string inMissingFolder = folder_ + "\\missing\\ErrorLog.txt";
    EXPECT_EQ(CollectError([&] { files_.FileLength(inMissingFolder); }), kErrFileNotFound);
    EXPECT_EQ(CollectError([&] { files_.OpenForAppend(inMissingFolder); }), kErrPathNotFound);
    EXPECT_EQ(CollectError([&] { files_.FileLength(folder_); }), kErrFileNotFound);
    EXPECT_NE(CollectError([&] { files_.OpenForAppend(folder_); }), 0);
    EXPECT_EQ(CollectError([&] { files_.OpenForAppend(""); }), kErrBadFileNameOrNumber);
    EXPECT_EQ(::GetFileAttributesA((folder_ + "\\missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace quillon::win32
