/* The control gallery: a dialog that shows one of each window-class control of the dialogs beside
   the standard controls they live among, for tests and for the screen shot of the controls. Its
   items are numbered 1, 2, 3, ... without gaps, as dialogs number items up to the first missing
   id; the artwork and menus the controls load sit at the item id plus the dialog's id, the
   resource base a dialog publishes while it creates its controls. Shared by ControlGallery.rc and
   the C++ of the tests, so it holds only #defines. */
#pragma once

#define GALLERY_DIALOG 17900

#define GALLERY_OK 1
#define GALLERY_CANCEL 2
/* Four number groups: label, edit, spinner and popup slider (or label, edit and a popup slider
   without spinner). */
#define GALLERY_OPACITY_LABEL 3
#define GALLERY_OPACITY_EDIT 4
#define GALLERY_OPACITY_SPINNER 5
#define GALLERY_OPACITY_POPUP 6
#define GALLERY_SOFTNESS_LABEL 7
#define GALLERY_SOFTNESS_EDIT 8
#define GALLERY_SOFTNESS_SPINNER 9
#define GALLERY_SOFTNESS_POPUP 10
#define GALLERY_ANGLE_LABEL 11
#define GALLERY_ANGLE_EDIT 12
#define GALLERY_ANGLE_POPUP 13
#define GALLERY_BLUR_LABEL 14
#define GALLERY_BLUR_EDIT 15
#define GALLERY_BLUR_POPUP 16
#define GALLERY_LINEAR_SLIDER 17
#define GALLERY_NONLINEAR_SLIDER 18
#define GALLERY_POPUP_MENU 19
#define GALLERY_REALTIME_MENU 20
#define GALLERY_TOOL_PALETTE 21
#define GALLERY_BITMAP_BUTTON 22
#define GALLERY_PICTURE_BUTTON 23
#define GALLERY_ICON_BUTTON 24
#define GALLERY_PADLOCK 25
#define GALLERY_CHECK_BOX 26
#define GALLERY_TABS 27
#define GALLERY_USER_ITEM 28
#define GALLERY_LAST_ITEM 28

/* The resources, at item id + GALLERY_DIALOG; the padlock's locked picture at the next id and the
   bitmap button's pressed face 1000 ids above its normal one. */
#define GALLERY_BLEND_MENU (GALLERY_DIALOG + GALLERY_POPUP_MENU)
#define GALLERY_EDGE_MENU (GALLERY_DIALOG + GALLERY_REALTIME_MENU)
#define GALLERY_TOOLS_BITMAP (GALLERY_DIALOG + GALLERY_TOOL_PALETTE)
#define GALLERY_BUTTON_BITMAP (GALLERY_DIALOG + GALLERY_BITMAP_BUTTON)
#define GALLERY_BUTTON_PRESSED_BITMAP (GALLERY_BUTTON_BITMAP + 1000)
#define GALLERY_PICTURE_ICON (GALLERY_DIALOG + GALLERY_PICTURE_BUTTON)
#define GALLERY_ICON_ICON (GALLERY_DIALOG + GALLERY_ICON_BUTTON)
#define GALLERY_PADLOCK_OPEN_BITMAP (GALLERY_DIALOG + GALLERY_PADLOCK)
#define GALLERY_PADLOCK_LOCKED_BITMAP (GALLERY_PADLOCK_OPEN_BITMAP + 1)

/* Command ids of the menus' entries. */
#define GALLERY_BLEND_NORMAL 101
#define GALLERY_BLEND_MULTIPLY 102
#define GALLERY_BLEND_SCREEN 103
#define GALLERY_BLEND_OVERLAY 104
#define GALLERY_BLEND_SOFT_LIGHT 105
#define GALLERY_EDGE_STRAIGHT 201
#define GALLERY_EDGE_ROUNDED 202
#define GALLERY_EDGE_TORN 203
#define GALLERY_EDGE_DECKLED 204
