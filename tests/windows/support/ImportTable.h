#pragma once
// The DLL names and functions in a PE file's import and delay-load tables,
// read from the file itself: not loaded, so a missing DLL is reported
// rather than failing the read, and an image of either width (PE32 or
// PE32+) is read the same way whatever this test program's own width.

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quillon::testing {

class PeImports {
  public:
    explicit PeImports(const std::string& path);

    // Why the file could not be read, or empty.
    const std::string& Error() const { return error_; }
    // IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, ...
    WORD Machine() const { return machine_; }
    // The optional header is PE32+ (a 64-bit image).
    bool Wide() const { return wide_; }
    const std::vector<std::string>& Imported() const { return imported_; }
    const std::vector<std::string>& DelayLoaded() const { return delayLoaded_; }
    // "dll!function" for every function imported or delay-loaded, the DLL
    // name in lower case; an import by ordinal as "dll!#ordinal".
    const std::set<std::string>& Functions() const { return functions_; }

  private:
    template <typename T>
    bool Read(size_t offset, T& value) const;
    bool FileOffset(uint32_t rva, size_t& offset) const;
    bool ReadName(uint32_t rva, std::string& name) const;
    void Parse();
    void ReadImports(const IMAGE_DATA_DIRECTORY& directory);
    void ReadDelayImports(const IMAGE_DATA_DIRECTORY& directory);
    void ReadFunctions(const std::string& dll, uint32_t tableRva, bool addresses);

    std::vector<char> bytes_;
    std::vector<IMAGE_SECTION_HEADER> sections_;
    uint64_t imageBase_ = 0;
    WORD machine_ = 0;
    bool wide_ = false;
    std::vector<std::string> imported_;
    std::vector<std::string> delayLoaded_;
    std::set<std::string> functions_;
    std::string error_;
};

}  // namespace quillon::testing
