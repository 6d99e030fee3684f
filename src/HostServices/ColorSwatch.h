// A colour of the parameter block drawn into a rectangle of a drawing port.
#pragma once

#include <windows.h>

#include "ColorConversion.h"
#include "DrawingPort.h"

// No colour: white, framed, crossed by both diagonals. An opaque colour (or any colour with
// ignoreOpacity) where the host can be trusted to match it: filled in its RGB form and framed.
// Otherwise the host draws it from a pixel map in the document's mode, translucent colours through
// a mask of their opacity. Draws into dc when one is given, else into the port's window. The host's
// record gives the document's mode, the colour services and displayPixels: every colour but no
// colour needs one.
void DrawColorSwatch(const FilterRecord* host, const ColorRecord& record, DrawingPort& port, const Rect16& rect,
                     bool ignoreOpacity, HDC dc = nullptr);
