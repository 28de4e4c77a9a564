// The JPEG library's error manager, progress monitor and decoding settings.
#include "jpeg/binding.h"

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

// Installed as error_exit; never returns to the library.
void FatalExit(j_common_ptr cinfo) {
  JpegErrorManager* err = (JpegErrorManager*)cinfo->err;
  // The library's own message on standard error, nothing shown.
  (*cinfo->err->output_message)(cinfo);
  // Free every byte of this decode; the object is dead from here on.
  jpeg_destroy(cinfo);
  // Back to the failure path of the decode on this thread.
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

bool JpegOutputWithin(jpeg_decompress_struct* cinfo, uint64_t maxPixels) {
  jpeg_calc_output_dimensions(cinfo);
  return (uint64_t)cinfo->output_width * cinfo->output_height <= maxPixels;
}
