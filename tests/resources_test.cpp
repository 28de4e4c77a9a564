#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"
#include "platform/resource.h"
#include "resources/resource_table.h"
#include "resources/version.h"

namespace {

WORD Read16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
DWORD Read32(const BYTE* p) { return (DWORD)Read16(p) | ((DWORD)Read16(p + 2) << 16); }

BITMAPINFOHEADER HeaderOf(const ResourceEntry* e) {
  BITMAPINFOHEADER h = {};
  memcpy(&h, e->data, sizeof(h));
  return h;
}

// Every pixel of bitmap b against the palette colour its DIB bytes name.
void ExpectPixelsFromPalette(HBITMAP b, const BYTE* dib) {
  BITMAPINFOHEADER h;
  memcpy(&h, dib, sizeof(h));
  DWORD colours = h.biClrUsed ? h.biClrUsed : 256;
  const BYTE* table = dib + h.biSize;
  const BYTE* rows = table + 4 * colours;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  int stride = (h.biWidth + 3) / 4 * 4;
  HandleRef<BitmapObject> surface(b, KIND_BITMAP);
  ASSERT_TRUE(surface);
  ASSERT_EQ(surface->width, h.biWidth);
  ASSERT_EQ(surface->height, height);
  int mismatches = 0;
  for (int y = 0; y < height; y++) {
    // Picture row y is stored row height - 1 - y when the rows run bottom-up.
    const BYTE* src = rows + (size_t)(h.biHeight > 0 ? height - 1 - y : y) * stride;
    for (int x = 0; x < h.biWidth; x++) {
      const BYTE* q = table + 4 * src[x];
      uint16_t want = src[x] < colours ? PackRgb565(q[2], q[1], q[0]) : 0;
      if (surface->Row(y)[x] != want) mismatches++;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// String id read into a buffer of max (at least 1) characters.
std::wstring LoadString(UINT id, int max) {
  std::vector<WCHAR> buffer(max, L'#');
  int n = LoadStringW(nullptr, id, buffer.data(), max);
  EXPECT_EQ((size_t)n, wcslen(buffer.data()));
  return std::wstring(buffer.data());
}

// A small valid DIB: width 3 (rows padded to 4 bytes), height 2, a colour
// table of 4 entries; the tests break it in one place at a time.
struct TestDib {
  std::vector<BYTE> bytes;
  BITMAPINFOHEADER& header() { return *(BITMAPINFOHEADER*)bytes.data(); }
};

TestDib MakeDib(LONG height) {
  TestDib d;
  BITMAPINFOHEADER h = {};
  h.biSize = 40;
  h.biWidth = 3;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biCompression = BI_RGB;
  h.biClrUsed = 4;
  d.bytes.resize(40);
  memcpy(d.bytes.data(), &h, 40);
  const BYTE table[16] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
  d.bytes.insert(d.bytes.end(), table, table + 16);
  const BYTE rows[8] = {0, 1, 2, 0xEE, 3, 7, 0, 0xEE};  // index 7 lies past the table
  d.bytes.insert(d.bytes.end(), rows, rows + 8);
  return d;
}

// One node of a version block: its key, value and children.
struct VersionNode {
  std::wstring key;
  const BYTE* value = nullptr;
  WORD valueLength = 0;
  WORD type = 0;
  std::vector<VersionNode> children;
};

bool ParseNode(const BYTE* p, DWORD size, VersionNode* node) {
  if (size < 6) return false;
  DWORD length = Read16(p);
  if (length < 6 || length > size) return false;
  node->valueLength = Read16(p + 2);
  node->type = Read16(p + 4);
  DWORD at = 6;
  for (;; at += 2) {
    if (at + 2 > length) return false;
    WORD c = Read16(p + at);
    if (!c) break;
    node->key.push_back((WCHAR)c);
  }
  at = (at + 2 + 3) & ~3u;
  DWORD valueBytes = node->type == 1 ? node->valueLength * 2u : node->valueLength;
  if (at + valueBytes > length) return false;
  node->value = p + at;
  at = (at + valueBytes + 3) & ~3u;
  while (at < length) {
    VersionNode child;
    if (!ParseNode(p + at, length - at, &child)) return false;
    at = (at + Read16(p + at) + 3) & ~3u;
    node->children.push_back(child);
  }
  return true;
}

const VersionNode* Child(const VersionNode& node, const wchar_t* key) {
  for (const VersionNode& c : node.children)
    if (c.key == key) return &c;
  return nullptr;
}

std::wstring TextValue(const VersionNode* node) {
  std::wstring s;
  if (!node || node->type != 1 || node->valueLength == 0) return L"<missing>";
  for (int i = 0; i + 1 < node->valueLength; i++) s.push_back((WCHAR)Read16(node->value + 2 * i));
  if (Read16(node->value + 2 * (node->valueLength - 1)) != 0) s += L"<unterminated>";
  return s;
}

TEST(ResourceBitmaps, EveryBitmapHasItsSizeAndFormat) {
  const struct {
    int number, width, height;
  } kBitmaps[] = {{104, 64, 64}, {105, 64, 64}, {106, 20, 200}, {107, 20, 20},
                  {109, 64, 64}, {110, 20, 20}, {111, 64, 64},  {112, 240, 320},
                  {113, 64, 64}, {114, 64, 64}, {115, 64, 64}};
  for (const auto& b : kBitmaps) {
    SCOPED_TRACE(b.number);
    const ResourceEntry* e = FindProgramResource(RT_BITMAP, MAKEINTRESOURCEW(b.number));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->language, 1033);
    ASSERT_GE(e->size, 40u);
    BITMAPINFOHEADER h = HeaderOf(e);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, b.width);
    EXPECT_EQ(h.biHeight, b.height);  // positive: bottom-up
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, (DWORD)BI_RGB);
    DWORD colours = h.biClrUsed ? h.biClrUsed : 256;
    EXPECT_LE(colours, 256u);
    EXPECT_EQ(e->size, 40 + 4 * colours + (DWORD)((b.width + 3) / 4 * 4 * b.height));

    int before = PlatformLiveObjectCount();
    HBITMAP loaded = LoadBitmapW(nullptr, MAKEINTRESOURCEW(b.number));
    ASSERT_NE(loaded, nullptr);
    BITMAP bm;
    ASSERT_EQ(GetObject(loaded, sizeof(bm), &bm), (int)sizeof(bm));
    EXPECT_EQ(bm.bmWidth, b.width);
    EXPECT_EQ(bm.bmHeight, b.height);
    EXPECT_EQ(bm.bmBitsPixel, 16);
    ExpectPixelsFromPalette(loaded, e->data);
    EXPECT_EQ(DeleteObject(loaded), TRUE);
    EXPECT_EQ(PlatformLiveObjectCount(), before);
  }
  EXPECT_EQ(FindProgramResource(RT_BITMAP, MAKEINTRESOURCEW(108)), nullptr);
  EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(108)), nullptr);
}

TEST(ResourceBitmaps, PaletteColoursSurvivePacking) {
  // Each palette colour is one the 16-bit screen shows unchanged.
  for (int i = 0; i < kProgramResourceCount; i++) {
    const ResourceEntry& e = kProgramResources[i];
    if (e.type != RT_BITMAP) continue;
    BITMAPINFOHEADER h = HeaderOf(&e);
    DWORD colours = h.biClrUsed ? h.biClrUsed : 256;
    for (DWORD c = 0; c < colours; c++) {
      const BYTE* q = e.data + h.biSize + 4 * c;
      uint16_t w = PackRgb565(q[2], q[1], q[0]);
      unsigned r5 = w >> 11, g6 = (w >> 5) & 63, b5 = w & 31;
      EXPECT_EQ(q[2], (BYTE)((r5 << 3) | (r5 >> 2)));
      EXPECT_EQ(q[1], (BYTE)((g6 << 2) | (g6 >> 4)));
      EXPECT_EQ(q[0], (BYTE)((b5 << 3) | (b5 >> 2)));
    }
  }
}

TEST(ResourceBitmaps, DibParserTakesRowOrderAndPadding) {
  TestDib up = MakeDib(2);
  HBITMAP b = BitmapFromDib(up.bytes.data(), (DWORD)up.bytes.size());
  ASSERT_NE(b, nullptr);
  {
    HandleRef<BitmapObject> s(b, KIND_BITMAP);
    ASSERT_TRUE(s);
    // The last stored row is the top of the picture.
    EXPECT_EQ(s->Row(0)[0], PackRgb565(255, 255, 255));
    EXPECT_EQ(s->Row(0)[1], 0);  // index past the table: black
    EXPECT_EQ(s->Row(0)[2], PackRgb565(255, 0, 0));
    EXPECT_EQ(s->Row(1)[0], PackRgb565(255, 0, 0));
    EXPECT_EQ(s->Row(1)[1], PackRgb565(0, 255, 0));
    EXPECT_EQ(s->Row(1)[2], PackRgb565(0, 0, 255));
  }
  DeleteObject(b);

  TestDib down = MakeDib(-2);
  b = BitmapFromDib(down.bytes.data(), (DWORD)down.bytes.size());
  ASSERT_NE(b, nullptr);
  ExpectPixelsFromPalette(b, down.bytes.data());
  DeleteObject(b);
}

TEST(ResourceBitmaps, MalformedDibsGiveNull) {
  int before = PlatformLiveObjectCount();
  TestDib d = MakeDib(2);
  EXPECT_EQ(BitmapFromDib(d.bytes.data(), 39), nullptr);  // truncated header
  EXPECT_EQ(BitmapFromDib(d.bytes.data(), (DWORD)d.bytes.size() - 1), nullptr);  // rows cut
  EXPECT_EQ(BitmapFromDib(nullptr, 100), nullptr);

  struct Break {
    const char* what;
    void (*apply)(BITMAPINFOHEADER&);
  } breaks[] = {
      {"24 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 24; }},
      {"compressed", [](BITMAPINFOHEADER& h) { h.biCompression = 1; }},
      {"300 colours", [](BITMAPINFOHEADER& h) { h.biClrUsed = 300; }},
      {"all 256 colours", [](BITMAPINFOHEADER& h) { h.biClrUsed = 0; }},  // table runs short
      {"header too small", [](BITMAPINFOHEADER& h) { h.biSize = 12; }},
      {"header past the end", [](BITMAPINFOHEADER& h) { h.biSize = 0x7FFFFFFF; }},
      {"zero width", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }},
      {"negative width", [](BITMAPINFOHEADER& h) { h.biWidth = -3; }},
      {"zero height", [](BITMAPINFOHEADER& h) { h.biHeight = 0; }},
      {"huge height", [](BITMAPINFOHEADER& h) { h.biHeight = 0x7FFFFFFF; }},
      {"most negative height", [](BITMAPINFOHEADER& h) { h.biHeight = (LONG)0x80000000; }},
      {"huge width", [](BITMAPINFOHEADER& h) { h.biWidth = 0x40000000; }},
  };
  for (const Break& b : breaks) {
    SCOPED_TRACE(b.what);
    TestDib broken = MakeDib(2);
    b.apply(broken.header());
    EXPECT_EQ(BitmapFromDib(broken.bytes.data(), (DWORD)broken.bytes.size()), nullptr);
  }
  EXPECT_EQ(PlatformLiveObjectCount(), before);
}

TEST(ResourceBitmaps, DamagedHeadersNeverReadPastTheData) {
  // The title bar with bytes of its header and colour table overwritten
  // (a sanitizer build catches any read outside the copy).
  const ResourceEntry* e = FindProgramResource(RT_BITMAP, MAKEINTRESOURCEW(107));
  ASSERT_NE(e, nullptr);
  int before = PlatformLiveObjectCount();
  unsigned seed = 12345;
  int made = 0;
  for (int round = 0; round < 3000; round++) {
    std::vector<BYTE> copy(e->data, e->data + e->size);
    for (int k = 0; k < 3; k++) {
      seed = seed * 1103515245u + 12345u;
      copy[(seed >> 8) % 48] = (BYTE)(seed >> 20);
    }
    DWORD size = (DWORD)copy.size() - (round % 7 == 0 ? (seed >> 4) % 64 : 0);
    std::vector<BYTE> exact(copy.begin(), copy.begin() + size);  // nothing readable past size
    HBITMAP b = BitmapFromDib(exact.data(), size);
    if (!b) continue;
    made++;
    BITMAPINFOHEADER h;
    memcpy(&h, exact.data(), sizeof(h));
    BITMAP bm;
    ASSERT_EQ(GetObject(b, sizeof(bm), &bm), (int)sizeof(bm));
    EXPECT_EQ(bm.bmWidth, h.biWidth);
    EXPECT_EQ(bm.bmHeight, h.biHeight < 0 ? -h.biHeight : h.biHeight);
    DeleteObject(b);
  }
  EXPECT_GT(made, 0);  // harmless changes (resolution, colours) still load
  EXPECT_EQ(PlatformLiveObjectCount(), before);
}

TEST(ResourceStrings, TitleAndClassName) {
  EXPECT_EQ(LoadString(1, 100), L"Viewer");
  EXPECT_EQ(LoadString(3, 100), L"VIEWER");
  WCHAR buffer[100];
  EXPECT_EQ(LoadStringW(nullptr, 3, buffer, 100), 6);
  // Missing entries of the block and missing blocks.
  EXPECT_EQ(LoadString(0, 100), L"");
  EXPECT_EQ(LoadString(2, 100), L"");
  EXPECT_EQ(LoadString(15, 100), L"");
  EXPECT_EQ(LoadString(16, 100), L"");
  EXPECT_EQ(LoadString(0xFFFFFFFFu, 100), L"");
}

TEST(ResourceStrings, TruncatedAtTheBufferSize) {
  EXPECT_EQ(LoadString(1, 7), L"Viewer");
  EXPECT_EQ(LoadString(1, 6), L"Viewe");
  EXPECT_EQ(LoadString(1, 4), L"Vie");
  EXPECT_EQ(LoadString(1, 1), L"");
  WCHAR untouched[2] = {L'x', L'y'};
  EXPECT_EQ(LoadStringW(nullptr, 1, untouched, 0), 0);
  EXPECT_EQ(untouched[0], L'x');
  EXPECT_EQ(LoadStringW(nullptr, 1, untouched, -5), 0);
  EXPECT_EQ(LoadStringW(nullptr, 1, nullptr, 10), 0);
}

TEST(ResourceTables, AcceleratorsAndHighResolutionMarker) {
  const ResourceEntry* accel = FindProgramResource(RT_ACCELERATOR, MAKEINTRESOURCEW(3));
  ASSERT_NE(accel, nullptr);
  const BYTE kExpected[16] = {0x10, 0, '/', 0, 0x43, 0x9C, 0, 0,    // Alt + "/" -> 40003
                              0x91, 0, 0x73, 0, 0x42, 0x9C, 0, 0};  // Alt + F4 -> 40002, last
  ASSERT_EQ(accel->size, sizeof(kExpected));
  EXPECT_EQ(memcmp(accel->data, kExpected, sizeof(kExpected)), 0);

  const ResourceEntry* marker = FindProgramResource(L"CEUX", L"HI_RES_AWARE");
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(FindProgramResource(L"ceux", L"Hi_Res_Aware"), marker);  // names ignore case
  ASSERT_EQ(marker->size, 2u);
  EXPECT_EQ(Read16(marker->data), 1);
  EXPECT_EQ(marker->language, 1033);
  EXPECT_EQ(FindProgramResource(L"CEUX", MAKEINTRESOURCEW(1)), nullptr);
  EXPECT_EQ(FindProgramResource(RT_BITMAP, L"HI_RES_AWARE"), nullptr);
  for (int i = 0; i < kProgramResourceCount; i++) EXPECT_EQ(kProgramResources[i].language, 1033);
}

TEST(ResourceVersion, BlockHoldsVersionAndStrings) {
  const ResourceEntry* e = FindProgramResource(RT_VERSION, MAKEINTRESOURCEW(1));
  ASSERT_NE(e, nullptr);
  VersionNode root;
  ASSERT_TRUE(ParseNode(e->data, e->size, &root));
  EXPECT_EQ(Read16(e->data), e->size);
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");
  ASSERT_EQ(root.valueLength, 52);
  EXPECT_EQ(Read32(root.value), 0xFEEF04BDu);
  // File and product version: the project's version and the build number.
  const uint32_t ms = ((uint32_t)kVersionMajor << 16) | (uint32_t)kVersionMinor;
  const uint32_t ls = ((uint32_t)kVersionPatch << 16) | (uint32_t)kVersionBuild;
  EXPECT_EQ(Read32(root.value + 8), ms);
  EXPECT_EQ(Read32(root.value + 12), ls);
  EXPECT_EQ(Read32(root.value + 16), ms);
  EXPECT_EQ(Read32(root.value + 20), ls);
  EXPECT_EQ(Read32(root.value + 36), 1u);  // VFT_APP

  const VersionNode* strings = Child(root, L"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  const VersionNode* table = Child(*strings, L"040904B0");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(TextValue(Child(*table, L"FileDescription")), L"Viewer");
  EXPECT_EQ(TextValue(Child(*table, L"InternalName")), L"Viewer");
  EXPECT_EQ(TextValue(Child(*table, L"OriginalFilename")), L"Viewer.exe");
  const std::wstring shown = std::to_wstring(kVersionMajor) + L", " + std::to_wstring(kVersionMinor) +
                             L", " + std::to_wstring(kVersionPatch) + L", " +
                             std::to_wstring(kVersionBuild);
  EXPECT_EQ(TextValue(Child(*table, L"FileVersion")), shown);
  EXPECT_EQ(TextValue(Child(*table, L"ProductVersion")), shown);
  EXPECT_EQ(TextValue(Child(*table, L"ProductName")), L"Korvane Viewer");
  const VersionNode* vars = Child(root, L"VarFileInfo");
  ASSERT_NE(vars, nullptr);
  const VersionNode* translation = Child(*vars, L"Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->valueLength, 4);
  EXPECT_EQ(Read32(translation->value), 0x04B00409u);

  WCHAR version[32];
  std::wstring dotted = shown;
  for (size_t at; (at = dotted.find(L", ")) != std::wstring::npos;) dotted.replace(at, 2, L".");
  EXPECT_EQ(ProgramVersion(version, 32), (int)dotted.size());
  EXPECT_EQ(std::wstring(version), dotted);
  EXPECT_EQ(ProgramVersion(version, (int)dotted.size()), 0);  // no room for the terminator
  EXPECT_STREQ(version, L"");
  // The line --version prints: the release, which the block's version begins with.
  const std::wstring release = kVersionText;
  EXPECT_EQ(dotted.compare(0, release.size() + 1, release + L"."), 0) << "the block's version "
      << std::string(dotted.begin(), dotted.end()) << " is not the project's";
  WCHAR line[64];
  EXPECT_EQ(ProgramVersionLine(line, 64), (int)(wcslen(kProductName) + 1 + release.size()));
  EXPECT_EQ(std::wstring(line), std::wstring(kProductName) + L" " + release);
  EXPECT_EQ(ProgramVersionLine(line, (int)(wcslen(kProductName) + 1 + release.size())), 0);
}

TEST(ResourceIcon, GroupHoldsBothSizes) {
  const ResourceEntry* group = FindProgramResource(RT_GROUP_ICON, MAKEINTRESOURCEW(101));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), (HICON)const_cast<ResourceEntry*>(group));
  EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(102)), nullptr);
  ASSERT_GE(group->size, 6u);
  EXPECT_EQ(Read16(group->data + 2), 1);  // icons, not cursors
  int count = Read16(group->data + 4);
  ASSERT_EQ(group->size, 6u + 14u * count);
  std::vector<int> sizes;
  for (int i = 0; i < count; i++) {
    const BYTE* p = group->data + 6 + 14 * i;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(Read16(p + 6), 8);  // bits per pixel
    const ResourceEntry* image = FindProgramResource(RT_ICON, MAKEINTRESOURCEW(Read16(p + 12)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Read32(p + 8), image->size);
    BITMAPINFOHEADER h = HeaderOf(image);
    EXPECT_EQ(h.biWidth, p[0]);
    EXPECT_EQ(h.biHeight, 2 * p[0]);
    sizes.push_back(p[0]);
  }
  EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

TEST(ResourceIcon, PixelsForTheWindowIcon) {
  for (int size : {32, 16}) {
    SCOPED_TRACE(size);
    std::vector<uint32_t> rgba(size * size, 0x12345678u);
    ASSERT_EQ(PlatformIconPixels(MAKEINTRESOURCEW(101), size, rgba.data()), 1);
    int opaque = 0;
    for (uint32_t p : rgba) {
      EXPECT_TRUE((p >> 24) == 0xFF || p == 0) << std::hex << p;
      if (p >> 24) opaque++;
    }
    EXPECT_EQ(rgba[0], 0u);  // the camera's rounded corner leaves the icon's corner clear
    EXPECT_EQ(rgba[(size / 2) * size + size / 2] >> 24, 0xFFu);
    EXPECT_GT(opaque, size * size / 2);
  }
  uint32_t pixels[48 * 48];
  EXPECT_EQ(PlatformIconPixels(MAKEINTRESOURCEW(101), 48, pixels), 0);
  EXPECT_EQ(PlatformIconPixels(MAKEINTRESOURCEW(7), 32, pixels), 0);
  EXPECT_EQ(PlatformIconPixels(MAKEINTRESOURCEW(101), 32, nullptr), 0);
}

}  // namespace
