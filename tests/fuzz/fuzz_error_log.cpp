// The error-log writer over arbitrary messages, clocks and file sizes.
//
// With a plausible clock every write appends exactly the stamp, " > ", the
// message's bytes unchanged (NULs, CR and LF included) and CR LF; the stamp
// is checked against the calendar fields the clock gave. With any other
// clock (one that makes the UTC clock fail and report) the write still ends
// with " > ", the message and CR LF. A log over the size limit is not
// touched at all.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzCheck.h"
#include "fakes/FakeLog.h"

using quillon::fuzz::Require;

namespace {

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int month, int year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// The stamp of a real clock reading (years from 2000), written out directly
// from the fields.
bool PlausibleStamp(const quillon::SystemTime& t, std::string& stamp) {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (t.wYear < 2000 || t.wYear > 9999 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysIn(t.wMonth, t.wYear) || t.wHour < 0 || t.wHour > 23 || t.wMinute < 0 ||
        t.wMinute > 59 || t.wSecond < 0 || t.wSecond > 59) {
        return false;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d", t.wDay, kMonths[t.wMonth - 1],
                  t.wYear, t.wHour, t.wMinute, t.wSecond);
    stamp = text;
    return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    quillon::fakes::FakeLog log;

    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    quillon::SystemTime& now = log.systemClock.now;
    if ((mode & 1) != 0) {
        // Any fields at all, as a broken clock might deliver them.
        now.wYear = input.ConsumeIntegral<int16_t>();
        // Any month costs the clock one step per month; most inputs keep to
        // a few months either side of the calendar so the fuzzer stays fast.
        now.wMonth = (mode & 0xF0) == 0xF0 ? input.ConsumeIntegral<int16_t>()
                                           : input.ConsumeIntegralInRange<int16_t>(-20, 40);
        now.wDay = input.ConsumeIntegral<int16_t>();
        now.wHour = input.ConsumeIntegral<int16_t>();
        now.wMinute = input.ConsumeIntegral<int16_t>();
        now.wSecond = input.ConsumeIntegral<int16_t>();
    } else {
        now.wYear = input.ConsumeIntegralInRange<int16_t>(2000, 9999);
        now.wMonth = input.ConsumeIntegralInRange<int16_t>(1, 12);
        now.wDay = input.ConsumeIntegralInRange<int16_t>(1, DaysIn(now.wMonth, now.wYear));
        now.wHour = input.ConsumeIntegralInRange<int16_t>(0, 23);
        now.wMinute = input.ConsumeIntegralInRange<int16_t>(0, 59);
        now.wSecond = input.ConsumeIntegralInRange<int16_t>(0, 59);
    }
    // Sizes around the limit: at it the log is still written, above it not.
    int64_t pretendSize = -1;
    if ((mode & 2) != 0) {
        pretendSize = quillon::ErrorLog::kMaximumSize - 2 + input.ConsumeIntegralInRange<int>(0, 4);
        log.files.sizeOverride[log.kPath] = pretendSize;
    }
    const bool debugBefore = (mode & 4) != 0;
    const bool report = (mode & 8) != 0;
    const int32_t number = input.ConsumeIntegral<int32_t>();
    const std::string message = input.ConsumeRemainingBytesAsString();

    // A first line, so the write under test is a later one of the run.
    log.files.contents[log.kPath] = "existing\r\n";
    log.log.WriteErrorLog("first");
    log.log.SetDebug(debugBefore);
    const std::string before = log.Text();

    std::string line = message;
    if (report) {
        line = "program error " + std::to_string(number) + " in module " + message + ": " +
               quillon::ErrorDescription(number);
        log.log.ReportProgramError(number, message);
    } else {
        log.log.WriteErrorLog(message);
    }
    const std::string after = log.Text();

    Require(!log.log.LogOpen(), "the file is closed between writes");
    Require(log.files.openNow == 0, "no file handle is left open");
    if (pretendSize > quillon::ErrorLog::kMaximumSize) {
        Require(after == before, "a log over the limit is not written");
        Require(!log.log.GetDebug(), "the size guard switches debug off");
        return 0;
    }
    Require(log.log.GetDebug() == debugBefore, "a write leaves the debug flag alone");
    Require(after.compare(0, before.size(), before) == 0, "the log is only appended to");
    const std::string added = after.substr(before.size());
    std::string stamp;
    if (PlausibleStamp(now, stamp)) {
        Require(added == stamp + " > " + line + "\r\n", "the line is stamp, \" > \", text, CR LF");
    } else {
        Require(EndsWith(added, " > " + line + "\r\n"), "the line ends with \" > \", text, CR LF");
    }
    return 0;
}
