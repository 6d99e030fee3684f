// Dialog items, the toolbox way: item n of a dialog is its child window with control id n. Each
// item carries a record with its kind, its number format and its value (every kind of control has
// a number: a check box 0 or 1, a combo its entry, an edit the number typed into it), and typed
// numbers are parsed, checked against the item's bounds and formatted back here.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "ErrorCodes.h"

// The kind of an item: the upper-cased first letter of its window class name (after the name's
// first '_'), with bit 7 marking an item the user types into.
namespace ItemKind {
inline constexpr uint8_t kButton = 'B';
inline constexpr uint8_t kComboBox = 'C';
inline constexpr uint8_t kListBox = 'L';
inline constexpr uint8_t kProgressBar = 'P';
inline constexpr uint8_t kScrollBar = 'S';
inline constexpr uint8_t kTrackBar = 'T';      // and every window-class control of ours
inline constexpr uint8_t kTabControl = 'Y';
inline constexpr uint8_t kStaticText = 's';
inline constexpr uint8_t kInteger = 'd';       // a number format set on the item
inline constexpr uint8_t kReal = 'f';
inline constexpr uint8_t kEditable = 0x80;
inline constexpr uint8_t kTextEdit = kStaticText | kEditable;   // 0xF3
inline constexpr uint8_t kIntegerEdit = kInteger | kEditable;   // 0xE4
inline constexpr uint8_t kRealEdit = kReal | kEditable;         // 0xE6

inline constexpr uint8_t Letter(uint8_t kind) { return kind & 0x7F; }
inline constexpr bool IsEditable(uint8_t kind) { return (kind & kEditable) != 0; }
inline constexpr bool IsNumber(uint8_t kind) { return Letter(kind) == kInteger || Letter(kind) == kReal; }
}  // namespace ItemKind

enum ItemFlags : uint8_t {
    kItemFollowsRight = 0x01,
    kItemStretchesWidth = 0x02,
    kItemFollowsBottom = 0x04,
    kItemStretchesHeight = 0x08,
    kItemHidden = 0x10,
    kItemValueInvalid = 0x40,   // keeps the default item disabled
};

// The bounds an item starts with, and the magnitudes beyond which a bound counts as none.
inline constexpr float kItemDefaultMinimum = -32768.0f;
inline constexpr float kItemDefaultMaximum = 32767.0f;
inline constexpr double kNoBoundMagnitude = 5e29;

struct DialogItemRecord {
    uint8_t flags = 0;
    uint8_t kind = 0;
    uint8_t width = 0;        // numbers: the least width of the text; text edits: the longest text (0: any)
    int8_t decimals = 0;
    float value = 0.0f;
    float minimum = kItemDefaultMinimum;
    float maximum = kItemDefaultMaximum;
    uint16_t lineStep = 1;
    uint16_t pageStep = 1;
    uint8_t textCurrent = 0;  // the item's text shows its value
    uint8_t dragging = 0;     // a scroll drag of the item is going on
    uint8_t parked = 0;       // the window stands 10000 pixels left of and above its place
    HWND window = nullptr;
};

// The characters numbers are written with; the user's locale replaces them when a dialog opens.
struct NumberChars {
    char decimal = '.';
    char thousands = ',';
    char plus = '+';
    char minus = '-';
};

// What ParseNumber answers: 0, or the code of the alert that tells what is wrong.
namespace NumberParse {
inline constexpr ErrorCode kValid = 0;
inline constexpr ErrorCode kNotInteger = 18013;
inline constexpr ErrorCode kNotReal = 18014;
inline constexpr ErrorCode kTextTooLong = 18015;
inline constexpr ErrorCode kBadFormat = 18018;     // a malformed number format
inline constexpr ErrorCode kNotANumberItem = 18019;
inline constexpr ErrorCode kAboveMaximum = 18020;
inline constexpr ErrorCode kBelowMinimum = 18021;
inline constexpr ErrorCode kTooLarge = 18022;      // beyond what a number text can hold
inline constexpr ErrorCode kEmpty = 18023;
}  // namespace NumberParse

// The longest text an item holds, without its terminating zero.
inline constexpr size_t kItemTextMax = 255;
