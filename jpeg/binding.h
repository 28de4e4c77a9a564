// What the decoder needs of the JPEG library beyond its defaults: a fatal
// exit that hands control back to the decode instead of ending the process,
// and the settings that the decoded pixels depend on.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// One per decode, in the decoding routine's own frame. The fatal exit writes
// the library's message to standard error, destroys the decompression object
// and longjmps to failurePath; the object must not be touched after that.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf failurePath;
};

// The library's standard manager with our fatal exit; returns &err->pub for
// the object's err field. Call before jpeg_create_decompress.
jpeg_error_mgr* JpegSetupErrorManager(JpegErrorManager* err);

// Between jpeg_read_header and jpeg_start_decompress: scale 1/scaleDenom
// (1, 2, 4 or 8) and the fast integer inverse DCT; nothing else changes.
void JpegApplySettings(jpeg_decompress_struct* cinfo, int scaleDenom);
