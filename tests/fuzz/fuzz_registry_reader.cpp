// The registry value reader over arbitrary keys: any number of values with
// any names (also longer than the 260-character buffer), any type, data of
// any length (0, 1, around 4096 and beyond, with and without trailing NULs),
// failing or growing retries, and any wanted name.
//
// The reader must never read outside its buffers (the sanitizers watch),
// close every key it opened, report only errors the registry raised, and
// give the result that the enumeration rules below predict.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

struct Prediction {
    bool found = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;  // the data buffer as the last call left it
    uint32_t dataLength = 0;    // the length the last call reported
};

// The enumeration as the platform answers it (ERROR_MORE_DATA leaves the
// name buffer alone when the data does not fit; a name too long for the
// buffer is cut and also gives ERROR_MORE_DATA), followed by the reader's
// rules: one retry with a buffer of the reported size, the match test on
// the whole name buffer before the return code, the type carried over from
// the previous call.
Prediction Predict(const std::vector<FakeValue>& values, const quillon::fakes::FakeRegistry& faults,
                   const std::string& wanted) {
    Prediction p;
    for (uint32_t index = 0;; ++index) {
        std::string name(kNameRoom, ' ');
        p.data.assign(kDataRoom, 0);
        p.dataLength = kDataRoom;
        long code = quillon::kErrorNoMoreItems;
        if (index < values.size()) {
            const FakeValue& v = values[index];
            const uint32_t size = static_cast<uint32_t>(v.data.size());
            p.type = v.type;
            bool fits = size <= kDataRoom;
            if (!fits) {
                p.dataLength = size;
                p.data.assign(size, 0);
                if (faults.failRetryWith.count(index) != 0) {
                    code = faults.failRetryWith.at(index);
                } else if (faults.retryGrowsTo.count(index) != 0) {
                    p.dataLength = faults.retryGrowsTo.at(index);
                    code = quillon::kErrorMoreData;
                } else {
                    fits = true;
                }
            }
            if (fits) {
                std::copy(v.data.begin(), v.data.end(), p.data.begin());
                p.dataLength = size;
                if (v.name.size() >= kNameRoom) {
                    name.replace(0, kNameRoom - 1, v.name, 0, kNameRoom - 1);
                    name[kNameRoom - 1] = '\0';
                    code = quillon::kErrorMoreData;
                    // The reader retries; the answer is the same.
                    p.data.resize(size);
                } else {
                    name.replace(0, v.name.size() + 1, v.name.c_str(), v.name.size() + 1);
                    code = quillon::kErrorSuccess;
                }
            }
        }
        if (name.find(wanted) != std::string::npos) {
            p.found = true;
            return p;
        }
        if (code != quillon::kErrorSuccess) {
            return p;
        }
    }
}

// The text of a matched value, written out from the value types.
std::string PredictText(const Prediction& p) {
    const uint32_t length = std::min<uint32_t>(p.dataLength, static_cast<uint32_t>(p.data.size()));
    std::string bytes(p.data.begin(), p.data.begin() + length);
    auto dropNuls = [&](int most) {
        while (most-- > 0 && !bytes.empty() && bytes.back() == '\0') {
            bytes.pop_back();
        }
        return bytes;
    };
    switch (p.type) {
        case 1:
        case 2:
            return dropNuls(1);
        case 7:
            return dropNuls(2);
        case 3: {
            std::string text;
            for (size_t i = 0; i < bytes.size(); ++i) {
                char pair[4];
                std::snprintf(pair, sizeof pair, "%s%02X", i == 0 ? "" : " ",
                              static_cast<unsigned>(static_cast<uint8_t>(bytes[i])));
                text += pair;
            }
            return text;
        }
        case 4: {
            uint32_t value = 0;
            for (size_t i = 0; i < 4 && i < bytes.size(); ++i) {
                value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
            }
            return std::to_string(static_cast<int32_t>(value));
        }
        default:
            return std::string();
    }
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
    const Prediction p = Predict(values, registry, wanted);
    Require(present == p.found,
            "KeyValuePresent finds the first value whose buffer holds the name");
    Require(text == (p.found ? PredictText(p) : std::string()),
            "GetKeyValue gives the matched value's text by its type");
    Require(log.Text().empty(), "nothing is reported when the registry raises nothing");
    return 0;
}
