// printf-style formatting, type-checked at compile time.
//
// The system's own format strings are kept exactly as written for Windows, so
// conversions have their Windows meaning:
//   - in a wide format (char16_t) %s takes a wide string and %S a narrow one;
//     in a narrow format it is the other way round; %hs is always narrow and
//     %ls / %ws always wide;
//   - integers are 32 bits wide without a length modifier and with "l"
//     (Windows longs are 32 bits), 64 bits with "ll", "I64", "j", "z", "t";
//     "h" and "hh" take 16 and 8 bits. A signed conversion sign-extends from
//     that width, so a 32-bit unsigned 4294967295 prints as -1 with %d;
//   - %p prints 16 upper-case hexadecimal digits.
// Flags (- + space # 0), width and precision (also as *) work as in C.
// Floating-point output does not depend on the process locale.
//
//   std::u16string s = platform::Format(u"%s - count[%d]", name, n);
//
// A conversion whose argument has the wrong kind, an integer wider than its
// conversion, or a wrong number of arguments is a compile-time error.
#ifndef PORTELLE_PLATFORM_FORMAT_H_
#define PORTELLE_PLATFORM_FORMAT_H_

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {
namespace format_internal {

enum class ArgType : uint8_t { kInt, kFloat, kWide, kNarrow, kPointer, kUnsupported };

// One type-erased argument.
struct Arg {
  ArgType type = ArgType::kUnsupported;
  bool is_signed = false;
  uint8_t bytes = 0;  // size of an integer argument
  uint64_t bits = 0;  // integer value, zero- or sign-extended to 64 bits
  double real = 0;
  const void* pointer = nullptr;
  std::u16string_view wide;
  std::string_view narrow;
  bool null_string = false;
};

template <typename T>
using Plain = std::remove_cvref_t<std::decay_t<T>>;

template <typename T>
constexpr bool kIsWide =
    std::is_same_v<Plain<T>, std::u16string> || std::is_same_v<Plain<T>, std::u16string_view> ||
    std::is_same_v<Plain<T>, const char16_t*> || std::is_same_v<Plain<T>, char16_t*>;
template <typename T>
constexpr bool kIsNarrow =
    std::is_same_v<Plain<T>, std::string> || std::is_same_v<Plain<T>, std::string_view> ||
    std::is_same_v<Plain<T>, const char*> || std::is_same_v<Plain<T>, char*>;

template <typename T>
constexpr ArgType TypeOf() {
  using P = Plain<T>;
  if constexpr (kIsWide<T>) {
    return ArgType::kWide;
  } else if constexpr (kIsNarrow<T>) {
    return ArgType::kNarrow;
  } else if constexpr (std::is_integral_v<P> || std::is_enum_v<P>) {
    return ArgType::kInt;
  } else if constexpr (std::is_floating_point_v<P>) {
    return ArgType::kFloat;
  } else if constexpr (std::is_pointer_v<P> || std::is_null_pointer_v<P>) {
    return ArgType::kPointer;
  } else {
    return ArgType::kUnsupported;
  }
}

template <typename T>
constexpr uint8_t SizeOf() {
  using P = Plain<T>;
  if constexpr (std::is_integral_v<P> || std::is_enum_v<P>) {
    return sizeof(P);
  } else {
    return 0;
  }
}

template <typename T>
Arg MakeArg(const T& value) {
  using P = Plain<T>;
  Arg a;
  a.type = TypeOf<T>();
  if constexpr (std::is_array_v<std::remove_cvref_t<T>>) {
    // A character array (a literal) is passed on as a pointer to its text.
    const std::remove_extent_t<std::remove_cvref_t<T>>* pointer = value;
    return MakeArg(pointer);
  } else if constexpr (kIsWide<T>) {
    if constexpr (std::is_pointer_v<P>) {
      a.null_string = value == nullptr;
      if (value != nullptr) a.wide = std::u16string_view(value);
    } else {
      a.wide = std::u16string_view(value);
    }
  } else if constexpr (kIsNarrow<T>) {
    if constexpr (std::is_pointer_v<P>) {
      a.null_string = value == nullptr;
      if (value != nullptr) a.narrow = std::string_view(value);
    } else {
      a.narrow = std::string_view(value);
    }
  } else if constexpr (std::is_enum_v<P>) {
    return MakeArg(static_cast<std::underlying_type_t<P>>(value));
  } else if constexpr (std::is_integral_v<P>) {
    a.bytes = sizeof(P);
    a.is_signed = std::is_signed_v<P>;
    a.bits = a.is_signed ? static_cast<uint64_t>(static_cast<int64_t>(value))
                         : static_cast<uint64_t>(value);
  } else if constexpr (std::is_floating_point_v<P>) {
    a.real = static_cast<double>(value);
  } else if constexpr (std::is_pointer_v<P>) {
    a.pointer = static_cast<const void*>(value);
  }
  return a;
}

// Compile-time diagnostics: calling one of these (they are deliberately not
// constexpr) from the consteval check names the fault in the compiler error.
void format_error_argument_kind_does_not_match_conversion();
void format_error_integer_argument_wider_than_conversion();
void format_error_too_few_arguments();
void format_error_too_many_arguments();
void format_error_invalid_conversion();

struct ArgInfo {
  ArgType type;
  uint8_t bytes;
};

// One parsed conversion directive (flags, width, precision, length, letter).
struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;          // -1: none
  int precision = -1;      // -1: none
  bool width_arg = false;  // width given as *
  bool precision_arg = false;
  int int_bits = 32;    // width of an integer conversion
  int char_kind = 0;    // for s/c: 0 default, 'h' narrow, 'l' wide
  char conversion = 0;  // 0: invalid
};

// Parses the directive that starts after a '%' at fmt[i]; returns the
// index after it. Shared by the compile-time check and the formatter.
template <typename Char>
constexpr size_t ParseDirective(std::basic_string_view<Char> fmt, size_t i, Directive* directive) {
  const size_t n = fmt.size();
  for (; i < n; ++i) {
    const Char c = fmt[i];
    if (c == '-')
      directive->left = true;
    else if (c == '+')
      directive->plus = true;
    else if (c == ' ')
      directive->space = true;
    else if (c == '#')
      directive->alt = true;
    else if (c == '0')
      directive->zero = true;
    else
      break;
  }
  if (i < n && fmt[i] == '*') {
    directive->width_arg = true;
    ++i;
  } else {
    for (; i < n && fmt[i] >= '0' && fmt[i] <= '9'; ++i) {
      directive->width = (directive->width < 0 ? 0 : directive->width) * 10 + (fmt[i] - '0');
      if (directive->width > 100000) directive->width = 100000;
    }
  }
  if (i < n && fmt[i] == '.') {
    ++i;
    directive->precision = 0;
    if (i < n && fmt[i] == '*') {
      directive->precision_arg = true;
      ++i;
    } else {
      for (; i < n && fmt[i] >= '0' && fmt[i] <= '9'; ++i) {
        directive->precision = directive->precision * 10 + (fmt[i] - '0');
        if (directive->precision > 100000) directive->precision = 100000;
      }
    }
  }
  // Length modifiers.
  if (i < n) {
    const Char c = fmt[i];
    if (c == 'h') {
      ++i;
      directive->char_kind = 'h';
      directive->int_bits = 16;
      if (i < n && fmt[i] == 'h') {
        directive->int_bits = 8;
        ++i;
      }
    } else if (c == 'l') {
      ++i;
      directive->char_kind = 'l';
      if (i < n && fmt[i] == 'l') {
        directive->int_bits = 64;
        ++i;
      }
    } else if (c == 'w') {
      ++i;
      directive->char_kind = 'l';
    } else if (c == 'j' || c == 'z' || c == 't') {
      ++i;
      directive->int_bits = 64;
    } else if (c == 'L') {
      ++i;
    } else if (c == 'I') {
      ++i;
      directive->int_bits = 64;
      if (i + 1 < n && fmt[i] == '6' && fmt[i + 1] == '4') {
        i += 2;
      } else if (i + 1 < n && fmt[i] == '3' && fmt[i + 1] == '2') {
        i += 2;
        directive->int_bits = 32;
      }
    }
  }
  if (i >= n) return i;
  const Char c = fmt[i];
  switch (c) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
    case 'C':
    case 's':
    case 'S':
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
    case 'p':
      directive->conversion = static_cast<char>(c);
      break;
    default:
      directive->conversion = 0;
  }
  return i + 1;
}

// What kind of argument a conversion consumes in a format of char type Char.
template <typename Char>
constexpr ArgType ExpectedType(const Directive& directive) {
  constexpr bool wide_format = sizeof(Char) == 2;
  switch (directive.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
    case 'C':
      return ArgType::kInt;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return ArgType::kFloat;
    case 'p':
      return ArgType::kPointer;
    case 's':
    case 'S': {
      bool wide = (directive.conversion == 's') == wide_format;
      if (directive.char_kind == 'h') wide = false;
      if (directive.char_kind == 'l') wide = true;
      return wide ? ArgType::kWide : ArgType::kNarrow;
    }
    default:
      return ArgType::kUnsupported;
  }
}

template <typename Char, size_t N>
consteval void Validate(std::basic_string_view<Char> fmt, const std::array<ArgInfo, N>& args) {
  size_t next = 0;
  const auto take_int = [&] {
    if (next >= N) format_error_too_few_arguments();
    if (args[next].type != ArgType::kInt) format_error_argument_kind_does_not_match_conversion();
    ++next;
  };
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] != '%') {
      ++i;
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      i += 2;
      continue;
    }
    Directive directive;
    i = ParseDirective(fmt, i + 1, &directive);
    if (directive.conversion == 0) format_error_invalid_conversion();
    if (directive.width_arg) take_int();
    if (directive.precision_arg) take_int();
    if (next >= N) format_error_too_few_arguments();
    const ArgInfo arg = args[next++];
    if (arg.type != ExpectedType<Char>(directive))
      format_error_argument_kind_does_not_match_conversion();
    if (arg.type == ArgType::kInt && directive.conversion != 'c' && directive.conversion != 'C' &&
        arg.bytes * 8 > (directive.int_bits < 32 ? 32 : directive.int_bits)) {
      format_error_integer_argument_wider_than_conversion();
    }
  }
  if (next != N) format_error_too_many_arguments();
}

template <typename Char>
void FormatTo(std::basic_string<Char>& out, std::basic_string_view<Char> fmt,
              std::span<const Arg> args);

}  // namespace format_internal

// A format string checked against the argument types at compile time.
template <typename Char, typename... Args>
class BasicFormatString {
 public:
  template <typename S>
  requires std::convertible_to<const S&, std::basic_string_view<Char>>
  consteval BasicFormatString(const S& text) : text_(text) {  // NOLINT: implicit by design
    format_internal::Validate<Char>(
        text_, std::array<format_internal::ArgInfo, sizeof...(Args)>{format_internal::ArgInfo{
                   format_internal::TypeOf<Args>(), format_internal::SizeOf<Args>()}...});
  }
  constexpr std::basic_string_view<Char> get() const { return text_; }

 private:
  std::basic_string_view<Char> text_;
};

template <typename... Args>
using WideFormat = BasicFormatString<char16_t, std::type_identity_t<Args>...>;
template <typename... Args>
using NarrowFormat = BasicFormatString<char, std::type_identity_t<Args>...>;

template <typename... Args>
void FormatAppend(std::u16string& out, WideFormat<Args...> fmt, const Args&... args) {
  const std::array<format_internal::Arg, sizeof...(Args)> packed{format_internal::MakeArg(args)...};
  format_internal::FormatTo<char16_t>(out, fmt.get(), packed);
}

template <typename... Args>
std::u16string Format(WideFormat<Args...> fmt, const Args&... args) {
  std::u16string out;
  FormatAppend(out, fmt, args...);
  return out;
}

template <typename... Args>
void FormatAppendA(std::string& out, NarrowFormat<Args...> fmt, const Args&... args) {
  const std::array<format_internal::Arg, sizeof...(Args)> packed{format_internal::MakeArg(args)...};
  format_internal::FormatTo<char>(out, fmt.get(), packed);
}

template <typename... Args>
std::string FormatA(NarrowFormat<Args...> fmt, const Args&... args) {
  std::string out;
  FormatAppendA(out, fmt, args...);
  return out;
}

}  // namespace platform

#endif  // PORTELLE_PLATFORM_FORMAT_H_
