// What the decoder needs of the JPEG library beyond its defaults: a fatal
// exit that hands control back to the decode instead of ending the process,
// the settings that the decoded pixels depend on, and the limits that keep a
// hostile file from costing minutes or gigabytes.
#pragma once

#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

// Real files have a few dozen scans at most; a file that repeats one scan
// thousands of times costs a pass over the whole picture per scan.
// libjpeg-turbo's own tools stop such files at 500, but the viewer decodes
// on the window's thread: 500 empty scans over 8192 x 8192 take 2.7 s on a
// desktop core, 100 about half a second.
const int kMaxJpegScans = 100;

// The library's working memory per decode (progressive files keep every
// coefficient: 3 bytes a pixel at 4:2:0, 6 at 4:4:4, 8 with four
// components). The viewer's cap takes a 64 MP four-component or an 89 MP
// 4:4:4 progressive photo; thumbnails come from files of 1 MiB at most, far
// below 44 MP, so their cap is a quarter of it.
const long kViewerLibraryMemory = 512L * 1024 * 1024;
const long kThumbnailLibraryMemory = 128L * 1024 * 1024;

// Bytes the library may take from one file, from the picture's declared
// size: its segments (EXIF with a preview, ICC, XMP, thumbnails: a few
// hundred kilobytes in camera files) within kJpegSegmentBytes, and its
// entropy-coded data within kJpegBytesPerSample a sample, four times what
// quality 100 spends on noise, 0xFF stuffing and every scan of a
// progressive file included. Past it the file is taken as ended, so junk
// after the picture (a 20 GB file of zeros) is never read through.
const uint64_t kJpegSegmentBytes = 16ull * 1024 * 1024;
const uint64_t kJpegBytesPerSample = 8;

// One per decode (see JpegRunDecode). The fatal exit writes the library's
// message to standard error and longjmps to failurePath, where the object
// is destroyed.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf failurePath;
};

// The library's standard manager with our fatal exit and our own messages;
// returns &err->pub for the object's err field. Call before
// jpeg_create_decompress.
jpeg_error_mgr* JpegSetupErrorManager(JpegErrorManager* err);

// The progress monitor: fails the decode through the fatal exit once the
// file has had more than kMaxJpegScans scans, or once *watched no longer
// holds expected (a decode nobody wants any more). watched may be null.
struct JpegProgress {
  jpeg_progress_mgr pub;
  const std::atomic<uint32_t>* watched;
  uint32_t expected;
};

// Installs progress on the object; call after jpeg_create_decompress.
void JpegSetupProgress(jpeg_decompress_struct* cinfo, JpegProgress* progress,
                       const std::atomic<uint32_t>* watched, uint32_t expected);

// Between jpeg_read_header and jpeg_start_decompress: scale 1/scaleDenom
// (1, 2, 4 or 8), the fast integer inverse DCT and the library's memory cap;
// nothing else changes.
void JpegApplySettings(jpeg_decompress_struct* cinfo, int scaleDenom, long memoryLimit);

// After JpegApplySettings: whether the library's output at the chosen scale
// stays within maxPixels. Allocates nothing.
bool JpegOutputWithin(jpeg_decompress_struct* cinfo, uint64_t maxPixels);

// One library row of 1, 3 or 4 samples per pixel into red, green, blue.
// Grey repeats its sample; CMYK from an Adobe file is stored inverted.
void JpegRowToRgb(const JSAMPLE* in, int components, int width, bool adobe, uint8_t* out);

// The first APP1 segment that holds EXIF ("Exif\0\0" and on), at most the
// largest a segment can be. Kept by our own marker reader rather than the
// library's marker saving, whose copies of every segment would not be
// bounded.
struct JpegExifBlock {
  uint8_t bytes[65533];
  size_t size;  // 0 when the file had none
};

// Before jpeg_read_header: fills *block from the header's APP1 segments.
// Takes the object's client_data; the source must never suspend.
void JpegKeepExif(jpeg_decompress_struct* cinfo, JpegExifBlock* block);

// A source that pulls its bytes through a callback and never suspends: at
// the end of the data, or past the limit, the library is warned and handed
// an end-of-image marker, as its own file source does, so a cut file still
// decodes. A pull that fails is a fatal library error (the decode fails).
// Plain data: it lives in the decode's heap state.
typedef long (*JpegPull)(void* context, uint8_t* buffer, size_t max);  // -1: failed
struct JpegPullSource {
  jpeg_source_mgr pub;
  JpegPull pull;
  void* context;
  uint8_t* buffer;
  size_t bufferMax;
  uint64_t taken;  // bytes handed to the library so far
  uint64_t limit;
  bool ended;
};

// Installs src on the object; the buffer's first `have` bytes are the
// data's start (ended: they are all of it). The limit is kJpegSegmentBytes
// until JpegLimitInput.
void JpegSetupPullSource(jpeg_decompress_struct* cinfo, JpegPullSource* src, JpegPull pull,
                         void* context, uint8_t* buffer, size_t bufferMax, size_t have,
                         bool ended);
// After jpeg_read_header: the limit from the declared size (above).
void JpegLimitInput(jpeg_decompress_struct* cinfo);
