// --photos: what the program does beyond the handheld for today's photo
// collections (thumbnails of large files, EXIF orientation, more formats,
// large folders in natural order). Off unless asked for, so the handheld's
// behaviour stays the default.
#pragma once

// Set once at start, before any window or thread exists; read anywhere.
extern bool photosMode;

// Sets photosMode and tells the platform's image decoder which formats it
// may take.
void SetPhotosMode(bool on);
