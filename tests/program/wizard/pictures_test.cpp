// The pictures built into tabrevo.exe: the property sheet loads the header
// and watermark bitmaps and the icon group by number from the program's own
// resources, so they are read here from the built program, as the sheet does.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

namespace {

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(TABREVO_PROGRAM_FILE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << TABREVO_PROGRAM_FILE;
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // The resource's bytes, or null when the program holds no such resource.
  const unsigned char* Resource(const char* type, int id, DWORD* size) {
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (!found) return nullptr;
    *size = SizeofResource(module_, found);
    return static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
  }

  // A bitmap resource must be uncompressed 24 bits per pixel of the given
  // size, with all its pixel rows present.
  void ExpectBitmap(int id, int width, int height) {
    DWORD size = 0;
    const unsigned char* bytes = Resource(MAKEINTRESOURCEA(2) /* RT_BITMAP */, id, &size);
    ASSERT_NE(bytes, nullptr) << "bitmap " << id;
    ASSERT_GE(size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    memcpy(&header, bytes, sizeof header);
    EXPECT_EQ(header.biWidth, width) << "bitmap " << id;
    EXPECT_EQ(header.biHeight, height) << "bitmap " << id;  // bottom-up rows
    EXPECT_EQ(header.biBitCount, 24) << "bitmap " << id;
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB)) << "bitmap " << id;
    const DWORD row = (width * 3 + 3) / 4 * 4;
    EXPECT_GE(size, header.biSize + row * height) << "bitmap " << id;

    // And the platform makes a bitmap of it, as the sheet will.
    HBITMAP loaded = static_cast<HBITMAP>(LoadImageA(module_, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(loaded, nullptr) << "bitmap " << id;
    BITMAP described{};
    GetObjectA(loaded, sizeof described, &described);
    EXPECT_EQ(described.bmWidth, width);
    EXPECT_EQ(described.bmHeight, height);
    DeleteObject(loaded);
  }

  HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, HeaderAndWatermarkBitmaps) {
  ExpectBitmap(102, 500, 60);
  ExpectBitmap(103, 500, 314);
}

#pragma pack(push, 2)
struct IconGroupHeader {
  WORD reserved;
  WORD type;  // 1 for icons
  WORD count;
};
struct IconGroupEntry {
  BYTE width;  // 0 stands for 256
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResources, IconGroupHasTheShellsSizes) {
  DWORD size = 0;
  const unsigned char* bytes = Resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, 106, &size);
  ASSERT_NE(bytes, nullptr);
  ASSERT_GE(size, sizeof(IconGroupHeader));
  IconGroupHeader group;
  memcpy(&group, bytes, sizeof group);
  EXPECT_EQ(group.type, 1);
  ASSERT_GE(size, sizeof group + group.count * sizeof(IconGroupEntry));
  std::set<int> sizes;
  for (int i = 0; i < group.count; ++i) {
    IconGroupEntry entry;
    memcpy(&entry, bytes + sizeof group + i * sizeof entry, sizeof entry);
    sizes.insert(entry.width);
    EXPECT_EQ(entry.width, entry.height);
    // Every image the group names is in the program.
    DWORD imageSize = 0;
    EXPECT_NE(Resource(MAKEINTRESOURCEA(3) /* RT_ICON */, entry.id, &imageSize), nullptr) << entry.id;
    EXPECT_EQ(imageSize, entry.bytes);
  }
  EXPECT_TRUE(sizes.count(16) && sizes.count(32) && sizes.count(48));

  for (int side : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(106), IMAGE_ICON, side, side, 0));
    EXPECT_NE(icon, nullptr) << side;
    if (icon) DestroyIcon(icon);
  }
}

}  // namespace
#endif
