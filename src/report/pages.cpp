#include <cerrno>
#include <cstdio>
#include <ctime>

#include "digest/sjis.h"
#include "platform/system.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

// The problem file comes from other people: its text goes into the page with
// the bytes that could open markup escaped. None of them can be the second
// byte of a Shift-JIS character, and a well-formed diagram has none.
void write_escaped(TextWriter& page, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      default: continue;
    }
    page.write(text.substr(from, i - from));
    page.write(entity);
    from = i + 1;
  }
  page.write(text.substr(from));
}

std::string program_title() {
  std::string title(report_text::kShortName);
  title += ' ';
  title += report_text::kVersion;
  return title;
}

}  // namespace

void copy_diagram(TextWriter& page, TextReader& problem_file) {
  std::string_view piece;
  bool in_block = false;
  while (problem_file.read_piece(piece)) {
    std::string line(c_text(piece));
    if (!in_block) {
      if (line.find(sjis::kBoardHeader) == std::string::npos) continue;
      in_block = true;
    }
    if (line.find(sjis::kHand) != std::string::npos) {
      normalize_hand_line(line);
      write_escaped(page, line);
      page.write("\n");
      return;
    }
    normalize_board_line(line);
    write_escaped(page, line);
  }
}

int write_key_page(std::string_view dir, const std::string& problem_path) {
  TextReader problem_file;
  if (!problem_file.open(problem_path)) {
    report_file_error(problem_path, errno);
    return 1;
  }
  TextWriter page;
  if (!page.open(join_path(dir, report_text::kKeyPage))) {
    report_file_error(report_text::kKeyPage, errno);
    return 1;
  }
  const std::string title = program_title();
  page.write("<html>\n<head>\n<title>");
  page.write(title);
  page.write("</title>\n</head>\n");
  page.write(report_text::kPageBody);
  page.write("<pre>\n");
  page.write(title);
  page.write("\n<hr>\n");
  page.write(report_text::kSearchData);
  page.write("\n");
  copy_diagram(page, problem_file);
  page.write("\n<hr>\n</pre>\n</body>\n</html>\n");
  if (!page.close()) {
    report_file_error(report_text::kKeyPage, errno);
    return 1;
  }
  return 0;
}

std::string frame_date_text(const std::tm& time) {
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int weekday = time.tm_wday >= 0 && time.tm_wday < 7 ? time.tm_wday : 0;
  const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %4d", kWeekdays[weekday], kMonths[month],
                time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, time.tm_year + 1900);
  return text;
}

int write_frame_page(std::string_view dir) {
  TextWriter page;
  if (!page.open(join_path(dir, report_text::kFramePage))) {
    report_file_error(report_text::kFramePage, errno);
    return 1;
  }
  const std::time_t now = std::time(nullptr);
  std::string date;
  if (const std::tm* local = std::localtime(&now)) date = frame_date_text(*local);

  page.write("<html>\n<head>\n<title>");
  page.write(report_text::kLongTitle);
  page.write(" ");
  page.write(report_text::kVersion);
  page.write(" - ");
  page.write(date);
  page.write("</title>\n</head>\n");
  page.write("<frameset cols=\"300,*\" border=\"0\">\n");
  page.write("  <frame src=\"");
  page.write(report_text::kKeyPage);
  page.write("\" scrolling=\"no\">\n");
  page.write("  <frame src=\"");
  page.write(report_text::kResultPage);
  page.write("\">\n");
  page.write("</frameset>\n</html>\n");
  if (!page.close()) {
    report_file_error(report_text::kFramePage, errno);
    return 1;
  }
  return 0;
}

int open_in_browser(std::string_view dir) {
  return open_document(program_title(), join_path(dir, report_text::kFramePage));
}

}  // namespace vokt
