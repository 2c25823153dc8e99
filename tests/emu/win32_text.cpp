// Text services: MultiByteToWideChar for the ANSI code page (Windows-1252,
// as on a Western Windows and under Wine here) and user32's wsprintfA and
// wvsprintfA. The formatting hands each conversion to the C library's
// snprintf, so "%d", "%03d" and "%s" give exactly the standard text; any
// conversion this host does not model is a fault rather than a guess.
#include <stdio.h>

#include <functional>
#include <vector>

#include "tests/emu/imports.h"
#include "tests/emu/machine.h"

namespace emu {
namespace {

constexpr uint32_t kCodePageAnsi = 0;        // CP_ACP
constexpr uint32_t kCodePageThreadAnsi = 3;  // CP_THREAD_ACP
constexpr uint32_t kCodePage1252 = 1252;
constexpr uint32_t kMbPrecomposed = 0x01;
constexpr uint32_t kMbUseGlyphChars = 0x04;
constexpr uint32_t kMbErrInvalidChars = 0x08;
// wsprintfA writes at most this many bytes, terminator included.
constexpr size_t kFormatBufferBytes = 1024;

// Windows-1252 bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
// The five bytes the code page leaves undefined map to the same C1 controls
// that Windows gives them.
const uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint16_t Unit(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// Formats as wsprintfA does; false after a fault. `next` yields the raw
// argument slots in order.
bool Format(Process& p, const std::string& format, const std::function<bool(uint64_t*)>& next,
            std::string* out) {
  out->clear();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out->push_back(format[i]);
      continue;
    }
    std::string conversion = "%";
    size_t k = i + 1;
    while (k < format.size() && (format[k] == '-' || format[k] == '#' || format[k] == '0')) {
      conversion.push_back(format[k++]);
    }
    while (k < format.size() && isdigit(static_cast<unsigned char>(format[k])))
      conversion.push_back(format[k++]);
    if (k < format.size() && format[k] == '.') {
      conversion.push_back(format[k++]);
      while (k < format.size() && isdigit(static_cast<unsigned char>(format[k])))
        conversion.push_back(format[k++]);
    }
    if (k < format.size() && (format[k] == 'h' || format[k] == 'l')) {
      if (format[k] == 'l' && k + 1 < format.size() &&
          (format[k + 1] == 's' || format[k + 1] == 'c')) {
        Fail(p, "wsprintfA conversion \"" + format.substr(i, k + 2 - i) +
                    "\" (wide text), which the emulated host does not implement");
        return false;
      }
      ++k;  // ints are 32 bits either way; "hs" and "hc" are the ANSI forms
    }
    if (k >= format.size()) {
      Fail(p, "wsprintfA format \"" + format + "\" ends inside a conversion");
      return false;
    }
    const char type = format[k];
    char text[kFormatBufferBytes * 2];
    uint64_t slot = 0;
    if (type == '%') {
      out->push_back('%');
    } else if (type == 'd' || type == 'i' || type == 'u' || type == 'x' || type == 'X' ||
               type == 'c') {
      if (!next(&slot)) return false;
      conversion.push_back(type);
      if (type == 'd' || type == 'i') {
        snprintf(text, sizeof text, conversion.c_str(), static_cast<int32_t>(slot));
      } else if (type == 'c') {
        snprintf(text, sizeof text, conversion.c_str(), static_cast<unsigned char>(slot));
      } else {
        snprintf(text, sizeof text, conversion.c_str(), static_cast<uint32_t>(slot));
      }
      *out += text;
    } else if (type == 's') {
      if (!next(&slot)) return false;
      std::string arg = "(null)";
      if (slot != 0 && !ReadGuestText(p, slot, &arg, "wsprintfA %s argument")) return false;
      conversion.push_back('s');
      snprintf(text, sizeof text, conversion.c_str(), arg.substr(0, kFormatBufferBytes).c_str());
      *out += text;
    } else {
      Fail(p, "wsprintfA conversion \"" + format.substr(i, k + 1 - i) +
                  "\", which the emulated host does not implement");
      return false;
    }
    i = k;
  }
  return true;
}

// Writes the formatted text to `to` as wsprintfA does and returns its length.
uint64_t Deliver(Process& p, uint64_t to, std::string text) {
  if (text.size() > kFormatBufferBytes - 1) text.resize(kFormatBufferBytes - 1);
  if (!WriteGuest(p, to, text.c_str(), text.size() + 1, "wsprintfA output")) return 0;
  return text.size();
}

}  // namespace

uint64_t Win32MultiByteToWideChar(Process& p) {
  const uint32_t code_page = Arg32(p, 0);
  const uint32_t flags = Arg32(p, 1);
  const uint64_t src = Arg(p, 2);
  const int32_t src_length = static_cast<int32_t>(Arg32(p, 3));
  const uint64_t dst = Arg(p, 4);
  const int32_t dst_units = static_cast<int32_t>(Arg32(p, 5));
  if (code_page != kCodePageAnsi && code_page != kCodePageThreadAnsi &&
      code_page != kCodePage1252) {
    Fail(p, "MultiByteToWideChar with code page " + std::to_string(code_page) +
                ", which the emulated host does not implement");
    return 0;
  }
  if ((flags & ~(kMbPrecomposed | kMbUseGlyphChars | kMbErrInvalidChars)) != 0) {
    Fail(p, "MultiByteToWideChar with flags " + Hex(flags) +
                ", which the emulated host does not implement");
    return 0;
  }
  if (src == 0 || src_length == 0 || src_length < -1 || dst_units < 0) {
    SetLastError(p, kErrorInvalidParameter);
    return 0;
  }
  std::string bytes;
  if (src_length == -1) {
    if (!ReadGuestText(p, src, &bytes, "MultiByteToWideChar source")) return 0;
    bytes.push_back(0);  // the terminator is converted too
  } else {
    bytes.resize(static_cast<size_t>(src_length));
    if (!ReadGuest(p, src, &bytes[0], bytes.size(), "MultiByteToWideChar source")) return 0;
  }
  if (dst_units > 0 && !CheckGuest(p, dst, 2ull * dst_units, true, "MultiByteToWideChar output")) {
    return 0;
  }
  if (Injected(p)) {
    SetLastError(p, kErrorInsufficientBuffer);
    return 0;
  }
  std::vector<uint8_t> units;
  for (char c : bytes) {
    const uint16_t u = Unit(static_cast<uint8_t>(c));
    units.push_back(static_cast<uint8_t>(u));
    units.push_back(static_cast<uint8_t>(u >> 8));
  }
  const uint64_t needed = bytes.size();
  if (dst_units == 0) return needed;
  // Windows fills what fits before it reports that the rest does not.
  const uint64_t fits = needed < static_cast<uint64_t>(dst_units) ? needed : dst_units;
  if (!WriteGuest(p, dst, units.data(), 2 * fits, "MultiByteToWideChar output")) return 0;
  if (fits < needed) {
    SetLastError(p, kErrorInsufficientBuffer);
    return 0;
  }
  return needed;
}

uint64_t Win32WvsprintfA(Process& p) {
  const uint64_t to = Arg(p, 0);
  const uint64_t format_at = Arg(p, 1);
  uint64_t va = Arg(p, 2);
  std::string format;
  if (!ReadGuestText(p, format_at, &format, "wvsprintfA format")) return 0;
  const unsigned slot_bytes = p.bits / 8;
  auto next = [&](uint64_t* v) {
    uint8_t raw[8] = {0};
    if (!ReadGuest(p, va, raw, slot_bytes, "wvsprintfA argument list")) return false;
    va += slot_bytes;
    *v = 0;
    for (unsigned i = 0; i < slot_bytes; ++i) *v |= static_cast<uint64_t>(raw[i]) << (8 * i);
    return true;
  };
  std::string text;
  if (!Format(p, format, next, &text)) return 0;
  return Deliver(p, to, text);
}

uint64_t Win32WsprintfA(Process& p) {
  const uint64_t to = Arg(p, 0);
  std::string format;
  if (!ReadGuestText(p, Arg(p, 1), &format, "wsprintfA format")) return 0;
  int index = 2;
  auto next = [&](uint64_t* v) {
    *v = Arg(p, index++);
    return true;
  };
  std::string text;
  if (!Format(p, format, next, &text)) return 0;
  return Deliver(p, to, text);
}

}  // namespace emu
