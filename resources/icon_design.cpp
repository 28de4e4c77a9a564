// One list of shapes feeds both the rasteriser and the SVG writer, so the
// PNG and SVG icons cannot drift apart.
#include "resources/icon_design.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const int kGrid = 32;
const int kMaxSize = 1024;
// Samples per pixel side: enough for smooth edges at 48 pixels and up.
const int kSubsamples = 8;

struct Colour {
  double r, g, b;
};

Colour Grey(double v) { return {v, v, v}; }

enum Kind { ROUND_RECT, ELLIPSE };

// Filled with top at y0 fading to bottom at y1 (one colour when equal).
struct Shape {
  Kind kind;
  double x0, y0, x1, y1, radius;
  Colour top, bottom;
  double opacity;
};

const Colour kWhite = {255, 255, 255};

std::vector<Shape> Shapes() {
  const double cx = 16, cy = 18, r = 8.6;
  const double r1 = r - 0.9, r2 = r * 0.62, r3 = r * 0.45, g = r * 0.16;
  const double gx = cx - r * 0.2, gy = cy - r * 0.2;
  return {
      // shutter button and body
      {ROUND_RECT, 20, 4.5, 27, 9, 1.2, Grey(48), Grey(48), 1},
      {ROUND_RECT, 20.8, 5.3, 26.2, 9, 0.8, Grey(152), Grey(152), 1},
      {ROUND_RECT, 1, 7.5, 31, 28, 3.5, Grey(40), Grey(40), 1},
      {ROUND_RECT, 2, 8.5, 30, 27, 2.8, Grey(240), Grey(150), 1},
      // grip band along the bottom
      {ROUND_RECT, 2, 22, 30, 23, 0, Grey(96), Grey(96), 110 / 255.0},
      // flash and viewfinder window
      {ROUND_RECT, 4, 10.5, 10, 14.5, 0.8, Grey(72), Grey(72), 1},
      {ROUND_RECT, 5, 11.5, 9, 13.5, 0, {252, 248, 216}, {252, 248, 216}, 1},
      {ROUND_RECT, 23.5, 10.5, 28, 14.5, 0.8, {24, 32, 56}, {24, 32, 56}, 1},
      {ELLIPSE, 24.3, 11.2, 25.8, 12.7, 0, kWhite, kWhite, 220 / 255.0},
      // lens: red ring, dark barrel, glass and a glint
      {ELLIPSE, cx - r, cy - r, cx + r, cy + r, 0, {104, 8, 8}, {104, 8, 8}, 1},
      {ELLIPSE, cx - r1, cy - r1, cx + r1, cy + r1, 0, {248, 72, 64}, {184, 16, 16}, 1},
      {ELLIPSE, cx - r2, cy - r2, cx + r2, cy + r2, 0, Grey(24), Grey(24), 1},
      {ELLIPSE, cx - r3, cy - r3, cx + r3, cy + r3, 0, {64, 88, 144}, {16, 24, 48}, 1},
      {ELLIPSE, gx - g, gy - g, gx + g, gy + g, 0, kWhite, kWhite, 1},
  };
}

bool Inside(const Shape& s, double x, double y) {
  if (x < s.x0 || x > s.x1 || y < s.y0 || y > s.y1) return false;
  if (s.kind == ELLIPSE) {
    double rx = (s.x1 - s.x0) / 2, ry = (s.y1 - s.y0) / 2;
    double dx = (x - s.x0 - rx) / rx, dy = (y - s.y0 - ry) / ry;
    return dx * dx + dy * dy <= 1;
  }
  // The nearest corner's circle decides points in a corner square.
  double ex = x < s.x0 + s.radius ? s.x0 + s.radius : x > s.x1 - s.radius ? s.x1 - s.radius : x;
  double ey = y < s.y0 + s.radius ? s.y0 + s.radius : y > s.y1 - s.radius ? s.y1 - s.radius : y;
  return (x - ex) * (x - ex) + (y - ey) * (y - ey) <= s.radius * s.radius;
}

Colour At(const Shape& s, double y) {
  double t = s.y1 > s.y0 ? (y - s.y0) / (s.y1 - s.y0) : 0;
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return {s.top.r + (s.bottom.r - s.top.r) * t, s.top.g + (s.bottom.g - s.top.g) * t,
          s.top.b + (s.bottom.b - s.top.b) * t};
}

uint32_t Channel(double v) { return (uint32_t)std::lround(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

int DrawIconDesign(int size, uint32_t* argb) {
  if (size < 1 || size > kMaxSize || !argb) return 0;
  const std::vector<Shape> shapes = Shapes();
  const double unit = (double)kGrid / size;
  const int n = kSubsamples * kSubsamples;
  for (int py = 0; py < size; py++)
    for (int px = 0; px < size; px++) {
      // Premultiplied sums over the samples, each composited shape by shape.
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSubsamples; sy++)
        for (int sx = 0; sx < kSubsamples; sx++) {
          double x = (px + (sx + 0.5) / kSubsamples) * unit;
          double y = (py + (sy + 0.5) / kSubsamples) * unit;
          double cr = 0, cg = 0, cb = 0, ca = 0;
          for (const Shape& s : shapes) {
            if (!Inside(s, x, y)) continue;
            Colour c = At(s, y);
            double o = s.opacity;
            cr = c.r * o + cr * (1 - o);
            cg = c.g * o + cg * (1 - o);
            cb = c.b * o + cb * (1 - o);
            ca = o + ca * (1 - o);
          }
          r += cr, g += cg, b += cb, a += ca;
        }
      uint32_t alpha = Channel(a / n * 255);
      uint32_t pixel = 0;
      if (alpha) pixel = alpha << 24 | Channel(r / a) << 16 | Channel(g / a) << 8 | Channel(b / a);
      argb[(size_t)py * size + px] = pixel;
    }
  return 1;
}

std::string IconDesignSvg() {
  std::string defs, body;
  char text[400];
  int gradient = 0;
  for (const Shape& s : Shapes()) {
    snprintf(text, sizeof text, "rgb(%d,%d,%d)", (int)s.top.r, (int)s.top.g, (int)s.top.b);
    std::string fill = text;
    if (s.top.r != s.bottom.r || s.top.g != s.bottom.g || s.top.b != s.bottom.b) {
      snprintf(text, sizeof text,
               "    <linearGradient id=\"g%d\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"%g\" "
               "x2=\"0\" y2=\"%g\">\n"
               "      <stop offset=\"0\" stop-color=\"%s\"/>\n"
               "      <stop offset=\"1\" stop-color=\"rgb(%d,%d,%d)\"/>\n"
               "    </linearGradient>\n",
               gradient, s.y0, s.y1, fill.c_str(), (int)s.bottom.r, (int)s.bottom.g,
               (int)s.bottom.b);
      defs += text;
      fill = "url(#g" + std::to_string(gradient++) + ")";
    }
    std::string opacity;
    if (s.opacity < 1) {
      snprintf(text, sizeof text, " fill-opacity=\"%.3f\"", s.opacity);
      opacity = text;
    }
    if (s.kind == ELLIPSE)
      snprintf(text, sizeof text, "  <ellipse cx=\"%g\" cy=\"%g\" rx=\"%g\" ry=\"%g\" fill=\"%s\"%s/>\n",
               (s.x0 + s.x1) / 2, (s.y0 + s.y1) / 2, (s.x1 - s.x0) / 2, (s.y1 - s.y0) / 2,
               fill.c_str(), opacity.c_str());
    else
      snprintf(text, sizeof text,
               "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" fill=\"%s\"%s/>\n", s.x0,
               s.y0, s.x1 - s.x0, s.y1 - s.y0, s.radius, fill.c_str(), opacity.c_str());
    body += text;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
         "  <defs>\n" + defs + "  </defs>\n" + body + "</svg>\n";
}
