#include "platform/utf8_text.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "platform/text_file.h"

namespace vokt {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;

// The longest start of `bytes` that does not end inside a UTF-8 sequence.
std::size_t whole_sequences(std::string_view bytes) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(4, bytes.size()); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) != 0x80) return utf8_sequence_length(byte) > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}

// The length of the UTF-8 character (RFC 3629: in its shortest form, no
// surrogate half, nothing beyond U+10FFFF) at the start of `bytes`; 0 when
// they start none.
std::size_t character_length(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes.front());
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4) return 0;  // a continuation byte, or a lead of no valid form
  const std::size_t length = utf8_sequence_length(lead);
  if (bytes.size() < length) return 0;
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

// Appends `bytes` to `out` with each byte that is not part of a UTF-8
// character replaced by "?".
void append_valid_utf8(std::string_view bytes, std::string& out) {
  while (!bytes.empty()) {
    const std::size_t length = character_length(bytes);
    if (length == 0) {
      out += kNoCp932Form;
      bytes.remove_prefix(1);
    } else {
      out.append(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
  }
}

void append_utf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return lead < 0xF8 ? 4 : 1;
}

bool is_utf8_holding(ByteSource& source, std::string_view utf8_marker, std::string_view cp932_marker) {
  // Before each chunk, room for the end of the text before it, so that a
  // marker across two chunks is found.
  const std::size_t room = std::max(utf8_marker.size(), cp932_marker.size());
  std::vector<char> buffer(room + kChunkSize);
  char* const chunk = buffer.data() + room;
  bool found = false;
  std::size_t kept = 0;  // bytes of text just before the chunk
  while (const std::size_t got = source.read(chunk, kChunkSize)) {
    const char* const end = std::remove(chunk, chunk + got, '\r');
    const std::string_view text(chunk - kept, static_cast<std::size_t>(end - chunk) + kept);
    if (text.find(cp932_marker) != std::string_view::npos) return false;
    found = found || text.find(utf8_marker) != std::string_view::npos;
    kept = std::min(text.size(), room - 1);
    std::memmove(chunk - kept, text.data() + text.size() - kept, kept);
  }
  return found && !source.failed();
}

bool has_utf16_mark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

std::optional<std::string> utf8_from_utf16(std::string_view bytes) {
  if (!has_utf16_mark(bytes)) return std::nullopt;
  const bool little = bytes.starts_with("\xFF\xFE");
  const auto unit_at = [&](std::size_t at) -> char32_t {
    const auto first = static_cast<unsigned char>(bytes[at]), second = static_cast<unsigned char>(bytes[at + 1]);
    return little ? second << 8 | first : first << 8 | second;
  };
  std::string utf8;
  std::size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) {
    const char32_t unit = unit_at(at);
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const char32_t next = at + 3 < bytes.size() ? unit_at(at + 2) : 0;
    if (high && next >= 0xDC00 && next <= 0xDFFF) {
      append_utf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), utf8);
      at += 2;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      utf8 += kNoCp932Form;
    } else {
      append_utf8(unit, utf8);
    }
  }
  if (at < bytes.size()) utf8 += kNoCp932Form;
  return utf8;
}

int Cp932Reader::start(ByteSource& source) {
  std::string none;
  if (const int error = append_cp932({}, none)) return error;  // the system has no converter
  source_ = &source;
  raw_.assign(kChunkSize, '\0');
  converted_.clear();
  begin_ = end_ = 0;
  at_end_ = false;
  fill();
  if (std::string_view(raw_.data(), end_).starts_with(kUtf8ByteOrderMark)) begin_ = kUtf8ByteOrderMark.size();
  return 0;
}

void Cp932Reader::fill() {
  std::memmove(raw_.data(), raw_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const std::size_t got = source_->read(raw_.data() + end_, raw_.size() - end_);
  end_ += got;
  at_end_ = got == 0;
}

std::size_t Cp932Reader::read(char* out, std::size_t size) {
  for (;;) {
    std::string_view pending(raw_.data() + begin_, std::min(size, end_ - begin_));
    // A character cut off by the end of what was read waits for its other
    // bytes; at the end of the source there are none to come.
    if (!at_end_ || pending.size() < end_ - begin_) pending = pending.substr(0, whole_sequences(pending));
    if (!pending.empty()) {
      valid_.clear();
      append_valid_utf8(pending, valid_);
      converted_.clear();
      append_cp932(valid_, converted_);
      begin_ += pending.size();
      // Never longer than `pending`, which is at most `size` bytes.
      std::memcpy(out, converted_.data(), converted_.size());
      if (!converted_.empty()) return converted_.size();
    } else if (at_end_) {
      return 0;
    } else {
      fill();
    }
  }
}

}  // namespace vokt
