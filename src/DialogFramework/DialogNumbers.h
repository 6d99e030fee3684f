// Typed numbers of dialog items: parsing a text against an item's kind and bounds, formatting a
// value in the item's format, reading a number format ("%+5.2f"), and the alert that tells the
// user what a rejected text should have been. Pure functions: the dialog reads and writes the
// item's window around them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DialogItems.h"

// The alerts of typed texts: each is the dialog whose id is its code. ^0 and ^1 are the bounds.
namespace ItemAlert {
// A text that is no number, by the bounds the item has.
inline constexpr ErrorCode kIntegerInRange = 18001;     // "... valid integer in the range between ^0 and ^1."
inline constexpr ErrorCode kIntegerAbove = 18002;       // "... valid integer larger than ^0."
inline constexpr ErrorCode kIntegerBelow = 18003;       // "... valid integer less than ^0."
inline constexpr ErrorCode kRealInRange = 18004;
inline constexpr ErrorCode kRealAbove = 18005;
inline constexpr ErrorCode kRealBelow = 18006;
// A number outside its bounds: the same choice six higher, asking whether to insert the closest
// bound (OK 1, Cancel 2).
inline constexpr ErrorCode kOutOfBoundsOffset = 6;
inline constexpr ErrorCode kIntegerInRangeRequired = 18007;
inline constexpr ErrorCode kIntegerAboveRequired = 18008;
inline constexpr ErrorCode kIntegerBelowRequired = 18009;
inline constexpr ErrorCode kRealInRangeRequired = 18010;
inline constexpr ErrorCode kRealAboveRequired = 18011;
inline constexpr ErrorCode kRealBelowRequired = 18012;
// A text that is no number, for an item without bounds.
inline constexpr ErrorCode kInteger = NumberParse::kNotInteger;   // 18013
inline constexpr ErrorCode kReal = NumberParse::kNotReal;         // 18014
inline constexpr ErrorCode kTextTooLong = NumberParse::kTextTooLong;  // 18015, ^0 the longest length
// The settings code's questions after it mended stored settings (OK uses the defaults).
inline constexpr ErrorCode kSettingsOutOfRange = 18016;
inline constexpr ErrorCode kSettingsInvalid = 18017;
}  // namespace ItemAlert

// The widest number format: the width field is a byte, and no item text is longer.
inline constexpr int kMaxNumberWidth = 255;
static_assert(kMaxNumberWidth <= static_cast<int>(kItemTextMax));
// The most decimals of a real: the record's value is a 32-bit float (about seven significant
// digits), and nine decimals keep the largest value that formats (4294967295) times 10^9 within
// the 64 bits the formatter counts in.
inline constexpr int kMaxDecimals = 9;
// |value| + half a unit at or beyond this does not format.
inline constexpr double kFormatLimit = 4294967295.0;

// Rounds half away from zero, the rounding of every value that items show or store.
double RoundHalfAwayFromZero(double value);
// The same, as the 16-bit number the item reports (held at the ends of the 16-bit range; a value
// that is no number reports 0).
int16_t RoundToInt16(double value);

// Half a unit of the record's last decimal: 0.5 x 10^-decimals. Only a real ('f') has decimals,
// and they count as 0..kMaxDecimals whatever the record holds; every other kind has 0.5.
double HalfUnit(const DialogItemRecord& record);

// Reads text as a number of the record's kind ('d' or 'f', with or without the editable bit;
// another kind answers kNotANumberItem). On kValid, value holds the number clamped into the
// record's bounds; on kAboveMaximum or kBelowMinimum it holds the number as typed (a number too
// large for a double as the largest double of its sign); on the other codes it is left alone.
// A text of blanks only, or of a sign and separators without a digit (a number the user has begun
// to type), answers kEmpty. A null text is empty. Whatever is accepted is finite.
ErrorCode ParseNumber(const char* text, double& value, const DialogItemRecord& record, const NumberChars& chars);

// Writes value in the record's format (none: an integer; every kind but 'f' is one) into text: a
// minus sign for a negative value (also one that shows as zero, "-0.00"), the whole part, and for
// a real with decimals the decimal separator and exactly that many digits, rounded half away from
// zero; padded with leading blanks to the record's width and terminated; kTooLarge and an empty text
// when it cannot be written: |value| + half a unit at or beyond kFormatLimit, a value that is no
// finite number, or a buffer too small for the number itself (the padding is cut to fit first, a
// number never is).
ErrorCode FormatNumber(char* text, size_t textSize, double value, const DialogItemRecord* record,
                       const NumberChars& chars);

// Applies a format text: '%', an optional '+', optional width digits, optionally '.' and decimal
// digits, and the type letter 'd', 'f' or 's'. The record's kind must already be a lowercase
// letter; it keeps its editable bit and takes the type letter, with the width and the decimals
// (0 when not given). kBadFormat, record unchanged, for anything else: a '.' without digits,
// decimals on 'd' or 's', a width above kMaxNumberWidth, decimals above kMaxDecimals, anything
// after the type letter. The '+' is accepted for the formats' sake; values show a minus sign only.
ErrorCode ApplyNumberFormat(DialogItemRecord& record, const char* format);

// The alert that answers a rejected number: for a text that is no number (kNotInteger, kNotReal)
// the "Please enter a valid ..." alerts, for a number outside the bounds (kAboveMaximum,
// kBelowMinimum) the "... required. Would you like to insert the closest value?" alerts, chosen by
// the item's kind and by which bounds it has. A number outside bounds the item does not have
// (bounds beyond kNoBoundMagnitude) has no question to ask: it gets the plain "Please enter a
// valid integer." or "... real number." alert. Every other code answers 0: no alert.
int16_t NumberAlertFor(ErrorCode parseResult, bool integer, bool hasMinimum, bool hasMaximum);
