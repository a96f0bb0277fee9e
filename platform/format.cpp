#include "platform/format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/text.h"

namespace platform {
namespace format_internal {
namespace {

template <typename Char>
void AppendAscii(std::basic_string<Char>& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<Char>(static_cast<unsigned char>(c)));
}

template <typename Char>
void Pad(std::basic_string<Char>& out, size_t count, Char c) {
  out.append(count, c);
}

// Writes `body` (already converted) with the sign/prefix, zero padding and
// field width of `directive`.
template <typename Char>
void EmitNumber(std::basic_string<Char>& out, const Directive& directive, std::string_view prefix,
                std::string_view body, bool zero_pad_allowed) {
  const size_t len = prefix.size() + body.size();
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  const size_t fill = width > len ? width - len : 0;
  if (directive.left) {
    AppendAscii(out, prefix);
    AppendAscii(out, body);
    Pad(out, fill, Char(' '));
  } else if (directive.zero && zero_pad_allowed) {
    AppendAscii(out, prefix);
    Pad(out, fill, Char('0'));
    AppendAscii(out, body);
  } else {
    Pad(out, fill, Char(' '));
    AppendAscii(out, prefix);
    AppendAscii(out, body);
  }
}

template <typename Char>
void FormatInteger(std::basic_string<Char>& out, const Directive& directive, const Arg& arg) {
  const int bits = directive.int_bits;
  const uint64_t mask = bits >= 64 ? ~uint64_t{0} : ((uint64_t{1} << bits) - 1);
  uint64_t value = arg.bits & mask;
  const char conv = directive.conversion;
  bool negative = false;
  if (conv == 'd' || conv == 'i') {
    const bool top = bits < 64 ? ((value >> (bits - 1)) & 1) != 0 : (value >> 63) != 0;
    if (top) {
      negative = true;
      value = (~value + 1) & mask;  // magnitude in `bits` bits
    }
  }
  char digits[32];
  int base = 10;
  if (conv == 'x' || conv == 'X') base = 16;
  if (conv == 'o') base = 8;
  char* end = digits;
  if (!(directive.precision == 0 && value == 0)) {
    end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
  }
  std::string body(digits, end);
  if (conv == 'X') {
    for (char& c : body) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
  }
  if (directive.precision > 0 && body.size() < static_cast<size_t>(directive.precision)) {
    body.insert(0, static_cast<size_t>(directive.precision) - body.size(), '0');
  }
  std::string prefix;
  if (negative) {
    prefix = "-";
  } else if ((conv == 'd' || conv == 'i') && directive.plus) {
    prefix = "+";
  } else if ((conv == 'd' || conv == 'i') && directive.space) {
    prefix = " ";
  }
  if (directive.alt && value != 0) {
    if (conv == 'x') prefix += "0x";
    if (conv == 'X') prefix += "0X";
    if (conv == 'o' && body[0] != '0') body.insert(0, "0");
  }
  EmitNumber(out, directive, prefix, body, directive.precision < 0);
}

template <typename Char>
void FormatFloat(std::basic_string<Char>& out, const Directive& directive, double value) {
  const char conv = directive.conversion;
  const bool upper = conv == 'F' || conv == 'E' || conv == 'G' || conv == 'A';
  int precision = directive.precision < 0 ? 6 : directive.precision;
  std::chars_format format = std::chars_format::fixed;
  if (conv == 'e' || conv == 'E') format = std::chars_format::scientific;
  if (conv == 'g' || conv == 'G') {
    format = std::chars_format::general;
    if (precision == 0) precision = 1;
  }
  if (conv == 'a' || conv == 'A') format = std::chars_format::hex;
  const bool negative = std::signbit(value);
  const double magnitude = negative ? -value : value;
  std::string body;
  if (magnitude != magnitude) {
    body = "nan";
  } else if (magnitude == std::numeric_limits<double>::infinity()) {
    body = "inf";
  } else {
    char buffer[400];
    std::to_chars_result r;
    if (format == std::chars_format::hex && directive.precision < 0) {
      r = std::to_chars(buffer, buffer + sizeof buffer, magnitude, format);
    } else {
      r = std::to_chars(buffer, buffer + sizeof buffer, magnitude, format, precision);
    }
    if (r.ec != std::errc()) {
      body = "?";
    } else {
      body.assign(buffer, r.ptr);
      if (format == std::chars_format::hex) body.insert(0, "0x");
      if (directive.alt && precision == 0 && format == std::chars_format::fixed) body += ".";
    }
  }
  if (upper) {
    for (char& c : body) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  std::string prefix = negative ? "-" : directive.plus ? "+" : directive.space ? " " : "";
  const bool finite = body != "nan" && body != "inf" && body != "NAN" && body != "INF";
  EmitNumber(out, directive, prefix, body, finite);
}

template <typename Char>
void FormatString(std::basic_string<Char>& out, const Directive& directive, const Arg& arg) {
  std::basic_string<Char> converted;
  std::basic_string_view<Char> text;
  if (arg.null_string) {
    AppendAscii(converted, "(null)");
    text = converted;
  } else if constexpr (sizeof(Char) == 2) {
    if (arg.type == ArgType::kWide) {
      text = arg.wide;
    } else {
      converted = FromSystemCodePage(arg.narrow);
      text = converted;
    }
  } else {
    if (arg.type == ArgType::kNarrow) {
      text = arg.narrow;
    } else {
      converted = ToSystemCodePage(arg.wide);
      text = converted;
    }
  }
  if (directive.precision >= 0 && text.size() > static_cast<size_t>(directive.precision)) {
    text = text.substr(0, static_cast<size_t>(directive.precision));
  }
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  const size_t fill = width > text.size() ? width - text.size() : 0;
  if (!directive.left) Pad(out, fill, Char(' '));
  out.append(text);
  if (directive.left) Pad(out, fill, Char(' '));
}

template <typename Char>
void FormatChar(std::basic_string<Char>& out, const Directive& directive, const Arg& arg) {
  const size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  const size_t fill = width > 1 ? width - 1 : 0;
  if (!directive.left) Pad(out, fill, Char(' '));
  out.push_back(static_cast<Char>(arg.bits));
  if (directive.left) Pad(out, fill, Char(' '));
}

template <typename Char>
void FormatPointer(std::basic_string<Char>& out, const Directive& directive, const Arg& arg) {
  char buffer[17];
  const auto value = reinterpret_cast<uintptr_t>(arg.pointer);
  for (int k = 15; k >= 0; --k) buffer[15 - k] = "0123456789ABCDEF"[(value >> (4 * k)) & 0xF];
  buffer[16] = 0;
  Directive plain = directive;
  plain.zero = false;
  EmitNumber(out, plain, "", std::string_view(buffer, 16), false);
}

}  // namespace

template <typename Char>
void FormatTo(std::basic_string<Char>& out, std::basic_string_view<Char> fmt,
              std::span<const Arg> args) {
  size_t next = 0;
  const auto take_int = [&](int* value) {
    if (next < args.size() && args[next].type == ArgType::kInt) {
      *value = static_cast<int>(static_cast<int32_t>(args[next].bits));
    }
    ++next;
  };
  out.reserve(out.size() + fmt.size() + 16 * args.size());
  for (size_t i = 0; i < fmt.size();) {
    const size_t percent = fmt.find(Char('%'), i);
    if (percent == std::basic_string_view<Char>::npos) {
      out.append(fmt.substr(i));
      break;
    }
    out.append(fmt.substr(i, percent - i));
    if (percent + 1 < fmt.size() && fmt[percent + 1] == Char('%')) {
      out.push_back(Char('%'));
      i = percent + 2;
      continue;
    }
    Directive directive;
    i = ParseDirective(fmt, percent + 1, &directive);
    if (directive.conversion == 0) {  // not a conversion: keep the text as it stands
      out.append(fmt.substr(percent, i - percent));
      continue;
    }
    if (directive.width_arg) {
      int w = 0;
      take_int(&w);
      if (w < 0) {
        directive.left = true;
        w = -w;
      }
      directive.width = w > 100000 ? 100000 : w;
    }
    if (directive.precision_arg) {
      int p = -1;
      take_int(&p);
      directive.precision = p < 0 ? -1 : (p > 100000 ? 100000 : p);
    }
    if (next >= args.size()) continue;  // missing argument: nothing is written
    const Arg& arg = args[next++];
    const ArgType expected = ExpectedType<Char>(directive);
    if (arg.type != expected) continue;  // unreachable for checked formats
    switch (expected) {
      case ArgType::kInt:
        if (directive.conversion == 'c' || directive.conversion == 'C') {
          FormatChar(out, directive, arg);
        } else {
          FormatInteger(out, directive, arg);
        }
        break;
      case ArgType::kFloat:
        FormatFloat(out, directive, arg.real);
        break;
      case ArgType::kWide:
      case ArgType::kNarrow:
        FormatString(out, directive, arg);
        break;
      case ArgType::kPointer:
        FormatPointer(out, directive, arg);
        break;
      case ArgType::kUnsupported:
        break;
    }
  }
}

template void FormatTo<char16_t>(std::u16string&, std::u16string_view, std::span<const Arg>);
template void FormatTo<char>(std::string&, std::string_view, std::span<const Arg>);

}  // namespace format_internal
}  // namespace platform
