// The lookup and the result page over an arbitrary digest file.
//
// The input is split as: one flag byte (bit 0: the position is symmetric, so
// the mirrored digest equals the direct one), eight bytes of the direct
// digest, eight of the mirrored one, and the rest as "vokt.dat".
//
// Properties checked on every input:
// - the page is written, opens and closes with its fixed lines, and every
//   line end in it is CR LF (no 0x1A and no lone CR or LF gets through);
// - the count it shows is the same with the two digests exchanged, and no
//   more than twice the number of lines of the digest file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/digest_file.h"
#include "digest/digest.h"
#include "fuzz_support.h"
#include "platform/replacement.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace {

namespace fz = vokt::fuzz;

std::uint32_t word_at(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

bool has_only_crlf_line_ends(std::string_view page) {
  for (std::size_t i = 0; i < page.size(); ++i) {
    if (page[i] == '\n' && (i == 0 || page[i - 1] != '\r')) return false;
    if (page[i] == '\r' && (i + 1 == page.size() || page[i + 1] != '\n')) return false;
  }
  return true;
}

// Writes the page and returns the count it shows.
long count_on_page(const vokt::PositionDigest& direct, const vokt::PositionDigest& mirrored) {
  const std::string dir = fz::scratch_dir().string();
  vokt::TextWriter writer;
  VOKT_FUZZ_CHECK(vokt::write_result_page(dir, direct, mirrored, true, writer) == 0 &&
                      writer.put_in_place() == 0,
                  "the result page is written");
  const std::string page = fz::read_file(fz::scratch_dir() / vokt::report_text::kResultPage);

  VOKT_FUZZ_CHECK(page.starts_with("<html>\r\n<head>\r\n<title>"), "the page opens with its fixed lines");
  VOKT_FUZZ_CHECK(page.ends_with("</pre>\r\n</body>\r\n</html>\r\n"), "the page ends with its fixed lines");
  VOKT_FUZZ_CHECK(has_only_crlf_line_ends(page), "every line end of the page is CR LF");
  VOKT_FUZZ_CHECK(page.find('\x1A') == std::string::npos, "no 0x1A byte reaches the page");

  // The page ends: the count line, an empty line, "<hr>", header two (which
  // cannot hold a line end), "</pre>", "</body>", "</html>".
  std::vector<std::string_view> lines;
  for (std::size_t from = 0; from < page.size();) {
    const std::size_t end = page.find("\r\n", from);
    lines.push_back(std::string_view(page).substr(from, end - from));
    from = end + 2;
  }
  VOKT_FUZZ_CHECK(lines.size() >= 7, "the page has its closing lines");
  const std::string_view count_line = lines[lines.size() - 7];
  VOKT_FUZZ_CHECK(lines[lines.size() - 6].empty() && lines[lines.size() - 5] == "<hr>", "the lines after the count");
  VOKT_FUZZ_CHECK(count_line.starts_with(vokt::report_text::kCountLabel), "the count line");
  const std::string_view number = count_line.substr(vokt::report_text::kCountLabel.size());
  std::size_t digits = 0;
  while (digits < number.size() && number[digits] >= '0' && number[digits] <= '9') ++digits;
  VOKT_FUZZ_CHECK(digits > 0 && digits < 12, "the count is a number");
  VOKT_FUZZ_CHECK(number.substr(digits) == vokt::report_text::kCountUnit, "the count unit ends the count line");
  return std::stol(std::string(number.substr(0, digits)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fz::quiet_console();
  fz::scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 17) return 0;
  const bool symmetric = (data[0] & 1) != 0;
  const vokt::PositionDigest direct{word_at(data + 1), word_at(data + 5)};
  const vokt::PositionDigest mirrored = symmetric ? direct : vokt::PositionDigest{word_at(data + 9), word_at(data + 13)};
  const std::string_view digest_file(reinterpret_cast<const char*>(data) + 17, size - 17);
  fz::write_file(fz::scratch_dir() / vokt::kDigestFileName, digest_file);

  const long count = count_on_page(direct, mirrored);
  VOKT_FUZZ_CHECK(count >= 0, "the count is not negative");
  VOKT_FUZZ_CHECK(static_cast<std::size_t>(count) <= 2 * fz::reference_pieces(digest_file).size(),
                  "no more matches than lines, twice over");
  if (!symmetric) VOKT_FUZZ_CHECK(count_on_page(mirrored, direct) == count, "exchanging the digests keeps the count");
  return 0;
}
