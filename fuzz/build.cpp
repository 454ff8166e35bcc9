// The whole build over an arbitrary triple of export files.
//
// The input holds the three files one after another, separated by the two
// bytes FF FE (never part of Shift-JIS text): "mirzfile.txt", "mirzlist.htm",
// "mirzdata.htm"; missing parts are empty files. The build runs in a scratch
// directory that already holds the digest file of the previous input.
//
// Properties checked on every input:
// - the build succeeds and leaves no temporary file behind;
// - the digest file is lines ending in CR LF: two header lines and a trailer
//   that start with "#", and between them record lines, each the 16 hex
//   digits of a digest and a space;
// - the record lines hold, in order, the fields of lines of the list page;
// - a row whose first field has no space gets the zero digest.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/database.h"
#include "fuzz_support.h"
#include "platform/text_file.h"

namespace {

namespace fz = vokt::fuzz;

constexpr std::string_view kSeparator = "\xFF\xFE";

int g_start_dir = -1;

bool is_record_line(std::string_view line) {
  if (line.size() < 17 || line[16] != ' ') return false;
  for (std::size_t i = 0; i < 16; ++i) {
    const char c = line[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Runs the build in the scratch directory and comes back.
int build_in_scratch_dir() {
  VOKT_FUZZ_CHECK(chdir(fz::scratch_dir().c_str()) == 0, "entering the scratch directory");
  const int result = vokt::build_digest_file();
  VOKT_FUZZ_CHECK(fchdir(g_start_dir) == 0, "leaving the scratch directory");
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fz::quiet_console();
  fz::scratch_dir();
  g_start_dir = open(".", O_RDONLY | O_DIRECTORY);
  VOKT_FUZZ_CHECK(g_start_dir >= 0, "opening the start directory");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  for (int i = 0; i < 3; ++i) {
    const std::size_t separator = i < 2 ? input.find(kSeparator) : std::string_view::npos;
    parts[i] = input.substr(0, separator);
    input.remove_prefix(separator == std::string_view::npos ? input.size() : separator + kSeparator.size());
  }
  const auto& dir = fz::scratch_dir();
  fz::write_file(dir / "mirzfile.txt", parts[0]);
  fz::write_file(dir / "mirzlist.htm", parts[1]);
  fz::write_file(dir / "mirzdata.htm", parts[2]);

  VOKT_FUZZ_CHECK(build_in_scratch_dir() == 0, "the build succeeds");
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    VOKT_FUZZ_CHECK(!entry.path().string().ends_with(".new"), "no temporary file is left");
  }

  const std::string digest_file = fz::read_file(dir / "vokt.dat");
  VOKT_FUZZ_CHECK(digest_file.ends_with("\r\n"), "the digest file ends with a line end");
  std::vector<std::string_view> lines;
  for (std::size_t from = 0; from < digest_file.size();) {
    const std::size_t end = digest_file.find("\r\n", from);
    const std::string_view line = std::string_view(digest_file).substr(from, end - from);
    VOKT_FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos, "every line end is CR LF");
    lines.push_back(line);
    from = end + 2;
  }

  VOKT_FUZZ_CHECK(lines.size() >= 3, "two headers and the trailer");
  VOKT_FUZZ_CHECK(lines[0].starts_with('#') && lines[1].starts_with('#') && lines.back().starts_with('#'),
                  "headers and trailer start with #");
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    VOKT_FUZZ_CHECK(is_record_line(lines[i]), "a record line starts with a digest and a space");
  }
  // Each record line is matched to the next list line whose fields it holds.
  std::size_t record = 2;
  for (const auto& piece : fz::reference_pieces(parts[1])) {
    if (record + 1 >= lines.size()) break;
    const vokt::ListRow row = vokt::parse_list_row(piece);
    std::string fields;
    for (const auto field : row.fields) fields.append(" ").append(field);
    if (lines[record].substr(16) != fields) continue;
    if (row.fields[0].find(' ') == std::string_view::npos) {
      VOKT_FUZZ_CHECK(lines[record].starts_with("0000000000000000 "), "a row without a space in field one is not digested");
    }
    ++record;
  }
  VOKT_FUZZ_CHECK(record + 1 == lines.size(), "the record lines hold the fields of list lines, in order");
  return 0;
}
