// Wide text in fixed buffers: formatting and appending that cut off what does not fit and always
// leave the buffer terminated, never writing past its end.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <span>

// Format into dest (printf-style, wide), always terminated; output beyond the capacity is cut off.
// Use %ls for wide text: it means a wide string on every platform, unlike %s.
void FormatBounded(std::span<wchar_t> dest, const wchar_t* format, ...);
void FormatBoundedV(std::span<wchar_t> dest, const wchar_t* format, std::va_list args);

// Append text at the end of a terminated buffer; what does not fit is cut off, the buffer stays
// terminated. Returns the number of characters appended.
std::size_t AppendBounded(std::span<wchar_t> dest, const wchar_t* text);
