#include "platform/utf8_text.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "platform/text_file.h"

namespace vokt {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The longest start of `bytes` that does not end inside a UTF-8 sequence.
std::size_t whole_sequences(std::string_view bytes) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(4, bytes.size()); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) != 0x80) return utf8_sequence_length(byte) > back ? bytes.size() - back : bytes.size();
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
        pending_ = utf8_sequence_length(byte) - 1;
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

}  // namespace

std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return lead < 0xF8 ? 4 : 1;
}

bool is_utf8_holding(ByteSource& source, std::string_view utf8_marker) {
  // Before each chunk, room for the end of the text before it, so that a
  // marker across two chunks is found.
  const std::size_t room = utf8_marker.size();
  std::vector<char> buffer(room + kChunkSize);
  char* const chunk = buffer.data() + room;
  Utf8Check utf8;
  bool found = false;
  std::size_t kept = 0;  // bytes of text just before the chunk
  while (const std::size_t got = source.read(chunk, kChunkSize)) {
    if (!utf8.accepts(std::string_view(chunk, got))) return false;
    if (found) continue;
    const char* const end = std::remove(chunk, chunk + got, '\r');
    const std::string_view text(chunk - kept, static_cast<std::size_t>(end - chunk) + kept);
    found = text.find(utf8_marker) != std::string_view::npos;
    kept = std::min(text.size(), utf8_marker.size() - 1);
    std::memmove(chunk - kept, text.data() + text.size() - kept, kept);
  }
  return found && utf8.complete() && !source.failed();
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
  if (std::string_view(raw_.data(), end_).starts_with(kByteOrderMark)) begin_ = kByteOrderMark.size();
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
      converted_.clear();
      append_cp932(pending, converted_);
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
