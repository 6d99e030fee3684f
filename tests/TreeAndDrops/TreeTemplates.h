// The dialog template of the tree and drop tests, shared by the resource script and the tests.
#pragma once

#define TREE_DIALOG 30401

// Items in id order, without a gap: the buttons, the tree and its scroll bar.
#define TREE_OK 1
#define TREE_CANCEL 2
#define TREE_VIEW 3
#define TREE_SCROLL_BAR 4
