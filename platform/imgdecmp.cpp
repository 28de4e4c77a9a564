// The image decoder service on top of gdk-pixbuf's incremental loader.
// Only PNG, GIF, BMP and JPEG are decoded (and with --photos WebP, HEIF,
// AVIF and TIFF): the format is told from the first bytes and the loader is
// made for exactly that type, so no other loader of the system (vector,
// container or icon formats) ever sees our input. JPEG data goes to the
// program's JPEG path instead (platform/jpeg_stream.h), under its scan limit
// and memory cap, which gdk-pixbuf's loader could not keep.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/gdi.h"
#include "platform/pixbuf_decode.h"
#include "platform/pixbuf_library.h"
#include "platform/rgb565.h"

namespace {

std::atomic<bool> photoFormatsAllowed{false};
std::atomic<JpegStreamDecoder> jpegDecoder{nullptr};

// Enough leading bytes to tell the four formats apart (the PNG signature).
const DWORD kSniffBytes = 8;

const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A BMP's file header and its info header up to the colour count. The BMP
// loader allocates whatever the info header's size, the pixel offset and the
// colour count claim before it looks further, so all three are checked first:
// the info header is one of the known kinds, the pixels start within the
// first megabyte (past the headers, a colour table of 256 entries and masks
// need a few hundred bytes), and a palette picture's colour table holds at
// most what its depth can index (the loader takes a count of 2^31 or more as
// negative and asks for up to 4 GB). Deeper pictures have no table to size:
// their count is not looked at.
const DWORD kBmpCoreHeadBytes = 18;
const DWORD kBmpInfoSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
const DWORD kMaxBmpPixelOffset = 1024 * 1024;

bool BmpHeadSane(const BYTE* head, DWORD count) {
  if (count < kBmpCoreHeadBytes) return false;
  const DWORD pixelOffset = ReadLe32(head + 10), infoSize = ReadLe32(head + 14);
  bool knownInfo = false;
  for (DWORD size : kBmpInfoSizes) knownInfo = knownInfo || size == infoSize;
  if (!knownInfo || pixelOffset > kMaxBmpPixelOffset) return false;
  if (infoSize < 40) return true;  // no colour count in the older headers
  // A file that ends inside its info header cannot be decoded anyway.
  if (count < kBmpHeadBytes) return false;
  const DWORD depth = ReadLe16(head + 28);
  const DWORD colours = ReadLe32(head + 46);
  return depth > 8 || colours <= (1u << depth);
}

// A photo format's first bytes are gathered before anything is decided: the
// ftyp box, a WebP's headers (its loader reads them from the first write
// alone) and, in nearly every file, a HEIF's meta box or a TIFF's IFD0.
const DWORD kPhotoHeadBytes = 256 * 1024;
// The WebP (animations), HEIF, AVIF and TIFF loaders keep the whole file in
// memory until they close, outside the pixel budget, so no more than this
// is fed: a 48 MP HEIC or AVIF takes a few MB, an uncompressed 8-bit
// 5120 x 4096 TIFF 60 MiB.
const uint64_t kMaxPhotoInput = 64ull * 1024 * 1024;

// The loader type for the leading bytes, or null for anything we do not
// decode. A PNG needs its whole signature, so damaged signatures (line-end
// conversion, stray bytes) never reach the loader.
const char* LoaderTypeFor(const BYTE* head, DWORD count) {
  if (count >= 8 && memcmp(head, kPngSignature, 8) == 0) return "png";
  if (count >= 6 && (memcmp(head, "GIF87a", 6) == 0 || memcmp(head, "GIF89a", 6) == 0))
    return "gif";
  if (count >= 2 && head[0] == 'B' && head[1] == 'M') return "bmp";
  if (count >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "jpeg";
  return nullptr;
}

// One read through the caller's callback into buffer, asking at most max
// bytes. Returns the count, 0 at the end; a callback that reports more than
// it was allowed is taken as an error (readFailed) and as the end.
DWORD Pull(Decode* d, BYTE* buffer, DWORD max) {
  DWORD got = d->info->pfnGetData((char*)buffer, max, d->info->lParam);
  if (got > max) {
    d->readFailed = true;
    return 0;
  }
  return got;
}

void FitWithin(int w, int h, int maxW, int maxH, int* outW, int* outH);

// Bytes DecompressImageIndirect needs for a w x h picture: the loader's
// pixels, the reduced copy when there is one and the bitmap.
uint64_t DecodeCost(int w, int h, int maxW, int maxH) {
  int fitW, fitH;
  FitWithin(w, h, maxW, maxH, &fitW, &fitH);
  uint64_t cost = (uint64_t)w * (uint64_t)h * 4;
  if (fitW != w || fitH != h) cost += (uint64_t)fitW * (uint64_t)fitH * 4;
  return cost + (uint64_t)RowWords16(fitW) * (uint64_t)fitH * 2;
}

// Runs inside a write, once the loader knows the picture's size and before
// it allocates the pixels. A refused size is set to 0 x 0, which tells every
// loader module to stop without allocating.
uint64_t IndirectCost(const Decode* d, int w, int h) {
  return DecodeCost(w, h, d->info->iMaxWidth, d->info->iMaxHeight);
}

// Whether a full w x h picture is within the budget, with what the format's
// library holds beside it.
bool SizeAllowed(const Decode* d, int w, int h) {
  if (w <= 0 || h <= 0) return false;
  const uint64_t work = PixelBytes(w, h, PhotoWorkBytesPerPixel(d->photo));
  return d->cost(d, w, h) + work <= kMaxDecodeCost;
}

void OnSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
  Decode* d = (Decode*)data;
  // The HEIF and AVIF loaders tell the size only after decoding (HEIF's says
  // 0 x 0); their declared size was weighed before the first byte was fed.
  if (d->photo != kPhotoNone && !PhotoLoaderSignalsSizeFirst(d->photo)) return;
  if (SizeAllowed(d, width, height)) return;
  d->refused = true;
  Gdk().gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// Hands count bytes to the loader. False when the loader failed (it is then
// closed by gdk-pixbuf) or refused the size.
bool Write(Decode* d, const BYTE* bytes, DWORD count) {
  count = PictureExtentTake(&d->extent, bytes, count);
  if (count == 0) return true;
  d->fed += count;
  if (d->photo != kPhotoNone && d->fed > kMaxPhotoInput) return false;
  if (d->gif) GifCheckFeed(&d->gifCheck, bytes, count);
  GError* error = nullptr;
  gboolean ok = Gdk().gdk_pixbuf_loader_write(d->loader, bytes, count, &error);
  if (error) Gdk().g_error_free(error);
  return ok && !d->refused;
}

// Whether a GIF closed with frames missing may still be shown. The loader
// says so when the data ends before the trailer, which many real files do
// (a lost trailer, a cut-off later frame); the first frame is what we show,
// and a cut inside it leaves the rest transparent, like a truncated JPEG.
bool AcceptableCloseError(const Decode* d, const GError* error) {
  return d->gif && error && error->domain == Gdk().gdk_pixbuf_error_quark() &&
         error->code == GDK_PIXBUF_ERROR_INCOMPLETE_ANIMATION;
}

// Feeds the input: the already pulled leading bytes first, then one buffer
// at a time until the callback returns 0 or the picture's data is complete
// (nothing after it is read). Stops at the first failure.
// True when the loader took everything and closed without an error (or
// with a GIF's missing later frames, see above). The PNG and BMP loaders
// close cleanly on pixel data cut short, the rest of their zeroed pixels
// left blank, so such files show what was read too.
bool FeedAll(Decode* d, bool ended) {
  DecompressImageInfo* info = d->info;
  bool ok = Write(d, d->lead, d->leadCount);
  while (ok && !ended && !d->extent.complete) {
    DWORD got = Pull(d, info->pbBuffer, info->dwBufferMax);
    if (got == 0) break;
    ok = Write(d, info->pbBuffer, got);
  }
  if (d->readFailed) ok = false;
  // Closing after a failed write is harmless: the loader is closed already.
  GError* error = nullptr;
  bool closed = Gdk().gdk_pixbuf_loader_close(d->loader, &error) || AcceptableCloseError(d, error);
  if (error) Gdk().g_error_free(error);
  // The GIF loader draws impossible codes and colours as best it can.
  bool damagedGif = d->gif && GifCheckDamaged(&d->gifCheck);
  return ok && closed && !d->refused && !damagedGif;
}

DWORD PullForJpeg(void* context, BYTE* buffer, DWORD max) {
  return Pull((Decode*)context, buffer, max);
}

// The largest library reduction that still covers the fit size; when that
// is over the budget, the smallest larger one within it (the picture then
// comes out smaller than the fit size), or 0 when even 1/8 is over.
int ChooseJpegScale(void* context, int width, int height) {
  const Decode* d = (const Decode*)context;
  const int maxW = d->info->iMaxWidth, maxH = d->info->iMaxHeight;
  if (width < 1 || height < 1) return 0;
  int fitW, fitH;
  FitWithin(width, height, maxW, maxH, &fitW, &fitH);
  int denom = 8;
  while (denom > 1 && ((width + denom - 1) / denom < fitW || (height + denom - 1) / denom < fitH))
    denom /= 2;
  for (; denom <= 8; denom *= 2)
    if (DecodeCost((width + denom - 1) / denom, (height + denom - 1) / denom, maxW, maxH) <=
        kMaxDecodeCost)
      return denom;
  return 0;
}

// The decoded picture's pixels: a pixbuf of its size in d->picture.
BYTE* JpegRows(void* context, int width, int height, size_t* stride) {
  Decode* d = (Decode*)context;
  d->picture = Gdk().gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (!d->picture) return nullptr;
  *stride = (size_t)Gdk().gdk_pixbuf_get_rowstride(d->picture);
  return Gdk().gdk_pixbuf_get_pixels(d->picture);
}

// JPEG data into d->picture. False when nothing came of it.
bool DecodeJpegInput(Decode* d, DWORD leading, bool ended) {
  DecompressImageInfo* info = d->info;
  const JpegStreamDecoder decode = jpegDecoder.load(std::memory_order_relaxed);
  if (!decode) return false;
  // The library's own memory (a progressive file's coefficients) gets the
  // same budget again.
  JpegStream stream = {info->pbBuffer, info->dwBufferMax, leading,
                       ended,           PullForJpeg,       d->jpegScale,
                       JpegRows,        d,                 (long)kMaxDecodeCost,
                       d->wantOrientation ? &d->orientation : nullptr};
  if (!decode(stream) && d->picture) {
    Gdk().g_object_unref(d->picture);
    d->picture = nullptr;
  }
  return d->picture && !d->readFailed;
}

// Everything else through a gdk-pixbuf loader of exactly the type, into
// d->picture. False when nothing came of it.
bool DecodeWithLoader(Decode* d, const char* type, bool ended) {
  d->gif = strcmp(type, "gif") == 0;
  GifCheckStart(&d->gifCheck);
  PictureExtentStart(&d->extent, type);
  GError* error = nullptr;
  d->loader = Gdk().gdk_pixbuf_loader_new_with_type(type, &error);
  if (error) Gdk().g_error_free(error);
  if (!d->loader) return false;
  Gdk().g_signal_connect_data(d->loader, "size-prepared", G_CALLBACK(OnSizePrepared), d,
                              nullptr, (GConnectFlags)0);
  // Everything in, closed cleanly, a picture out. An animation gives its
  // first frame as the static image.
  if (!FeedAll(d, ended)) return false;
  GdkPixbuf* picture = Gdk().gdk_pixbuf_loader_get_pixbuf(d->loader);
  if (!picture) return false;
  d->picture = (GdkPixbuf*)(Gdk().g_object_ref)(picture);
  Gdk().g_object_unref(d->loader);
  d->loader = nullptr;
  // The orientation a loader leaves to its caller (the TIFF one does).
  const char* orientation = Gdk().gdk_pixbuf_get_option(d->picture, "orientation");
  const int value = orientation ? atoi(orientation) : 1;
  d->orientation = value >= 1 && value <= 8 ? value : 1;
  // A picture larger than its container declared is not trusted either.
  return SizeAllowed(d, Gdk().gdk_pixbuf_get_width(d->picture), Gdk().gdk_pixbuf_get_height(d->picture));
}

// WebP, HEIF, AVIF or TIFF: the first bytes gathered aside, the format and
// its declared size read from them, and only a size within the budget fed
// to that format's loader.
bool DecodePhoto(Decode* d, DWORD have, bool ended) {
  DecompressImageInfo* info = d->info;
  // The caller's buffer may already hold more than the head.
  d->gathered = (BYTE*)malloc(have > kPhotoHeadBytes ? have : kPhotoHeadBytes);
  if (!d->gathered) return false;
  memcpy(d->gathered, info->pbBuffer, have);
  DWORD count = have;
  while (!ended && count < kPhotoHeadBytes) {
    const DWORD room = kPhotoHeadBytes - count;
    const DWORD got = Pull(d, info->pbBuffer, room < info->dwBufferMax ? room : info->dwBufferMax);
    memcpy(d->gathered + count, info->pbBuffer, got);
    ended = got == 0;
    count += got;
  }
  if (d->readFailed) return false;
  d->photo = SniffPhotoFormat(d->gathered, count);
  if (d->photo == kPhotoNone) return false;
  int width = 0, height = 0;
  const DeclaredSize declared = ReadDeclaredSize(d->photo, d->gathered, count, &width, &height);
  // A size out of reach (a TIFF's IFD0 at the end) is left to a loader that
  // weighs it before allocating; the others would decode it first.
  if (declared == kSizeDamaged) return false;
  if (declared == kSizeNotHere && !PhotoLoaderSignalsSizeFirst(d->photo)) return false;
  if (declared == kSizeKnown && !SizeAllowed(d, width, height)) return false;
  d->lead = d->gathered;
  d->leadCount = count;
  return DecodeWithLoader(d, PhotoLoaderType(d->photo), ended);
}

// The size that fits w x h within maxW x maxH with the aspect kept, each
// side at least 1; unchanged when it already fits (never enlarged).
void FitWithin(int w, int h, int maxW, int maxH, int* outW, int* outH) {
  *outW = w;
  *outH = h;
  if (w <= maxW && h <= maxH) return;
  // Compare w / h with maxW / maxH without division: the tighter side wins.
  if ((int64_t)w * maxH >= (int64_t)h * maxW) {
    *outW = maxW;
    *outH = (int)(((int64_t)h * maxW + w / 2) / w);
  } else {
    *outH = maxH;
    *outW = (int)(((int64_t)w * maxH + h / 2) / h);
  }
  if (*outW < 1) *outW = 1;
  if (*outH < 1) *outH = 1;
  if (*outW > maxW) *outW = maxW;
  if (*outH > maxH) *outH = maxH;
}

// Packs an 8-bit RGB or RGBA pixbuf into a new bitmap, alpha laid over
// white. Picture row y (0 = top) goes to memory row height - 1 - y.
HBITMAP PackPixbuf(HDC hdc, const GdkPixbuf* pixbuf) {
  if (!PixbufLayoutOk(pixbuf)) return nullptr;
  const int width = Gdk().gdk_pixbuf_get_width(pixbuf);
  const int height = Gdk().gdk_pixbuf_get_height(pixbuf);
  PixelRows rows;
  HBITMAP bitmap = CreatePictureBitmap(width, height, &rows);
  if (!bitmap) return nullptr;
  uint16_t* row = nullptr;
  int rowY = -1;
  WalkOverWhite(pixbuf, [&](int x, int y, unsigned r, unsigned g, unsigned b) {
    if (y != rowY) row = rows.Row(rowY = y);
    row[x] = PackRgb565(r, g, b);
  });
  return bitmap;
}

// The steps of DecompressImageIndirect after the record was checked.
// Returns the bitmap, or null with nothing made.
HBITMAP RunIndirect(Decode* d, GdkPixbuf** reduced) {
  DecompressImageInfo* info = d->info;
  if (!DecodeToPixbuf(d)) return nullptr;
  // Reduced to fit with an averaging filter; smaller ones stay as they are.
  const int w = Gdk().gdk_pixbuf_get_width(d->picture);
  const int h = Gdk().gdk_pixbuf_get_height(d->picture);
  if (w < 1 || h < 1) return nullptr;
  int fitW, fitH;
  FitWithin(w, h, info->iMaxWidth, info->iMaxHeight, &fitW, &fitH);
  const GdkPixbuf* source = d->picture;
  if (fitW != w || fitH != h) {
    *reduced = Gdk().gdk_pixbuf_scale_simple(d->picture, fitW, fitH, GDK_INTERP_BILINEAR);
    if (!*reduced) return nullptr;
    source = *reduced;
  }
  // Packed into the 16-bit bitmap.
  return PackPixbuf(info->hdc, source);
}

}  // namespace

bool PixbufLayoutOk(const GdkPixbuf* pixbuf) {
  const int width = Gdk().gdk_pixbuf_get_width(pixbuf);
  const int height = Gdk().gdk_pixbuf_get_height(pixbuf);
  const int channels = Gdk().gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = Gdk().gdk_pixbuf_get_has_alpha(pixbuf);
  return Gdk().gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB &&
         Gdk().gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 && channels == (alpha ? 4 : 3) &&
         width >= 1 && height >= 1 && Gdk().gdk_pixbuf_get_rowstride(pixbuf) >= width * channels &&
         Gdk().gdk_pixbuf_read_pixels(pixbuf) != nullptr;
}

bool DecodeToPixbuf(Decode* d) {
  DecompressImageInfo* info = d->info;
  d->orientation = 1;
  if (!PixbufLibrary()) return false;
  // The leading bytes, which may come over several reads.
  DWORD have = 0;
  bool ended = false;
  while (have < kSniffBytes) {
    DWORD got = Pull(d, info->pbBuffer + have, info->dwBufferMax - have);
    if (got == 0) {
      ended = true;
      break;
    }
    have += got;
  }
  if (d->readFailed) return false;
  // A loader of exactly the recognised type.
  const char* type = LoaderTypeFor(info->pbBuffer, have);
  if (!type && photoFormatsAllowed.load(std::memory_order_relaxed) &&
      MayBePhotoFormat(info->pbBuffer, have))
    return DecodePhoto(d, have, ended);
  if (!type) return false;
  d->lead = info->pbBuffer;
  if (strcmp(type, "bmp") == 0 && have < kBmpHeadBytes) {
    // The header is gathered aside: the caller's buffer may be smaller.
    memcpy(d->head, info->pbBuffer, have);
    while (have < kBmpHeadBytes && !ended) {
      DWORD want = kBmpHeadBytes - have;
      DWORD got = Pull(d, info->pbBuffer, want < info->dwBufferMax ? want : info->dwBufferMax);
      memcpy(d->head + have, info->pbBuffer, got);
      ended = got == 0;
      have += got;
    }
    d->lead = d->head;
  }
  if (d->readFailed) return false;
  if (strcmp(type, "bmp") == 0 && !BmpHeadSane(d->lead, have)) return false;
  d->leadCount = have;
  return strcmp(type, "jpeg") == 0 ? DecodeJpegInput(d, have, ended)
                                   : DecodeWithLoader(d, type, ended);
}

void ReleaseDecode(Decode* d) {
  if (d->picture) Gdk().g_object_unref(d->picture);
  if (d->loader) Gdk().g_object_unref(d->loader);
  free(d->gathered);
  d->picture = nullptr;
  d->loader = nullptr;
  d->gathered = nullptr;
}

// Pulls the whole input through pfnGetData (at most dwBufferMax bytes per
// call, into pbBuffer, until it returns 0 or the decode has failed), decodes
// PNG, GIF (first frame), BMP or JPEG, reduces it to iMaxWidth x iMaxHeight
// when larger, and stores a new bottom-up RGB565 bitmap through phBM.
// dwSize, iBitDepth, iScale, ppImageRender, pfnImageProgress and
// crTransparentOverride are not looked at: the depth is always 16, the scale
// 100 and transparency always lies over white. Each call owns its loader,
// so calls on different threads do not share state.
HRESULT DecompressImageIndirect(DecompressImageInfo* info) {
  if (!info || !info->phBM || !info->pbBuffer || !info->pfnGetData ||
      info->dwBufferMax < kSniffBytes || info->iMaxWidth < 1 || info->iMaxHeight < 1)
    return E_FAIL;
  Decode d = {};
  d.info = info;
  d.cost = IndirectCost;
  d.jpegScale = ChooseJpegScale;
  GdkPixbuf* reduced = nullptr;
  HBITMAP bitmap = RunIndirect(&d, &reduced);
  if (reduced) Gdk().g_object_unref(reduced);
  ReleaseDecode(&d);
  if (!bitmap) return E_FAIL;
  *info->phBM = bitmap;
  return S_OK;
}

void ImageDecoderAllowPhotoFormats(bool on) {
  photoFormatsAllowed.store(on, std::memory_order_relaxed);
}

void ImageDecoderUseJpeg(JpegStreamDecoder decoder) {
  jpegDecoder.store(decoder, std::memory_order_relaxed);
}
