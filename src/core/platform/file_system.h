#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrolin {

enum class OpenMode { kFromStart, kAppend };

// Plain files. Each write opens the file, writes and closes it again.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True for an existing plain file (read-only included); false for hidden or
  // system files, directories and anything missing.
  virtual bool isPlainFile(const std::string& path) const = 0;
  // The whole file; nullopt when it cannot be read, with the reason in the
  // last error.
  virtual std::optional<std::string> readText(const std::string& path) const = 0;
  // kFromStart creates or empties the file, kAppend creates it or writes at its
  // end. False on failure, with the reason in the last error.
  virtual bool writeText(const std::string& path, OpenMode mode, std::string_view bytes) = 0;
};

}  // namespace tavrolin
