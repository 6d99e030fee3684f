/* Codes and flags of the plug-in property list (PIPL) and the scripting terminology (AETE), for the
   resource scripts and for the C++ code that reads or checks those resources.

   A host reads a four-character code as a little-endian 32-bit number whose value is the
   multi-character literal: '8BIM' is 0x3842494D, stored as the bytes "MIB8". The resources write
   these numbers (windres writes an L number as 32 bits, little-endian), never the characters in
   reading order, which a host would read backwards. */
#ifndef QUORVEL_PIPL_CODES_H
#define QUORVEL_PIPL_CODES_H

#define PIPL_RESOURCE_ID            16000
#define PIPL_LIST_HEADER_WORD       1            /* the 16-bit word before the list's version */
#define PIPL_LIST_VERSION           0L

/* The vendor of every property. */
#define PIPL_VENDOR_PHOTOSHOP       0x3842494DL  /* '8BIM' */

/* Property keys. */
#define PIPL_KEY_KIND               0x6B696E64L  /* 'kind' */
#define PIPL_KEY_NAME               0x6E616D65L  /* 'name' */
#define PIPL_KEY_CATEGORY           0x63617467L  /* 'catg' */
#define PIPL_KEY_INTERFACE_VERSION  0x76657273L  /* 'vers' */
#define PIPL_KEY_ENTRY_X64          0x38363634L  /* '8664' */
#define PIPL_KEY_MODES              0x6D6F6465L  /* 'mode' */
#define PIPL_KEY_ENABLE             0x656E626CL  /* 'enbl' */
#define PIPL_KEY_FILTER_CASES       0x66696369L  /* 'fici' */
#define PIPL_KEY_TERMINOLOGY        0x6873746DL  /* 'hstm' */

/* 'kind' of a filter plug-in. */
#define PIPL_KIND_FILTER            0x3842464DL  /* '8BFM' */

/* 'vers': the version of the filter interface the plug-in needs (major << 16 | minor), not the
   product's version; hosts refuse anything above 4.0. */
#define PIPL_INTERFACE_VERSION_4_0  0x00040000L

/* 'mode' flags as one 32-bit little-endian number. Bytes 0 and 1 hold image modes 0 to 15, the
   most significant bit first in each byte: mode m is bit 0x80 >> (m % 8) of byte m / 8. */
#define PIPL_MODE_GRAYSCALE         0x00000040L  /* mode 1: byte 0, 0x40 */
#define PIPL_MODE_RGB               0x00000010L  /* mode 3: byte 0, 0x10 */
#define PIPL_MODE_CMYK              0x00000008L  /* mode 4: byte 0, 0x08 */
#define PIPL_MODE_DUOTONE           0x00008000L  /* mode 8: byte 1, 0x80 */
#define PIPL_MODE_GRAY16            0x00002000L  /* mode 10: byte 1, 0x20 */
#define PIPL_MODE_RGB48             0x00001000L  /* mode 11: byte 1, 0x10 */
#define PIPL_MODE_CMYK64            0x00000400L  /* mode 13: byte 1, 0x04 */
#define PIPL_MODE_DUOTONE16         0x00000100L  /* mode 15: byte 1, 0x01 */

/* Scripting: the event the plug-in answers, and the terminology resource that describes it. */
#define QUORVEL_SCRIPT_CLASS        0x71767871L  /* 'qvxq' */
#define QUORVEL_SCRIPT_EVENT        0x71767871L  /* 'qvxq' */
#define QUORVEL_TERMINOLOGY_ID      16000
#define QUORVEL_KEY_SETTINGS        0x46724D50L  /* 'FrMP': the stored settings */
#define AETE_TYPE_NONE              0x6E756C6CL  /* 'null': no reply */
#define AETE_TYPE_IMAGE_REFERENCE   0x23496D52L  /* '#ImR': the direct parameter of a filter */
#define AETE_TYPE_RAW_DATA          0x74647461L  /* 'tdta' */

#if !defined(RC_INVOKED) && defined(__cplusplus)
/* The numbers are the hosts' multi-character literals. */
static_assert(PIPL_VENDOR_PHOTOSHOP == '8BIM');
static_assert(PIPL_KEY_KIND == 'kind' && PIPL_KEY_NAME == 'name' && PIPL_KEY_CATEGORY == 'catg');
static_assert(PIPL_KEY_INTERFACE_VERSION == 'vers' && PIPL_KEY_ENTRY_X64 == '8664' && PIPL_KEY_MODES == 'mode');
static_assert(PIPL_KEY_ENABLE == 'enbl' && PIPL_KEY_FILTER_CASES == 'fici' && PIPL_KEY_TERMINOLOGY == 'hstm');
static_assert(PIPL_KIND_FILTER == '8BFM');
static_assert(QUORVEL_SCRIPT_CLASS == 'qvxq' && QUORVEL_SCRIPT_EVENT == 'qvxq' && QUORVEL_KEY_SETTINGS == 'FrMP');
static_assert(AETE_TYPE_NONE == 'null' && AETE_TYPE_IMAGE_REFERENCE == '#ImR' && AETE_TYPE_RAW_DATA == 'tdta');
/* Each mode flag is the bit the byte layout gives its mode number. */
constexpr long PiplModeFlag(int mode) { return (0x80L >> (mode % 8)) << (8 * (mode / 8)); }
static_assert(PIPL_MODE_GRAYSCALE == PiplModeFlag(1) && PIPL_MODE_RGB == PiplModeFlag(3) &&
              PIPL_MODE_CMYK == PiplModeFlag(4) && PIPL_MODE_DUOTONE == PiplModeFlag(8));
static_assert(PIPL_MODE_GRAY16 == PiplModeFlag(10) && PIPL_MODE_RGB48 == PiplModeFlag(11) &&
              PIPL_MODE_CMYK64 == PiplModeFlag(13) && PIPL_MODE_DUOTONE16 == PiplModeFlag(15));
#endif

#endif /* QUORVEL_PIPL_CODES_H */
