#pragma once
// What the simulators share: run control (Ctrl+C, a named quit event and a
// run time limit, all checked from the message pump), reading the command
// line, and main's course from the options to the end of the run.

#include <windows.h>

#include <functional>
#include <string>

#include "SimServer.h"

namespace quillon::tools {

class SimRun {
  public:
    SimRun();
    ~SimRun();
    SimRun(const SimRun&) = delete;
    SimRun& operator=(const SimRun&) = delete;

    // Quit when the named event (created if missing) is signalled.
    void SetQuitEvent(const std::string& name);
    // Quit `milliseconds` after start (0: never).
    void SetTimeLimit(DWORD milliseconds) { limit_ = milliseconds; }
    bool ShouldQuit() const;

    // Waits for the named event (created if missing), pumping messages.
    // False when told to quit first.
    template <class Pump>
    bool WaitForEvent(const std::string& name, Pump pump) {
        HANDLE event = OpenOrCreate(name);
        bool signalled = false;
        while (!signalled && !ShouldQuit()) {
            signalled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
            if (!signalled && !pump(20)) {
                break;
            }
        }
        CloseHandle(event);
        return signalled;
    }

  private:
    static HANDLE OpenOrCreate(const std::string& name);
    HANDLE quitEvent_ = nullptr;
    DWORD start_;
    DWORD limit_ = 0;
};

// A whole decimal number, nothing after it.
bool ParseUnsigned(const char* text, unsigned long& value);

// A simulator's command line, one option at a time: "--name" or
// "--name value".
class SimOptions {
  public:
    SimOptions(const char* program, int argc, char** argv)
        : program_(program), argc_(argc), argv_(argv) {}

    // Moves to the next option; false after the last one.
    bool Next();
    const std::string& Name() const { return name_; }
    // The option's value (taken from the command line), as text or as a
    // number. Without one the program ends with status 2.
    std::string Text();
    unsigned long Number();
    // Ends the program with status 2 and "<program>: <message>" on stderr.
    [[noreturn]] void Fail(const std::string& message) const;

  private:
    const char* program_;
    int argc_;
    char** argv_;
    int next_ = 1;
    std::string name_;
};

// What sets one simulator apart in RunSimulator.
struct SimProgram {
    const char* name;     // "decoder_sim": the program's name in messages
    const char* help;     // the text of --help
    std::string service;  // the service name unless --service gives one
    const char* topic;
    const char* item;
};

// A simulator's main. Reads the command line: --help (-h), --service,
// --quit-event, --run-ms and --connect-log here, every other option through
// `option`, which returns false for one it does not know (status 2). Then
// registers `server` as service|topic, says so on stderr and returns what
// `serve` returns (1 when the service cannot be registered).
int RunSimulator(SimProgram program, int argc, char** argv, SimServer& server, SimRun& run,
                 const std::function<bool(SimOptions&)>& option, const std::function<int()>& serve);

// Pumps the server's messages until the run is told to quit; returns 0.
int ServeUntilQuit(SimServer& server, const SimRun& run);

}  // namespace quillon::tools
