// The JPEG library's error manager and decoding settings.
#include "jpeg/binding.h"

namespace {

// A hostile header can ask for whole-image coefficient buffers of many
// gigabytes (progressive files). Past this the library fails the decode
// ("Backing store not supported") instead of exhausting the machine. It does
// not change any decoded pixel: a 12 MP progressive photo needs about 40 MiB.
const long kLibraryMemoryLimit = 256L * 1024 * 1024;

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

}  // namespace

jpeg_error_mgr* JpegSetupErrorManager(JpegErrorManager* err) {
  jpeg_error_mgr* pub = jpeg_std_error(&err->pub);
  pub->error_exit = FatalExit;
  return pub;
}

void JpegApplySettings(jpeg_decompress_struct* cinfo, int scaleDenom) {
  if (scaleDenom == 2 || scaleDenom == 4 || scaleDenom == 8) cinfo->scale_denom = (unsigned)scaleDenom;
  // Requested explicitly: a library's own default can be another method.
  cinfo->dct_method = JDCT_IFAST;
  cinfo->mem->max_memory_to_use = kLibraryMemoryLimit;
}
