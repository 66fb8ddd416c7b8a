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

bool IsDeviceName(const wchar_t* name) {
  wchar_t base[kMaxWideName] = {};
  for (int i = 0; name[i] != L'\0' && name[i] != L'.' && i < kMaxWideName - 1; ++i) {
    base[i] = (name[i] >= L'a' && name[i] <= L'z') ? name[i] - L'a' + L'A' : name[i];
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  return (std::wcsncmp(base, L"COM", 3) == 0 || std::wcsncmp(base, L"LPT", 3) == 0) &&
         base[3] >= L'1' && base[3] <= L'9' && base[4] == L'\0';
}

bool IsUsableWideName(const wchar_t* name) {
  const size_t length = std::wcslen(name);
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || std::wcschr(L"<>:\"/\\|?*", name[i]) != nullptr) return false;
  }
  // Windows drops a trailing dot or space: the file would get another name.
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  return !IsDeviceName(name);
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
