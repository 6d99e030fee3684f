// Test templates and menus of the image, menu, combo and panel component tests (ids 30100-30199).
#pragma once

// A tool strip of picture and text buttons over a column of combo boxes.
#define TEST_IMAGE_MENU_DIALOG 30100
#define IMAGE_OK 1
#define IMAGE_CANCEL 2
#define IMAGE_EYEDROPPER 3
#define IMAGE_HAND 4
#define IMAGE_MOVE 5
#define IMAGE_ZOOM 6
#define IMAGE_ROTATE 7
#define IMAGE_RESET_TEXT 8
#define IMAGE_APPLY_TEXT 9
#define IMAGE_BLEND_COMBO 10
#define IMAGE_BACKGROUND_COMBO 11
#define IMAGE_ARROW_COMBO 12
#define IMAGE_DISABLED_COMBO 13
#define IMAGE_LAST_ITEM 13

// Tabs over a page of a text line, two sliders, the favourite strip and the add panel (item 9,
// where the library browser has it).
#define TEST_PANELS_DIALOG 30101
#define PANEL_OK 1
#define PANEL_CANCEL 2
#define PANEL_TABS 3
#define PANEL_TITLE 4
#define PANEL_NOTE 5
#define PANEL_SLIDER 6
#define PANEL_VERTICAL_SLIDER 7
#define PANEL_RATING 8
#define PANEL_ADD 9
#define PANEL_LAST_ITEM 9

// Blend modes: three entries, a separator, two more.
#define TEST_BLEND_MENU 30110
#define BLEND_NORMAL 30120
#define BLEND_MULTIPLY 30121
#define BLEND_SCREEN 30122
#define BLEND_OVERLAY 30123
#define BLEND_SOFT_LIGHT 30124
// The library's background menu: two colours, a separator and the toggle entry 4.
#define TEST_BACKGROUND_MENU 30111
#define BACKGROUND_WHITE 30130
#define BACKGROUND_BLACK 30131
#define BACKGROUND_REALISTIC 30132
#define BACKGROUND_DISABLED 30133
// Three separators before the first entry: entry 4 heads the only group.
#define TEST_LEADING_SEPARATOR_MENU 30112
#define LEADING_FIRST 30140
#define LEADING_SECOND 30141
// The zoom button's menu.
#define TEST_ZOOM_MENU 30113
#define ZOOM_FIT 30150
#define ZOOM_ACTUAL 30151
#define ZOOM_DOUBLE 30152
// No menu has this id.
#define TEST_MISSING_MENU 30199
