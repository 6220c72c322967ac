#include "windows/support/ImportTable.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillon::testing {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

PeImports::PeImports(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    Parse();
}

template <typename T>
bool PeImports::Read(size_t offset, T& value) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return true;
}

// The file offset of a relative virtual address, through the sections.
bool PeImports::FileOffset(uint32_t rva, size_t& offset) const {
    for (const IMAGE_SECTION_HEADER& section : sections_) {
        const uint32_t size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
            offset = size_t{section.PointerToRawData} + (rva - section.VirtualAddress);
            return true;
        }
    }
    return false;
}

bool PeImports::ReadName(uint32_t rva, std::string& name) const {
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

void PeImports::Parse() {
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
    machine_ = fileHeader.Machine;
    wide_ = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
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

void PeImports::ReadImports(const IMAGE_DATA_DIRECTORY& directory) {
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
        ReadFunctions(name,
                      entry.OriginalFirstThunk != 0 ? entry.OriginalFirstThunk : entry.FirstThunk,
                      false);
    }
}

// A table of thunks, as wide as the image's addresses, ends with zero. Each
// names a function (hint, then name) or, with the top bit set, an ordinal.
// In an old-style delay-load table the entries are addresses.
void PeImports::ReadFunctions(const std::string& dll, uint32_t tableRva, bool addresses) {
    size_t offset = 0;
    if (tableRva == 0 || !FileOffset(tableRva, offset)) {
        error_ = "no name table for " + dll;
        return;
    }
    const size_t thunkSize = wide_ ? 8 : 4;
    const uint64_t ordinalFlag = uint64_t{1} << (thunkSize * 8 - 1);
    for (;; offset += thunkSize) {
        uint64_t thunk = 0;
        if (offset > bytes_.size() || bytes_.size() - offset < thunkSize) {
            error_ = "short name table for " + dll;
            return;
        }
        std::memcpy(&thunk, bytes_.data() + offset, thunkSize);
        if (thunk == 0) {
            return;
        }
        std::string function;
        if ((thunk & ordinalFlag) != 0) {
            function = "#" + std::to_string(thunk & 0xFFFF);
        } else {
            const uint64_t rva = addresses ? thunk - imageBase_ : thunk;
            if (!ReadName(static_cast<uint32_t>(rva + sizeof(WORD)), function)) {
                error_ = "unreadable function name in " + dll;
                return;
            }
        }
        functions_.insert(Lower(dll) + "!" + function);
    }
}

void PeImports::ReadDelayImports(const IMAGE_DATA_DIRECTORY& directory) {
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
        const bool addresses = (entry.attributes & 1) == 0;
        const uint32_t names = entry.rest[2];  // the import name table
        ReadFunctions(name, addresses ? static_cast<uint32_t>(names - imageBase_) : names,
                      addresses);
    }
}

}  // namespace quillon::testing
