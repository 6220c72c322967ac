// The registry value reader over arbitrary keys: any number of values with
// any names (also longer than the 260-character buffer), any type, data of
// any length (0, 1, around 4096 and beyond, with and without trailing NULs),
// failing or growing retries, and any wanted name.
//
// What the reader must keep, whatever the key holds (the worked cases, with
// their exact answers, are in tests/host/RegistryReaderTest.cpp):
// - it never reads outside its buffers (the sanitizers watch), closes every
//   key it opened and never the root;
// - it offers 4096 bytes for each value, and at most once more the size the
//   registry reported, and never asks past the end of the values;
// - what it finds comes from the data: a match lies in some value's name as
//   the 260-character buffer holds it (or in the blanks of an untouched
//   buffer), and a text is some value's bytes, as they are, in hexadecimal
//   or as a number (or those of a buffer the registry left unfilled);
// - its values stay within their limits: a name longer than the buffer
//   never matches, a text is never longer than a value's data allows, and
//   a number is a signed 32-bit one;
// - it reports nothing unless the registry raised an error, and then each
//   query under its own name.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeRegistry.h"
#include "sysinfo/RegistryReader.h"

using quillon::fakes::FakeValue;
using quillon::fuzz::Require;

namespace {

constexpr size_t kNameRoom = 260;
constexpr uint32_t kDataRoom = 4096;
const char kSubkey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";

using Bytes = std::vector<uint8_t>;

// A name as a buffer of kNameRoom characters holds it after the call: cut
// to leave room for its NUL, the rest blanks.
std::string NameBuffer(const std::string& name) {
    const size_t kept = std::min(name.size(), kNameRoom - 1);
    return name.substr(0, kept) + '\0' + std::string(kNameRoom - 1 - kept, ' ');
}

bool StartsWith(const Bytes& data, const Bytes& prefix) {
    return prefix.size() <= data.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

// "0A FF 10" back to its bytes; false for anything else.
bool HexBytes(const std::string& text, Bytes& bytes) {
    if (text.size() % 3 != 2) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 3) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789ABCDEF") != std::string::npos ||
            (i + 2 < text.size() && text[i + 2] != ' ')) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(std::strtoul(pair.c_str(), nullptr, 16)));
    }
    return true;
}

// A plain decimal in the signed 32-bit range, as its four little-endian
// bytes; false for anything else.
bool NumberBytes(const std::string& text, Bytes& bytes) {
    const size_t digits = text.rfind('-', 0) == 0 ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 10 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (number < INT32_MIN || number > INT32_MAX) {
        return false;
    }
    const uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(number));
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return true;
}

// Whether `text` is what a value of some type makes of `data`: its bytes as
// they are, in hexadecimal, or its first four bytes (fewer read as zero) as
// a number.
bool TextOf(const std::string& text, const Bytes& data) {
    Bytes bytes(text.begin(), text.end());
    if (StartsWith(data, bytes)) {
        return true;
    }
    bytes.clear();
    if (HexBytes(text, bytes) && StartsWith(data, bytes)) {
        return true;
    }
    bytes.clear();
    if (NumberBytes(text, bytes)) {
        const size_t given = std::min<size_t>(4, data.size());
        return std::equal(data.begin(), data.begin() + given, bytes.begin()) &&
               std::all_of(bytes.begin() + given, bytes.end(), [](uint8_t b) { return b == 0; });
    }
    return false;
}

// The reader's calls: each index first with kDataRoom bytes, counting up
// from 0 in each query, then at most once more with the size the registry
// reported for it; no index beyond the end of the values.
bool CallsKeepTheirLimits(const quillon::fakes::FakeRegistry& registry,
                          const std::vector<FakeValue>& values) {
    bool retryAllowed = false;
    uint32_t previous = 0;
    for (const auto& [index, offered] : registry.enumCalls) {
        if (index > values.size()) {
            return false;
        }
        if (retryAllowed && index == previous && index < values.size() &&
            offered == values[index].data.size()) {
            retryAllowed = false;
            continue;
        }
        const bool next = index == 0 || index == previous + 1;
        if (offered != kDataRoom || !next) {
            return false;
        }
        retryAllowed = true;
        previous = index;
    }
    return true;
}

uint32_t PickLength(FuzzedDataProvider& input) {
    static constexpr uint32_t kLengths[] = {0, 1, 2, 3, 4, 5, 4094, 4095, 4096, 4097, 4098, 9000};
    const uint8_t pick = input.ConsumeIntegral<uint8_t>();
    if (pick < sizeof kLengths / sizeof kLengths[0]) {
        return kLengths[pick];
    }
    return input.ConsumeIntegralInRange<uint32_t>(0, 12000);
}

uint32_t PickType(FuzzedDataProvider& input) {
    const uint8_t pick = input.ConsumeIntegral<uint8_t>();
    return pick < 12 ? pick : input.ConsumeIntegral<uint32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    quillon::fakes::FakeLog log;
    quillon::fakes::FakeRegistry registry;
    quillon::RegistryReader reader(registry, log.log);

    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const bool atRoot = (mode & 1) != 0;
    const bool raises = (mode & 2) != 0;
    const bool wantExisting = (mode & 4) != 0;
    const bool keyMissing = (mode & 8) != 0 && !atRoot;
    const std::string subkey = atRoot ? std::string() : kSubkey;

    std::vector<FakeValue> values(input.ConsumeIntegralInRange<size_t>(0, 6));
    for (uint32_t i = 0; i < values.size(); ++i) {
        FakeValue& v = values[i];
        v.name = input.ConsumeRandomLengthString(300);
        v.type = PickType(input);
        const uint32_t length = PickLength(input);
        const uint8_t fill = input.ConsumeIntegral<uint8_t>();
        v.data = input.ConsumeBytes<uint8_t>(length);
        v.data.resize(length, fill);
        switch (input.ConsumeIntegralInRange<int>(0, 5)) {
            case 4:
                registry.failRetryWith[i] = input.PickValueInArray<long>(
                    {5, quillon::kErrorMoreData, quillon::kErrorNoMoreItems});
                break;
            case 5:
                registry.retryGrowsTo[i] = length + input.ConsumeIntegralInRange<uint32_t>(1, 5000);
                break;
            default:
                break;
        }
    }
    std::string wanted;
    if (wantExisting && !values.empty()) {
        const std::string& name =
            values[input.ConsumeIntegralInRange<size_t>(0, values.size() - 1)].name;
        const size_t from = input.ConsumeIntegralInRange<size_t>(0, name.size());
        wanted = name.substr(from, input.ConsumeIntegralInRange<size_t>(0, name.size() - from));
    } else {
        wanted = input.ConsumeRandomLengthString(300);
    }

    if (!keyMissing) {
        registry.AddKey(quillon::kHKeyLocalMachine, subkey);
        for (const FakeValue& v : values) {
            registry.Add(quillon::kHKeyLocalMachine, subkey, v);
        }
    }
    if (raises) {
        registry.raiseOnEnum = quillon::kErrOutOfMemory;
    }

    const bool present = reader.KeyValuePresent(quillon::kHKeyLocalMachine, subkey, wanted);
    const std::string text = reader.GetKeyValue(quillon::kHKeyLocalMachine, subkey, wanted);

    Require(registry.OpenHandles() == 0, "every key the reader opened is closed");
    Require(std::find(registry.closed.begin(), registry.closed.end(), quillon::kHKeyLocalMachine) ==
                registry.closed.end(),
            "the root handle is never closed");
    if (keyMissing) {
        Require(!present && text.empty() && log.Text().empty(),
                "a key that does not open gives false and empty text, silently");
        return 0;
    }
    if (raises) {
        Require(!present && text.empty(), "a raised error leaves false and empty text");
        const std::string logged = log.Text();
        Require(logged.find("in module SkerrinModule.KeyValuePresent: ") != std::string::npos &&
                    logged.find("in module SkerrinModule.GetKeyValue: ") != std::string::npos,
                "each query reports the raised error under its own name");
        return 0;
    }
    Require(CallsKeepTheirLimits(registry, values),
            "each value is offered 4096 bytes, then at most once the reported size");
    Require(log.Text().empty(), "nothing is reported when the registry raises nothing");

    Require(text.empty() || present, "a value with a text is a value that is present");
    Require(wanted.size() <= kNameRoom || !present, "a name longer than the buffer never matches");
    const bool inSomeName = wanted.find_first_not_of(' ') == std::string::npos ||
                            std::any_of(values.begin(), values.end(), [&](const FakeValue& v) {
                                return NameBuffer(v.name).find(wanted) != std::string::npos;
                            });
    Require(!present || inSomeName, "a match lies in a name the registry gave");
    const bool firstStep = !values.empty() && registry.failRetryWith.count(0) == 0 &&
                           registry.retryGrowsTo.count(0) == 0 &&
                           NameBuffer(values[0].name).find(wanted) != std::string::npos;
    Require(present || !(wanted.empty() || firstStep), "a match at the first value is found");

    size_t longest = 0;
    for (const FakeValue& v : values) {
        longest = std::max(longest, v.data.size());
    }
    Require(text.size() <= std::max<size_t>(11, longest * 3),
            "a text is never longer than a value's data allows");
    const bool fromData =
        text.empty() || std::any_of(values.begin(), values.end(), [&](const FakeValue& v) {
            return TextOf(text, v.data) || TextOf(text, Bytes(v.data.size(), 0));
        });
    Require(fromData, "a text is some value's bytes, as they are, in hexadecimal or as a number");
    return 0;
}
