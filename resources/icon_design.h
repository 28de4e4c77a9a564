// The program's icon as shapes on a 32 x 32 grid: the camera the resource
// icons were drawn from, for sizes that a pixel drawing cannot serve.
#pragma once

#include <cstdint>
#include <string>

// Draws the icon at size x size (1 to 1024) into argb (0xAARRGGBB, straight
// alpha, top row first). 1 when drawn, 0 for a size out of range.
int DrawIconDesign(int size, uint32_t* argb);
// The same shapes as an SVG document, for the scalable icon.
std::string IconDesignSvg();
