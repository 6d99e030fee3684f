// Resources of the drawing tests: a 16 x 16 opaque red icon and a 4 x 2 bitmap whose top row is
// red, green, blue, white and whose bottom row is black.
#pragma once

#define TEST_ICON_RED 30001
#define TEST_BITMAP_STRIPES 30002
#define TEST_RESOURCE_MISSING 30009
