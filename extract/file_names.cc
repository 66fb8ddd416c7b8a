#include "extract/file_names.h"

#include <cstring>

#ifdef _WIN32
#include <clocale>
#include <cwchar>
#include <initializer_list>
#endif

namespace {

bool IsDotName(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

#ifdef _WIN32

// Names Windows keeps for devices, in any case, with or without an
// extension. "Naming Files, Paths, and Namespaces", Naming Conventions:
// CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9, also with the
// superscript digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3),
// https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file
// and CONIN$ and CONOUT$, the console ("CreateFileW", Consoles),
// https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-createfilew#consoles
bool IsReservedName(const wchar_t* name) {
  wchar_t base[kMaxWideName] = {};
  for (int i = 0; name[i] != L'\0' && name[i] != L'.' && i < kMaxWideName - 1; ++i) {
    base[i] = (name[i] >= L'a' && name[i] <= L'z') ? name[i] - L'a' + L'A' : name[i];
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  const bool port = std::wcsncmp(base, L"COM", 3) == 0 || std::wcsncmp(base, L"LPT", 3) == 0;
  const wchar_t digit = base[3];
  const bool isDigit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' ||
                       digit == L'\u00B2' || digit == L'\u00B3';
  return port && isDigit && base[4] == L'\0';
}

bool IsUsableWideName(const wchar_t* name) {
  const size_t length = std::wcslen(name);
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || std::wcschr(L"<>:\"/\\|?*", name[i]) != nullptr) return false;
  }
  // Windows drops a trailing dot or space: the file would get another name.
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  return !IsReservedName(name);
}

#endif

}  // namespace

bool IsUsableFileName(const char* name) {
  if (name[0] == '\0' || IsDotName(name)) return false;
#ifdef _WIN32
  wchar_t wide[kMaxWideName];
  return DecodeShiftJis(name, wide) && IsUsableWideName(wide);
#else
  return std::strchr(name, '/') == nullptr;
#endif
}

#ifdef _WIN32
bool DecodeShiftJis(const char* name, wchar_t (&wide)[kMaxWideName]) {
  // The conversion follows the C library's character type, which the tool
  // sets to code page 932 once: no output of the tool depends on it.
  static const bool localeSet = std::setlocale(LC_CTYPE, ".932") != nullptr;
  if (!localeSet) return false;
  std::mbstate_t state{};
  const char* in = name;
  const char* const end = name + std::strlen(name);
  int length = 0;
  while (in < end) {
    if (length == kMaxWideName - 1) return false;
    const size_t used = std::mbrtowc(&wide[length], in, static_cast<size_t>(end - in), &state);
    if (used == 0 || used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
      return false;
    }
    in += used;
    ++length;
  }
  wide[length] = L'\0';
  return true;
}
#endif
