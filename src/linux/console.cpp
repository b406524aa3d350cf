#include "console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "affinity/bit_masks.h"

namespace tavrolin::linux_backend {

namespace {
// One line on stdout per event: "NAME (PID n): what".
void PrintLine(std::string_view imageName, std::uint32_t processId, const std::string& what) {
  const std::string line =
      std::string(imageName) + " (PID " + std::to_string(processId) + "): " + what + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}
}  // namespace

void ConsoleBeeper::beep(std::string_view imageName, std::uint32_t processId, std::uint64_t mask,
                         std::string_view presets) {
  if (::isatty(STDERR_FILENO) == 1) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
  const std::string processors =
      DescribeMask(mask) + (presets.empty() ? "" : " (" + std::string(presets) + ")");
  PrintLine(imageName, processId, "processors " + processors);

  notifier_.show("Tavrolin", std::string(imageName) + " spread over processors " + processors);
}

void ConsoleBeeper::strayThreadsMoved(std::string_view imageName, std::uint32_t processId,
                                      std::uint64_t mask, int count) {
  PrintLine(imageName, processId,
            std::to_string(count) + (count == 1 ? " new thread" : " new threads") +
                " moved to processors " + DescribeMask(mask));
}

void StderrDebugOutput::line(std::string_view text) {
  if (!enabled) return;
  const std::string line = "tavrolin: " + std::string(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace tavrolin::linux_backend
