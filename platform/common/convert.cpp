// Text and number conversions of the core library.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/core.h"

namespace core {

namespace {

// GBK full-width forms to ASCII: A3 xx -> xx & 0x7F, A1 A1 -> ' ',
// A1 AB -> '~', A1 EE / A1 EF -> '*'.
std::string MapFullWidth(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto lead = static_cast<unsigned char>(in[i]);
    if (i + 1 < in.size()) {
      const auto trail = static_cast<unsigned char>(in[i + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        out.push_back(static_cast<char>(trail & 0x7F));
        ++i;
        continue;
      }
      if (lead == 0xA1 && (trail == 0xA1 || trail == 0xAB || trail == 0xEE || trail == 0xEF)) {
        out.push_back(trail == 0xA1 ? ' ' : trail == 0xAB ? '~' : '*');
        ++i;
        continue;
      }
      // any other double-byte character stays as it is, both bytes
      if (lead >= 0x81 && lead <= 0xFE) {
        out.push_back(static_cast<char>(lead));
        out.push_back(static_cast<char>(trail));
        ++i;
        continue;
      }
    }
    out.push_back(static_cast<char>(lead));
  }
  return out;
}

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// atof's rule: white space, then the longest decimal floating prefix; 0 if none.
double ParseDecimalPrefix(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t digits_from = i;
  std::size_t mantissa_digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++mantissa_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return 0.0;
  std::size_t end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      end = j;
    }
  }
  double value = 0.0;
  const char* first = s.data() + digits_from;
  const char* last = s.data() + end;
  if (std::from_chars(first, last, value, std::chars_format::general).ec == std::errc::result_out_of_range) {
    // beyond double's range: atof gives HUGE_VAL for a huge number, 0 for a tiny one
    // counts in 64 bits and an exponent clamped far beyond any digit count, so
    // that a long run of digits cannot outweigh a clamped exponent
    long long exponent = 0, point = 0, lead = -1, seen = 0;
    for (const char* p = first; p < last && *p != 'e' && *p != 'E'; ++p) {
      if (*p == '.') { point = seen; continue; }
      if (lead < 0 && *p != '0') lead = seen;
      ++seen;
    }
    if (point == 0 && std::find(first, last, '.') == last) point = seen;
    if (const char* e = std::find_if(first, last, [](char c) { return c == 'e' || c == 'E'; }); e != last) {
      constexpr long long kLimit = 1LL << 60;
      exponent = std::clamp(std::strtoll(std::string(e + 1, last).c_str(), nullptr, 10), -kLimit, kLimit);
    }
    value = (lead >= 0 && point - lead + exponent > 0) ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

float TextToFloat(std::string_view text) {
  return static_cast<float>(ParseDecimalPrefix(MapFullWidth(text)));
}

std::string FloatToText(float value) {
  double v = value;
  if (std::isfinite(v) && v != 0.0) {
    const double magnitude = std::fabs(v);
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    const double scale = std::pow(10.0, 5 - exponent);
    const double rounded = std::round(magnitude * scale) / scale;
    v = std::copysign(rounded, v);
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

double Round(double value, int digits) {
  if (!std::isfinite(value)) return value;
  const double scale = std::pow(10.0, digits);
  const double magnitude = std::floor((std::fabs(value) + 1e-12) * scale + 0.5) / scale;
  return std::copysign(magnitude, value);
}

std::string Trim(std::string_view text) {
  static constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
  auto is_space_at_front = [&](std::string_view s) -> std::size_t {
    if (s.empty()) return 0;
    if (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n') return 1;
    if (s.substr(0, 3) == kIdeographicSpace) return 3;
    return 0;
  };
  auto is_space_at_back = [&](std::string_view s) -> std::size_t {
    if (s.empty()) return 0;
    if (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n') return 1;
    if (s.size() >= 3 && s.substr(s.size() - 3) == kIdeographicSpace) return 3;
    return 0;
  };
  while (std::size_t n = is_space_at_front(text)) text.remove_prefix(n);
  while (std::size_t n = is_space_at_back(text)) text.remove_suffix(n);
  return std::string(text);
}

std::string BytesToText(std::string_view bytes) {
  const std::size_t zero = bytes.find('\0');
  return std::string(zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
}

std::string VariantText(const Variant& v) {
  switch (v.type) {
    case Variant::Type::kText: return v.text;
    case Variant::Type::kInt: return std::to_string(v.i);
    default: return {};
  }
}

Variant GetNamed(const ComObject& object, std::string_view name) {
  Variant result;
  if (!object) return result;
  const std::int32_t id = object->IdOfName(name);
  if (id == -1) return result;
  if (object->Invoke(id, kPropertyGet, {}, &result) < 0) return {};
  return result;
}

Variant CallNamed(const ComObject& object, std::string_view name, const std::vector<Variant>& args) {
  Variant result;
  if (!object) return result;
  const std::int32_t id = object->IdOfName(name);
  if (id == -1) return result;
  if (object->Invoke(id, kMethod, args, &result) < 0) return {};
  return result;
}

}  // namespace core
