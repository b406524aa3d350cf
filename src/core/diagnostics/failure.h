#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace tavrolin {

// The run-time failures our own code raises, by number. A report prints the
// number and the description.
enum class FailureNumber : std::int32_t {
  kOverflow = 6,                  // a number does not fit where it goes
  kOutOfMemory = 7,               // the C++ runtime could not allocate
  kSubscriptOutOfRange = 9,       // a position beyond a table's end
  kTypeMismatch = 13,             // a text that is not a number where one is needed
  kFileAccess = 75,               // a file could not be created, emptied or appended to
  kInvalidPropertyValue = 380,    // a value a control or timer does not take
  kAffinityRefused = 1001,        // the system refused an affinity mask
  kProcessorCountUnknown = 1002,  // NUMBER_OF_PROCESSORS missing or not a number
  kBeyondMaskWidth = 1003,        // processors past the platform's mask width
  kPresenceSourceFailed = 1004,   // the presence query's own source failed
  kUnexpected = 1005,             // anything else that reached an event
  kProcessorsLeftOut = 1006,      // a mask took effect without some of its processors
  kProcessesUnknown = 1007,       // neither the presence query's source nor the process list
  kSettingsNotPlainFile = 1008,   // config.ini is there but is no plain file to read
  kSettingsTooLarge = 1009,       // config.ini is past the size the program reads
  kProcessorsNotHere = 1010,      // the CPUs list names processors the machine does not have
  kNoProcessorSelected = 1011,    // the CPUs presets have no processor in common
  kTopologyUnknown = 1012,        // the system tells nothing the CPUs presets go by
};

std::string_view Describe(FailureNumber number);

// A run-time failure: a number and a description.
class Failure : public std::exception {
 public:
  explicit Failure(FailureNumber number);
  Failure(FailureNumber number, std::string description);
  Failure(std::int32_t number, std::string description);

  // A failing system call, numbered by its error code.
  static Failure SystemCall(std::uint32_t errorCode);

  std::int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string description_;
};

}  // namespace tavrolin
