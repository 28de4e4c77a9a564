#include "tests/support/jpeg_reference.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "samples/jpeg_samples.h"

namespace {

const int kNoiseEntries = 140;
const long kThumbnailFileMax = 1048576;

bool TooLarge(const RefRequest& q, int w, int h) {
  if (q.thumbnail) return w > 54 || h > 54;
  if (q.fitMode == 0) return w > 1024 || h > 1024;
  return w > q.screenWidth || h > q.screenHeight;
}

// Largest of 8, 4, 2, 1 that is not above the limit.
int LargestDenomNotAbove(int limit) {
  for (int d : {8, 4, 2}) {
    if (d <= limit) return d;
  }
  return 1;
}

// A viewer picture larger than the screen turns when its shape differs:
// wide ones on portrait (or square) screens, tall ones on landscape screens.
bool Turns(const RefRequest& q, int w, int h) {
  if (q.thumbnail || (w <= q.screenWidth && h <= q.screenHeight)) return false;
  return q.screenWidth > q.screenHeight ? h > w : w > h;
}

void FirstPass(const RefRequest& q, RefPicture* p) {
  const int W = p->pictureWidth, H = p->pictureHeight;
  const bool swap = Turns(q, W, H) && (q.fitMode == 1 || q.fitMode == 2);
  int n = 1;
  for (;;) {
    int cw = (swap ? H : W) / n;
    int ch = (swap ? W : H) / n;
    if (!TooLarge(q, cw, ch)) break;
    n++;
  }
  p->divisor = n;
  p->denom = LargestDenomNotAbove(q.thumbnail ? n : n / 2);
}

void SecondPass(const RefRequest& q, RefPicture* p) {
  const int OW = p->libraryWidth, OH = p->libraryHeight;
  p->rotated = Turns(q, OW, OH);
  const int add = (!q.thumbnail && q.fitMode == 1) ? 16 : 1;
  int s = 16;
  int fw = p->rotated ? OH : OW;
  int fh = p->rotated ? OW : OH;
  while (TooLarge(q, fw, fh)) {
    s += add;
    int across = (int)((long long)OW * 16 / s);
    int down = (int)((long long)OH * 16 / s);
    fw = p->rotated ? down : across;
    fh = p->rotated ? across : down;
  }
  p->step = s;
  p->width = fw;
  p->height = fh;
}

// The library's samples as red, green, blue: grey is repeated, Adobe CMYK
// is stored inverted (red = C * K / 255 on the stored values).
std::vector<uint8_t> AsRgb(const PlainJpegImage& img) {
  const size_t count = (size_t)img.width * img.height;
  std::vector<uint8_t> rgb(count * 3);
  for (size_t i = 0; i < count; i++) {
    const uint8_t* in = &img.samples[i * img.components];
    uint8_t* out = &rgb[i * 3];
    if (img.components == 3) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    } else if (img.components == 1) {
      out[0] = out[1] = out[2] = in[0];
    } else {
      unsigned v[4];
      for (int c = 0; c < 4; c++) v[c] = img.adobe ? in[c] : 255u - in[c];
      for (int c = 0; c < 3; c++) out[c] = (uint8_t)(v[c] * v[3] / 255);
    }
  }
  return rgb;
}

void PutLe(std::vector<uint8_t>* out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) out->push_back((uint8_t)(v >> (8 * i)));
}

}  // namespace

int FindJpegFrame(const std::vector<uint8_t>& b, int* width, int* height, size_t* markerAt) {
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return 0;
  size_t i = 2;
  while (i + 1 < b.size()) {
    if (b[i] != 0xFF) return 0;
    while (i + 1 < b.size() && b[i + 1] == 0xFF) i++;  // fill bytes
    if (i + 1 >= b.size()) return 0;
    const uint8_t m = b[i + 1];
    if ((m >= 0xD0 && m <= 0xD7) || m == 0x01) {
      i += 2;
      continue;
    }
    if (m == 0xD9 || m == 0xDA || i + 3 >= b.size()) return 0;
    const size_t length = ((size_t)b[i + 2] << 8) | b[i + 3];
    const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (frame) {
      if (i + 8 >= b.size()) return 0;
      *height = (b[i + 5] << 8) | b[i + 6];
      *width = (b[i + 7] << 8) | b[i + 8];
      if (markerAt) *markerAt = i;
      return 1;
    }
    i += 2 + length;
  }
  return 0;
}

RefPicture ReferenceJpegDecode(const std::string& hostPath, const RefRequest& q) {
  RefPicture p;
  // The noise table is drawn before anything else, whatever follows.
  int noise[kNoiseEntries];
  for (int& v : noise) v = rand() % 8;

  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return p;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (q.thumbnail && (long)bytes.size() > kThumbnailFileMax) return p;
  if (!FindJpegFrame(bytes, &p.pictureWidth, &p.pictureHeight, nullptr)) return p;

  FirstPass(q, &p);
  PlainJpegImage img;
  if (!DecodeJpegPlain(hostPath.c_str(), p.denom, &img)) return p;
  p.libraryWidth = img.width;
  p.libraryHeight = img.height;
  SecondPass(q, &p);
  if (p.width <= 0 || p.height <= 0) return p;

  const std::vector<uint8_t> rgb = AsRgb(img);
  const int OW = img.width;
  auto sample = [&](int r, int c, int ch) -> unsigned { return rgb[((size_t)r * OW + c) * 3 + ch]; };

  const int FW = p.width, FH = p.height, s = p.step;
  // Packing and row length written out here rather than taken from the
  // product, so that a fault in either cannot agree with itself.
  p.rowWords = (FW + 1) / 2 * 2;
  p.words.assign((size_t)p.rowWords * FH, 0);
  const bool viewer = !q.thumbnail;
  const int h = (s / 16) / 2;
  const int wrap = (!p.rotated && s == 16) ? 127 : 128;
  for (int y = 0; y < FH; y++) {
    int k = viewer ? rand() % 120 : 0;
    for (int x = 0; x < FW; x++) {
      int r, c;
      if (p.rotated) {
        r = x * s / 16;
        c = (FH - 1 - y) * s / 16;
      } else {
        r = y * s / 16;
        c = x * s / 16;
      }
      unsigned v[3];
      for (int ch = 0; ch < 3; ch++) {
        if (viewer && s > 16) {
          v[ch] = (sample(r, c, ch) + sample(r, c + h, ch) + sample(r + h, c, ch) +
                   sample(r + h, c + h, ch)) >> 2;
        } else {
          v[ch] = sample(r, c, ch);
        }
      }
      if (viewer) {
        for (int ch = 0; ch < 3; ch++) {
          v[ch] += (unsigned)noise[k + ch];
          if (v[ch] > 255) v[ch] = 255;
        }
        k = (k + 3) % wrap;
      }
      uint16_t word = (uint16_t)(((v[0] >> 3) << 11) | ((v[1] >> 2) << 5) | (v[2] >> 3));
      p.words[(size_t)(FH - 1 - y) * p.rowWords + x] = word;
    }
  }
  p.made = true;
  return p;
}

std::vector<uint8_t> ReferenceInfoHeader(int width, int height) {
  const uint32_t rowWords = (uint32_t)(width + 1) / 2 * 2;
  std::vector<uint8_t> out;
  PutLe(&out, 40, 4);                              // header size
  PutLe(&out, (uint32_t)width, 4);                 // FW
  PutLe(&out, (uint32_t)height, 4);                // FH, positive: bottom-up
  PutLe(&out, 1, 2);                               // planes
  PutLe(&out, 16, 2);                              // bits per pixel
  PutLe(&out, 3, 4);                               // BI_BITFIELDS
  PutLe(&out, rowWords * (uint32_t)height * 2, 4);  // image size
  PutLe(&out, 3780, 4);                            // pixels per metre
  PutLe(&out, 3780, 4);
  PutLe(&out, 3, 4);                               // colours used
  PutLe(&out, 0, 4);                               // important colours
  PutLe(&out, 0xF800, 4);
  PutLe(&out, 0x07E0, 4);
  PutLe(&out, 0x001F, 4);
  return out;
}

std::vector<uint8_t> ReferenceBmpFile(const RefPicture& p) {
  const std::vector<uint8_t> info = ReferenceInfoHeader(p.width, p.height);
  const uint32_t offset = 14 + (uint32_t)info.size();
  std::vector<uint8_t> out = {'B', 'M'};
  PutLe(&out, offset + (uint32_t)p.words.size() * 2, 4);
  PutLe(&out, 0, 4);
  PutLe(&out, offset, 4);
  out.insert(out.end(), info.begin(), info.end());
  for (uint16_t w : p.words) PutLe(&out, w, 2);
  return out;
}
