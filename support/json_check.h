// A strict JSON checker for the support report's tests and its fuzz target (not shipped): the
// grammar of RFC 8259, text in well-formed UTF-8 (no surrogates, no overlong forms, nothing past
// U+10FFFF), no raw control characters in strings, and every \u escape a character of its own or
// half of a correct surrogate pair. Returns an empty string for valid JSON, else what is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace json_check {

struct Cursor {
  const std::string& Text;
  std::size_t At = 0;
  std::string Error;
  int Depth = 0;

  bool Fail(const char* what) {
    if (Error.empty()) Error = std::string(what) + " at byte " + std::to_string(At);
    return false;
  }
  bool End() const { return At >= Text.size(); }
  unsigned char Peek() const { return End() ? 0 : static_cast<unsigned char>(Text[At]); }
  void SkipSpace() {
    while (!End() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++At;
  }
  bool Take(char c) {
    if (Peek() != static_cast<unsigned char>(c)) return false;
    ++At;
    return true;
  }
};

inline bool Value(Cursor& c);

inline bool Literal(Cursor& c, const char* word) {
  for (const char* w = word; *w; ++w) {
    if (!c.Take(*w)) return c.Fail("bad literal");
  }
  return true;
}

inline bool Digits(Cursor& c) {
  if (c.Peek() < '0' || c.Peek() > '9') return c.Fail("digit expected");
  while (c.Peek() >= '0' && c.Peek() <= '9') ++c.At;
  return true;
}

inline bool Number(Cursor& c) {
  c.Take('-');
  if (c.Take('0')) {
    if (c.Peek() >= '0' && c.Peek() <= '9') return c.Fail("leading zero");
  } else if (!Digits(c)) {
    return false;
  }
  if (c.Take('.') && !Digits(c)) return false;
  if (c.Take('e') || c.Take('E')) {
    if (!c.Take('+')) c.Take('-');
    if (!Digits(c)) return false;
  }
  return true;
}

inline int HexDigit(unsigned char h) {
  if (h >= '0' && h <= '9') return h - '0';
  if (h >= 'a' && h <= 'f') return h - 'a' + 10;
  if (h >= 'A' && h <= 'F') return h - 'A' + 10;
  return -1;
}

inline bool Hex4(Cursor& c, std::uint32_t& unit) {
  unit = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexDigit(c.Peek());
    if (digit < 0) return c.Fail("bad \\u escape");
    unit = unit * 16 + static_cast<std::uint32_t>(digit);
    ++c.At;
  }
  return true;
}

// One UTF-8 sequence of a string, its first byte at c.At (>= 0x80).
inline bool Utf8Sequence(Cursor& c) {
  const unsigned char lead = c.Peek();
  int more = 0;
  std::uint32_t code = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1, code = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2, code = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3, code = lead & 0x07u, least = 0x10000;
  } else {
    return c.Fail("bad UTF-8 lead byte");
  }
  ++c.At;
  for (int i = 0; i < more; ++i) {
    if ((c.Peek() & 0xC0) != 0x80) return c.Fail("bad UTF-8 continuation");
    code = (code << 6) | (c.Peek() & 0x3Fu);
    ++c.At;
  }
  if (code < least) return c.Fail("overlong UTF-8");
  if (code >= 0xD800 && code <= 0xDFFF) return c.Fail("surrogate in UTF-8");
  if (code > 0x10FFFF) return c.Fail("UTF-8 past U+10FFFF");
  return true;
}

inline bool String(Cursor& c) {
  if (!c.Take('"')) return c.Fail("string expected");
  for (;;) {
    if (c.End()) return c.Fail("unterminated string");
    const unsigned char b = c.Peek();
    if (b == '"') {
      ++c.At;
      return true;
    }
    if (b < 0x20) return c.Fail("raw control character in string");
    if (b >= 0x80) {
      if (!Utf8Sequence(c)) return false;
      continue;
    }
    ++c.At;
    if (b != '\\') continue;
    const unsigned char e = c.Peek();
    ++c.At;
    switch (e) {
      case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': break;
      case 'u': {
        std::uint32_t unit = 0;
        if (!Hex4(c, unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return c.Fail("lone low surrogate escape");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          std::uint32_t low = 0;
          if (!c.Take('\\') || !c.Take('u') || !Hex4(c, low) || low < 0xDC00 || low > 0xDFFF) {
            return c.Fail("lone high surrogate escape");
          }
        }
        break;
      }
      default: return c.Fail("bad escape");
    }
  }
}

inline bool Members(Cursor& c, char close, bool keys) {
  c.SkipSpace();
  if (c.Take(close)) return true;
  for (;;) {
    c.SkipSpace();
    if (keys) {
      if (!String(c)) return false;
      c.SkipSpace();
      if (!c.Take(':')) return c.Fail("':' expected");
    }
    if (!Value(c)) return false;
    c.SkipSpace();
    if (c.Take(close)) return true;
    if (!c.Take(',')) return c.Fail("',' or end expected");
  }
}

inline bool Value(Cursor& c) {
  c.SkipSpace();
  if (++c.Depth > 64) return c.Fail("nested too deep");
  bool ok = false;
  switch (c.Peek()) {
    case '{': ++c.At; ok = Members(c, '}', true); break;
    case '[': ++c.At; ok = Members(c, ']', false); break;
    case '"': ok = String(c); break;
    case 't': ok = Literal(c, "true"); break;
    case 'f': ok = Literal(c, "false"); break;
    case 'n': ok = Literal(c, "null"); break;
    default: ok = Number(c); break;
  }
  --c.Depth;
  return ok;
}

// Empty when text is one valid JSON value (with white space around it), else the first fault.
inline std::string Check(const std::string& text) {
  Cursor c{text, 0, {}, 0};
  if (Value(c)) {
    c.SkipSpace();
    if (!c.End()) c.Fail("text after the value");
  }
  return c.Error;
}

}  // namespace json_check
