#include "processes/process_lookup.h"

#include <array>
#include <memory>

#include "diagnostics/handler.h"

namespace tavrolin {

namespace {
// What ErrorLog.txt calls each lookup, and the names of their reports'
// variable lines, as users' logs have always shown them.
constexpr std::string_view kProcessNameLogName = "GetStringFromLP";
constexpr std::string_view kCursorVariable = "StrPtr =";
constexpr std::string_view kCharacterVariable = "tempStr =";
constexpr std::string_view kNameVariable = "bufferStr =";

constexpr std::string_view kProcessIdLogName = "GetProcessID";
constexpr std::string_view kListTakenVariable = "RetVal =";
constexpr std::string_view kProcessIdVariable = "lngProcessID =";
constexpr std::string_view kProcessNameVariable = "strTempProcessName =";
constexpr std::string_view kRecordVariable = "P =";

constexpr std::string_view kPresenceLogName = "IsProcessRunning";
}  // namespace

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string ReadProcessName(const char*& cursor, ErrorLog& log) {
  std::string character;
  std::string name;
  Handler handler(log, ReportHeading(kProcessNameLogName));
  handler.variables([&] {
    return ReportVariables{
        {kCursorVariable, std::to_string(reinterpret_cast<std::uintptr_t>(cursor))},
        {kCharacterVariable, character},
        {kNameVariable, name}};
  });
  if (cursor == nullptr) return name;  // never handed out; no name to read
  bool done = false;
  while (!done) {
    const char byte = *cursor;
    if (byte == '\0') {
      done = true;
    } else {
      // The list already holds the system's single-byte code page: one byte is
      // one character.
      handler.run([&] {
        character.assign(1, byte);
        name += character;
      });
      ++cursor;
    }
  }
  return name;
}

std::uint32_t FindProcessId(ProcessList& processList, ErrorLog& log, std::string_view imageName) {
  std::int32_t listTaken = 0;  // 1 once the list is had, as the report shows it
  std::uint32_t processId = 0;
  std::string processName;
  std::uintptr_t recordAddress = 0;
  std::unique_ptr<ProcessSnapshot> snapshot;

  Handler handler(log, ReportHeading(kProcessIdLogName));
  handler.variables([&] {
    return ReportVariables{{kListTakenVariable, std::to_string(listTaken)},
                           {kProcessIdVariable, std::to_string(processId)},
                           {kProcessNameVariable, processName},
                           {kRecordVariable, std::to_string(recordAddress)}};
  });
  handler.tail([&] { snapshot.reset(); });  // release the list

  handler.run([&] {
    snapshot = processList.enumerate();
    log.recordLastError();
    listTaken = snapshot ? 1 : 0;
  });
  if (listTaken == 0) {
    handler.directEntry();
    return 0;
  }

  std::uint32_t result = 0;
  const std::string wanted = UpperCase(imageName);
  // A failure in the scan is reported and ends it: the list is released then
  // and must not be read again, so the result found so far stands.
  handler.run([&] {
    for (const ProcessRecord& record : snapshot->records()) {
      recordAddress = reinterpret_cast<std::uintptr_t>(&record);
      processId = record.processId;
      if (processId == 0) continue;
      const char* name = record.imageName;
      processName = ReadProcessName(name, log);
      if (UpperCase(processName) == wanted) result = processId;
    }
    snapshot.reset();
  });
  return result;
}

std::string LocalComputerName(Environment& environment, ErrorLog& log) {
  std::array<char, 255> buffer;
  buffer.fill(' ');
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  const bool ok = environment.computerName(buffer, size);
  log.recordLastError();
  if (!ok) throw Failure::SystemCall(log.lastSystemError());
  const std::string_view text(buffer.data(), buffer.size());
  return std::string(text.substr(0, text.find('\0')));
}

Presence PresenceQuery::presenceOf(std::string_view computerName, std::string_view imageName) {
  bool result = false;
  const std::string wanted = UpperCase(imageName);
  const bool answered = names_.forEachName(computerName, [&](std::string_view name) {
    if (UpperCase(name) == wanted) {
      result = true;
      return false;  // the first match answers
    }
    return true;
  });
  log_.recordLastError();
  if (answered) {
    inOutage_ = false;
    blind_ = false;
    return result ? Presence::kRunning : Presence::kNotRunning;
  }
  if (!inOutage_) {
    inOutage_ = true;
    report(FailureNumber::kPresenceSourceFailed, computerName, imageName);
  }
  return askProcessList(computerName, imageName);
}

void PresenceQuery::report(FailureNumber number, std::string_view computerName,
                           std::string_view imageName) {
  Handler(log_, ReportHeading(kPresenceLogName))
      .variables([&] {
        return ReportVariables{{"computerName =", std::string(computerName)},
                               {"imageName =", std::string(imageName)}};
      })
      .report(Failure(number));
}

Presence PresenceQuery::askProcessList(std::string_view computerName, std::string_view imageName) {
  const std::unique_ptr<ProcessSnapshot> snapshot = processList_.enumerate();
  log_.recordLastError();
  if (!snapshot) {
    if (!blind_) {
      blind_ = true;
      report(FailureNumber::kProcessesUnknown, computerName, imageName);
    }
    return Presence::kUnknown;
  }
  blind_ = false;
  const std::string wanted = UpperCase(imageName);
  for (const ProcessRecord& record : snapshot->records()) {
    if (record.processId != 0 && record.imageName != nullptr &&
        UpperCase(record.imageName) == wanted) {
      return Presence::kRunning;
    }
  }
  return Presence::kNotRunning;
}

}  // namespace tavrolin
