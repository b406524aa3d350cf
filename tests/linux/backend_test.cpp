// The Linux services against the real system: what the plain-file test finds
// on a real file system, files opened only when regular and read only up to
// the bound, the one-copy lock, and the event loop when its signal descriptor
// or its wait fails.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "environment_linux.h"
#include "event_loop.h"
#include "files_linux.h"
#include "last_error_linux.h"
#include "unique_fd.h"

namespace tavrolin::linux_backend {
namespace {

// A fresh directory, removed with what it holds when the object goes.
class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrolin-test.XXXXXX");
    path_ = ::mkdtemp(pattern.data());
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What the plain-file test finds on a real file system; only regular files
// are opened, and read up to 1 MiB.
TEST(LinuxFileSystem, OnlyPlainFilesCountAndAreReadUpTo1MiB) {
  TempDirectory directory;
  LinuxFileSystem files;
  LinuxLastError lastError;
  WriteFile(directory.file("config.ini"), "[Config]\r\n");
  WriteFile(directory.file("readonly.ini"), "x");
  ::chmod(directory.file("readonly.ini").c_str(), 0444);
  ::mkdir(directory.file("folder").c_str(), 0755);
  ::mkfifo(directory.file("fifo").c_str(), 0644);
  ::symlink("/dev/zero", directory.file("zero").c_str());
  ::symlink("loop", directory.file("loop").c_str());
  ::symlink("missing.ini", directory.file("dangling").c_str());

  struct Entry {
    const char* name;
    FileStatus::Kind kind;
    std::uint32_t error;  // the last error the test leaves
  };
  const Entry entries[] = {
      {"config.ini", FileStatus::kPlainFile, 0},
      {"readonly.ini", FileStatus::kPlainFile, 0},
      {"folder", FileStatus::kOther, 0},
      {"fifo", FileStatus::kOther, 0},
      {"zero", FileStatus::kOther, 0},
      {"missing.ini", FileStatus::kNotFound, ENOENT},
      // A link to nothing is nothing to read, but kCreateNew will not write
      // through it (below).
      {"dangling", FileStatus::kNotFound, ENOENT},
      // The test fails for a reason other than "not found".
      {"loop", FileStatus::kOther, ELOOP},
      {"config.ini/below", FileStatus::kOther, ENOTDIR},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(files.status(directory.file(entry.name)).kind, entry.kind);
    EXPECT_EQ(lastError.code(), entry.error);
  }
  EXPECT_EQ(files.status(directory.file("config.ini")).size, 10U);

  // The pipe and the device neither block nor are read without end.
  LinuxPrivateProfile profile;
  const std::string fifo = directory.file("fifo");
  const std::string zero = directory.file("zero");
  EXPECT_EQ(files.readText(fifo), std::nullopt);
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(EINVAL));
  EXPECT_EQ(files.readText(zero), std::nullopt);
  char value[8] = {};
  EXPECT_EQ(profile.getString("Config", "Game", "d", value, fifo), 1U);
  EXPECT_EQ(std::string(value), "d");
  // With a reader there, the pipe takes nothing.
  const UniqueFd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
  ASSERT_TRUE(reader);
  EXPECT_FALSE(files.writeText(fifo, OpenMode::kAppend, "line\r\n"));
  EXPECT_FALSE(files.writeText(zero, OpenMode::kFromStart, "x"));
  char byte = 0;
  EXPECT_LE(::read(reader.get(), &byte, 1), 0);
  EXPECT_FALSE(profile.writeString("Config", "Game", "1", fifo));
  EXPECT_FALSE(files.writeText(directory.file(""), OpenMode::kAppend, "x"));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(EISDIR));

  const std::string large = directory.file("large.ini");
  WriteFile(large, std::string(1U << 20, ';'));
  EXPECT_EQ(files.readText(large)->size(), 1U << 20);
  WriteFile(large, std::string((1U << 20) + 1, ';'));
  EXPECT_EQ(files.readText(large), std::nullopt);
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(EFBIG));

  // kCreateNew writes only where nothing stands, and never through a link.
  const std::string existing = directory.file("config.ini");
  EXPECT_FALSE(files.writeText(existing, OpenMode::kCreateNew, "default"));
  EXPECT_EQ(lastError.code(), static_cast<std::uint32_t>(EEXIST));
  EXPECT_EQ(ReadAll(existing), "[Config]\r\n");
  EXPECT_FALSE(files.writeText(directory.file("dangling"), OpenMode::kCreateNew, "default"));
  EXPECT_FALSE(std::filesystem::exists(directory.file("missing.ini")));
  EXPECT_TRUE(files.writeText(directory.file("new.ini"), OpenMode::kCreateNew, "default"));
  EXPECT_EQ(ReadAll(directory.file("new.ini")), "default");
}

// Where the lock goes, for each state of the two places it may go: nothing,
// a directory of a mode, a link to one of mode 0700, or one of nobody's; and
// of the lock file: a link to a file held elsewhere, or nobody's, held. A
// lock that cannot be had safely leaves this copy running, as a second copy
// would not. The runtime root stands for /run/user, the other for /tmp.
TEST(LinuxEnvironment, OneCopyPerUserLockedOnlyWhereNobodyElseCanReach) {
  enum Where { kRuntime, kTmp, kNowhere };
  struct Row {
    std::string runtime, tmp, lockFile;
    Where lockedIn;
  };
  const Row rows[] = {
      {"700", "", "", kRuntime},  {"755", "", "", kTmp},         {"", "", "", kTmp},
      {"link", "", "", kTmp},     {"theirs", "", "", kTmp},      {"", "777", "", kNowhere},
      {"", "link", "", kNowhere}, {"700", "", "link", kNowhere}, {"700", "", "theirs", kNowhere},
  };
  const std::string user = std::to_string(::geteuid());
  const bool root = ::geteuid() == 0;
  std::vector<UniqueFd> held;
  const auto make = [&](const std::string& path, const std::string& what, bool file) {
    if (what.empty()) return;
    const std::string target = what == "link" ? path + ".elsewhere" : path;
    if (file) {
      held.emplace_back(::open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
      ::flock(held.back().get(), LOCK_EX | LOCK_NB);
    } else {
      ::mkdir(target.c_str(), 0700);
      if (std::isdigit(what[0]) != 0)
        ::chmod(target.c_str(), static_cast<mode_t>(std::stoul(what, nullptr, 8)));
    }
    if (what == "link") ::symlink(target.c_str(), path.c_str());
    if (what == "theirs") ::chown(target.c_str(), 65534, 65534);
  };
  EventLoop loop;
  for (const Row& row : rows) {
    SCOPED_TRACE("runtime " + row.runtime + ", tmp " + row.tmp + ", lock file " + row.lockFile);
    if (!root && (row.runtime == "theirs" || row.lockFile == "theirs")) continue;
    TempDirectory run;
    TempDirectory tmp;
    make(run.file(user), row.runtime, false);
    make(tmp.file("tavrolin-" + user), row.tmp, false);
    make(run.file(user + "/tavrolin.lock"), row.lockFile, true);
    LinuxEnvironment first(loop, ".", {run.path(), tmp.path()});
    LinuxEnvironment second(loop, ".", {run.path(), tmp.path()});
    EXPECT_FALSE(first.anotherInstanceRunning());
    EXPECT_EQ(second.anotherInstanceRunning(), row.lockedIn != kNowhere);
    if (row.lockedIn == kNowhere) {
      EXPECT_FALSE(std::filesystem::exists(run.file(user + ".elsewhere/tavrolin.lock")));
      EXPECT_FALSE(
          std::filesystem::exists(tmp.file("tavrolin-" + user + ".elsewhere/tavrolin.lock")));
      continue;
    }
    const std::string directory =
        row.lockedIn == kRuntime ? run.file(user) : tmp.file("tavrolin-" + user);
    struct stat info {};
    EXPECT_EQ(::lstat((directory + "/tavrolin.lock").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600U);
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_EQ(::lstat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
    // The ageing of /tmp passes over a directory that is locked.
    const UniqueFd opened(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(::flock(opened.get(), LOCK_SH | LOCK_NB) != 0, row.lockedIn == kTmp);
  }
  if (!root) GTEST_SKIP() << "needs root to give a directory or a lock file to another user";
}

// RLIMIT_NOFILE lowered to 0 for as long as the object lives: no descriptor
// can be made, and a wait on one descriptor is refused.
class NoDescriptors {
 public:
  NoDescriptors() {
    ::getrlimit(RLIMIT_NOFILE, &old_);
    rlimit none = old_;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &none);
  }
  NoDescriptors(const NoDescriptors&) = delete;
  NoDescriptors& operator=(const NoDescriptors&) = delete;
  ~NoDescriptors() { ::setrlimit(RLIMIT_NOFILE, &old_); }

 private:
  rlimit old_{};
};

bool Blocked(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

TEST(EventLoop, FailuresOfItsOwnNeverLeaveAProgramThatCannotBeStopped) {
  // The wait fails: the shutdown runs before the loop ends, with status 1.
  // (This loop, made with descriptors to spare, comes first also because the
  // sanitizers' type check needs a descriptor of its own the first time.)
  {
    EventLoop loop;
    ASSERT_EQ(loop.setupError(), 0);
    EXPECT_TRUE(Blocked(SIGTERM));
    const auto backstop = loop.createTimer([&] { loop.quit(2); });  // a wait that did not fail
    backstop->setInterval(5000);
    backstop->setEnabled(true);
    int shutdowns = 0;
    {
      const NoDescriptors limit;
      loop.run([&] {
        ++shutdowns;
        loop.quit(0);
      });
    }
    EXPECT_EQ(shutdowns, 1);
    EXPECT_EQ(loop.exitCode(), 1);
  }

  // No signal descriptor: SIGINT and SIGTERM keep their default action.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  std::optional<EventLoop> loop;
  {
    const NoDescriptors limit;
    loop.emplace();
  }
  EXPECT_EQ(loop->setupError(), EMFILE);
  EXPECT_FALSE(Blocked(SIGINT));
  EXPECT_FALSE(Blocked(SIGTERM));
}

}  // namespace
}  // namespace tavrolin::linux_backend
