// How text from a disk image, or one of the tool's own Japanese messages,
// all Shift_JIS bytes, is shown on a standard stream. Plain code on every
// system; the platform seam only says what a stream is and decodes one
// character.
#pragma once

#include <string>
#include <string_view>

struct DisplayMode {
  bool terminal = false;  // acts on control bytes, which are masked
  bool utf8 = false;      // a terminal that shows UTF-8 (or a console): text is decoded
};

// Where the text goes: a field of the listing or a line on standard output
// (masks show as "?"), or a message on standard error (masks show as \x and
// two upper-case hex digits, wherever it goes, so one message is one line).
enum class Field { kOutput, kMessage };

// Decodes one Shift_JIS (code page 932) character of `length` bytes (1 or
// 2) into `character`; false when those bytes are none.
using DecodeCharacter = bool (*)(const char* bytes, int length, char32_t* character);

// `bytes` as shown on a stream in `mode`, padded with spaces to
// `padToBytes` source bytes (the listing's columns follow the Shift_JIS
// bytes; a character of ambiguous width may shift one).
// - Not decoded (a pipe, a file, a terminal in another character set):
//   every byte as it stands, but a control byte (below 0x20, 0x7F) as a
//   mask where it could act: at a terminal, and always in messages.
// - Decoded (`mode.utf8`, with `decode`): each character as UTF-8; a byte
//   that does not decode (a lone lead byte among them), and a control
//   character (C0, DEL, and C1, U+0080 to U+009F, which code page 932 gives
//   byte 0x80), as a mask of each of its bytes.
std::string ToDisplay(std::string_view bytes, DisplayMode mode, Field field,
                      DecodeCharacter decode, size_t padToBytes = 0);

// Whether a locale named `name` (the value of LC_ALL, LC_CTYPE or LANG)
// shows UTF-8: it ends in ".UTF-8" or ".utf8".
bool LocaleNamesUtf8(const char* name);
// Whether the first of LC_ALL, LC_CTYPE and LANG that is set names UTF-8:
// what decides where the locale itself cannot be asked.
bool LocaleVariablesNameUtf8();
