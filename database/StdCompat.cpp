#include "database/StdCompat.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ondrel::compat {
namespace {

std::to_chars_result Put(char* first, char* last, const std::string& text) {
  if (last - first < static_cast<std::ptrdiff_t>(text.size())) return {last, std::errc::value_too_large};
  std::memcpy(first, text.data(), text.size());
  return {first + text.size(), std::errc()};
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::to_chars_result ShortestDoubleChars(char* first, char* last, double value) {
  if (std::isnan(value)) return Put(first, last, std::signbit(value) ? "-nan" : "nan");
  std::string text = std::signbit(value) ? "-" : "";
  const double magnitude = std::fabs(value);
  if (std::isinf(magnitude)) return Put(first, last, text + "inf");
  if (magnitude == 0) return Put(first, last, text + "0");

  // The fewest significant digits that read back as the same double, and
  // of those the number nearest the value.  printf gives the nearest number
  // of each length; where the doubles' spacing changes (at a power of two)
  // the values that read back lie unevenly around the value, and the
  // nearest may miss them while its neighbour in the last digit does not.
  std::string digits;
  int exponent = 0;
  for (int precision = 0; digits.empty(); ++precision) {
    char nearest[40];
    std::snprintf(nearest, sizeof nearest, "%.*e", precision, magnitude);
    const char* e = std::strchr(nearest, 'e');
    std::string mantissa(static_cast<const char*>(nearest), e);
    if (mantissa.size() > 1) mantissa.erase(1, 1);
    const int scale = std::atoi(e + 1) - precision;  // value = mantissa * 10^scale
    const unsigned long long m = std::stoull(mantissa);
    long double bestDistance = 0;
    for (const unsigned long long candidate : {m, m - 1, m + 1}) {
      if (candidate == 0) continue;
      const std::string written = std::to_string(candidate) + "e" + std::to_string(scale);
      if (std::strtod(written.c_str(), nullptr) != magnitude) continue;
      const long double distance = std::fabs(std::strtold(written.c_str(), nullptr) - static_cast<long double>(magnitude));
      if (!digits.empty() && distance >= bestDistance) continue;
      bestDistance = distance;
      digits = std::to_string(candidate);
      exponent = scale + static_cast<int>(digits.size()) - 1;
      if (candidate == m) break;  // the nearest reads back: nothing is nearer
    }
    if (precision == 17) break;  // 17 digits always read back
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());
  char exponentText[16];
  std::snprintf(exponentText, sizeof exponentText, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  const std::string shortScientific =
      digits.substr(0, 1) + (count > 1 ? "." + digits.substr(1) : std::string()) + exponentText;

  std::string fixed;
  if (exponent >= count - 1) {
    // A whole number: written exactly, as printf's %.0f writes it, which for
    // a large one has more digits than the shortest form's zeros.
    char whole[320];
    std::snprintf(whole, sizeof whole, "%.0f", magnitude);
    fixed = whole;
  } else if (exponent >= 0) {
    fixed = digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
  } else {
    fixed = "0." + std::string(-exponent - 1, '0') + digits;
  }
  text += fixed.size() <= shortScientific.size() ? fixed : shortScientific;
  return Put(first, last, text);
}

std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value,
                                       std::chars_format format) {
  // The longest prefix in the pattern: [-]digits[.digits][e[±]digits].
  const char* at = first;
  if (at != last && *at == '-') ++at;
  const char* mantissa = at;
  while (at != last && IsDigit(*at)) ++at;
  bool anyDigit = at != mantissa;
  if (at != last && *at == '.') {
    const char* fraction = ++at;
    while (at != last && IsDigit(*at)) ++at;
    anyDigit = anyDigit || at != fraction;
  }
  if (!anyDigit) return {first, std::errc::invalid_argument};
  if (format != std::chars_format::fixed && at != last && (*at == 'e' || *at == 'E')) {
    const char* exponent = at + 1;
    if (exponent != last && (*exponent == '+' || *exponent == '-')) ++exponent;
    const char* digits = exponent;
    while (exponent != last && IsDigit(*exponent)) ++exponent;
    if (exponent != digits) at = exponent;  // an "e" without digits is not read
  }
  const std::string text(first, at);
  errno = 0;
  const double read = std::strtod(text.c_str(), nullptr);
  if (errno == ERANGE && (read == 0 || std::isinf(read))) return {at, std::errc::result_out_of_range};
  value = read;
  return {at, std::errc()};
}

}  // namespace ondrel::compat
