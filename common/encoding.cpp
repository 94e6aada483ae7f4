#include "common/encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace common {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Opening a converter is expensive; keep one per charset and thread.
UConverter* ConverterFor(Charset charset) {
  thread_local std::map<Charset, ConverterPtr> cache;
  auto it = cache.find(charset);
  if (it == cache.end()) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(CharsetName(charset), &status));
    if (U_FAILURE(status) || !converter) {
      throw std::runtime_error(std::string("cannot open converter ") + CharsetName(charset));
    }
    it = cache.emplace(charset, std::move(converter)).first;
  }
  ucnv_reset(it->second.get());
  return it->second.get();
}

UConverter* Utf8Converter() {
  thread_local ConverterPtr utf8 = [] {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr c(ucnv_open("UTF-8", &status));
    return c;
  }();
  ucnv_reset(utf8.get());
  return utf8.get();
}

}  // namespace

const char* CharsetName(Charset charset) {
  switch (charset) {
    case Charset::kCp932:
      return "windows-31j";
    case Charset::kEucJp:
      return "EUC-JP";
    case Charset::kUtf8:
      return "UTF-8";
    case Charset::kBig5:
      return "Big5";
  }
  return "windows-31j";
}

std::string DecodeToUtf8(std::string_view bytes, Charset charset) {
  if (bytes.empty()) return {};
  if (charset == Charset::kUtf8) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
  }
  UConverter* from = ConverterFor(charset);
  UErrorCode status = U_ZERO_ERROR;
  // The default substitution callback writes U+FFFD (or the charset's SUB);
  // force U+FFFD so that bad bytes stay visible.
  ucnv_setToUCallBack(from, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  status = U_ZERO_ERROR;
  std::u16string wide(bytes.size() * 2 + 16, u'\0');
  int32_t n = ucnv_toUChars(from, reinterpret_cast<UChar*>(wide.data()),
                            static_cast<int32_t>(wide.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    wide.assign(static_cast<size_t>(n) + 1, u'\0');
    status = U_ZERO_ERROR;
    n = ucnv_toUChars(from, reinterpret_cast<UChar*>(wide.data()),
                      static_cast<int32_t>(wide.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) return std::string(bytes.size(), '?');
  wide.resize(static_cast<size_t>(n));
  // ICU substitutes U+001A for some charsets; make every such mark U+FFFD.
  for (auto& c : wide) {
    if (c == u'\x1a') c = u'\xfffd';
  }
  UConverter* to = Utf8Converter();
  std::string out(wide.size() * 3 + 4, '\0');
  status = U_ZERO_ERROR;
  int32_t m = ucnv_fromUChars(to, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(wide.data()),
                              static_cast<int32_t>(wide.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return {};
  out.resize(static_cast<size_t>(m));
  return out;
}

bool EncodeFromUtf8(std::string_view utf8, Charset charset, std::string& out,
                    std::string_view substitute) {
  out.clear();
  if (utf8.empty()) return true;
  if (charset == Charset::kUtf8 && IsValidUtf8(utf8)) {
    out.assign(utf8);
    return true;
  }
  // UTF-8 -> UTF-16, bad bytes become U+FFFD (which no target but UTF-8 has).
  UConverter* from = Utf8Converter();
  UErrorCode status = U_ZERO_ERROR;
  std::u16string wide(utf8.size() + 16, u'\0');
  int32_t n = ucnv_toUChars(from, reinterpret_cast<UChar*>(wide.data()),
                            static_cast<int32_t>(wide.size()), utf8.data(),
                            static_cast<int32_t>(utf8.size()), &status);
  if (U_FAILURE(status)) return false;
  wide.resize(static_cast<size_t>(n));

  UConverter* to = ConverterFor(charset);
  bool exact = true;
  // Convert one code point at a time only when needed: first try the whole
  // text with a callback that stops on the first unmappable character.
  status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(to, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  const UChar* src = reinterpret_cast<const UChar*>(wide.data());
  const UChar* srcEnd = src + wide.size();
  std::vector<char> buffer(wide.size() * 4 + 16);
  while (src < srcEnd) {
    char* dst = buffer.data();
    char* dstEnd = buffer.data() + buffer.size();
    status = U_ZERO_ERROR;
    ucnv_fromUnicode(to, &dst, dstEnd, &src, srcEnd, nullptr, true, &status);
    out.append(buffer.data(), static_cast<size_t>(dst - buffer.data()));
    if (status == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_FAILURE(status)) {
      // `src` stands after the offending code point; drop what ICU kept.
      exact = false;
      out.append(substitute);
      ucnv_reset(to);
      status = U_ZERO_ERROR;
      ucnv_setFromUCallBack(to, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
      continue;
    }
  }
  // Invalid UTF-8 input was carried as U+FFFD, which UTF-8 can encode.
  if (charset == Charset::kUtf8) exact = false;
  return exact;
}

std::string Utf8ToCp932(std::string_view utf8) {
  std::string out;
  EncodeFromUtf8(utf8, Charset::kCp932, out);
  return out;
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

size_t Utf16Length(std::string_view s) {
  size_t units = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + len > s.size()) len = 1;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

}  // namespace common
