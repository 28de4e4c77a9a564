// How large a JPEG picture comes out: the library's DCT-domain scale, then
// our own step in sixteenths of a pixel and the quarter turn. Pure integer
// functions of the picture and screen sizes.
#pragma once

// A thumbnail fits within this square.
const int kThumbnailSide = 54;

// Bounds and steps of one request: a thumbnail, or a viewer picture in one
// fit mode on a screen of sw x sh.
struct JpegRequest {
  bool thumbnail;
  int fitMode;  // FitMode; ignored for thumbnails
  int screenWidth;
  int screenHeight;
};

// Whether a viewer picture of width x height is turned a quarter: it is
// larger than the screen and of the other shape (wider or taller).
bool TurnsForScreen(const JpegRequest& req, int width, int height);

// First pass: the reduction divisor n for a W x H picture and the library
// scale denominator (1, 2, 4 or 8) it gives.
int ChooseLibraryScale(const JpegRequest& req, int width, int height, int* divisor);

struct JpegOutputSize {
  int width;     // FW
  int height;    // FH
  int step;      // s, sixteenths of a library pixel between output pixels
  bool rotated;  // a quarter turn anticlockwise
};

// Second pass, from the library's output size OW x OH. A result with a zero
// side means the picture yields none.
JpegOutputSize ChooseOutputSize(const JpegRequest& req, int outWidth, int outHeight);
