#pragma once
/* The binary interface between the program and a converter library: the record both exports
 * take, the exports' signatures and the callbacks. Plain C, so that converter libraries written
 * in C can use it as well as the program. The platform's own C calling convention stands in for
 * the stdcall of the converters' original platform. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZANDREL_CONVERTER_RECORD_SIZE 298
#define ZANDREL_CONVERTER_PATH_SIZE 260
#define ZANDREL_CONVERTER_INSPECT_BUFFER_SIZE 33

/* Format and role codes of the conversion call. */
#define ZANDREL_CONVERTER_SOURCE_FORMAT 7
#define ZANDREL_CONVERTER_TARGET_FORMAT 29
#define ZANDREL_CONVERTER_SOURCE_ROLE 1
#define ZANDREL_CONVERTER_TARGET_ROLE 2
/* The target version a Sarnetto converter expects (-503 as a signed 16-bit number). */
#define ZANDREL_CONVERTER_SARNETTO_TARGET_VERSION ((int16_t)(uint16_t)0xFE09)
#define ZANDREL_CONVERTER_OTHER_TARGET_VERSION 1

#pragma pack(push, 1)
/* Little-endian and packed: the libraries read it byte for byte. */
typedef struct TConverterFileInfo {
    uint16_t recordSize; /* always ZANDREL_CONVERTER_RECORD_SIZE */
    uint16_t formatCode;
    int16_t version;
    uint16_t roleCode;
    char characterField[13];
    uint8_t field[16];
    char path[ZANDREL_CONVERTER_PATH_SIZE]; /* 8-bit, zero-filled after the text */
    uint8_t reserved;
} TConverterFileInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TConverterFileInfo) == 298, "the converter record is 298 bytes");
static_assert(offsetof(TConverterFileInfo, formatCode) == 2, "format code at 2");
static_assert(offsetof(TConverterFileInfo, version) == 4, "version at 4");
static_assert(offsetof(TConverterFileInfo, roleCode) == 6, "role code at 6");
static_assert(offsetof(TConverterFileInfo, characterField) == 8, "character field at 8");
static_assert(offsetof(TConverterFileInfo, field) == 21, "16-byte field at 21");
static_assert(offsetof(TConverterFileInfo, path) == 37, "path at 37");
static_assert(offsetof(TConverterFileInfo, reserved) == 297, "reserved byte at 297");
#else
_Static_assert(sizeof(TConverterFileInfo) == 298, "the converter record is 298 bytes");
_Static_assert(offsetof(TConverterFileInfo, formatCode) == 2, "format code at 2");
_Static_assert(offsetof(TConverterFileInfo, version) == 4, "version at 4");
_Static_assert(offsetof(TConverterFileInfo, roleCode) == 6, "role code at 6");
_Static_assert(offsetof(TConverterFileInfo, characterField) == 8, "character field at 8");
_Static_assert(offsetof(TConverterFileInfo, field) == 21, "16-byte field at 21");
_Static_assert(offsetof(TConverterFileInfo, path) == 37, "path at 37");
_Static_assert(offsetof(TConverterFileInfo, reserved) == 297, "reserved byte at 297");
#endif

/* Nonzero when the library accepts the Job file; it writes the file's version into info->version.
 * buffer holds capacity + 1 bytes; the program neither fills nor reads it. */
typedef int16_t (*converter_InspectFile_fn)(const char *jobFile, TConverterFileInfo *info, char *buffer,
                                            uint16_t capacity);

/* The three callbacks take nothing; the first always answers 0, the others do nothing. */
typedef int32_t (*converter_Callback1_fn)(void);
typedef void (*converter_Callback2_fn)(void);
typedef void (*converter_Callback3_fn)(void);

/* Nonzero when the Dexmor file has been written at outputFile. */
typedef int16_t (*converter_TranslatePlus_fn)(const char *languageFile, const char *sourceFile,
                                              TConverterFileInfo *source, const char *outputFile,
                                              TConverterFileInfo *target, converter_Callback1_fn callback1,
                                              converter_Callback2_fn callback2,
                                              converter_Callback3_fn callback3, void *reserved);

/* Optional, this platform's way for a converter to raise an error: after either call, a non-empty
 * text here is the error's message, and the call counts as failed whatever it returned. */
typedef const char *(*converter_LastError_fn)(void);

#define ZANDREL_CONVERTER_INSPECT_EXPORT "converter_InspectFile"
#define ZANDREL_CONVERTER_TRANSLATE_EXPORT "converter_TranslatePlus"
#define ZANDREL_CONVERTER_LAST_ERROR_EXPORT "converter_LastError"

#ifdef __cplusplus
}
#endif
