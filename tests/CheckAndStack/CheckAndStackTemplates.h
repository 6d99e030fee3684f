// The test templates of the check, radio, status-strip and frame-stack components (ids 30600-30699).
#pragma once

// A dialog of check boxes, a radio group and a status strip.
#define TEST_CHECK_DIALOG 30600
#define CHECK_OK 1
#define CHECK_CANCEL 2
#define CHECK_SHARPEN 3       // check box, checked at the start
#define CHECK_PROPORTIONS 4   // check box
#define CHECK_LOCKED 5        // check box, disabled
#define CHECK_INSIDE 6        // radio group of three: Inside, Centre (checked at the start), Outside
#define CHECK_CENTRE 7
#define CHECK_OUTSIDE 8
#define CHECK_DISABLED_RADIO 9
#define CHECK_STATUS 10       // the status strip along the bottom
#define CHECK_LAST_ITEM 10

// A dialog holding a frame-stack list, its scroll bar and the strip under it.
#define TEST_STACK_DIALOG 30601
#define STACK_LIST 1
#define STACK_SCROLL 2
#define STACK_COVER 3
#define STACK_LAST_ITEM 3
