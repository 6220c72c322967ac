// logger_sim: a stand-in for the logging program's DDE command server.
// Serves topic "DDEServer" with the item "DDECommand" (advise and request)
// and prints every execute it receives.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SimRun.h"
#include "SimServer.h"
#include "SimText.h"

namespace {

using quillon::tools::EscapeBytes;
using quillon::tools::NowMicroseconds;
using quillon::tools::ParseUnsigned;
using quillon::tools::SimRun;
using quillon::tools::SimServer;

constexpr char kTopic[] = "DDEServer";
constexpr char kItem[] = "DDECommand";

const char kHelp[] =
    "usage: logger_sim [options]\n"
    "Serves DDE service NAME, topic \"DDEServer\", item \"DDECommand\" (advise and\n"
    "request answered with an empty value) and prints each execute it receives,\n"
    "one per line, up to the first NUL: printable ASCII as is, a backslash as\n"
    "\\\\, every other byte as \\xHH.\n"
    "\n"
    "Options:\n"
    "  --service NAME      DDE service name (default \"Palavan\")\n"
    "  --out FILE          write the lines to FILE instead of stdout\n"
    "  --raw               write the execute's bytes unchanged (all of them,\n"
    "                      terminating NUL included), then a newline\n"
    "  --stamp             prefix each line with \"<microseconds>\\t\"\n"
    "  --refuse-executes   acknowledge every execute negatively\n"
    "  --busy              answer every execute with a busy acknowledgement\n"
    "  --slow MS           acknowledge each execute MS late\n"
    "  --slow-count N      only the first N executes are late (default: all)\n"
    "  --start-stamp FILE  write \"<microseconds>\" to FILE once the service is\n"
    "                      registered (same clock as --stamp)\n"
    "  --no-connect        do not answer connects\n"
    "  --refuse-advise     answer connects but refuse every advise\n"
    "  --connect-log FILE  write the client's process id per conversation opened\n"
    "  --quit-event NAME   quit when the named event is signalled\n"
    "  --run-ms MS         quit MS after start\n"
    "  --help              this text\n"
    "Quitting unregisters the service, which terminates every conversation.\n";

class LoggerServer : public SimServer {
  public:
    FILE* out = stdout;
    bool raw = false;
    bool stamp = false;
    bool refuse = false;
    bool busy = false;
    bool noConnect = false;
    bool refuseAdvise = false;
    unsigned long slowMs = 0;
    unsigned long slowCount = 0;  // 0: every execute
    unsigned long executes = 0;

  protected:
    bool AcceptConnect() override { return !noConnect; }
    bool AcceptAdvise(const std::string& item) override {
        return !refuseAdvise && _stricmp(item.c_str(), kItem) == 0;
    }
    std::string ItemData(const std::string&) override { return std::string(1, '\0'); }

    UINT Execute(const std::string& data) override {
        const int64_t received = NowMicroseconds();
        if (stamp) {
            std::fprintf(out, "%lld\t", static_cast<long long>(received));
        }
        if (raw) {
            std::fwrite(data.data(), 1, data.size(), out);
        } else {
            std::fputs(EscapeBytes(data.substr(0, data.find('\0'))).c_str(), out);
        }
        std::fputc('\n', out);
        std::fflush(out);
        ++executes;
        if (slowMs > 0 && (slowCount == 0 || executes <= slowCount)) {
            // Blocks the server's thread: the acknowledgement is late.
            Sleep(slowMs);
        }
        if (busy) {
            return DDE_FBUSY;
        }
        return refuse ? DDE_FNOTPROCESSED : DDE_FACK;
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string service = "Palavan";
    std::string outPath;
    std::string startStampPath;
    LoggerServer server;
    SimRun run;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        unsigned long number = 0;
        if (option == "--help" || option == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (option == "--raw") {
            server.raw = true;
        } else if (option == "--stamp") {
            server.stamp = true;
        } else if (option == "--refuse-executes") {
            server.refuse = true;
        } else if (option == "--busy") {
            server.busy = true;
        } else if (option == "--no-connect") {
            server.noConnect = true;
        } else if (option == "--refuse-advise") {
            server.refuseAdvise = true;
        } else if (hasValue && option == "--service") {
            service = argv[++i];
        } else if (hasValue && option == "--out") {
            outPath = argv[++i];
        } else if (hasValue && option == "--quit-event") {
            run.SetQuitEvent(argv[++i]);
        } else if (hasValue && option == "--slow" && ParseUnsigned(argv[i + 1], number)) {
            server.slowMs = number;
            ++i;
        } else if (hasValue && option == "--slow-count" && ParseUnsigned(argv[i + 1], number)) {
            server.slowCount = number;
            ++i;
        } else if (hasValue && option == "--connect-log") {
            if (!server.LogConnectsTo(argv[++i])) {
                std::fprintf(stderr, "logger_sim: cannot write %s\n", argv[i]);
                return 2;
            }
        } else if (hasValue && option == "--start-stamp") {
            startStampPath = argv[++i];
        } else if (hasValue && option == "--run-ms" && ParseUnsigned(argv[i + 1], number)) {
            run.SetTimeLimit(number);
            ++i;
        } else {
            std::fprintf(stderr, "logger_sim: bad option %s (see --help)\n", option.c_str());
            return 2;
        }
    }
    // No newline translation: the lines are byte-exact.
    _setmode(_fileno(stdout), _O_BINARY);
    if (!outPath.empty()) {
        server.out = std::fopen(outPath.c_str(), "wb");
        if (server.out == nullptr) {
            std::fprintf(stderr, "logger_sim: cannot write %s\n", outPath.c_str());
            return 2;
        }
    }
    if (!server.Start(service, kTopic)) {
        return 1;
    }
    std::fprintf(stderr, "logger_sim: serving %s|%s item %s\n", service.c_str(), kTopic, kItem);
    if (!startStampPath.empty()) {
        FILE* stampFile = std::fopen(startStampPath.c_str(), "wb");
        if (stampFile != nullptr) {
            std::fprintf(stampFile, "%lld\n", static_cast<long long>(NowMicroseconds()));
            std::fclose(stampFile);
        }
    }
    while (!run.ShouldQuit() && server.Pump(50)) {
    }
    if (server.out != stdout) {
        std::fclose(server.out);
    }
    return 0;
}
