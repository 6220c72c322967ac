// logger_sim: a stand-in for the logging program's DDE command server.
// Serves topic "DDEServer" with the item "DDECommand" (advise and request)
// and prints every execute it receives.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "SimRun.h"
#include "SimServer.h"
#include "SimText.h"

namespace {

using quillon::tools::EscapeBytes;
using quillon::tools::NowMicroseconds;
using quillon::tools::RunSimulator;
using quillon::tools::ServeUntilQuit;
using quillon::tools::SimOptions;
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
    std::string startStampPath;
    LoggerServer server;
    SimRun run;
    // No newline translation: the lines are byte-exact.
    _setmode(_fileno(stdout), _O_BINARY);

    auto option = [&](SimOptions& options) {
        const std::string& name = options.Name();
        if (name == "--raw") {
            server.raw = true;
        } else if (name == "--stamp") {
            server.stamp = true;
        } else if (name == "--refuse-executes") {
            server.refuse = true;
        } else if (name == "--busy") {
            server.busy = true;
        } else if (name == "--no-connect") {
            server.noConnect = true;
        } else if (name == "--refuse-advise") {
            server.refuseAdvise = true;
        } else if (name == "--out") {
            const std::string path = options.Text();
            server.out = std::fopen(path.c_str(), "wb");
            if (server.out == nullptr) {
                options.Fail("cannot write " + path);
            }
        } else if (name == "--slow") {
            server.slowMs = options.Number();
        } else if (name == "--slow-count") {
            server.slowCount = options.Number();
        } else if (name == "--start-stamp") {
            startStampPath = options.Text();
        } else {
            return false;
        }
        return true;
    };

    auto serve = [&]() {
        if (!startStampPath.empty()) {
            FILE* stampFile = std::fopen(startStampPath.c_str(), "wb");
            if (stampFile != nullptr) {
                std::fprintf(stampFile, "%lld\n", static_cast<long long>(NowMicroseconds()));
                std::fclose(stampFile);
            }
        }
        ServeUntilQuit(server, run);
        if (server.out != stdout) {
            std::fclose(server.out);
        }
        return 0;
    };

    return RunSimulator({"logger_sim", kHelp, "Palavan", kTopic, kItem}, argc, argv, server, run,
                        option, serve);
}
