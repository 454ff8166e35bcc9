#include "platform/utf8_text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace vokt {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// What a character without a code-page-932 form becomes: the default
// character of the Windows converter.
constexpr char kNoForm = '?';

// The length of the UTF-8 sequence that `lead` starts; 1 for a byte that
// starts none.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return lead < 0xF8 ? 4 : 1;
}

// The longest start of `bytes` that does not end inside a UTF-8 sequence.
std::size_t whole_sequences(std::string_view bytes) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(4, bytes.size()); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) != 0x80) return sequence_length(byte) > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}

// Checks UTF-8 as it arrives in pieces (RFC 3629): each character in its
// shortest form, no surrogate halves, nothing beyond U+10FFFF.
class Utf8Check {
 public:
  // False at the first byte that cannot be UTF-8.
  bool accepts(std::string_view bytes) {
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (pending_ > 0) {
        if (byte < low_ || byte > high_) return false;
        low_ = 0x80;
        high_ = 0xBF;
        --pending_;
      } else if (byte >= 0x80) {
        if (byte < 0xC2 || byte > 0xF4) return false;  // a continuation byte, or a lead of no valid form
        pending_ = sequence_length(byte) - 1;
        low_ = byte == 0xE0 ? 0xA0 : byte == 0xF0 ? 0x90 : 0x80;
        high_ = byte == 0xED ? 0x9F : byte == 0xF4 ? 0x8F : 0xBF;
      }
    }
    return true;
  }
  bool complete() const { return pending_ == 0; }

 private:
  std::size_t pending_ = 0;  // continuation bytes still due
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next one
};

#ifndef _WIN32
// An iconv(3) conversion descriptor, closed by its owner.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  ~Iconv() {
    if (ok()) iconv_close(handle_);
  }
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};
#endif

}  // namespace

#ifdef _WIN32
struct Cp932Reader::Converter {
  std::vector<wchar_t> wide;
};
#else
struct Cp932Reader::Converter {
  Iconv to_cp932{"CP932", "UTF-8"};
};
#endif

std::string utf8_form(std::string_view cp932_text) {
  // A code-page-932 character is one UTF-16 unit and at most three UTF-8 bytes.
  std::string utf8(3 * cp932_text.size(), '\0');
#ifdef _WIN32
  const int length = static_cast<int>(cp932_text.size());
  std::vector<wchar_t> wide(cp932_text.size());
  const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932_text.data(), length, wide.data(), length);
  const int bytes = units <= 0 ? 0
                               : WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(),
                                                     static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
#else
  const Iconv to_utf8("UTF-8", "CP932");
  std::string text(cp932_text);
  char* in = text.data();
  char* out = utf8.data();
  std::size_t in_left = text.size(), out_left = utf8.size();
  if (!to_utf8.ok() || iconv(to_utf8.get(), &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
    return {};
  }
  utf8.resize(utf8.size() - out_left);
#endif
  return utf8;
}

namespace {

// Whether the text that `read_chunk(out, size)` delivers, at most `size`
// bytes a call and 0 at its end, is valid UTF-8 and holds the UTF-8 form of
// `cp932_text`; CR bytes are left out of that search. Stops at the first
// byte that is not UTF-8.
template <typename ReadChunk>
bool utf8_holding(std::string_view cp932_text, ReadChunk read_chunk) {
  // Before each chunk, room for the end of the text before it, so that a
  // marker across two chunks is found.
  const std::size_t room = 3 * cp932_text.size();
  std::vector<char> buffer(room + kChunkSize);
  char* const chunk = buffer.data() + room;
  Utf8Check utf8;
  std::string marker;
  bool found = false;
  std::size_t kept = 0;  // bytes of text just before the chunk
  for (;;) {
    const std::size_t got = read_chunk(chunk, kChunkSize);
    if (got == 0) break;
    if (!utf8.accepts(std::string_view(chunk, got))) return false;
    if (found) continue;
    if (marker.empty()) {
      marker = utf8_form(cp932_text);  // only now: a file that is not UTF-8 needs no converter
      if (marker.empty()) return false;
    }
    const char* const end = std::remove(chunk, chunk + got, '\r');
    const std::string_view text(chunk - kept, static_cast<std::size_t>(end - chunk) + kept);
    found = text.find(marker) != std::string_view::npos;
    kept = std::min(text.size(), marker.size() - 1);
    std::memmove(chunk - kept, text.data() + text.size() - kept, kept);
  }
  return found && utf8.complete();
}

}  // namespace

bool is_utf8_holding(std::FILE* file, std::string_view cp932_text) {
  const auto read_chunk = [file](char* out, std::size_t size) { return std::fread(out, 1, size, file); };
  return utf8_holding(cp932_text, read_chunk) && std::ferror(file) == 0;
}

bool is_utf8_holding(std::string_view text, std::string_view cp932_text) {
  return utf8_holding(cp932_text, [&text](char* out, std::size_t size) {
    const std::size_t got = std::min(size, text.size());
    std::memcpy(out, text.data(), got);
    text.remove_prefix(got);
    return got;
  });
}

Cp932Reader::Cp932Reader() = default;
Cp932Reader::~Cp932Reader() = default;

bool Cp932Reader::start(std::FILE* file) {
  if (!start_converter()) return false;
  file_ = file;
  raw_.assign(kChunkSize, '\0');
  begin_ = end_ = 0;
  fill();
  skip_byte_order_mark();
  return true;
}

bool Cp932Reader::start(std::string_view text) {
  if (!start_converter()) return false;
  file_ = nullptr;
  raw_.assign(text.begin(), text.end());
  begin_ = 0;
  end_ = raw_.size();
  at_end_ = true;  // nothing more to read
  skip_byte_order_mark();
  return true;
}

bool Cp932Reader::start_converter() {
  converter_ = std::make_unique<Converter>();
#ifndef _WIN32
  if (!converter_->to_cp932.ok()) return false;  // errno as iconv_open set it
#endif
  return true;
}

void Cp932Reader::skip_byte_order_mark() {
  if (std::string_view(raw_.data(), end_).starts_with(kByteOrderMark)) begin_ = kByteOrderMark.size();
}

void Cp932Reader::fill() {
  std::memmove(raw_.data(), raw_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const std::size_t got = std::fread(raw_.data() + end_, 1, raw_.size() - end_, file_);
  end_ += got;
  at_end_ = got == 0;
}

std::size_t Cp932Reader::read(char* out, std::size_t size) {
  for (;;) {
    std::string_view pending(raw_.data() + begin_, std::min(size, end_ - begin_));
    // A character cut off by the end of what was read waits for its other
    // bytes; at the end of the file there are none to come.
    if (!at_end_ || pending.size() < end_ - begin_) pending = pending.substr(0, whole_sequences(pending));
    if (!pending.empty()) {
      const std::size_t written = convert(pending.size(), out, size);
      if (written > 0) return written;
    } else if (at_end_) {
      return 0;
    } else {
      fill();
    }
  }
}

std::size_t Cp932Reader::convert(std::size_t length, char* out, std::size_t room) {
  char* in = raw_.data() + begin_;
#ifdef _WIN32
  std::vector<wchar_t>& wide = converter_->wide;
  wide.resize(length);  // no more UTF-16 units than UTF-8 bytes
  const int bytes = static_cast<int>(length);
  int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in, bytes, wide.data(), bytes);
  // Bytes that are not UTF-8 after all (the file changed since it was
  // checked) become U+FFFD, and so "?".
  if (units <= 0) units = MultiByteToWideChar(CP_UTF8, 0, in, bytes, wide.data(), bytes);
  // Code page 932 has nothing beyond the Basic Multilingual Plane: a
  // surrogate pair becomes one "?", as in the C library, not one for each
  // half.
  int kept = 0;
  for (int i = 0; i < units; ++i) {
    const bool pair = i + 1 < units && IS_SURROGATE_PAIR(wide[i], wide[i + 1]);
    wide[kept++] = pair ? L'?' : wide[i];
    if (pair) ++i;
  }
  const char no_form[] = {kNoForm, '\0'};
  const int written = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), kept, out,
                                          static_cast<int>(std::min<std::size_t>(room, INT_MAX)), no_form, nullptr);
  begin_ += length;
  return written > 0 ? static_cast<std::size_t>(written) : 0;
#else
  char* to = out;
  std::size_t in_left = length;
  while (in_left > 0 && room > 0) {
    if (iconv(converter_->to_cp932.get(), &in, &in_left, &to, &room) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG || room == 0) break;
    // No code-page-932 form (EILSEQ), or bytes that are not UTF-8 after all
    // (the file changed since it was checked).
    *to++ = kNoForm;
    --room;
    const std::size_t skip = std::min(sequence_length(static_cast<unsigned char>(*in)), in_left);
    in += skip;
    in_left -= skip;
  }
  begin_ = static_cast<std::size_t>(in - raw_.data());
  return static_cast<std::size_t>(to - out);
#endif
}

}  // namespace vokt
