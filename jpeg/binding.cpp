// The JPEG library's error manager, progress monitor and decoding settings.
#include "jpeg/binding.h"

#include <cstring>

#include <jerror.h>

namespace {

// Our own messages, after the library's table.
enum {
  kFirstMessage = 1000,
  kTooManyScans = kFirstMessage,
  kStopped,
  kLastMessage = kStopped,
};
const char* const kMessages[] = {
    "Too many scans (more than %d)",
    "Decode no longer wanted",
    nullptr,
};

// Integer product of two 8-bit values scaled back to 8 bits; truncating,
// as all of the decoder's divisions are.
uint8_t Mul255(unsigned a, unsigned b) { return (uint8_t)(a * b / 255); }

// Installed as error_exit; never returns to the library.
void FatalExit(j_common_ptr cinfo) {
  JpegErrorManager* err = (JpegErrorManager*)cinfo->err;
  // The library's own message on standard error, nothing shown.
  (*cinfo->err->output_message)(cinfo);
  // Back to the failure path of the decode on this thread, which destroys
  // the object.
  longjmp(err->failurePath, 1);
}

// Called before each input step (a row of blocks or a run of markers, so at
// least once per scan) and once per output row.
void Monitor(j_common_ptr common) {
  if (common->is_decompressor) {
    jpeg_decompress_struct* cinfo = (jpeg_decompress_struct*)common;
    if (cinfo->input_scan_number > kMaxJpegScans) {
      common->err->msg_code = kTooManyScans;
      common->err->msg_parm.i[0] = kMaxJpegScans;
      (*common->err->error_exit)(common);
    }
  }
  JpegProgress* p = (JpegProgress*)common->progress;
  if (p->watched && p->watched->load(std::memory_order_relaxed) != p->expected) {
    common->err->msg_code = kStopped;
    (*common->err->error_exit)(common);
  }
}

}  // namespace

jpeg_error_mgr* JpegSetupErrorManager(JpegErrorManager* err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err->pub);
  pub->error_exit = FatalExit;
  pub->addon_message_table = kMessages;
  pub->first_addon_message = kFirstMessage;
  pub->last_addon_message = kLastMessage;
  return pub;
}

void JpegSetupProgress(jpeg_decompress_struct* cinfo, JpegProgress* progress,
                       const std::atomic<uint32_t>* watched, uint32_t expected) {
  progress->pub.progress_monitor = Monitor;
  progress->watched = watched;
  progress->expected = expected;
  cinfo->progress = &progress->pub;
}

void JpegApplySettings(jpeg_decompress_struct* cinfo, int scaleDenom, long memoryLimit) {
  if (scaleDenom == 2 || scaleDenom == 4 || scaleDenom == 8) cinfo->scale_denom = (unsigned)scaleDenom;
  // Requested explicitly: a library's own default can be another method.
  cinfo->dct_method = JDCT_IFAST;
  // Past the cap the library fails the decode ("Backing store not
  // supported") before it allocates, instead of exhausting the machine.
  cinfo->mem->max_memory_to_use = memoryLimit;
}

void JpegRowToRgb(const JSAMPLE* in, int components, int width, bool adobe, uint8_t* out) {
  if (components == 3) {
    memcpy(out, in, (size_t)width * 3);
  } else if (components == 1) {
    for (int x = 0; x < width; x++, out += 3) out[0] = out[1] = out[2] = in[x];
  } else {
    for (int x = 0; x < width; x++, in += 4, out += 3) {
      unsigned c = in[0], m = in[1], y = in[2], k = in[3];
      if (!adobe) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
      out[0] = Mul255(c, k);
      out[1] = Mul255(m, k);
      out[2] = Mul255(y, k);
    }
  }
}

bool JpegOutputWithin(jpeg_decompress_struct* cinfo, uint64_t maxPixels) {
  jpeg_calc_output_dimensions(cinfo);
  return (uint64_t)cinfo->output_width * cinfo->output_height <= maxPixels;
}

namespace {

const size_t kExifSignature = 6;  // "Exif\0\0"

// The source never suspends, so a byte is always there (a fake end of image
// at worst).
unsigned NextByte(j_decompress_ptr cinfo) {
  jpeg_source_mgr* src = cinfo->src;
  if (src->bytes_in_buffer == 0) src->fill_input_buffer(cinfo);
  src->bytes_in_buffer--;
  return *src->next_input_byte++;
}

// APP1 segments: the first that holds EXIF is kept, the rest passed over.
boolean ReadApp1(j_decompress_ptr cinfo) {
  JpegExifBlock* block = (JpegExifBlock*)cinfo->client_data;
  long length = (long)(NextByte(cinfo) << 8);
  length += NextByte(cinfo);
  length -= 2;
  if (length < 0) return TRUE;
  uint8_t signature[kExifSignature];
  size_t got = 0;
  for (; got < (size_t)length && got < kExifSignature; got++) signature[got] = (uint8_t)NextByte(cinfo);
  if (block->size == 0 && got == kExifSignature &&
      memcmp(signature, "Exif\0\0", kExifSignature) == 0) {
    memcpy(block->bytes, signature, kExifSignature);
    for (; got < (size_t)length; got++) block->bytes[got] = (uint8_t)NextByte(cinfo);
    block->size = got;
  } else if (got < (size_t)length) {
    cinfo->src->skip_input_data(cinfo, length - (long)got);
  }
  return TRUE;
}

}  // namespace

void JpegKeepExif(jpeg_decompress_struct* cinfo, JpegExifBlock* block) {
  block->size = 0;
  cinfo->client_data = block;
  jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, ReadApp1);
}

namespace {

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  JpegPullSource* src = (JpegPullSource*)cinfo->src;
  long got = 0;
  if (!src->ended && src->taken < src->limit) {
    const uint64_t room = src->limit - src->taken;
    got = src->pull(src->context, src->buffer, room < src->bufferMax ? (size_t)room : src->bufferMax);
    if (got < 0) ERREXIT(cinfo, JERR_FILE_READ);
  }
  // As the library's own file source: nothing at all is an error.
  if (got == 0 && src->taken == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  if (got == 0) {
    src->ended = true;
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kFakeEoi;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  src->taken += (uint64_t)got;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = (size_t)got;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  while (count > (long)src->bytes_in_buffer) {
    count -= (long)src->bytes_in_buffer;
    FillInput(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= (size_t)count;
}

}  // namespace

void JpegSetupPullSource(jpeg_decompress_struct* cinfo, JpegPullSource* src, JpegPull pull,
                         void* context, uint8_t* buffer, size_t bufferMax, size_t have,
                         bool ended) {
  src->pull = pull;
  src->context = context;
  src->buffer = buffer;
  src->bufferMax = bufferMax;
  src->taken = have;
  src->limit = kJpegSegmentBytes;
  src->ended = ended;
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInput;
  src->pub.skip_input_data = SkipInput;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.next_input_byte = buffer;
  src->pub.bytes_in_buffer = have;
  cinfo->src = &src->pub;
}

void JpegLimitInput(jpeg_decompress_struct* cinfo) {
  JpegPullSource* src = (JpegPullSource*)cinfo->src;
  const uint64_t samples =
      (uint64_t)cinfo->image_width * cinfo->image_height * (uint64_t)cinfo->num_components;
  src->limit = kJpegSegmentBytes + samples * kJpegBytesPerSample;
}
