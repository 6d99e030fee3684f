// The test dialogs of the colour controls, shared by the resource script and the tests.
#pragma once

// The swatches and globes together, as a settings page holds them.
#define COLOUR_TEST_DIALOG 30300
#define COLOUR_ITEM_COLOUR_LABEL 1
#define COLOUR_ITEM_LIGHT_LABEL 2    /* also the dialog's cancel item */
#define COLOUR_ITEM_WELL_SWATCH 3
#define COLOUR_ITEM_PICKER_SWATCH 4
#define COLOUR_ITEM_ALPHA_SWATCH 5
#define COLOUR_ITEM_GLOBE 6
#define COLOUR_ITEM_ANGLE_GLOBE 7

// One large globe and an angle-only one, for the picture of the globe.
#define GLOBE_TEST_DIALOG 30301
#define GLOBE_ITEM_LABEL 1
#define GLOBE_ITEM_ANGLE_LABEL 2
#define GLOBE_ITEM_GLOBE 3
#define GLOBE_ITEM_ANGLE_GLOBE 4
