#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrolin {

// The process environment: where the settings live, environment variables,
// the computer name, the single-instance check and ending the process.
class Environment {
 public:
  virtual ~Environment() = default;

  // The directory that holds config.ini and ErrorLog.txt, without a trailing
  // separator. UTF-8 on Windows.
  virtual std::string settingsDirectory() const = 0;
  // The separator that joins settingsDirectory() and a file name.
  virtual char pathSeparator() const = 0;
  // nullopt when the variable is not set.
  virtual std::optional<std::string> variable(std::string_view name) const = 0;
  // Writes the computer name and a NUL into `buffer` and stores its length in
  // `size`; false on failure, with the reason in the last error.
  virtual bool computerName(std::span<char> buffer, std::uint32_t& size) = 0;
  // True when another copy of the program already runs. The first copy holds
  // its claim until it ends, however it ends.
  virtual bool anotherInstanceRunning() = 0;
  // Ends the process. Callers do nothing more after it.
  virtual void endProcess(int exitCode) = 0;
};

}  // namespace tavrolin
