#include "database/digest_file.h"

#include "platform/replacement.h"
#include "platform/text_file.h"

namespace vokt {

std::string read_header_text(TextReader& file) {
  std::string_view line;
  if (!file.read_piece(line)) return {};
  line = c_text(line);
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line.empty() ? std::string() : std::string(line.substr(1));
}

std::string_view record_fields(std::string_view line) {
  return line.size() > kRecordFieldsStart ? line.substr(kRecordFieldsStart) : std::string_view();
}

bool open_new_digest_file(TextWriter& file, bool locked) {
  return file.open_replacement(kDigestFileName, kDigestFileName, locked) == 0;
}

void write_header_line(TextWriter& file, std::string_view text) { file.write({"#", text, "\n"}); }

void write_record_line(TextWriter& file, const PositionDigest& digest, std::span<const std::string_view, 4> fields) {
  // Put together first (storage kept from call to call): the writer looks for line feeds once.
  static std::string line;
  line.assign(text_view(digest_text(digest)));
  for (const std::string_view field : fields) line.append(1, ' ').append(field);
  file.write(line.append(1, '\n'));
}

bool replace_digest_file(TextWriter& file) {
  return file.finish() == 0 && file.put_in_place() == 0;
}

}  // namespace vokt
