// The JPEG path: the library decodes (reduced in the DCT domain), then we
// resample in sixteenths, turn, dither and pack into a 16-bit bitmap.
#include <cstdlib>
#include <cstring>

#include <jerror.h>

#include "imaging/brightness.h"
#include "imaging/photos.h"
#include "imaging/jpeg_convert.h"
#include "imaging/jpeg_sizing.h"
#include "imaging/picture.h"
#include "jpeg/decode.h"
#include "platform/cursor.h"
#include "platform/exif.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/rgb565.h"

namespace {

// Thumbnails are only made from files up to this size, which bounds the
// background worker's work; exactly 1 MiB is still accepted.
const long kThumbnailFileLimit = 1048576;
// Each read of the file is one bounded request to the platform's reader.
const size_t kJpegReadBuffer = 65536;

// Everything one decode owns. Plain data only (it is calloc'ed and crosses
// a longjmp), so nothing in it may have a destructor.
struct JpegDecode {
  JpegDecodeState jpeg;
  HANDLE file;
  BYTE readBuffer[kJpegReadBuffer];
  BYTE* buffer;  // OW x OH x 3 bytes, red, green, blue, top row first
  HBITMAP bitmap;
  uint16_t* bits;
  BYTE noise[kNoiseCount];
  bool thumbnail;
  int fitMode;
  JpegRequest req;
  int outWidth;   // OW
  int outHeight;  // OH
  JpegOutputSize size;
  DecodeWatch watch;
  // Photos only: the EXIF block's orientation and preview, and whether the
  // preview stands in for the picture (a thumbnail of matching shape).
  bool photos;
  bool previewAllowed;
  bool previewUsed;
  int orientation;
  JpegExifBlock exifBlock;
  ExifFacts exif;
  // The preview's bytes not yet handed to the library.
  const uint8_t* previewAt;
  size_t previewLeft;
};

// The file through the platform's bounded reads; a read that failed or had
// no answer in time fails the decode.
long PullFile(void* context, uint8_t* buffer, size_t max) {
  DWORD got = 0;
  if (!ReadFile((HANDLE)context, buffer, (DWORD)max, &got, nullptr)) return -1;
  return (long)got;
}

long PullPreview(void* context, uint8_t* buffer, size_t max) {
  JpegDecode* d = (JpegDecode*)context;
  const size_t count = d->previewLeft < max ? d->previewLeft : max;
  memcpy(buffer, d->previewAt, count);
  d->previewAt += count;
  d->previewLeft -= count;
  return (long)count;
}

// The picture's header, from the file's start; the input limited by the
// size it declares.
void ReadPictureHeader(JpegDecode* d) {
  JpegSetupPullSource(&d->jpeg.cinfo, &d->jpeg.source, PullFile, d->file, d->readBuffer,
                      sizeof(d->readBuffer), 0, false);
  jpeg_read_header(&d->jpeg.cinfo, TRUE);
  JpegLimitInput(&d->jpeg.cinfo);
}

// A preview stands in for a thumbnail when it is large enough for one and
// of the picture's shape within a row: phones embed 160 x 120 for 4:3, and
// a 16:9 photo's 160 x 120 preview has bars that must not show.
bool PreviewMatches(int previewWidth, int previewHeight, int width, int height) {
  if (previewWidth < kThumbnailSide && previewHeight < kThumbnailSide) return false;
  const int64_t skew = (int64_t)previewHeight * width - (int64_t)previewWidth * height;
  return (skew < 0 ? -skew : skew) <= width;
}

// Photos, thumbnails: when the EXIF preview fits the picture, the library
// starts again on it. Its header is read here; a damaged one fails this
// decode and the caller tries again without the preview.
void SwitchToPreview(JpegDecode* d) {
  jpeg_decompress_struct* cinfo = &d->jpeg.cinfo;
  if (!d->exif.preview || d->exif.previewSize == 0) return;
  // The preview's size is in its own header: read it on the same object.
  const int width = (int)cinfo->image_width, height = (int)cinfo->image_height;
  d->previewAt = d->exif.preview;
  d->previewLeft = d->exif.previewSize;
  jpeg_abort_decompress(cinfo);
  JpegSetupPullSource(cinfo, &d->jpeg.source, PullPreview, d, d->readBuffer,
                      sizeof(d->readBuffer), 0, false);
  d->previewUsed = true;
  jpeg_read_header(cinfo, TRUE);
  if (!PreviewMatches((int)cinfo->image_width, (int)cinfo->image_height, width, height)) {
    // Back to the picture itself, from its start.
    jpeg_abort_decompress(cinfo);
    d->previewUsed = false;
    if (SetFilePointer(d->file, 0, nullptr, FILE_BEGIN) != 0) ERREXIT(cinfo, JERR_FILE_READ);
    ReadPictureHeader(d);
  }
}

// After the header: the orientation and maybe the preview (photos), then
// the library scale for the picture put upright.
int OnHeader(void* context, jpeg_decompress_struct* cinfo) {
  JpegDecode* d = (JpegDecode*)context;
  d->orientation = 1;
  if (d->photos) {
    ReadExifFacts(d->exifBlock.bytes, d->exifBlock.size, &d->exif);
    d->orientation = d->exif.orientation;
    if (d->thumbnail && d->previewAllowed) SwitchToPreview(d);
  }
  d->req = {d->thumbnail, d->fitMode, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const bool swap = OrientationSwapsSides(d->orientation);
  const int width = (int)cinfo->image_width, height = (int)cinfo->image_height;
  int divisor;
  int denom = ChooseLibraryScale(d->req, swap ? height : width, swap ? width : height, &divisor);
  JpegApplySettings(cinfo, denom, d->thumbnail ? kThumbnailLibraryMemory : kViewerLibraryMemory);
  // A header may claim up to 65500 x 65500; refuse before anything large.
  return JpegOutputWithin(cinfo, d->thumbnail ? kMaxThumbnailLibraryPixels : kMaxViewerLibraryPixels);
}

// The library rounds W / d and H / d up; the output size, step and turn
// follow, then the intermediate buffer.
int OnStarted(void* context, jpeg_decompress_struct* cinfo) {
  JpegDecode* d = (JpegDecode*)context;
  d->outWidth = (int)cinfo->output_width;
  d->outHeight = (int)cinfo->output_height;
  const bool swap = OrientationSwapsSides(d->orientation);
  d->size = ChooseOutputSize(d->req, swap ? d->outHeight : d->outWidth,
                             swap ? d->outWidth : d->outHeight);
  if (d->size.width <= 0 || d->size.height <= 0) return 0;
  d->buffer = (BYTE*)malloc((size_t)d->outWidth * 3 * (size_t)d->outHeight);
  return d->buffer != nullptr;
}

uint8_t* BufferRow(void* context, int y) {
  JpegDecode* d = (JpegDecode*)context;
  return d->buffer + (size_t)y * (size_t)d->outWidth * 3;
}

// The bitmap, zeroed, then filled, before the library reads on to the
// end-of-image marker (a damaged one still fails the decode).
int OnRowsDone(void* context) {
  JpegDecode* d = (JpegDecode*)context;
  JpegConversion conversion = {d->buffer, d->outWidth,  d->outHeight, d->orientation,
                               d->size,   d->thumbnail, d->noise,     {}};
  d->bitmap = CreateConvertedBitmap(&conversion);
  if (!d->bitmap) return 0;
  d->bits = (uint16_t*)conversion.rows.pixels;
  return 1;
}

const JpegSteps kSteps = {OnHeader, OnStarted, BufferRow, OnRowsDone};

// Failure path, once the library's object is gone. Releases the decode's
// state too.
PictureBitmap FailDecode(JpegDecode* d) {
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  CloseHandle(d->file);
  free(d->buffer);
  FreeExifFacts(&d->exif);
  if (d->bitmap) DeleteObject(d->bitmap);
  free(d);
  return nullptr;
}

// *previewUsed tells whether an EXIF preview was decoded (in place of the
// picture).
PictureBitmap DecodeJpegFile(const WCHAR* path, int thumbnail, int fitMode,
                             const DecodeWatch* watch, bool previewAllowed, bool* previewUsed) {
  *previewUsed = false;
  JpegDecode* const d = (JpegDecode*)calloc(1, sizeof(JpegDecode));
  if (!d) return nullptr;
  if (watch) d->watch = *watch;
  d->thumbnail = thumbnail != 0;
  d->fitMode = fitMode;
  d->photos = photosMode;
  d->previewAllowed = previewAllowed;
  // Dither noise, drawn at the start of every decode, thumbnails too.
  DrawDitherNoise(d->noise);
  // The file, opened before the jump point so the failure path knows it.
  d->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (d->file == INVALID_HANDLE_VALUE) {
    free(d);
    return nullptr;
  }
  // Thumbnails only from files up to 1 MiB, unless for photos, where the
  // decode's own bounds are what protects the worker; the viewer shows it
  // is busy.
  if (d->thumbnail && !d->photos) {
    DWORD high = 0;
    const DWORD size = GetFileSize(d->file, &high);
    if (high != 0 || size > (DWORD)kThumbnailFileLimit) {
      CloseHandle(d->file);
      free(d);
      return nullptr;
    }
  } else if (!d->thumbnail) {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
  }
  const JpegInput input = {PullFile,          d->file,
                           d->readBuffer,     sizeof(d->readBuffer),
                           0,                 false,
                           d->watch.watched,  d->watch.expected,
                           d->photos ? &d->exifBlock : nullptr};
  if (!JpegRunDecode(&d->jpeg, input, kSteps, d)) {
    *previewUsed = d->previewUsed;
    return FailDecode(d);
  }
  *previewUsed = d->previewUsed;
  CloseHandle(d->file);
  FreeExifFacts(&d->exif);
  // Viewer: arrow back, then the picture becomes the brightness source.
  // Registration comes last so a failure leaves the record as it was.
  PictureBitmap bitmap = d->bitmap;
  if (!d->thumbnail) {
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    uint32_t count = (uint32_t)RowWords16(d->size.width) * (uint32_t)d->size.height;
    if (!RegisterBrightnessSource(d->bits, count)) {
      DeleteObject(bitmap);
      bitmap = nullptr;
    }
  }
  // The buffer goes; the bitmap goes to the caller.
  free(d->buffer);
  free(d);
  return bitmap;
}

}  // namespace

PictureBitmap DecodeJpegPicture(const WCHAR* path, int thumbnail, int fitMode,
                                const DecodeWatch* watch) {
  bool previewUsed;
  PictureBitmap bitmap = DecodeJpegFile(path, thumbnail, fitMode, watch, true, &previewUsed);
  // A damaged preview: the picture itself, once more.
  if (!bitmap && previewUsed)
    bitmap = DecodeJpegFile(path, thumbnail, fitMode, watch, false, &previewUsed);
  return bitmap;
}
