#pragma once

#include "platform/processor_topology.h"

namespace tavrolin::win32 {

// The processors as GetLogicalProcessorInformationEx describes them. It came
// with Windows 7 and is looked up when needed, so that the 32-bit exe still
// starts on XP; there the online processors come from the system's affinity
// mask alone, and the description is not detailed (last error 127).
class WinTopology final : public TopologySource {
 public:
  ProcessorTopology describe() override;
};

}  // namespace tavrolin::win32
