// The error log cannot be written, or is at its size limit, while the
// gateway runs between a decoder and a logger that refuses every command
// (so each value makes the gateway write a report). Whatever the log does,
// the gateway runs on, its links carry every command, the log is never
// touched but by appends, and the window's position is saved on close.
//
// What stops a write under Wine: the log's path being a folder, and the
// file held open without sharing. A read-only folder or file does not:
// Windows ignores the attribute on folders, Wine has no access control
// lists on files, and the tests run as root, whom neither the read-only
// attribute of the file (Wine maps it to unix permissions) nor unix
// permissions stop.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kLimit = 100000000;

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

// A file of `size` bytes made by moving its end: quick, and sparse where
// the file system allows. Its last byte is 'Z', so a rewrite would show.
bool MakeFileOfSize(const std::string& path, int64_t size) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER last{};
    last.QuadPart = size - 1;
    DWORD written = 0;
    const bool made = ::SetFilePointerEx(file, last, nullptr, FILE_BEGIN) &&
                      ::WriteFile(file, "Z", 1, &written, nullptr) && written == 1;
    ::CloseHandle(file);
    return made;
}

// `count` bytes from `offset` on.
std::string ReadAt(const std::string& path, int64_t offset, DWORD count) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string bytes(count, '\0');
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    DWORD read = 0;
    if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file, bytes.data(), count, &read, nullptr)) {
        read = 0;
    }
    ::CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

class FaultErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gateway_.StartLogger(logger_, "received.txt", {"--refuse-executes"}));
    }
    void TearDown() override {
        ::DeleteFileA(Log().c_str());
        ::RemoveDirectoryA(Log().c_str());
    }

    std::string Log() const { return gateway_.ErrorLogPath(); }

    void StartGateway() {
        ASSERT_TRUE(gateway_.Start());
        ASSERT_TRUE(gateway_.WaitPalavan(kPalavanConnected)) << gateway_.Palavan();
    }

    // A decoder publishes `values` (each refused, so each is reported);
    // waits until the logger has them all.
    void Publish(const std::vector<std::string>& values) {
        const HeldEvent go("QuillonFaultLog");
        std::vector<std::string> options = {"--start-event", go.Name(), "--quit-after"};
        for (const std::string& value : values) {
            options.push_back("--value");
            options.push_back(value);
        }
        ChildProcess decoder;
        ASSERT_TRUE(gateway_.StartDecoder(decoder, options));
        ASSERT_TRUE(gateway_.WaitMrp(kMrpConnected)) << gateway_.Mrp();
        const size_t before = gateway_.Received("received.txt").size();
        go.Set();
        EXPECT_TRUE(WaitUntil(
            [&] { return gateway_.Received("received.txt").size() >= before + values.size(); },
            kDeadlineMs));
        EXPECT_TRUE(decoder.WaitForExit(kDeadlineMs));
        ASSERT_TRUE(gateway_.WaitMrp(kMrpNotResponding)) << gateway_.Mrp();
    }

    // The gateway is alive and answering, then closes and saves its place.
    void ExpectRunsOnAndClosesCleanly() {
        EXPECT_TRUE(gateway_.Running());
        EXPECT_TRUE(gateway_.Responds());
        EXPECT_EQ(gateway_.Palavan(), kPalavanConnected);
        EXPECT_TRUE(gateway_.Close());
        for (const char* name : {"MRP_UILeft", "MRP_UITop", "MRP_UIWidth", "MRP_UIHeight"}) {
            EXPECT_NE(settings_.Get(name), "<absent>") << name;
        }
    }

    ScratchKey settings_{GatewaySection("Windows")};
    Gateway gateway_;
    ChildProcess logger_;
};

TEST_F(FaultErrorLogTest, ALogPathThatIsAFolder_LinesAreLostUntilItGoes) {
    ASSERT_TRUE(::CreateDirectoryA(Log().c_str(), nullptr));
    StartGateway();
    Publish({"A", "B"});
    EXPECT_EQ(gateway_.Received("received.txt"), (Lines{"006displaycwA", "006displaycwB"}));
    ASSERT_TRUE(::RemoveDirectoryA(Log().c_str()));
    // The header belonged to the run's first write, which was lost; the next
    // write creates the file with its own line only.
    Publish({"C"});
    const Lines log = ReadLines(Log());
    ASSERT_EQ(log.size(), 1u) << gateway_.ErrorLog();
    EXPECT_NE(log[0].find(" > program error 285 in module MRP_UI.MRPDDE_Change"), std::string::npos)
        << log[0];
    ExpectRunsOnAndClosesCleanly();
}

TEST_F(FaultErrorLogTest, ALogHeldOpenWithoutSharing_LinesAreLostUntilItIsReleased) {
    ASSERT_TRUE(WriteWholeFile(Log(), "kept\r\n"));
    HANDLE held = ::CreateFileA(Log().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StartGateway();
    Publish({"A", "B"});
    ::CloseHandle(held);
    EXPECT_EQ(gateway_.ErrorLog(), "kept\r\n");
    Publish({"C"});
    const std::string log = gateway_.ErrorLog();
    EXPECT_EQ(log.compare(0, 6, "kept\r\n"), 0) << log;
    EXPECT_EQ(CountOf(log, "program error"), 1) << log;
    ExpectRunsOnAndClosesCleanly();
}

TEST_F(FaultErrorLogTest, ALogOfExactlyTheLimitIsAppendedToOnceThenNoMore) {
    ASSERT_TRUE(MakeFileOfSize(Log(), kLimit));
    StartGateway();
    Publish({"A"});
    const int64_t grown = FileSize(Log());
    ASSERT_GT(grown, kLimit);
    EXPECT_EQ(ReadAt(Log(), kLimit - 1, 1), "Z");  // appended after, nothing rewritten
    const std::string appended = ReadAt(Log(), kLimit, static_cast<DWORD>(grown - kLimit));
    EXPECT_EQ(CountOf(appended, "program error 285 in module MRP_UI.MRPDDE_Change"), 1) << appended;
    // Now past the limit: the next reports are dropped at the size guard.
    Publish({"B", "C"});
    EXPECT_EQ(FileSize(Log()), grown);
    EXPECT_EQ(gateway_.Received("received.txt").size(), 3u);
    ExpectRunsOnAndClosesCleanly();
    EXPECT_EQ(FileSize(Log()), grown);  // no shutdown line either
}

TEST_F(FaultErrorLogTest, ALogOneByteOverTheLimitIsLeftUntouched) {
    ASSERT_TRUE(MakeFileOfSize(Log(), kLimit + 1));
    StartGateway();
    Publish({"A", "B"});
    EXPECT_EQ(FileSize(Log()), kLimit + 1);
    EXPECT_EQ(ReadAt(Log(), kLimit, 1), "Z");
    EXPECT_EQ(gateway_.Received("received.txt"), (Lines{"006displaycwA", "006displaycwB"}));
    ExpectRunsOnAndClosesCleanly();
    EXPECT_EQ(FileSize(Log()), kLimit + 1);
}

}  // namespace
}  // namespace quillon::testing
