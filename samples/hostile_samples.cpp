// The hostile files: JPEG surgery on small samples, and GIF, BMP and PNG
// headers written byte by byte.
#include "samples/hostile_samples.h"

#include <fcntl.h>
#include <unistd.h>

#include "samples/byte_writer.h"
#include "samples/jpeg_samples.h"
#include "samples/photo_samples.h"

namespace {

typedef std::string Bytes;

const int kSeedQuality = 75;
const int kClaimedSide = 8192;  // GIF, BMP and PNG: 256 MB of 32-bit pixels
const int kExtraScans = 5000;


// --- JPEG surgery -----------------------------------------------------------

struct Span {
  size_t begin = 0, end = 0;
};

// The last scan and the SOF.
struct JpegLayout {
  Span lastScan;
  size_t sof = 0;  // offset of the SOFn marker, 0 if none
  size_t eoi = 0;
};

JpegLayout Parse(const Bytes& b) {
  JpegLayout l;
  size_t at = 2;
  while (at + 4 <= b.size()) {
    const unsigned marker = (uint8_t)b[at + 1];
    if (marker == 0xD9) {
      l.eoi = at;
      break;
    }
    const size_t length = ((uint8_t)b[at + 2] << 8) | (uint8_t)b[at + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      l.sof = at;
    size_t next = at + 2 + length;
    if (marker == 0xDA) {
      // Entropy-coded data runs to the next marker other than a stuffed
      // zero or a restart marker.
      while (next + 1 < b.size()) {
        const unsigned m = (uint8_t)b[next + 1];
        if ((uint8_t)b[next] == 0xFF && m != 0 && !(m >= 0xD0 && m <= 0xD7)) break;
        next++;
      }
      l.lastScan = {at, next};
    }
    at = next;
  }
  return l;
}

// --- Platform formats -------------------------------------------------------

Bytes HugeGif(bool interlaced) {
  Bytes b = "GIF89a";
  Le16(b, kClaimedSide);
  Le16(b, kClaimedSide);
  b += Bytes("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9);  // two global colours
  b += ',';
  Le32(b, 0);
  Le16(b, kClaimedSide);
  Le16(b, kClaimedSide);
  b += (char)(interlaced ? 0x40 : 0);
  b += Bytes("\x02\x02\x4c\x01\x00;", 6);  // a clear code and one pixel
  return b;
}

// 24-bit, or 8-bit RLE with two colours and an end-of-bitmap code.
Bytes HugeBmp(bool rle) {
  Bytes info;
  Le32(info, 40);
  Le32(info, kClaimedSide);
  Le32(info, kClaimedSide);
  Le16(info, 1);
  Le16(info, rle ? 8 : 24);
  Le32(info, rle ? 1 : 0);
  Le32(info, 0);
  Le32(info, 2835);
  Le32(info, 2835);
  Le32(info, rle ? 2 : 0);
  Le32(info, 0);
  const Bytes palette = rle ? Bytes("\0\0\0\0\xff\xff\xff\0", 8) : Bytes();
  const Bytes pixels = rle ? Bytes("\x00\x01", 2) : Bytes(16, '\x55');
  Bytes b = "BM";
  Le32(b, (uint32_t)(14 + info.size() + palette.size() + pixels.size()));
  Le32(b, 0);
  Le32(b, (uint32_t)(14 + info.size() + palette.size()));
  return b + info + palette + pixels;
}

// Headers that claim a 2.5 GB info header and pixels 2.2 GB in: the BMP
// loader would allocate that before reading on (found by fuzzing).
Bytes ClaimedHeaderBmp() {
  Bytes b = "BM";
  Le32(b, 0x99);
  Le32(b, 0);
  Le32(b, 0x86010041);
  Le32(b, 0x96E831A0);
  return b + Bytes(64, '\0');
}

uint32_t Crc32(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (char c : bytes) {
    crc ^= (uint8_t)c;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void Chunk(Bytes& png, const char* type, const Bytes& data) {
  Be32(png, (uint32_t)data.size());
  const Bytes body = type + data;
  png += body;
  Be32(png, Crc32(body));
}

// 8192 x 8192 RGB whose only pixel data is one row's filter byte, in a
// stored deflate block.
Bytes HugePng(bool interlaced) {
  Bytes png("\x89PNG\r\n\x1a\n", 8);
  Bytes ihdr;
  Be32(ihdr, kClaimedSide);
  Be32(ihdr, kClaimedSide);
  ihdr += Bytes("\x08\x02\x00\x00", 4);
  ihdr += (char)(interlaced ? 1 : 0);
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", Bytes("\x78\x01\x01\x01\x00\xfe\xff\x00\x00\x01\x00\x01", 12));
  Chunk(png, "IEND", Bytes());
  return png;
}

// 1 x 1 RGB: one row of a filter byte and three samples in a stored block.
Bytes TinyPng() {
  Bytes png("\x89PNG\r\n\x1a\n", 8);
  Bytes ihdr;
  Be32(ihdr, 1);
  Be32(ihdr, 1);
  ihdr += Bytes("\x08\x02\x00\x00\x00", 5);
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", Bytes("\x78\x01\x01\x04\x00\xfb\xff\x00\x00\x00\x00\x00\x04\x00\x01", 15));
  Chunk(png, "IEND", Bytes());
  return png;
}

// 16 x 16 with one pixel coded and no trailer.
Bytes TinyGifWithoutTrailer() {
  Bytes b = "GIF89a";
  Le16(b, 16);
  Le16(b, 16);
  b += Bytes("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9);
  b += ',';
  Le32(b, 0);
  Le16(b, 16);
  Le16(b, 16);
  b += (char)0;
  return b + Bytes("\x02\x02\x4c\x01\x00", 5);
}

Bytes WithoutEoi(const Bytes& jpeg) {
  return jpeg.size() >= 2 ? jpeg.substr(0, jpeg.size() - 2) : jpeg;
}

}  // namespace

int MakeSparseFiles(std::vector<SparseFile>* out) {
  out->clear();
  const Bytes baseline = SeedJpeg(64, 64, false), progressive = SeedJpeg(64, 64, true);
  if (baseline.empty() || progressive.empty()) return 0;
  const Bytes eoi("\xff\xd9", 2);
  *out = {
      {"sparse-20g.gif", TinyGifWithoutTrailer(), ""},
      {"sparse-20g.bmp", ColourCountBmp(256), ""},
      {"sparse-20g.png", TinyPng(), ""},
      // Zeros inside the scan, then before the end marker.
      {"sparse-20g-scan.jpg", WithoutEoi(baseline), ""},
      {"sparse-20g-eoi.jpg", WithoutEoi(baseline), eoi},
      {"sparse-20g-progressive.jpg", WithoutEoi(progressive), eoi},
      {"sparse-20g-jpeg.png", WithoutEoi(progressive), ""},
  };
  return 1;
}

int WriteSparseFile(const std::string& path, const SparseFile& file) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  const off_t tailAt = (off_t)(kHugeFileBytes - file.tail.size());
  bool ok = write(fd, file.head.data(), file.head.size()) == (ssize_t)file.head.size() &&
            ftruncate(fd, (off_t)kHugeFileBytes) == 0 &&
            (file.tail.empty() ||
             pwrite(fd, file.tail.data(), file.tail.size(), tailAt) == (ssize_t)file.tail.size());
  return close(fd) == 0 && ok;
}

std::string SeedJpeg(int width, int height, bool progressive, int components) {
  JpegSampleOptions o;
  o.width = width;
  o.height = height;
  o.progressive = progressive;
  o.components = components;
  o.quality = kSeedQuality;
  Bytes b;
  return JpegSampleBytes(o, &b) ? b : Bytes();
}

Bytes RepeatLastScan(const Bytes& jpeg, int extra) {
  JpegLayout l = Parse(jpeg);
  const Bytes scan = jpeg.substr(l.lastScan.begin, l.lastScan.end - l.lastScan.begin);
  Bytes out = jpeg.substr(0, l.lastScan.end);
  for (int i = 0; i < extra; i++) out += scan;
  return out + jpeg.substr(l.lastScan.end);
}

Bytes ClaimSize(Bytes jpeg, int width, int height) {
  JpegLayout l = Parse(jpeg);
  if (l.sof == 0 || l.sof + 9 > jpeg.size()) return jpeg;
  jpeg[l.sof + 5] = (char)(height >> 8);
  jpeg[l.sof + 6] = (char)height;
  jpeg[l.sof + 7] = (char)(width >> 8);
  jpeg[l.sof + 8] = (char)width;
  return jpeg;
}

// The BMP loader takes a count of 2^31 or more as negative and asks for up
// to 4 GB (found by fuzzing).
Bytes ColourCountBmp(uint32_t colours, int depth) {
  Bytes info;
  Le32(info, 40);
  Le32(info, 4);
  Le32(info, 4);
  Le16(info, 1);
  Le16(info, (unsigned)depth);
  Le32(info, 0);
  Le32(info, depth == 8 ? 16 : 48);
  Le32(info, 2835);
  Le32(info, 2835);
  Le32(info, colours);
  Le32(info, 0);
  Bytes palette;
  for (int i = 0; i < 256; i++) Le32(palette, (uint32_t)i * 0x010101);
  const Bytes pixels(depth == 8 ? 16 : 48, '\x80');
  Bytes b = "BM";
  Le32(b, (uint32_t)(14 + info.size() + palette.size() + pixels.size()));
  Le32(b, 0);
  Le32(b, (uint32_t)(14 + info.size() + palette.size()));
  return b + info + palette + pixels;
}

int MakeHostileFiles(std::vector<HostileFile>* out) {
  out->clear();
  const Bytes progressive = SeedJpeg(64, 64, true);
  const Bytes tiny = SeedJpeg(16, 16, false);
  const Bytes tinyCmyk = SeedJpeg(16, 16, false, 4);
  if (progressive.empty() || tiny.empty() || tinyCmyk.empty()) return 0;
  const Bytes scans = RepeatLastScan(progressive, kExtraScans);
  const Bytes claims = ClaimSize(tiny, 65000, 65000);
  const Bytes claimsCmyk = ClaimSize(tinyCmyk, 65000, 65000);
  const Bytes progressiveClaims = ClaimSize(progressive, 16000, 16000);
  *out = {
      {"scans-5000.jpg", scans},
      {"scans-5000-8192.jpg", ClaimSize(scans, kClaimedSide, kClaimedSide)},
      {"claims-65000.jpg", claims},
      {"claims-65000-cmyk.jpg", claimsCmyk},
      {"progressive-claims-16000.jpg", progressiveClaims},
      {"huge.gif", HugeGif(false)},
      {"huge-interlaced.gif", HugeGif(true)},
      {"huge.bmp", HugeBmp(false)},
      {"huge-rle.bmp", HugeBmp(true)},
      {"claimed-header.bmp", ClaimedHeaderBmp()},
      {"colours-4g.bmp", ColourCountBmp(0xFFFFFFFF)},
      {"colours-2g.bmp", ColourCountBmp(0x80000000)},
      {"colours-257.bmp", ColourCountBmp(257)},
      {"huge.png", HugePng(false)},
      {"huge-interlaced.png", HugePng(true)},
      // JPEG data under other names reaches the platform decoder.
      {"scans-5000-jpeg.png", scans},
      {"claims-65000-jpeg.png", claims},
      {"claims-65000-cmyk.Jpg", claimsCmyk},
      {"progressive-claims-16000.Jpg", progressiveClaims},
  };
  AddHostilePhotoFiles(out);
  return 1;
}
