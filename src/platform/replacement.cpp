#include "platform/replacement.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/console.h"

namespace vokt {

namespace {

constexpr std::string_view kLockFile = "vokt.lock";
constexpr std::string_view kReplacementSuffix = ".new";
constexpr int kLockWaitMs = 30 * 1000;
constexpr std::size_t kWriteBufferSize = 64 * 1024;

// The new files of this run, which an interruption removes. Changed only
// while interruptions are held back, so that the handler sees whole names,
// each of a file that this run made.
std::array<std::atomic<const char*>, 8> g_new_files{};

void remove_new_files_on_interruption() {
  for (const std::atomic<const char*>& slot : g_new_files) {
    if (const char* name = slot.load()) remove_file(name);
  }
}

// Puts `to` in the first slot that holds `from`.
void change_slot(const char* from, const char* to) {
  for (std::atomic<const char*>& slot : g_new_files) {
    if (slot.load() == from) return slot.store(to);
  }
}

// Writes `bytes` to `file` unless an error came before: that error, else the
// write's.
int write_bytes(std::FILE* file, std::string_view bytes, int error) {
  errno = 0;
  return error == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ? last_error() : error;
}

// Closes `file`: the error that came before, else the close's.
int close_file(FileHandle& file, int error) {
  errno = 0;
  return std::fclose(file.release()) != 0 && error == 0 ? last_error() : error;
}

}  // namespace

bool FolderLock::take(std::string_view dir, std::string_view going_on) {
  going_on_ = going_on;
  error_ = lock_.acquire(join_path(dir, kLockFile), kLockWaitMs);
  if (error_ != ETIMEDOUT) return true;
  write_error(std::string(kLockFile) + ": Another run still holds the lock after 30 seconds\n");
  return false;
}

void FolderLock::say_if_not_held() const {
  if (held()) return;
  report_file_error(kLockFile, error_);
  write_error(std::string(going_on_) + "\n");
}

int TextWriter::open_replacement(const std::string& path, std::string_view name, bool locked, bool in_place_too) {
  discard();
  name_ = name;
  std::string target;
  if (const int error = link_target(path, target)) return reported(error);
  // Refused as an open for writing would be: a read-only file, anything but
  // a regular file.
  const int writable = check_writable(target);
  if (writable != 0 && writable != ENOENT) return reported(writable);
  replacement_ = target + std::string(kReplacementSuffix);
  int create_error = 0;
  {
    InterruptionHold hold;  // remembered exactly while it is this run's file
    if (locked) remove_file(replacement_.c_str());
    create_error = create_new_file(replacement_, target, file_);
    if (create_error == 0) change_slot(nullptr, replacement_.c_str());
    if (create_error != 0) replacement_.clear();
  }
  in_place_ = in_place_too && writable == 0;
  if (create_error != 0 && !in_place_) return reported(create_error, create_error == EEXIST ? kReplacementSuffix : "");
  if (file_) std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  target_ = std::move(target);
  buffer_.clear();
  error_ = 0;
  return 0;
}

void TextWriter::write(std::string_view text) {
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    buffer_.append(text.substr(0, lf));
    if (lf == std::string_view::npos) break;
    buffer_.append("\r\n", 2);
    text.remove_prefix(lf + 1);
  }
  if (file_ && buffer_.size() >= kWriteBufferSize) flush_buffer();
}

void TextWriter::flush_buffer() {
  error_ = write_bytes(file_.get(), buffer_, error_);
  buffer_.clear();
}

int TextWriter::close_new_file() {
  if (!file_) return error_;
  flush_buffer();
  return error_ = close_file(file_, error_);
}

int TextWriter::finish() { return reported(close_new_file()); }

int TextWriter::reported(int error, std::string_view suffix) const {
  if (error != 0) report_file_error(name_ + std::string(suffix), error);
  return error;
}

int TextWriter::put_in_place() {
  int error = close_new_file();
  const bool made = !replacement_.empty();
  if (error == 0 && made) error = replace_file(replacement_, target_);
  if (error == 0 && made) drop_new_file(false);
  // Where no new file could be made or renamed over the old one, only a
  // complete text is written over it.
  if (error_ == 0 && in_place_ && (error != 0 || !made)) error = rewrite_in_place();
  discard();
  return reported(error);
}

int TextWriter::rewrite_in_place() {
  // The text in memory, or the new file that could not be renamed, opened
  // before the page is emptied.
  FileHandle text;
  if (!replacement_.empty()) {
    if (const int error = open_file(replacement_, "rb", text)) return error;
  }
  FileHandle page;
  if (const int error = open_for_rewrite(target_, page)) return error;
  if (!text) return close_file(page, write_bytes(page.get(), buffer_, 0));
  int error = 0;
  std::string block(kWriteBufferSize, '\0');
  while (std::size_t got = std::fread(block.data(), 1, block.size(), text.get())) {
    if ((error = write_bytes(page.get(), std::string_view(block.data(), got), error)) != 0) break;
  }
  if (error == 0 && std::ferror(text.get())) error = last_error();
  return close_file(page, error);
}

void TextWriter::drop_new_file(bool remove) {
  if (replacement_.empty()) return;
  InterruptionHold hold;
  if (remove) remove_file(replacement_.c_str());
  change_slot(replacement_.c_str(), nullptr);
  replacement_.clear();
}

void TextWriter::discard() {
  if (file_) std::fclose(file_.release());
  drop_new_file(true);
  buffer_.clear();
  error_ = 0;
  in_place_ = false;
}

void remove_new_files_when_interrupted() { on_interruption(remove_new_files_on_interruption); }

}  // namespace vokt
