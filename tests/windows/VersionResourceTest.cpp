// What Explorer shows of the released program, read back the way Explorer
// reads it: the version record with its numbers and texts, and the icon in
// the sizes the shell and the window's title bar ask for.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "app/AppResources.h"
#include "windows/support/ChildProcess.h"

namespace quillon {
namespace {

class VersionRecord {
  public:
    explicit VersionRecord(const std::string& path) {
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
        if (size == 0) {
            return;
        }
        data_.resize(size);
        if (!::GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) {
            data_.clear();
        }
    }

    bool Present() const { return !data_.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), "\\", &value, &length) ||
            length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // A string of the first language and code page the record lists, as
    // Explorer's properties page picks it; "<absent>" when there is none.
    std::string Text(const char* name) const {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &value, &length) ||
            length < sizeof(Translation)) {
            return "<absent>";
        }
        const auto* translation = static_cast<const Translation*>(value);
        char query[96];
        std::snprintf(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                      translation->codePage, name);
        if (!::VerQueryValueA(data_.data(), query, &value, &length) || length == 0) {
            return "<absent>";
        }
        return std::string(static_cast<const char*>(value));
    }

  private:
    std::vector<char> data_;
};

// Every case needs the built executable; the icons' case reads its icon
// group, loaded as data.
class VersionResourceTest : public ::testing::Test {
  protected:
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width;  // 0 means 256
        BYTE height;
        BYTE colorCount;
        BYTE reserved;
        WORD planes;
        WORD bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)

    void SetUp() override {
        module_ = ::LoadLibraryExA(testing::GatewayExePath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << testing::GatewayExePath();
    }
    void TearDown() override {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }

    // The bytes of a resource, or empty.
    std::vector<BYTE> Resource(LPCSTR name, LPCSTR type) const {
        const HRSRC found = ::FindResourceA(module_, name, type);
        const HGLOBAL loaded = found != nullptr ? ::LoadResource(module_, found) : nullptr;
        const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (bytes == nullptr) {
            return {};
        }
        const auto* begin = static_cast<const BYTE*>(bytes);
        return std::vector<BYTE>(begin, begin + ::SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

TEST_F(VersionResourceTest, NumbersAndTextsComeFromTheBuild) {
    const VersionRecord record(testing::GatewayExePath());
    ASSERT_TRUE(record.Present()) << testing::GatewayExePath();

    const VS_FIXEDFILEINFO* fixed = record.Fixed();
    ASSERT_NE(fixed, nullptr);
    const DWORD high = MAKELONG(QUILLON_VERSION_MINOR, QUILLON_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, QUILLON_VERSION_REVISION);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(record.Text("ProductName"), "MRP_Quillon");
    EXPECT_EQ(record.Text("FileVersion"), QUILLON_VERSION_TEXT);
    EXPECT_EQ(record.Text("ProductVersion"), QUILLON_VERSION_TEXT);
    EXPECT_EQ(record.Text("OriginalFilename"), "MRP_Quillon.exe");
    EXPECT_EQ(record.Text("InternalName"), "MRP_Quillon");
    // Task Manager's Startup tab lists the program by its description.
    EXPECT_EQ(record.Text("FileDescription"), "MRP_Quillon");
    EXPECT_EQ(record.Text("Comments"), "Gateway that shows live decoded CW in the logging program");
    // Free texts: present, and saying more than the product name.
    for (const char* name : {"CompanyName", "LegalCopyright"}) {
        const std::string text = record.Text(name);
        EXPECT_NE(text, "<absent>") << name;
        EXPECT_NE(text, "") << name;
        EXPECT_NE(text, "MRP_Quillon") << name;
    }
    EXPECT_NE(record.Text("LegalCopyright").find("2026"), std::string::npos);
}

TEST_F(VersionResourceTest, ProgramIconHasItsOwnImageForEachSmallSize) {
    const std::vector<BYTE> group =
        Resource(MAKEINTRESOURCEA(QUILLON_ICON_ID), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_GE(group.size(), 6u) << "no icon group " << QUILLON_ICON_ID;
    const WORD count = static_cast<WORD>(group[4] | (group[5] << 8));
    ASSERT_GE(group.size(), 6u + count * sizeof(GroupEntry));

    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry entry{};
        std::memcpy(&entry, group.data() + 6 + i * sizeof(GroupEntry), sizeof(entry));
        EXPECT_EQ(entry.width, entry.height);
        const std::vector<BYTE> image =
            Resource(MAKEINTRESOURCEA(entry.id), MAKEINTRESOURCEA(3) /* RT_ICON */);
        ASSERT_FALSE(image.empty()) << "icon image " << entry.id;
        sizes.insert(entry.width);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));

    // The system picks the 16 x 16 image for a title bar and can draw it.
    const int id = ::LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, 16, 16,
                                                 LR_DEFAULTCOLOR);
    ASSERT_NE(id, 0);
    std::vector<BYTE> image = Resource(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
    ASSERT_FALSE(image.empty());
    const HICON icon = ::CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()),
                                                  TRUE, 0x00030000, 16, 16, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 16);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
}

}  // namespace
}  // namespace quillon
