#include "SimRun.h"

#include <cstdio>
#include <cstdlib>

namespace quillon::tools {

namespace {
volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleControl(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}
}  // namespace

SimRun::SimRun() : start_(GetTickCount()) {
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

SimRun::~SimRun() {
    if (quitEvent_ != nullptr) {
        CloseHandle(quitEvent_);
    }
}

HANDLE SimRun::OpenOrCreate(const std::string& name) {
    return CreateEventA(nullptr, TRUE, FALSE, name.c_str());
}

void SimRun::SetQuitEvent(const std::string& name) {
    quitEvent_ = OpenOrCreate(name);
}

bool SimRun::ShouldQuit() const {
    if (g_interrupted != 0) {
        return true;
    }
    if (quitEvent_ != nullptr && WaitForSingleObject(quitEvent_, 0) == WAIT_OBJECT_0) {
        return true;
    }
    return limit_ != 0 && GetTickCount() - start_ >= limit_;
}

bool ParseUnsigned(const char* text, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0';
}

bool SimOptions::Next() {
    if (next_ >= argc_) {
        return false;
    }
    name_ = argv_[next_++];
    return true;
}

std::string SimOptions::Text() {
    if (next_ >= argc_) {
        Fail(name_ + " needs a value");
    }
    return argv_[next_++];
}

unsigned long SimOptions::Number() {
    unsigned long number = 0;
    if (next_ >= argc_ || !ParseUnsigned(argv_[next_], number)) {
        Fail(name_ + " needs a number");
    }
    ++next_;
    return number;
}

void SimOptions::Fail(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
    std::exit(2);
}

int RunSimulator(SimProgram program, int argc, char** argv, SimServer& server, SimRun& run,
                 const std::function<bool(SimOptions&)>& option,
                 const std::function<int()>& serve) {
    SimOptions options(program.name, argc, argv);
    while (options.Next()) {
        const std::string& name = options.Name();
        if (name == "--help" || name == "-h") {
            std::fputs(program.help, stdout);
            return 0;
        } else if (name == "--service") {
            program.service = options.Text();
        } else if (name == "--quit-event") {
            run.SetQuitEvent(options.Text());
        } else if (name == "--run-ms") {
            run.SetTimeLimit(options.Number());
        } else if (name == "--connect-log") {
            const std::string path = options.Text();
            if (!server.LogConnectsTo(path)) {
                options.Fail("cannot write " + path);
            }
        } else if (!option(options)) {
            options.Fail("unknown option " + name + " (see --help)");
        }
    }
    if (!server.Start(program.service, program.topic)) {
        return 1;
    }
    std::fprintf(stderr, "%s: serving %s|%s item %s\n", program.name, program.service.c_str(),
                 program.topic, program.item);
    return serve();
}

int ServeUntilQuit(SimServer& server, const SimRun& run) {
    while (!run.ShouldQuit() && server.Pump(50)) {
    }
    return 0;
}

}  // namespace quillon::tools
