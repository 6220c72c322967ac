// The service-pack text over arbitrary 128-byte fields (blanks, NULs and
// high bytes anywhere): what CSDVersionTrim returns is the text after the
// leading blanks up to the first NUL, or up to the trailing blanks where
// there is none, and it never reports; the name GetOSVersion builds from
// the registry carries that text in brackets, or nothing when it is empty.
// The worked cases are the literal table in host/OsIdentificationTest.cpp.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "fakes/FakeLog.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Short inputs are padded with blanks, as the field is before the call.
    std::string field(reinterpret_cast<const char*>(data),
                      size < kFieldLength ? size : kFieldLength);
    field.resize(kFieldLength, ' ');

    quillon::fakes::FakeLog log;
    quillon::fakes::FakeNumbers numbers;
    quillon::fakes::FakeRegistry registryPort;
    quillon::RegistryReader registry(registryPort, log.log);
    RawCsdVersion version(field);
    quillon::OsIdentification os(version, registry, numbers, log.log);

    const std::string trimmed = os.CSDVersionTrim(field);
    Require(trimmed.find('\0') == std::string::npos, "no NUL is left");
    const size_t start = field.find_first_not_of(' ');
    Require(trimmed.empty() || field.compare(start, trimmed.size(), trimmed) == 0,
            "the text starts after the leading blanks");
    const size_t after = trimmed.empty() ? field.size() : start + trimmed.size();
    const bool atNul = after < field.size() && field[after] == '\0';
    Require(atNul || field.find_first_not_of(' ', after) == std::string::npos,
            "the text ends at a NUL or where only blanks remain");
    Require(atNul || trimmed.empty() || trimmed.back() != ' ',
            "no trailing blank is kept unless a NUL follows");
    Require(!trimmed.empty() || start == std::string::npos || field[start] == '\0',
            "an empty text means only blanks, or a NUL right after them");

    registryPort.Add(
        quillon::kHKeyLocalMachine, kSubkey,
        quillon::fakes::FakeRegistry::String("ProductName", std::string("Windows 7", 10)));
    registryPort.Add(
        quillon::kHKeyLocalMachine, kSubkey,
        quillon::fakes::FakeRegistry::String("CurrentBuildNumber", std::string("7601", 5)));
    os.OSName = "Unknown";
    os.GetOSVersion();
    Require(os.OSName == (trimmed.empty() ? "Windows 7" : "Windows 7 [" + trimmed + "]"),
            "the product name carries the trimmed service-pack text in brackets");
    Require(os.OSBuild == 7601, "the build comes from the registry");
    Require(os.OSBitness == 64, "the native check ran");
    Require(log.Text().empty(), "nothing is logged");
    Require(registryPort.OpenHandles() == 0, "every opened key is closed");
    return 0;
}
