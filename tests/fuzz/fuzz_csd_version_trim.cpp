// The service-pack text over arbitrary 128-byte fields (blanks, NULs and
// high bytes anywhere): CSDVersionTrim trims blanks, then cuts at the first
// NUL, and never reports; the name GetOSVersion builds from the registry
// carries exactly that text in brackets, or nothing when it is empty.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "FuzzLog.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeRegistry.h"
#include "sysinfo/OsIdentification.h"
#include "sysinfo/RegistryReader.h"

using quillon::fuzz::Require;

namespace {

constexpr size_t kFieldLength = 128;
const char kSubkey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";

// GetVersionExA of Windows 7 that leaves all 128 bytes of szCSDVersion as
// the input gives them, with no terminating NUL of its own.
class RawCsdVersion : public quillon::OsVersionPort {
  public:
    explicit RawCsdVersion(const std::string& field) : field_(field) {}
    bool GetVersionExA(quillon::OsVersionInfoA& info) override {
        info.dwPlatformId = 2;
        info.dwMajorVersion = 6;
        info.dwMinorVersion = 1;
        info.dwBuildNumber = 7601;
        std::memcpy(info.szCSDVersion, field_.data(), kFieldLength);
        return true;
    }
    uint16_t NativeProcessorArchitecture() override { return 9; }

  private:
    std::string field_;
};

// The rule, written out independently of the code under test.
std::string ExpectedTrim(const std::string& field) {
    size_t begin = 0;
    size_t end = field.size();
    while (begin < end && field[begin] == ' ') {
        ++begin;
    }
    while (end > begin && field[end - 1] == ' ') {
        --end;
    }
    std::string trimmed = field.substr(begin, end - begin);
    const size_t nul = trimmed.find('\0');
    return nul == std::string::npos ? trimmed : trimmed.substr(0, nul);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Short inputs are padded with blanks, as the field is before the call.
    std::string field(reinterpret_cast<const char*>(data),
                      size < kFieldLength ? size : kFieldLength);
    field.resize(kFieldLength, ' ');

    quillon::fuzz::FuzzLog log;
    quillon::fakes::FakeNumbers numbers;
    quillon::fakes::FakeRegistry registryPort;
    quillon::RegistryReader registry(registryPort, log.log);
    RawCsdVersion version(field);
    quillon::OsIdentification os(version, registry, numbers, log.log);

    const std::string expected = ExpectedTrim(field);
    const std::string trimmed = os.CSDVersionTrim(field);
    Require(trimmed == expected, "CSDVersionTrim trims blanks, then cuts at the first NUL");
    Require(trimmed.find('\0') == std::string::npos, "no NUL is left");
    Require(trimmed.empty() || trimmed.front() != ' ', "no leading blank is left");

    registryPort.Add(
        quillon::kHKeyLocalMachine, kSubkey,
        quillon::fakes::FakeRegistry::String("ProductName", std::string("Windows 7", 10)));
    registryPort.Add(
        quillon::kHKeyLocalMachine, kSubkey,
        quillon::fakes::FakeRegistry::String("CurrentBuildNumber", std::string("7601", 5)));
    os.OSName = "Unknown";
    os.GetOSVersion();
    Require(os.OSName == (expected.empty() ? "Windows 7" : "Windows 7 [" + expected + "]"),
            "the product name carries the trimmed service-pack text in brackets");
    Require(os.OSBuild == 7601, "the build comes from the registry");
    Require(os.OSBitness == 64, "the native check ran");
    Require(log.Text().empty(), "nothing is logged");
    Require(registryPort.OpenHandles() == 0, "every opened key is closed");
    return 0;
}
