// The replacement of files and the lock they are replaced under, through
// the interface with short waits; the tool's own 30 seconds are left to the
// end-to-end suite.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/replacement.h"
#include "support.h"

namespace vokt {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Takes the lock of `path` as another run would, on a file of its own.
int hold(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_EQ(flock(fd, LOCK_EX), 0);
  return fd;
}

// A lock held by another run is waited for up to the time given, also while
// it is only shared; one released meanwhile is taken at once. The lock file
// is open for reading and writing (an NFS client refuses an exclusive lock
// on a file open for reading only).
TEST(FileLock, WaitsForAnotherRunUpToItsTime) {
  test::TempDir dir;
  const std::string path = dir.path("vokt.lock");
  int other = hold(path);
  FileLock lock;
  auto start = Clock::now();
  EXPECT_EQ(lock.acquire(path, 200), ETIMEDOUT);
  EXPECT_GE(Clock::now() - start, milliseconds(200));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  ASSERT_EQ(flock(other, LOCK_SH), 0);
  EXPECT_EQ(lock.acquire(path, 100), ETIMEDOUT);
  start = Clock::now();
  std::thread release([&] {
    std::this_thread::sleep_for(milliseconds(150));
    close(other);
  });
  EXPECT_EQ(lock.acquire(path, 5000), 0);
  release.join();
  EXPECT_GE(Clock::now() - start, milliseconds(150));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(fd, error) != path) continue;
    const std::string info = test::read_file("/proc/self/fdinfo/" + fd.path().filename().string());
    EXPECT_EQ(std::stoi(info.substr(info.find("flags:") + 6), nullptr, 8) & O_ACCMODE, O_RDWR);
  }
  other = open(path.c_str(), O_RDWR | O_CLOEXEC);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0) << "the lock is held";
  close(other);
}

// A lock file removed or replaced while a run waits for it locks nothing:
// the run waits for the holder of the file that has the name now.
TEST(FileLock, FollowsItsNameWhileItWaits) {
  test::TempDir dir;
  const std::string path = dir.path("vokt.lock");
  const int first = hold(path);
  FileLock lock;
  auto taken = std::async(std::launch::async, [&] { return lock.acquire(path, 5000); });
  std::this_thread::sleep_for(milliseconds(50));
  std::filesystem::rename(path, dir.path("replaced.lock"));
  const int second = hold(path);
  close(first);
  EXPECT_EQ(taken.wait_for(milliseconds(200)), std::future_status::timeout);
  close(second);
  EXPECT_EQ(taken.get(), 0);
}

// Only a regular file, reached without a link, serves as a lock file.
TEST(FileLock, OnlyARegularFileServes) {
  test::TempDir dir;
  FileLock lock;
  std::filesystem::create_directory(dir.path("directory"));
  ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.file("file", ""), dir.path("link"));
  for (const char* name : {"directory", "fifo", "link"}) EXPECT_EQ(lock.acquire(dir.path(name), 100), EACCES) << name;
  EXPECT_EQ(lock.acquire(dir.path("missing/vokt.lock"), 100), ENOENT);
}

TEST(TextWriter, LineFeedsBecomeCrLfAndFinishReportsFailure) {
  test::TempDir dir;
  const std::string path = dir.path("out.txt");
  std::string text = "a\nb", on_disk = "a\r\nbc\r\n\r\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + "\n", on_disk += std::to_string(i) + "\r\n";
  {
    TextWriter writer;
    ASSERT_EQ(writer.open_replacement(path, "out.txt", true), 0);
    writer.write("a\nb");
    writer.write("c");
    writer.write("\n\n");
    writer.write(std::string_view(text).substr(3));  // larger than the buffer
    EXPECT_EQ(writer.finish(), 0);
    EXPECT_EQ(writer.put_in_place(), 0);
  }
  EXPECT_EQ(test::read_file(path), on_disk);
  // A write that the system refuses (here: past the file-size limit) is
  // what finish() reports, and the old file stays.
  struct rlimit old_limit {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &limit);
  TextWriter full;
  const int opened = full.open_replacement(path, "out.txt", true);
  full.write(text);
  const int closed = full.finish();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(closed, EFBIG);
  EXPECT_EQ(test::read_file(path), on_disk);
}

}  // namespace
}  // namespace vokt
