// The test program's own templates: a stand-in for the preview dialog with the Window menu, and a
// page with one numeric setting (label, edit, spinner, slider).
#pragma once

#define TEST_PREVIEW_DIALOG 30700
#define TEST_PREVIEW_MENU 30701
#define TEST_NUMBERS_TAB 30702

#define NUMBER_BASE 10
#define NUMBER_LABEL 10
#define NUMBER_EDIT 11
#define NUMBER_SPINNER 12
#define NUMBER_SLIDER 13
