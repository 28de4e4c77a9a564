// The JPEG path: the library decodes (reduced in the DCT domain), then we
// resample in sixteenths, turn, dither and pack into a 16-bit bitmap.
#include <cstdlib>
#include <cstring>

#include "imaging/brightness.h"
#include "imaging/jpeg_convert.h"
#include "imaging/jpeg_sizing.h"
#include "imaging/picture.h"
#include "jpeg/binding.h"
#include "platform/cursor.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/rgb565.h"

namespace {

// Thumbnails are only made from files up to this size, which bounds the
// background worker's work; exactly 1 MiB is still accepted.
const long kThumbnailFileLimit = 1048576;
const int kNoiseCount = 140;

// Everything one decode owns. Plain data only (it is calloc'ed and crosses
// a longjmp), so nothing in it may have a destructor.
struct JpegDecode {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegProgress progress;
  FILE* file;
  BYTE* buffer;  // OW x OH x 3 bytes, red, green, blue, top row first
  HBITMAP bitmap;
  uint16_t* bits;
  BYTE noise[kNoiseCount];
  bool thumbnail;
  int fitMode;
  int outWidth;   // OW
  int outHeight;  // OH
  JpegOutputSize size;
  DecodeWatch watch;
};

// A zeroed RGB565 bitmap of FW x FH for the screen.
HBITMAP CreatePictureBitmap(int fw, int fh, uint16_t** bits) {
  Rgb565Info info = MakeRgb565Info(fw, fh);
  HDC screen = GetDC(nullptr);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, (const BITMAPINFO*)&info, DIB_RGB_COLORS, &pixels,
                                    nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!bitmap) return nullptr;
  *bits = (uint16_t*)pixels;  // zero from creation, padding words included
  return bitmap;
}

// The decode itself, from the library set-up to closing the file.
// Returns 1 with d->bitmap filled, or 0 after a failure that left the
// decompression object alive (it is destroyed here). A fatal library error
// never returns: it lands at the setjmp in DecodeJpegPicture.
__attribute__((noinline)) int RunDecode(JpegDecode* d) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  // The library: error manager, object, source, header.
  cinfo->err = JpegSetupErrorManager(&d->err);
  jpeg_create_decompress(cinfo);
  JpegSetupProgress(cinfo, &d->progress, d->watch.watched, d->watch.expected);
  jpeg_stdio_src(cinfo, d->file);
  jpeg_read_header(cinfo, TRUE);
  int components;
  // Screen and library scale.
  JpegRequest req = {d->thumbnail, d->fitMode, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN)};
  int divisor;
  int denom = ChooseLibraryScale(req, (int)cinfo->image_width, (int)cinfo->image_height, &divisor);
  JpegApplySettings(cinfo, denom, d->thumbnail ? kThumbnailLibraryMemory : kViewerLibraryMemory);
  // A header may claim up to 65500 x 65500; refuse before anything large.
  if (!JpegOutputWithin(cinfo, d->thumbnail ? kMaxThumbnailLibraryPixels : kMaxViewerLibraryPixels))
    goto fail;
  // Start; the library rounds W / d and H / d up.
  jpeg_start_decompress(cinfo);
  d->outWidth = (int)cinfo->output_width;
  d->outHeight = (int)cinfo->output_height;
  components = cinfo->output_components;
  // Output size, step and turn.
  d->size = ChooseOutputSize(req, d->outWidth, d->outHeight);
  if (d->size.width <= 0 || d->size.height <= 0) goto fail;
  if (components != 1 && components != 3 && components != 4) goto fail;
  {
    // Intermediate buffer and the one-row sample array, then the rows.
    const size_t rowBytes = (size_t)d->outWidth * 3;
    d->buffer = (BYTE*)malloc(rowBytes * (size_t)d->outHeight);
    if (!d->buffer) goto fail;
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE,
                                                 cinfo->output_width * (JDIMENSION)components, 1);
    const bool adobe = cinfo->saw_Adobe_marker;
    size_t offset = 0;
    while (cinfo->output_scanline < cinfo->output_height) {
      // The stdio source never suspends; a zero count would only spin.
      if (jpeg_read_scanlines(cinfo, row, 1) != 1) goto fail;
      JpegRowToRgb(row[0], components, d->outWidth, adobe, d->buffer + offset);
      offset += rowBytes;
    }
  }
  // The bitmap, zeroed, then filled.
  d->bitmap = CreatePictureBitmap(d->size.width, d->size.height, &d->bits);
  if (!d->bitmap) goto fail;
  {
    JpegConversion conversion = {d->buffer, d->outWidth, d->outHeight, d->size,
                                 d->thumbnail, d->noise, d->bits};
    if (!ConvertJpegPicture(conversion)) goto fail;
  }
  // Done with the library and the file.
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return 1;
fail:
  jpeg_destroy_decompress(cinfo);
  return 0;
}

// Failure path, shared by library and own failures once the object is gone.
// Releases the decode's state too.
PictureBitmap FailDecode(JpegDecode* d) {
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  fclose(d->file);
  free(d->buffer);
  if (d->bitmap) DeleteObject(d->bitmap);
  free(d);
  return nullptr;
}

}  // namespace

// Holds no object with a destructor: a fatal library error longjmps back
// into this frame. The decode's state lives on the heap, so what RunDecode
// changed is still there after the jump; only the pointer is local, and it
// never changes after setjmp.
PictureBitmap DecodeJpegPicture(const WCHAR* path, int thumbnail, int fitMode,
                                const DecodeWatch* watch) {
  JpegDecode* const d = (JpegDecode*)calloc(1, sizeof(JpegDecode));
  if (!d) return nullptr;
  if (watch) d->watch = *watch;
  d->thumbnail = thumbnail != 0;
  d->fitMode = fitMode;
  // Dither noise, drawn at the start of every decode, thumbnails too.
  for (int i = 0; i < kNoiseCount; i++) d->noise[i] = (BYTE)(rand() % 8);
  // The file, opened before the jump point so the failure path knows it.
  d->file = _wfopen(path, L"rb");
  if (!d->file) {
    free(d);
    return nullptr;
  }
  // Thumbnails only from files up to 1 MiB; the viewer shows it is busy.
  if (d->thumbnail) {
    long size = -1;
    if (fseek(d->file, 0, SEEK_END) == 0) size = ftell(d->file);
    if (size < 0 || size > kThumbnailFileLimit || fseek(d->file, 0, SEEK_SET) != 0) {
      fclose(d->file);
      free(d);
      return nullptr;
    }
  } else {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
  }
  if (setjmp(d->err.failurePath)) return FailDecode(d);  // object already destroyed
  if (!RunDecode(d)) return FailDecode(d);
  fclose(d->file);
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
