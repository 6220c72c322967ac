// decoder_sim: a stand-in for the CW decoder's DDE server. Serves topic
// "MRP40Form" with the item "RXSymbol" (advise loops and request) and
// publishes decoded text one value at a time.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "SimRun.h"
#include "SimServer.h"
#include "SimText.h"

namespace {

using quillon::tools::DotMilliseconds;
using quillon::tools::EscapeBytes;
using quillon::tools::MorseUnits;
using quillon::tools::NowMicroseconds;
using quillon::tools::ParseUnsigned;
using quillon::tools::RunSimulator;
using quillon::tools::ServeUntilQuit;
using quillon::tools::SimOptions;
using quillon::tools::SimRun;
using quillon::tools::SimServer;
using quillon::tools::UnescapeBytes;

constexpr char kTopic[] = "MRP40Form";
constexpr char kItem[] = "RXSymbol";

const char kHelp[] =
    "usage: decoder_sim [options]\n"
    "Serves DDE service NAME, topic \"MRP40Form\", item \"RXSymbol\" (advise, request)\n"
    "and publishes values on it.\n"
    "\n"
    "What to publish, in the order given (any combination):\n"
    "  --text FILE         the file's bytes one character at a time, timed like\n"
    "                      Morse at --wpm (PARIS); FILE \"-\" reads stdin\n"
    "  --value V           one value (repeatable); escapes \\xHH \\\\ \\n \\r \\t;\n"
    "                      an empty V publishes an empty value\n"
    "  --script FILE       one value per line, same escapes; an empty line is an\n"
    "                      empty value\n"
    "  --numbered N        N values \"#000001\", \"#000002\", ... (prefix: see below)\n"
    "  --big N             one value of N letters 'A'\n"
    "\n"
    "Options:\n"
    "  --service NAME      DDE service name (default \"MRP40\"; or \"MRP40 SDR\")\n"
    "  --wpm N             speed of a --text given after it, in words per minute\n"
    "                      (default 20)\n"
    "  --interval MS       pause after each value listed after this option\n"
    "                      (default 0: full speed)\n"
    "  --pause MS          an extra pause after the value listed last\n"
    "  --numbered-prefix P prefix of the --numbered values that follow (default #)\n"
    "  --repeat N          publish the whole list N times (default 1)\n"
    "  --wait-client       wait for an advise loop before publishing\n"
    "  --start-event NAME  wait for the named event before publishing\n"
    "  --delay MS          wait MS before publishing (after the waits above)\n"
    "  --refuse-advise     answer connects but refuse every advise\n"
    "  --no-nul            send values without the terminating NUL\n"
    "  --format F          label the data with clipboard format F whatever the\n"
    "                      client advised: a number (13 is CF_UNICODETEXT) or a\n"
    "                      name, registered as a private format\n"
    "  --stamp-log FILE    write \"<microseconds>\\t<escaped value>\" per publish\n"
    "  --connect-log FILE  write the client's process id per conversation opened\n"
    "  --quit-after        quit once everything is published (after --linger)\n"
    "  --linger MS         pause before quitting with --quit-after (default 500)\n"
    "  --quit-event NAME   quit when the named event is signalled\n"
    "  --run-ms MS         quit MS after start\n"
    "  --verbose           report connects, advises and publishes on stderr\n"
    "  --help              this text\n"
    "Quitting unregisters the service, which terminates every conversation.\n";

struct Value {
    std::string bytes;
    double pauseMs;  // after publishing it
};

class DecoderServer : public SimServer {
  public:
    bool refuseAdvise = false;
    bool noNul = false;
    bool verbose = false;
    bool advised = false;
    UINT format = CF_TEXT;
    std::string value;

    void Publish(const std::string& bytes) {
        value = bytes;
        PostAdvise(kItem);
    }

  protected:
    UINT DataFormat() override { return format; }
    bool AcceptAdvise(const std::string& item) override {
        const bool accept = !refuseAdvise && _stricmp(item.c_str(), kItem) == 0;
        advised = advised || accept;
        if (verbose) {
            std::fprintf(stderr, "decoder_sim: advise on %s %s\n", item.c_str(),
                         accept ? "accepted" : "refused");
        }
        return accept;
    }
    std::string ItemData(const std::string& item) override {
        if (_stricmp(item.c_str(), kItem) != 0) {
            return std::string(1, '\0');
        }
        const std::string bytes = noNul ? value : value + '\0';
        if (format != CF_UNICODETEXT) {
            return bytes;
        }
        // Each byte widened to a UTF-16 code unit (exact for ASCII).
        std::string wide;
        for (const char c : bytes) {
            wide += c;
            wide += '\0';
        }
        return wide;
    }
};

bool ReadFile(const std::string& path, std::string& bytes) {
    if (path == "-") {
        std::ostringstream buffer;
        buffer << std::cin.rdbuf();
        bytes = buffer.str();
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double wpm = 20;
    unsigned long interval = 0;
    std::string numberedPrefix = "#";
    unsigned long repeat = 1;
    unsigned long delay = 0;
    unsigned long linger = 500;
    bool waitClient = false;
    bool quitAfter = false;
    std::string startEvent;
    std::string stampLogPath;
    std::vector<Value> values;
    DecoderServer server;
    SimRun run;

    auto option = [&](SimOptions& options) {
        const std::string& name = options.Name();
        if (name == "--wpm") {
            wpm = static_cast<double>(options.Number());
        } else if (name == "--interval") {
            interval = options.Number();
        } else if (name == "--pause") {
            const double pause = static_cast<double>(options.Number());
            if (!values.empty()) {
                values.back().pauseMs += pause;
            }
        } else if (name == "--numbered-prefix") {
            numberedPrefix = options.Text();
        } else if (name == "--repeat") {
            repeat = options.Number();
        } else if (name == "--delay") {
            delay = options.Number();
        } else if (name == "--linger") {
            linger = options.Number();
        } else if (name == "--start-event") {
            startEvent = options.Text();
        } else if (name == "--stamp-log") {
            stampLogPath = options.Text();
        } else if (name == "--wait-client") {
            waitClient = true;
        } else if (name == "--quit-after") {
            quitAfter = true;
        } else if (name == "--refuse-advise") {
            server.refuseAdvise = true;
        } else if (name == "--format") {
            const std::string format = options.Text();
            unsigned long formatNumber = 0;
            server.format = ParseUnsigned(format.c_str(), formatNumber)
                                ? static_cast<UINT>(formatNumber)
                                : RegisterClipboardFormatA(format.c_str());
        } else if (name == "--no-nul") {
            server.noNul = true;
        } else if (name == "--verbose") {
            server.verbose = true;
        } else if (name == "--value") {
            values.push_back({UnescapeBytes(options.Text()), static_cast<double>(interval)});
        } else if (name == "--big") {
            values.push_back({std::string(options.Number(), 'A'), static_cast<double>(interval)});
        } else if (name == "--numbered") {
            const unsigned long count = options.Number();
            for (unsigned long n = 1; n <= count; ++n) {
                char text[16];
                std::snprintf(text, sizeof(text), "%06lu", n);
                values.push_back({numberedPrefix + text, static_cast<double>(interval)});
            }
        } else if (name == "--script" || name == "--text") {
            const std::string path = options.Text();
            std::string bytes;
            if (!ReadFile(path, bytes)) {
                options.Fail("cannot read " + path);
            }
            if (name == "--text") {
                const double dot = DotMilliseconds(wpm);
                for (const char c : bytes) {
                    if (c == '\r' || c == '\n') {
                        continue;
                    }
                    values.push_back(
                        {std::string(1, c), MorseUnits(static_cast<unsigned char>(c)) * dot});
                }
            } else {
                std::istringstream lines(bytes);
                std::string line;
                while (std::getline(lines, line)) {
                    if (!line.empty() && line.back() == '\r') {
                        line.pop_back();
                    }
                    values.push_back({UnescapeBytes(line), static_cast<double>(interval)});
                }
            }
        } else {
            return false;
        }
        return true;
    };

    auto serve = [&]() {
        auto pump = [&](DWORD ms) { return server.Pump(ms); };
        while (waitClient && !server.advised && !run.ShouldQuit()) {
            server.Pump(20);
        }
        if (!startEvent.empty() && !run.WaitForEvent(startEvent, pump)) {
            return 0;
        }
        for (DWORD waited = 0; waited < delay && !run.ShouldQuit(); waited += 20) {
            server.Pump(20);
        }

        FILE* stampLog = nullptr;
        if (!stampLogPath.empty()) {
            stampLog = std::fopen(stampLogPath.c_str(), "wb");
        }
        for (unsigned long pass = 0; pass < repeat && !run.ShouldQuit(); ++pass) {
            for (const Value& v : values) {
                if (run.ShouldQuit()) {
                    break;
                }
                const int64_t stamp = NowMicroseconds();
                server.Publish(v.bytes);
                if (stampLog != nullptr) {
                    std::fprintf(stampLog, "%lld\t%s\n", static_cast<long long>(stamp),
                                 EscapeBytes(v.bytes).c_str());
                }
                if (server.verbose) {
                    std::fprintf(stderr, "decoder_sim: published %s\n",
                                 EscapeBytes(v.bytes).c_str());
                }
                server.Pump(static_cast<DWORD>(v.pauseMs));
            }
        }
        if (stampLog != nullptr) {
            std::fclose(stampLog);
        }

        if (quitAfter) {
            server.Pump(linger);
            return 0;
        }
        return ServeUntilQuit(server, run);
    };

    return RunSimulator({"decoder_sim", kHelp, "MRP40", kTopic, kItem}, argc, argv, server, run,
                        option, serve);
}
