// Windows' file name rules, as data: built on every system (see platform.h).
#include <cwchar>

#include "extract/platform.h"

namespace {

// Names Windows keeps for devices. "Naming Files, Paths, and Namespaces",
// Naming Conventions: CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9,
// also with the superscript digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3),
// https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file
// and CONIN$ and CONOUT$, the console ("CreateFileW", Consoles),
// https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-createfilew#consoles
constexpr const wchar_t* kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
constexpr const wchar_t* kPorts[] = {L"COM", L"LPT"};
constexpr wchar_t kPortDigits[] = L"0123456789\u00B9\u00B2\u00B3";
constexpr wchar_t kRefusedCharacters[] = L"<>:\"/\\|?*";
constexpr size_t kLongestDevice = 7;  // CONOUT$

// Whether `name` is a device's, in any case, with or without an extension.
bool IsReservedName(const wchar_t* name) {
  wchar_t base[kLongestDevice + 1] = {};
  for (size_t i = 0; name[i] != L'\0' && name[i] != L'.'; ++i) {
    if (i == kLongestDevice) return false;
    base[i] = (name[i] >= L'a' && name[i] <= L'z') ? name[i] - L'a' + L'A' : name[i];
  }
  for (const wchar_t* device : kDevices) {
    if (std::wcscmp(base, device) == 0) return true;
  }
  for (const wchar_t* port : kPorts) {
    if (std::wcsncmp(base, port, 3) == 0 && base[3] != L'\0' &&
        std::wcschr(kPortDigits, base[3]) != nullptr && base[4] == L'\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsUsableWindowsName(const wchar_t* name) {
  const size_t length = std::wcslen(name);
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || std::wcschr(kRefusedCharacters, name[i]) != nullptr) return false;
  }
  if (name[length - 1] == L'.' || name[length - 1] == L' ') return false;
  return !IsReservedName(name);
}
