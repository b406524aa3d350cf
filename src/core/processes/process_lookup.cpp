#include "processes/process_lookup.h"

#include <array>
#include <memory>

#include "diagnostics/handler.h"

namespace tavrolin {

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::string GetStringFromLP(const char*& StrPtr, ErrorLog& log) {
  std::string tempStr;
  std::string bufferStr;
  Handler handler(log, "Error occurred in GetStringFromLP");
  handler.variables([&] {
    return ReportVariables{{"StrPtr =", std::to_string(reinterpret_cast<std::uintptr_t>(StrPtr))},
                           {"tempStr =", tempStr},
                           {"bufferStr =", bufferStr}};
  });
  if (StrPtr == nullptr) return bufferStr;  // never handed out; no name to read
  bool done = false;
  while (!done) {
    const char byte = *StrPtr;
    if (byte == '\0') {
      done = true;
    } else {
      // The list already holds the system's single-byte code page: one byte is
      // one character.
      handler.run([&] {
        tempStr.assign(1, byte);
        bufferStr += tempStr;
      });
      ++StrPtr;
    }
  }
  return bufferStr;
}

std::uint32_t GetProcessID(ProcessList& processList, ErrorLog& log, std::string_view imageName) {
  std::int32_t RetVal = 0;
  std::uint32_t lngProcessID = 0;
  std::string strTempProcessName;
  std::uintptr_t P = 0;
  std::unique_ptr<ProcessSnapshot> snapshot;

  Handler handler(log, "Error occurred in GetProcessID");
  handler.variables([&] {
    return ReportVariables{{"RetVal =", std::to_string(RetVal)},
                           {"lngProcessID =", std::to_string(lngProcessID)},
                           {"strTempProcessName =", strTempProcessName},
                           {"P =", std::to_string(P)}};
  });
  handler.tail([&] { snapshot.reset(); });  // release the list

  handler.run([&] {
    snapshot = processList.enumerate();
    log.recordLastError();
    RetVal = snapshot ? 1 : 0;
  });
  if (RetVal == 0) {
    handler.directEntry();
    return 0;
  }

  std::uint32_t result = 0;
  const std::string wanted = UpperCase(imageName);
  // A failure in the scan is reported and ends it: the list is released then
  // and must not be read again, so the result found so far stands.
  handler.run([&] {
    for (const ProcessRecord& record : snapshot->records()) {
      P = reinterpret_cast<std::uintptr_t>(&record);
      lngProcessID = record.processId;
      if (lngProcessID == 0) continue;
      const char* name = record.imageName;
      strTempProcessName = GetStringFromLP(name, log);
      if (UpperCase(strTempProcessName) == wanted) result = lngProcessID;
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
  if (!ok) throw Failure::SystemCall(log.lastDllError());
  const std::string_view text(buffer.data(), buffer.size());
  return std::string(text.substr(0, text.find('\0')));
}

bool PresenceQuery::IsProcessRunning(std::string_view computerName, std::string_view imageName) {
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
    return result;
  }
  if (!inOutage_) {
    inOutage_ = true;
    Handler(log_, "Error occurred in IsProcessRunning")
        .variables([&] {
          return ReportVariables{{"computerName =", std::string(computerName)},
                                 {"imageName =", std::string(imageName)}};
        })
        .report(Failure(FailureNumber::kPresenceSourceFailed));
  }
  return askProcessList(wanted);
}

bool PresenceQuery::askProcessList(std::string_view wanted) {
  const std::unique_ptr<ProcessSnapshot> snapshot = processList_.enumerate();
  log_.recordLastError();
  if (!snapshot) throw Failure::SystemCall(log_.lastDllError());
  for (const ProcessRecord& record : snapshot->records()) {
    if (record.processId != 0 && record.imageName != nullptr &&
        UpperCase(record.imageName) == wanted) {
      return true;
    }
  }
  return false;
}

}  // namespace tavrolin
