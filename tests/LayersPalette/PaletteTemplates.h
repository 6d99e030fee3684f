// The dialog templates of the layers palette and thumbnail tests, shared by the resource script and
// the tests.
#pragma once

#define TEST_THUMBNAIL_DIALOG 30200
#define TEST_PALETTE_DIALOG 30201

#define TEST_ITEM_OK 1
#define TEST_ITEM_CANCEL 2

// The thumbnail dialog: five picture cells (the first is item 1, the picture item that framed
// thumbnails are drawn into), Cancel, and the cells' captions.
#define TEST_CELL_RGB 1
#define TEST_CELL_GREY 3
#define TEST_CELL_MASKED 4
#define TEST_CELL_INVERTED 5
#define TEST_CELL_DAMAGED 6

// The palette dialog: OK, Cancel, the palette's item and its scroll bar.
#define TEST_ITEM_PALETTE 3
#define TEST_ITEM_SCROLL 4
