// The released program must start on a bare Windows: every DLL it imports,
// directly or delay-loaded, has to be one that Windows itself ships. A
// forgotten static link shows up here as libstdc++-6.dll, libgcc_s_seh-1.dll
// or libwinpthread-1.dll.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "windows/support/ChildProcess.h"

namespace quillon {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// DLLs that are part of every Windows the program supports.
bool IsWindowsDll(const std::string& name) {
    static const char* const kSystemDlls[] = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",  "advapi32.dll", "oleaut32.dll", "ole32.dll",
        "shell32.dll",  "version.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll",
        "ntdll.dll",    "psapi.dll",   "winmm.dll",  "imm32.dll",    "uxtheme.dll",  "ws2_32.dll",
    };
    const std::string lower = Lower(name);
    if (lower.rfind("api-ms-win-", 0) == 0) {
        return true;  // API sets, resolved by the loader to system DLLs
    }
    return std::find(std::begin(kSystemDlls), std::end(kSystemDlls), lower) !=
           std::end(kSystemDlls);
}

// The DLL names in a PE file's import and delay-load tables, read from the
// file itself (not loaded: a missing DLL must be reported, not fail here).
class PeImports {
  public:
    explicit PeImports(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        Parse();
    }

    const std::string& Error() const { return error_; }
    const std::vector<std::string>& Imported() const { return imported_; }
    const std::vector<std::string>& DelayLoaded() const { return delayLoaded_; }

  private:
    template <typename T>
    bool Read(size_t offset, T& value) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
            return false;
        }
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return true;
    }

    // The file offset of a relative virtual address, through the sections.
    bool FileOffset(uint32_t rva, size_t& offset) const {
        for (const IMAGE_SECTION_HEADER& section : sections_) {
            const uint32_t size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                offset = size_t{section.PointerToRawData} + (rva - section.VirtualAddress);
                return true;
            }
        }
        return false;
    }

    bool ReadName(uint32_t rva, std::string& name) const {
        size_t offset = 0;
        if (!FileOffset(rva, offset) || offset >= bytes_.size()) {
            return false;
        }
        const char* start = bytes_.data() + offset;
        const void* end = std::memchr(start, '\0', bytes_.size() - offset);
        if (end == nullptr) {
            return false;
        }
        name.assign(start, static_cast<const char*>(end));
        return true;
    }

    void Parse() {
        IMAGE_DOS_HEADER dos{};
        if (!Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
            error_ = "no DOS header";
            return;
        }
        const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
        DWORD signature = 0;
        IMAGE_FILE_HEADER fileHeader{};
        WORD magic = 0;
        const size_t optionalOffset = ntOffset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        if (!Read(ntOffset, signature) || signature != IMAGE_NT_SIGNATURE ||
            !Read(ntOffset + sizeof(DWORD), fileHeader) || !Read(optionalOffset, magic)) {
            error_ = "no PE header";
            return;
        }
        IMAGE_DATA_DIRECTORY imports{};
        IMAGE_DATA_DIRECTORY delayImports{};
        // The two optional header layouts differ in width, not in the fields
        // read here.
        const auto readOptional = [&](auto optional) {
            if (!Read(optionalOffset, optional)) {
                error_ = "short optional header";
                return false;
            }
            imageBase_ = optional.ImageBase;
            imports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
            delayImports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
            return true;
        };
        if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            if (!readOptional(IMAGE_OPTIONAL_HEADER64{})) {
                return;
            }
        } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            if (!readOptional(IMAGE_OPTIONAL_HEADER32{})) {
                return;
            }
        } else {
            error_ = "unknown optional header";
            return;
        }
        const size_t sectionOffset = optionalOffset + fileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < fileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section{};
            if (!Read(sectionOffset + i * sizeof(section), section)) {
                error_ = "short section table";
                return;
            }
            sections_.push_back(section);
        }
        ReadImports(imports);
        ReadDelayImports(delayImports);
    }

    void ReadImports(const IMAGE_DATA_DIRECTORY& directory) {
        size_t offset = 0;
        if (directory.VirtualAddress == 0 || !FileOffset(directory.VirtualAddress, offset)) {
            return;
        }
        for (IMAGE_IMPORT_DESCRIPTOR entry{}; Read(offset, entry) && entry.Name != 0;
             offset += sizeof(entry)) {
            std::string name;
            if (!ReadName(entry.Name, name)) {
                error_ = "unreadable import name";
                return;
            }
            imported_.push_back(name);
        }
    }

    void ReadDelayImports(const IMAGE_DATA_DIRECTORY& directory) {
        size_t offset = 0;
        if (directory.VirtualAddress == 0 || !FileOffset(directory.VirtualAddress, offset)) {
            return;
        }
        // ImgDelayDescr: attributes, then the DLL name. Without the
        // "RVA-based" attribute bit the name is a virtual address.
        struct DelayDescriptor {
            uint32_t attributes;
            uint32_t dllName;
            uint32_t rest[6];
        };
        for (DelayDescriptor entry{}; Read(offset, entry) && entry.dllName != 0;
             offset += sizeof(entry)) {
            uint32_t rva = entry.dllName;
            if ((entry.attributes & 1) == 0) {
                rva = static_cast<uint32_t>(entry.dllName - imageBase_);
            }
            std::string name;
            if (!ReadName(rva, name)) {
                error_ = "unreadable delay-load name";
                return;
            }
            delayLoaded_.push_back(name);
        }
    }

    std::vector<char> bytes_;
    std::vector<IMAGE_SECTION_HEADER> sections_;
    uint64_t imageBase_ = 0;
    std::vector<std::string> imported_;
    std::vector<std::string> delayLoaded_;
    std::string error_;
};

TEST(ImportTableTest, AllowListKnowsWindowsFromRuntimeDlls) {
    EXPECT_TRUE(IsWindowsDll("KERNEL32.dll"));
    EXPECT_TRUE(IsWindowsDll("api-ms-win-crt-runtime-l1-1-0.dll"));
    for (const char* foreign : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
                                "kernel32.dll.evil", "msvcp140.dll"}) {
        EXPECT_FALSE(IsWindowsDll(foreign)) << foreign;
    }
}

TEST(ImportTableTest, GatewayImportsOnlyWindowsDlls) {
    const std::string path = testing::GatewayExePath();
    const PeImports pe(path);
    ASSERT_EQ(pe.Error(), "") << path;

    std::vector<std::string> found;
    for (const std::string& name : pe.Imported()) {
        std::printf("  imports       %s\n", name.c_str());
        found.push_back(Lower(name));
    }
    for (const std::string& name : pe.DelayLoaded()) {
        std::printf("  delay-loads   %s\n", name.c_str());
        found.push_back(Lower(name));
    }
    // The window and the DDE client cannot work without these two: an
    // empty or garbled list means the table was not read.
    EXPECT_NE(std::find(found.begin(), found.end(), "kernel32.dll"), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "user32.dll"), found.end());
    for (const std::string& name : found) {
        EXPECT_TRUE(IsWindowsDll(name)) << name << " is not part of Windows";
    }
}

}  // namespace
}  // namespace quillon
