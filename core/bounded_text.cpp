#include "core/bounded_text.h"

#include <cwchar>

void FormatBoundedV(std::span<wchar_t> dest, const wchar_t* format, std::va_list args) {
  if (dest.empty()) return;
  // Platforms differ on truncation (glibc returns -1 and leaves the end unterminated, the Windows
  // runtimes terminate): terminate ourselves so both give the same cut line.
  const int written = std::vswprintf(dest.data(), dest.size(), format, args);
  if (written < 0 && dest[0] == L'\0') return;
  dest[dest.size() - 1] = L'\0';
}

void FormatBounded(std::span<wchar_t> dest, const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  FormatBoundedV(dest, format, args);
  va_end(args);
}

std::size_t AppendBounded(std::span<wchar_t> dest, const wchar_t* text) {
  if (dest.empty()) return 0;
  std::size_t end = 0;
  while (end < dest.size() && dest[end] != L'\0') ++end;
  if (end == dest.size()) {  // not terminated: repair, append nothing
    dest[dest.size() - 1] = L'\0';
    return 0;
  }
  std::size_t added = 0;
  while (end + 1 < dest.size() && text[added] != L'\0') dest[end++] = text[added++];
  dest[end] = L'\0';
  return added;
}
