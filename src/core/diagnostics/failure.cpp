#include "diagnostics/failure.h"

#include <utility>

namespace tavrolin {

std::string_view Describe(FailureNumber number) {
  switch (number) {
    case FailureNumber::kOverflow:
      return "Overflow";
    case FailureNumber::kOutOfMemory:
      return "Out of memory";
    case FailureNumber::kSubscriptOutOfRange:
      return "Subscript out of range";
    case FailureNumber::kTypeMismatch:
      return "Type mismatch";
    case FailureNumber::kFileAccess:
      return "Path/File access error";
    case FailureNumber::kInvalidPropertyValue:
      return "Invalid property value";
    case FailureNumber::kAffinityRefused:
      return "The system refused the affinity mask";
    case FailureNumber::kProcessorCountUnknown:
      return "NUMBER_OF_PROCESSORS is missing or not a number";
    case FailureNumber::kBeyondMaskWidth:
      return "Processors beyond the mask width are left out";
    case FailureNumber::kPresenceSourceFailed:
      return "The process query failed; the process list is used instead";
    case FailureNumber::kUnexpected:
      return "Unexpected failure";
    case FailureNumber::kProcessorsLeftOut:
      return "The system left out processors that were asked for";
    case FailureNumber::kProcessesUnknown:
      return "Neither the process query nor the process list can be used";
    case FailureNumber::kSettingsNotPlainFile:
      return "config.ini is not a readable plain file; the defaults are used";
    case FailureNumber::kSettingsTooLarge:
      return "config.ini is larger than 1 MiB; the defaults are used";
    case FailureNumber::kProcessorsNotHere:
      return "The CPUs list names processors this machine does not have";
    case FailureNumber::kNoProcessorSelected:
      return "The CPUs presets select no processor together; every processor is used";
    case FailureNumber::kTopologyUnknown:
      return "The system does not describe its processors; the CPUs presets mean every processor";
  }
  return "Unknown failure";
}

Failure::Failure(FailureNumber number) : Failure(number, std::string(Describe(number))) {}

Failure::Failure(FailureNumber number, std::string description)
    : Failure(static_cast<std::int32_t>(number), std::move(description)) {}

Failure::Failure(std::int32_t number, std::string description)
    : number_(number), description_(std::move(description)) {}

Failure Failure::SystemCall(std::uint32_t errorCode) {
  return Failure(static_cast<std::int32_t>(errorCode),
                 "A system call returned an error code of " + std::to_string(errorCode));
}

}  // namespace tavrolin
