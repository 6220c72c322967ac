// decoder_sim: a stand-in for the CW decoder's DDE server. Serves topic
// "MRP40Form" with the item "RXSymbol" (advise loops and request) and
// publishes decoded text one value at a time.

#include <cstdio>
#include <cstdlib>
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
    std::string service = "MRP40";
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

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        unsigned long number = 0;
        auto needNumber = [&]() {
            if (!hasValue || !ParseUnsigned(argv[i + 1], number)) {
                std::fprintf(stderr, "decoder_sim: %s needs a number\n", option.c_str());
                std::exit(2);
            }
            ++i;
            return number;
        };
        auto needText = [&]() -> std::string {
            if (!hasValue) {
                std::fprintf(stderr, "decoder_sim: %s needs a value\n", option.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (option == "--help" || option == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (option == "--service") {
            service = needText();
        } else if (option == "--wpm") {
            wpm = static_cast<double>(needNumber());
        } else if (option == "--interval") {
            interval = needNumber();
        } else if (option == "--pause") {
            const double pause = static_cast<double>(needNumber());
            if (!values.empty()) {
                values.back().pauseMs += pause;
            }
        } else if (option == "--numbered-prefix") {
            numberedPrefix = needText();
        } else if (option == "--repeat") {
            repeat = needNumber();
        } else if (option == "--delay") {
            delay = needNumber();
        } else if (option == "--linger") {
            linger = needNumber();
        } else if (option == "--run-ms") {
            run.SetTimeLimit(needNumber());
        } else if (option == "--quit-event") {
            run.SetQuitEvent(needText());
        } else if (option == "--start-event") {
            startEvent = needText();
        } else if (option == "--stamp-log") {
            stampLogPath = needText();
        } else if (option == "--connect-log") {
            const std::string path = needText();
            if (!server.LogConnectsTo(path)) {
                std::fprintf(stderr, "decoder_sim: cannot write %s\n", path.c_str());
                return 2;
            }
        } else if (option == "--wait-client") {
            waitClient = true;
        } else if (option == "--quit-after") {
            quitAfter = true;
        } else if (option == "--refuse-advise") {
            server.refuseAdvise = true;
        } else if (option == "--format") {
            const std::string name = needText();
            unsigned long formatNumber = 0;
            server.format = ParseUnsigned(name.c_str(), formatNumber)
                                ? static_cast<UINT>(formatNumber)
                                : RegisterClipboardFormatA(name.c_str());
        } else if (option == "--no-nul") {
            server.noNul = true;
        } else if (option == "--verbose") {
            server.verbose = true;
        } else if (option == "--value") {
            values.push_back({UnescapeBytes(needText()), static_cast<double>(interval)});
        } else if (option == "--big") {
            values.push_back({std::string(needNumber(), 'A'), static_cast<double>(interval)});
        } else if (option == "--numbered") {
            const unsigned long count = needNumber();
            for (unsigned long n = 1; n <= count; ++n) {
                char text[16];
                std::snprintf(text, sizeof(text), "%06lu", n);
                values.push_back({numberedPrefix + text, static_cast<double>(interval)});
            }
        } else if (option == "--script" || option == "--text") {
            const std::string path = needText();
            std::string bytes;
            if (!ReadFile(path, bytes)) {
                std::fprintf(stderr, "decoder_sim: cannot read %s\n", path.c_str());
                return 2;
            }
            if (option == "--text") {
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
            std::fprintf(stderr, "decoder_sim: unknown option %s (see --help)\n", option.c_str());
            return 2;
        }
    }

    if (!server.Start(service, kTopic)) {
        return 1;
    }
    std::fprintf(stderr, "decoder_sim: serving %s|%s item %s\n", service.c_str(), kTopic, kItem);
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
                std::fprintf(stderr, "decoder_sim: published %s\n", EscapeBytes(v.bytes).c_str());
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
    while (!run.ShouldQuit() && server.Pump(50)) {
    }
    return 0;
}
