// Inputs the fuzz targets (tests/fuzz) found faults with, kept as tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/ErrorLog.h"
#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "dde/DdeLinkEngine.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"

namespace quillon {
namespace {

struct FuzzClockFixture : ::testing::Test, fakes::FakeLog {};

// A month field of 32767 once wrapped the 16-bit month count and hung the
// clock, and with it every write to the error log. It now overflows in the
// month step, is reported with the fields, and the clock answers 0.
TEST_F(FuzzClockFixture, MonthOf32767OverflowsInsteadOfHanging) {
    systemClock.Set(2026, 32767, 1, 0, 0, 0);
    EXPECT_EQ(clock.CurrentTime(), 0);
    const std::string text = Text();
    EXPECT_NE(text.find(" > program error 6 in module UTC.CurrentTime, State = 2: Overflow\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" >    UTCTime.wMonth  = 32767\r\n"), std::string::npos) << text;

    // The largest month that does not reach the limit still counts through.
    files.contents.clear();
    systemClock.Set(2000, 32766, 1, 0, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36525 + 335 + 1);
    EXPECT_TRUE(Text().empty());
}

// The same clock behind an ordinary log write: the line still arrives,
// after the clock's report, stamped with the clock's fallback 0.
TEST_F(FuzzClockFixture, LogWriteWithMonth32767EndsWithItsLine) {
    systemClock.Set(2026, 32767, 1, 0, 0, 0);
    log.WriteErrorLog("after");
    const std::string text = Text();
    const std::string tail = "30-Dec-1899 00:00:00 > after\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// The least of a wire for the link engine: every call succeeds, fresh
// numbers for windows, blocks and atoms.
struct AnyWire : dde::DdeWireActions {
    uint64_t next = 0x10000;
    dde::Window NewWindow() override { return ++next; }
    void DestroyWindow(dde::Window) override {}
    bool WindowAlive(dde::Window) override { return true; }
    dde::Atom AddAtom(const std::string&) override {
        return static_cast<dde::Atom>(0xC000 + next++ % 0x100);
    }
    void DeleteAtom(dde::Atom) override {}
    dde::Block NewAdvise() override { return ++next; }
    dde::Block NewExecute(const std::string&) override { return ++next; }
    void FreeBlock(dde::Block) override {}
    bool PostAdvise(dde::Window, dde::Window, dde::Block, dde::Atom item) override {
        advised = item;
        return true;
    }
    bool PostExecute(dde::Window, dde::Window, dde::Block command) override {
        executed = command;
        return true;
    }
    bool PostTerminate(dde::Window, dde::Window) override { return true; }
    bool PostDataAck(dde::Window, dde::Window, bool, dde::Atom) override { return true; }
    dde::Atom advised = 0;
    dde::Block executed = 0;
};

// A link whose hot link stands, opened at `start` by server 0x99.
struct OpenLink {
    explicit OpenLink(dde::Tick start) {
        EXPECT_EQ(engine.BeginInitiate("Palavan", "DDEServer", start), 0);
        client = engine.InitiateWindow();
        engine.OnInitiateAnswer(client, server, {0xC0F0, 0xC0F1, "Palavan", "DDEServer"}, start);
        EXPECT_EQ(engine.EndInitiate("DDECommand", start), 0);
        engine.OnAck(client, server, {true, false, wire.advised}, start);
        EXPECT_EQ(engine.FinishOpen(start), 0);
    }
    AnyWire wire;
    dde::DdeLinkEngine engine{wire};
    dde::Window client = 0;
    const dde::Window server = 0x99;
};

// A command refused as busy 10 ms before its limit: its pause would end
// after the limit, and the clock was once asked back only then, so 288 came
// up to 50 ms late. The limit is the next deadline, and 288 comes at it.
TEST(FuzzDdeLinkEngine, BusyNearTheLimitEndsAtTheLimit) {
    const dde::Tick start = 0xFFFFF000u;  // the clock wraps meanwhile
    OpenLink link(start);
    AnyWire& wire = link.wire;
    dde::DdeLinkEngine& engine = link.engine;
    const dde::Window client = link.client;
    const dde::Window server = link.server;
    ASSERT_EQ(engine.Execute("006displaycw", start), 0);

    const dde::Tick busyAt = start + 4990;
    engine.OnAck(client, server, {false, true, wire.executed}, busyAt);
    EXPECT_FALSE(engine.HasNotification());
    EXPECT_EQ(engine.NextDeadline(busyAt), std::optional<dde::Tick>(start + 5000));
    engine.OnTime(start + 5000);
    ASSERT_TRUE(engine.HasNotification());
    const dde::Notification told = engine.TakeNotification();
    EXPECT_EQ(told.kind, dde::Notification::kOutcome);
    EXPECT_EQ(told.error, 288);
}

// A flood of values holds the clock's messages back: the value that comes
// past a command's limit tells the 286 itself, before any tick of the clock.
TEST(FuzzDdeLinkEngine, AValuePastTheLimitTellsTheTimeoutWithoutTheClock) {
    OpenLink link(1000);
    ASSERT_EQ(link.engine.Execute("006displaycw", 1000), 0);
    dde::Data value;
    value.text = true;
    value.value = "K";
    link.engine.OnData(link.client, link.server, value, 1000 + 5000);
    std::vector<int32_t> outcomes;
    while (link.engine.HasNotification()) {
        const dde::Notification told = link.engine.TakeNotification();
        if (told.kind == dde::Notification::kOutcome) {
            outcomes.push_back(told.error);
        }
    }
    EXPECT_EQ(outcomes, std::vector<int32_t>{286});
}

}  // namespace
}  // namespace quillon
