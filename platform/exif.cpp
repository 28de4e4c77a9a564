// EXIF through libexif: the orientation tag and the embedded preview.
#include "platform/exif.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>

void ReadExifFacts(const BYTE* block, size_t size, ExifFacts* facts) {
  facts->orientation = 1;
  facts->preview = nullptr;
  facts->previewSize = 0;
  if (!block || size < 6 || size > kMaxExifBlock || memcmp(block, "Exif\0\0", 6) != 0) return;
  ExifData* data = exif_data_new();
  if (!data) return;
  // Read as stored: no tags made up or "fixed" on the way in.
  exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_load_data(data, block, (unsigned)size);
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data &&
      entry->size >= 2) {
    int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    if (value >= 1 && value <= 8) facts->orientation = value;
  }
  // libexif copies the preview out of the block, within the block's bounds.
  if (data->data && data->size >= 4 && data->size <= size) {
    facts->preview = (BYTE*)malloc(data->size);
    if (facts->preview) {
      memcpy(facts->preview, data->data, data->size);
      facts->previewSize = data->size;
    }
  }
  exif_data_unref(data);
}

void FreeExifFacts(ExifFacts* facts) {
  free(facts->preview);
  facts->preview = nullptr;
  facts->previewSize = 0;
}
