// Files replaced whole, under the lock of their folder.
//
// A run holds its folder's lock file "vokt.lock" while it writes each text
// to "<file>.new" beside the file and renames it over the file once the text
// is complete. Only a killed run can leave a "<file>.new": whoever holds the
// lock may remove it, a run without the lock never touches one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace vokt {

class FolderLock {
 public:
  // Waits up to 30 seconds for the lock of `dir`: false, said, when another
  // run (a check or a build) held it all that time. `going_on`: what is said
  // when the lock file cannot serve and the run goes on without it.
  bool take(std::string_view dir, std::string_view going_on);
  bool held() const { return error_ == 0; }
  // Says why the lock could not be had and that the run goes on; said just
  // before the first text is put in place, so that a run that fails earlier
  // reads as it would with the lock.
  void say_if_not_held() const;

 private:
  FileLock lock_;
  std::string_view going_on_;
  int error_ = -1;
};

// Text that is to replace a file whole, written as the target's text mode
// writes it (every line feed as CR LF); the first failure is kept for
// finish(). Every failure is reported under the file's name, as every file
// failure is. Never copied or moved: an interruption may read its file's name.
class TextWriter {
 public:
  ~TextWriter() { discard(); }

  // Starts the text that replaces the regular file `path` (the file a link
  // names: the link stays) in its new file, made with the old file's
  // permission bits and never through a link: 0 or the error number. `name`:
  // the file as messages name it (a new file in the way is named itself).
  // `locked`: the folder's lock is held, and a new file already there is
  // removed first; else it is refused (EEXIST). With `in_place_too` a
  // writable `path` is rewritten in place with the complete text where no
  // new file can be made (new files refused, no free inodes: the text is
  // then kept in memory) or renamed over it (a sticky folder, a file in use
  // on Windows: the new file is copied).
  int open_replacement(const std::string& path, std::string_view name, bool locked, bool in_place_too = false);
  void write(std::string_view text);
  void write(std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) write(part);
  }
  // Writes out the text and closes the new file: 0 or the first error.
  int finish();
  // Puts the finished text in place: 0 or the error. No new file remains. A
  // writer never opened, or whose text was dropped, puts nothing in place.
  int put_in_place();
  void discard();

 private:
  void flush_buffer();
  int close_new_file();
  // Reports a failure (`error` not 0) of the file named `name_` and `suffix`.
  int reported(int error, std::string_view suffix = {}) const;
  int rewrite_in_place();
  // Forgets the new file, removed with `remove` (else it has been renamed).
  void drop_new_file(bool remove);

  FileHandle file_;
  std::string buffer_;
  int error_ = 0;
  std::string name_;
  std::string replacement_;  // the new file while it is there
  std::string target_;
  bool in_place_ = false;  // `target_` may be rewritten in place
};

// Lets an interruption remove this run's new files before it ends the run.
void remove_new_files_when_interrupted();

}  // namespace vokt
