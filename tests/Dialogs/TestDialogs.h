// The templates of the dialog framework's tests.
#pragma once

#define TEST_DIALOG 17950
#define TEST_FLOATING 17951

// Items of TEST_DIALOG, numbered without gaps.
#define ITEM_OK 1
#define ITEM_CANCEL 2
#define ITEM_INTEGER 3
#define ITEM_REAL 4
#define ITEM_TEXT 5
#define ITEM_CHECK 6
#define ITEM_LABEL 7
#define ITEM_TABS 8
#define ITEM_TRACK 9
#define ITEM_PROGRESS 10
#define ITEM_STATUS 11
