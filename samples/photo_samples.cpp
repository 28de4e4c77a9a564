// WebP, HEIF, AVIF and TIFF bytes written field by field.
#include "samples/photo_samples.h"

#include "samples/byte_writer.h"

namespace {

typedef std::string Bytes;

const uint32_t kClaimedSide = 60000;   // 3.6 G pixels
const int kCutWidth = 4000, kCutHeight = 3000;
// Past the bytes the decoder reads ahead to find a container's size.
const size_t kPastTheHead = 300 * 1024;

const uint16_t kShort = 3, kLong = 4;


struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

void PutEntry(Bytes& b, const Entry& e) {
  Le16(b, e.tag);
  Le16(b, e.type);
  Le32(b, e.count);
  if (e.type == kShort && e.count == 1) {
    Le16(b, e.value);  // a SHORT sits in the first two bytes
    Le16(b, 0);
  } else {
    Le32(b, e.value);
  }
}

// ISO-BMFF boxes: a length, a type, and for full boxes version and flags.
Bytes Box(const char* type, const Bytes& payload) {
  Bytes b;
  Be32(b, (uint32_t)(8 + payload.size()));
  return b + type + payload;
}
Bytes FullBox(const char* type, const Bytes& payload) { return Box(type, Bytes(4, '\0') + payload); }

Bytes Ftyp(const char* major, const char* compatible) {
  return Box("ftyp", Bytes(major) + Bytes(4, '\0') + compatible);
}

// A meta box whose only picture property is an ispe of width x height.
Bytes MetaWithIspe(uint32_t width, uint32_t height) {
  Bytes ispe;
  Be32(ispe, width);
  Be32(ispe, height);
  Bytes hdlr = Bytes(4, '\0') + "pict" + Bytes(13, '\0');
  return FullBox("meta", FullBox("hdlr", hdlr) +
                             Box("iprp", Box("ipco", FullBox("ispe", ispe))));
}

Bytes Riff(const char* chunk, const Bytes& payload) {
  Bytes body = Bytes("WEBP") + chunk;
  Le32(body, (uint32_t)payload.size());
  body += payload;
  Bytes b = "RIFF";
  Le32(b, (uint32_t)body.size());
  return b + body;
}

// A lossless header claiming 16384 x 16384, the largest its fields hold.
Bytes HugeVp8l() {
  Bytes p = "\x2f";
  Le32(p, 0x3FFF | 0x3FFF << 14);
  return Riff("VP8L", p + Bytes(8, '\0'));
}

// An extended header claiming width x height and nothing after it (the
// loader would show a blank picture of a size within the budget).
Bytes Vp8xOnly(uint32_t width, uint32_t height) {
  Bytes p(4, '\0');
  for (uint32_t side : {width, height}) {
    const uint32_t less = side - 1;
    p += (char)less;
    p += (char)(less >> 8);
    p += (char)(less >> 16);
  }
  return Riff("VP8X", p);
}

}  // namespace

std::string GradientPixels(int width, int height) {
  Bytes b;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      b += (char)(width > 1 ? x * 255 / (width - 1) : 0);
      b += (char)(height > 1 ? y * 255 / (height - 1) : 0);
      b += (char)128;
    }
  return b;
}

std::string TiffFile(uint32_t width, uint32_t height, const std::string& pixels,
                     int orientation, size_t padding) {
  Bytes b("II*\0", 4);
  const uint32_t pixelsAt = 8;
  uint32_t ifdAt = (uint32_t)(pixelsAt + pixels.size() + padding);
  ifdAt += ifdAt & 1;  // directories start on a word
  Le32(b, ifdAt);
  b += pixels;
  b.resize(ifdAt, '\0');
  std::vector<Entry> entries = {
      {256, kLong, 1, width},        {257, kLong, 1, height},
      {258, kShort, 3, 0},           {259, kShort, 1, 1},  // no compression
      {262, kShort, 1, 2},           {273, kLong, 1, pixelsAt},  // RGB, one strip
      {277, kShort, 1, 3},           {278, kLong, 1, height},
      {279, kLong, 1, (uint32_t)pixels.size()}, {284, kShort, 1, 1}};
  if (orientation >= 1 && orientation <= 8)
    entries.insert(entries.begin() + 6, {274, kShort, 1, (uint32_t)orientation});
  // The three bits-per-sample values follow the directory.
  const uint32_t bitsAt = ifdAt + 2 + 12 * (uint32_t)entries.size() + 4;
  entries[2].value = bitsAt;
  Le16(b, (unsigned)entries.size());
  for (const Entry& e : entries) PutEntry(b, e);
  Le32(b, 0);
  for (int i = 0; i < 3; i++) Le16(b, 8);
  return b;
}

std::string WithExifOrientation(const std::string& jpeg, int orientation) {
  Bytes exif("Exif\0\0II*\0", 10);
  Le32(exif, 8);
  Le16(exif, 1);
  PutEntry(exif, {0x0112, kShort, 1, (uint32_t)orientation});
  Le32(exif, 0);
  Bytes app1("\xff\xe1", 2);
  app1 += (char)((exif.size() + 2) >> 8);
  app1 += (char)(exif.size() + 2);
  return jpeg.substr(0, 2) + app1 + exif + jpeg.substr(2);
}

void AddHostilePhotoFiles(std::vector<HostileFile>* out) {
  const Bytes tinyPixels(3, '\x7f');
  const HostileFile files[] = {
      {"claims-16384.webp", HugeVp8l(), true},
      {"claims-60000.webp", Vp8xOnly(kClaimedSide, kClaimedSide), true},
      {"claims-60000.heic", Ftyp("heic", "mif1heic") + MetaWithIspe(kClaimedSide, kClaimedSide),
       true},
      {"claims-60000.avif", Ftyp("avif", "mif1miaf") + MetaWithIspe(kClaimedSide, kClaimedSide),
       true},
      // Declares a small picture but holds none of its data.
      {"no-data.heic", Ftyp("mif1", "heic") + MetaWithIspe(64, 64), true},
      // The meta box past the bytes read ahead: its size cannot be weighed.
      {"meta-late.heic",
       Ftyp("heic", "mif1") + Box("mdat", Bytes(kPastTheHead, '\0')) +
           MetaWithIspe(kClaimedSide, kClaimedSide),
       true},
      {"claims-60000.tif", TiffFile(kClaimedSide, kClaimedSide, tinyPixels, 0), true},
      // IFD0 past the read-ahead: the loader weighs it before allocating.
      {"claims-60000-late-ifd.tif",
       TiffFile(kClaimedSide, kClaimedSide, tinyPixels, 0, kPastTheHead), true},
      {"cut-4000.tif", TiffFile(kCutWidth, kCutHeight, tinyPixels, 0), true},
  };
  for (const HostileFile& f : files) out->push_back(f);
}
