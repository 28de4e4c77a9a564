// Synthetic JPEG files and the library's plain decode of them. Both keep
// every library object in a plain record so that a fatal library error can
// longjmp back without skipping a destructor.
#include "samples/jpeg_samples.h"

#include "samples/byte_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace {

const int kMaxSide = 65500;
const int kShapeCount = 7;

// error_exit that hands control back to the setjmp of the caller; the
// library's own message still goes to standard error.
struct JumpingErrors {
  jpeg_error_mgr pub;
  jmp_buf back;
};

void JumpBack(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(((JumpingErrors*)cinfo->err)->back, 1);
}

// Small deterministic generator, so a seed always gives the same file and
// the C library's rand() is left alone.
struct Mixer {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Below(int n) { return (int)(Next() % (uint32_t)n); }
};

struct Shape {
  long cx, cy, rx, ry;
  int r, g, b;
};

// What the picture looks like; integer arithmetic only, so every build
// writes the same bytes.
struct Scene {
  int width, height;
  bool photo;
  bool quadrants;
  int top[3], bottom[3];  // background gradient, top row to bottom row
  Shape shapes[kShapeCount];
  Mixer grain;
};

int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void MakeScene(const JpegSampleOptions& o, Scene* s) {
  Mixer m = {o.seed * 2654435761u + 0x9E3779B9u};
  for (int i = 0; i < 8; i++) m.Next();
  s->width = o.width;
  s->height = o.height;
  s->photo = o.photoLike;
  s->quadrants = o.quadrants;
  for (int c = 0; c < 3; c++) {
    s->top[c] = m.Below(256);
    s->bottom[c] = m.Below(256);
  }
  long side = o.width < o.height ? o.width : o.height;
  for (int i = 0; i < kShapeCount; i++) {
    Shape& sh = s->shapes[i];
    sh.cx = m.Below(o.width);
    sh.cy = m.Below(o.height);
    sh.rx = 1 + side / 8 + m.Below((int)(side / 3 + 1));
    sh.ry = 1 + side / 8 + m.Below((int)(side / 3 + 1));
    sh.r = m.Below(256);
    sh.g = m.Below(256);
    sh.b = m.Below(256);
  }
  s->grain.state = m.Next() | 1;
}

// One row of red, green, blue. Photo-like: a vertical gradient, soft-edged
// ellipses shaded across, and fine grain that keeps the file photo-sized:
// 2048 x 1536 at quality 90 comes to just under 1 MiB.
// Plain: gradients along both axes only.
void SceneRow(Scene* s, int y, uint8_t* rgb) {
  const int w = s->width, h = s->height;
  for (int x = 0; x < w; x++) {
    int c[3];
    if (s->quadrants) {
      static const int kQuarters[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
      const int* q = kQuarters[(y * 2 >= h ? 2 : 0) + (x * 2 >= w ? 1 : 0)];
      for (int k = 0; k < 3; k++) c[k] = q[k];
    } else if (!s->photo) {
      c[0] = w > 1 ? x * 255 / (w - 1) : 0;
      c[1] = h > 1 ? y * 255 / (h - 1) : 0;
      c[2] = (c[0] + 255 - c[1]) / 2;
    } else {
      for (int k = 0; k < 3; k++)
        c[k] = h > 1 ? s->top[k] + (s->bottom[k] - s->top[k]) * y / (h - 1) : s->top[k];
      for (int i = 0; i < kShapeCount; i++) {
        const Shape& sh = s->shapes[i];
        long dx = x - sh.cx, dy = y - sh.cy;
        // Inside when (dx/rx)² + (dy/ry)² <= 1; d is that sum in 256ths.
        long long nx = (long long)dx * 256 / sh.rx, ny = (long long)dy * 256 / sh.ry;
        long long d = (nx * nx + ny * ny) / 256;
        if (d > 256) continue;
        int edge = d > 200 ? (int)(256 - d) * 256 / 56 : 256;  // soft rim
        int shade = (int)(dx * 48 / sh.rx);
        c[0] += (Clamp(sh.r + shade) - c[0]) * edge / 256;
        c[1] += (Clamp(sh.g + shade) - c[1]) * edge / 256;
        c[2] += (Clamp(sh.b + shade) - c[2]) * edge / 256;
      }
    }
    if (s->photo || s->quadrants) {
      // Grain: mostly luminance, a little colour.
      uint32_t n = s->grain.Next();
      int luma = (int)(n & 31) * 7 / 8 - 14;
      c[0] += luma + (int)((n >> 5) & 7) - 4;
      c[1] += luma + (int)((n >> 8) & 7) - 4;
      c[2] += luma + (int)((n >> 11) & 7) - 4;
    }
    for (int k = 0; k < 3; k++) rgb[x * 3 + k] = (uint8_t)Clamp(c[k]);
  }
}

// Converts an RGB row to what the file stores for the component count.
// CMYK is stored inverted as Adobe software stores it: K' = max(R,G,B) and
// C' * K' / 255 gives back red.
void StoreRow(const uint8_t* rgb, int width, int components, uint8_t* out) {
  for (int x = 0; x < width; x++) {
    int r = rgb[x * 3], g = rgb[x * 3 + 1], b = rgb[x * 3 + 2];
    if (components == 3) {
      out[x * 3] = (uint8_t)r;
      out[x * 3 + 1] = (uint8_t)g;
      out[x * 3 + 2] = (uint8_t)b;
    } else if (components == 1) {
      out[x] = (uint8_t)((r * 77 + g * 150 + b * 29) >> 8);
    } else {
      int k = r > g ? r : g;
      if (b > k) k = b;
      uint8_t* p = out + x * 4;
      p[0] = (uint8_t)(k ? Clamp((r * 255 + k / 2) / k) : 255);
      p[1] = (uint8_t)(k ? Clamp((g * 255 + k / 2) / k) : 255);
      p[2] = (uint8_t)(k ? Clamp((b * 255 + k / 2) / k) : 255);
      p[3] = (uint8_t)k;
    }
  }
}

struct WriteJob {
  jpeg_compress_struct cinfo;
  JumpingErrors err;
  FILE* file;
  uint8_t* rgb;
  uint8_t* stored;
  uint8_t* shown;  // with an orientation: the whole picture as shown
  Scene scene;
};

void EndWrite(WriteJob* job) {
  if (job->file) fclose(job->file);
  free(job->rgb);
  free(job->stored);
  free(job->shown);
}

void PutEntry(std::string* b, unsigned tag, unsigned type, uint32_t value) {
  Le16(*b, tag);
  Le16(*b, type);
  Le32(*b, 1);
  Le32(*b, value);  // a SHORT sits in the first two bytes, little-endian
}

// The APP1 payload: "Exif", a little-endian TIFF header, IFD0 with the
// orientation, and IFD1 pointing at the preview when there is one.
std::string ExifBlock(int orientation, const std::string& preview) {
  std::string b("Exif\0\0II*\0", 10);
  Le32(b, 8);
  Le16(b, 1);
  PutEntry(&b, 0x0112, 3, (uint32_t)orientation);
  Le32(b, preview.empty() ? 0 : 26);  // IFD1 right after IFD0's 18 bytes
  if (!preview.empty()) {
    Le16(b, 3);
    PutEntry(&b, 0x0103, 3, 6);            // compression: JPEG
    PutEntry(&b, 0x0201, 4, 26 + 42);      // the preview right after IFD1's 42 bytes
    PutEntry(&b, 0x0202, 4, (uint32_t)preview.size());
    Le32(b, 0);
    b += preview;
  }
  return b;
}

// Where stored pixel (x, y) of a w x h (as shown) picture is shown, by the
// tag's definition of what the stored 0th row and 0th column are.
void ShownAt(int orientation, int x, int y, int w, int h, int* sx, int* sy) {
  switch (orientation) {
    case 2: *sx = w - 1 - x, *sy = y; break;          // row 0 top, column 0 right
    case 3: *sx = w - 1 - x, *sy = h - 1 - y; break;  // row 0 bottom, column 0 right
    case 4: *sx = x, *sy = h - 1 - y; break;          // row 0 bottom, column 0 left
    case 5: *sx = y, *sy = x; break;                  // row 0 left, column 0 top
    case 6: *sx = w - 1 - y, *sy = x; break;          // row 0 right, column 0 top
    case 7: *sx = w - 1 - y, *sy = h - 1 - x; break;  // row 0 right, column 0 bottom
    case 8: *sx = y, *sy = h - 1 - x; break;          // row 0 left, column 0 bottom
    default: *sx = x, *sy = y; break;
  }
}

int WriteFile(WriteJob* job, const JpegSampleOptions& o) {
  jpeg_compress_struct* cinfo = &job->cinfo;
  cinfo->err = jpeg_std_error(&job->err.pub);
  job->err.pub.error_exit = JumpBack;
  if (setjmp(job->err.back)) {
    jpeg_destroy_compress(cinfo);
    EndWrite(job);
    return 0;
  }
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, job->file);
  const bool swap = o.orientation >= 5;
  const int storedWidth = swap ? o.height : o.width, storedHeight = swap ? o.width : o.height;
  cinfo->image_width = (JDIMENSION)storedWidth;
  cinfo->image_height = (JDIMENSION)storedHeight;
  cinfo->input_components = o.components;
  cinfo->in_color_space = o.components == 1 ? JCS_GRAYSCALE : (o.components == 3 ? JCS_RGB : JCS_CMYK);
  jpeg_set_defaults(cinfo);
  if (o.components == 4) {
    jpeg_set_colorspace(cinfo, JCS_CMYK);
    cinfo->write_Adobe_marker = TRUE;
  }
  jpeg_set_quality(cinfo, o.quality, TRUE);
  if (o.components == 3) {
    cinfo->comp_info[0].h_samp_factor = o.lumaH;
    cinfo->comp_info[0].v_samp_factor = o.lumaV;
  }
  if (o.progressive) jpeg_simple_progression(cinfo);
  jpeg_start_compress(cinfo, TRUE);
  if (o.orientation) {
    std::string exif = ExifBlock(o.orientation, o.exifPreview);
    jpeg_write_marker(cinfo, JPEG_APP0 + 1, (const JOCTET*)exif.data(), (unsigned)exif.size());
  }
  if (job->shown)
    for (int y = 0; y < o.height; y++) SceneRow(&job->scene, y, job->shown + (size_t)y * o.width * 3);
  JSAMPROW row = job->stored;
  for (int y = 0; y < storedHeight; y++) {
    if (job->shown) {
      for (int x = 0; x < storedWidth; x++) {
        int sx, sy;
        ShownAt(o.orientation, x, y, o.width, o.height, &sx, &sy);
        memcpy(job->rgb + x * 3, job->shown + ((size_t)sy * o.width + sx) * 3, 3);
      }
    } else {
      SceneRow(&job->scene, y, job->rgb);
    }
    StoreRow(job->rgb, storedWidth, o.components, job->stored);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  bool ok = fflush(job->file) == 0 && !ferror(job->file);
  EndWrite(job);
  return ok ? 1 : 0;
}

struct PlainDecode {
  jpeg_decompress_struct cinfo;
  JumpingErrors err;
  FILE* file;
  uint8_t* samples;
  int width, height, components;
  bool adobe;
};

// Fills d->samples (malloc) on success; on failure everything is released.
int RunPlainDecode(PlainDecode* d, int scaleDenom) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  cinfo->err = jpeg_std_error(&d->err.pub);
  d->err.pub.error_exit = JumpBack;
  if (setjmp(d->err.back)) {
    jpeg_destroy_decompress(cinfo);
    fclose(d->file);
    free(d->samples);
    d->samples = nullptr;
    return 0;
  }
  jpeg_create_decompress(cinfo);
  jpeg_stdio_src(cinfo, d->file);
  jpeg_read_header(cinfo, TRUE);
  if (scaleDenom != 1) cinfo->scale_denom = (unsigned)scaleDenom;
  cinfo->dct_method = JDCT_IFAST;
  jpeg_start_decompress(cinfo);
  d->width = (int)cinfo->output_width;
  d->height = (int)cinfo->output_height;
  d->components = cinfo->output_components;
  d->adobe = cinfo->saw_Adobe_marker != 0;
  const size_t rowBytes = (size_t)d->width * (size_t)d->components;
  d->samples = (uint8_t*)malloc(rowBytes * (size_t)d->height);
  bool ok = d->samples != nullptr;
  while (ok && cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = d->samples + rowBytes * cinfo->output_scanline;
    // The stdio source never suspends, so no rows means no progress.
    ok = jpeg_read_scanlines(cinfo, &row, 1) == 1;
  }
  if (ok) jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  fclose(d->file);
  if (!ok) {
    free(d->samples);
    d->samples = nullptr;
  }
  return ok ? 1 : 0;
}

}  // namespace

namespace {

bool ValidOptions(const JpegSampleOptions& o) {
  return o.width >= 1 && o.height >= 1 && o.width <= kMaxSide && o.height <= kMaxSide &&
         o.quality >= 1 && o.quality <= 100 &&
         (o.components == 1 || o.components == 3 || o.components == 4) && o.lumaH >= 1 &&
         o.lumaH <= 4 && o.lumaV >= 1 && o.lumaV <= 4 && o.orientation >= 0 &&
         o.orientation <= 8 && o.exifPreview.size() < 60000 &&
         (o.exifPreview.empty() || o.orientation);
}

// Writes to file, which it closes whatever happens.
int WriteTo(FILE* file, const JpegSampleOptions& o) {
  WriteJob* job = (WriteJob*)calloc(1, sizeof(WriteJob));
  if (!job) {
    if (file) fclose(file);
    return 0;
  }
  MakeScene(o, &job->scene);
  const size_t side = (size_t)(o.width > o.height ? o.width : o.height);
  job->rgb = (uint8_t*)malloc(side * 3);
  job->stored = (uint8_t*)malloc(side * 4);
  if (o.orientation > 1) job->shown = (uint8_t*)malloc((size_t)o.width * o.height * 3);
  job->file = file;
  int ok = 0;
  if (job->rgb && job->stored && job->file && (o.orientation <= 1 || job->shown)) {
    ok = WriteFile(job, o);
  } else {
    EndWrite(job);
  }
  free(job);
  return ok;
}

}  // namespace

int WriteJpegSample(const char* hostPath, const JpegSampleOptions& o) {
  if (!hostPath || !ValidOptions(o)) return 0;
  return WriteTo(fopen(hostPath, "wb"), o);
}

int JpegSampleBytes(const JpegSampleOptions& o, std::string* out) {
  if (!out || !ValidOptions(o)) return 0;
  char* buffer = nullptr;
  size_t size = 0;
  // The stream's buffer holds the whole file once the writer has closed it.
  int ok = WriteTo(open_memstream(&buffer, &size), o);
  if (ok && buffer) out->assign(buffer, size);
  free(buffer);
  return ok && buffer ? 1 : 0;
}

int JpegPreviewBytes(const JpegSampleOptions& photo, int w, int h, std::string* out) {
  JpegSampleOptions o = photo;
  o.width = w;
  o.height = h;
  o.exifPreview.clear();
  o.progressive = false;
  if (!o.orientation) o.orientation = 1;
  std::string bytes;
  if (!JpegSampleBytes(o, &bytes)) return 0;
  // The APP1 segment the writer put right after the JFIF one goes.
  const size_t app1 = bytes.find("\xFF\xE1", 2);
  if (app1 == std::string::npos || app1 + 4 > bytes.size()) return 0;
  const size_t length = ((size_t)(uint8_t)bytes[app1 + 2] << 8) | (uint8_t)bytes[app1 + 3];
  bytes.erase(app1, length + 2);
  *out = bytes;
  return 1;
}

int DecodeJpegPlainOnly(const char* hostPath, int scaleDenom) {
  if (!hostPath) return 0;
  if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) return 0;
  PlainDecode* d = (PlainDecode*)calloc(1, sizeof(PlainDecode));
  if (!d) return 0;
  d->file = fopen(hostPath, "rb");
  const int ok = d->file ? RunPlainDecode(d, scaleDenom) : 0;
  free(d->samples);
  free(d);
  return ok;
}

int DecodeJpegPlain(const char* hostPath, int scaleDenom, PlainJpegImage* out) {
  if (!hostPath || !out) return 0;
  if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) return 0;
  PlainDecode* d = (PlainDecode*)calloc(1, sizeof(PlainDecode));
  if (!d) return 0;
  d->file = fopen(hostPath, "rb");
  int ok = d->file ? RunPlainDecode(d, scaleDenom) : 0;
  if (ok) {
    out->width = d->width;
    out->height = d->height;
    out->components = d->components;
    out->adobe = d->adobe;
    out->samples.assign(d->samples, d->samples + (size_t)d->width * d->height * d->components);
  }
  free(d->samples);
  free(d);
  return ok;
}
