// The version document's road through the core conversions: bytes to text,
// text to float, float back to text. Each step is checked against an
// independent reading of the same rule.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/core.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view input, const std::string& detail) {
  std::fprintf(stderr, "%s\ninput (%zu bytes):", what, input.size());
  for (unsigned char c : input.substr(0, 64)) std::fprintf(stderr, " %02X", c);
  if (input.size() > 64) std::fprintf(stderr, " ...");
  std::fprintf(stderr, "\n%s\n", detail.c_str());
  std::abort();
}

std::uint32_t Bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

std::string Describe(float f) {
  char b[80];
  std::snprintf(b, sizeof b, "%.9g (0x%08X)", static_cast<double>(f), Bits(f));
  return b;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// strtod reads hexadecimal numbers, inf and nan; the version rule reads decimals only.
bool StrtodReadsMoreThanDecimals(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (i >= s.size()) return false;
  const char c = s[i];
  if (c == 'i' || c == 'I' || c == 'n' || c == 'N') return true;
  return c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X');
}

// The same text written in GBK full-width forms: printable ASCII as A3 (c | 0x80),
// the space as the ideographic space A1 A1.
std::string FullWidth(std::string_view ascii) {
  std::string out;
  for (char ch : ascii) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ') {
      out += "\xA1\xA1";
    } else if (c >= 0x21 && c <= 0x7E) {
      out += '\xA3';
      out += static_cast<char>(c | 0x80);
    } else {
      out += ch;
    }
  }
  return out;
}

// "%.6g" of the float's exact value rounded half away from zero to six
// significant digits, worked out on the exact decimal expansion.
std::string ReferenceText(float value) {
  char exact[160];
  // a float's exact expansion has at most 112 significant digits
  std::snprintf(exact, sizeof exact, "%.120e", std::fabs(static_cast<double>(value)));
  std::string digits;
  const char* p = exact;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int exponent = std::atoi(p + 1);
  std::string kept = digits.substr(0, 6);
  if (digits[6] >= '5') {
    int i = 5;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i < 0) {
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++exponent;
    } else {
      ++kept[i];
    }
  }
  const std::string decimal = (std::signbit(value) ? "-" : "") + kept.substr(0, 1) + "." + kept.substr(1) + "e" +
                              std::to_string(exponent);
  char out[64];
  std::snprintf(out, sizeof out, "%.6g", std::strtod(decimal.c_str(), nullptr));
  return out;
}

void CheckFloatToText(float value, std::string_view input) {
  const std::string text = core::FloatToText(value);
  if (!std::isfinite(value)) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.6g", static_cast<double>(value));
    if (text != expected) Fail("FloatToText of a non-finite value", input, text + " vs " + expected);
    return;
  }
  const std::string expected = value == 0.0f ? (std::signbit(value) ? "-0" : "0") : ReferenceText(value);
  if (text != expected)
    Fail("FloatToText differs from the exact six-digit rounding", input,
         Describe(value) + ": got " + text + ", expected " + expected);
  // The shown text reads back as a float that shows the same text (where a float
  // has more precision than six digits, that is, outside the subnormal range).
  if (std::isnormal(value)) {
    const float again = core::TextToFloat(text);
    if (core::FloatToText(again) != text)
      Fail("the shown number does not read back to itself", input,
           text + " -> " + Describe(again) + " -> " + core::FloatToText(again));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::string text = core::BytesToText(bytes);
  const std::size_t zero = bytes.find('\0');
  if (text.find('\0') != std::string::npos || bytes.substr(0, text.size()) != text ||
      text.size() != (zero == std::string_view::npos ? size : zero))
    Fail("BytesToText is not the bytes up to the first zero", bytes, text);

  const float value = core::TextToFloat(text);

  if (IsAscii(text)) {
    if (!StrtodReadsMoreThanDecimals(text)) {
      const float expected = static_cast<float>(std::strtod(text.c_str(), nullptr));
      if (Bits(value) != Bits(expected))
        Fail("TextToFloat differs from strtod", bytes, Describe(value) + " vs " + Describe(expected));
    }
    const float wide = core::TextToFloat(FullWidth(text));
    if (Bits(wide) != Bits(value))
      Fail("full-width digits read differently", bytes, Describe(wide) + " vs " + Describe(value));
  }

  CheckFloatToText(value, bytes);
  // Any bit pattern, not only the ones the parser reaches.
  if (size >= sizeof(float)) {
    float raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckFloatToText(raw, bytes);
  }
  return 0;
}
