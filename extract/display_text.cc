#include "extract/display_text.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsControl(char32_t character) {
  return character < 0x20 || character == 0x7F || (character >= 0x80 && character <= 0x9F);
}

// Bytes that start a two-byte character in code page 932.
bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void AppendMask(std::string* shown, std::string_view bytes, Field field) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  for (const char byte : bytes) {
    const unsigned char value = static_cast<unsigned char>(byte);
    if (field == Field::kOutput) {
      *shown += '?';
    } else {
      *shown += {'\\', 'x', kHexDigits[value >> 4], kHexDigits[value & 0xF]};
    }
  }
}

void AppendUtf8(std::string* shown, char32_t character) {
  if (character < 0x80) {
    *shown += static_cast<char>(character);
  } else if (character < 0x800) {
    *shown += {static_cast<char>(0xC0 | character >> 6), static_cast<char>(0x80 | (character & 0x3F))};
  } else if (character < 0x10000) {
    *shown += {static_cast<char>(0xE0 | character >> 12),
               static_cast<char>(0x80 | (character >> 6 & 0x3F)),
               static_cast<char>(0x80 | (character & 0x3F))};
  } else {
    *shown += {static_cast<char>(0xF0 | character >> 18),
               static_cast<char>(0x80 | (character >> 12 & 0x3F)),
               static_cast<char>(0x80 | (character >> 6 & 0x3F)),
               static_cast<char>(0x80 | (character & 0x3F))};
  }
}

}  // namespace

std::string ToDisplay(std::string_view bytes, DisplayMode mode, Field field,
                      DecodeCharacter decode, size_t padToBytes) {
  std::string shown;
  const bool decoding = mode.utf8 && decode != nullptr;
  const bool masking = mode.terminal || field == Field::kMessage;
  for (size_t at = 0; at < bytes.size();) {
    const unsigned char byte = static_cast<unsigned char>(bytes[at]);
    size_t length = decoding && IsLeadByte(byte) && at + 1 < bytes.size() ? 2 : 1;
    char32_t decoded = byte;
    if (decoding && !decode(bytes.data() + at, static_cast<int>(length), &decoded)) {
      // A byte that starts no character: masked, and the next one tried.
      AppendMask(&shown, bytes.substr(at, 1), field);
      ++at;
      continue;
    }
    const std::string_view character = bytes.substr(at, length);
    const bool control = decoding ? IsControl(decoded) : byte < 0x20 || byte == 0x7F;
    if (masking && control) {
      AppendMask(&shown, character, field);
    } else if (decoding) {
      AppendUtf8(&shown, decoded);
    } else {
      shown += character;
    }
    at += length;
  }
  if (bytes.size() < padToBytes) shown.append(padToBytes - bytes.size(), ' ');
  return shown;
}

bool LocaleNamesUtf8(const char* name) {
  const size_t length = std::strlen(name);
  const auto endsWith = [name, length](const char* suffix) {
    const size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(name + length - suffixLength, suffix) == 0;
  };
  return endsWith(".UTF-8") || endsWith(".utf8");
}

bool LocaleVariablesNameUtf8() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = std::getenv(variable);
    if (name != nullptr && *name != '\0') return LocaleNamesUtf8(name);
  }
  return false;
}
