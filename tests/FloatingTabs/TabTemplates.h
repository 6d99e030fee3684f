// The dialog templates of the floating tab tests, shared by the resource script and the tests.
#pragma once

#define TEST_TAB_SHADOW 30501
#define TEST_TAB_GLOW 30502
#define TEST_TAB_BEVEL 30503

// Every template: a label (1), an edit (2) and a button (3), ids without a gap.
#define TEST_ITEM_LABEL 1
#define TEST_ITEM_EDIT 2
#define TEST_ITEM_BUTTON 3
