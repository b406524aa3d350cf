#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrolin {

// kCreateNew creates the file and fails when anything at all stands at the
// path already: it never empties or follows what is there.
enum class OpenMode { kFromStart, kAppend, kCreateNew };

// What the plain-file test finds at a path.
struct FileStatus {
  enum Kind {
    kPlainFile,  // an existing plain file (read-only included)
    kNotFound,   // nothing there
    kOther,      // a directory, a hidden or system file, a device, a pipe, or
                 // a test that failed for another reason (the reason in the
                 // last error)
  };
  Kind kind = kNotFound;
  std::uint64_t size = 0;  // of a plain file
};

// Plain files. Each write opens the file, writes and closes it again. Paths
// are UTF-8 on Windows; contents are bytes, written and read as they are.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A plain file is one a default directory listing shows: not hidden, not a
  // system file, not a directory or device. The last error is the query's
  // when it failed, 0 otherwise.
  virtual FileStatus status(const std::string& path) const = 0;
  // The whole file; nullopt when it cannot be read, with the reason in the
  // last error.
  virtual std::optional<std::string> readText(const std::string& path) const = 0;
  // Writes `bytes` as `mode` says: kFromStart creates or empties the file,
  // kAppend creates it or writes at its end, kCreateNew only creates. False
  // on failure, with the reason in the last error.
  virtual bool writeText(const std::string& path, OpenMode mode, std::string_view bytes) = 0;
};

}  // namespace tavrolin
