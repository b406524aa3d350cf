#pragma once

// What the presets pick on each machine of this folder: the first four
// lines `tavrolin --list-cpus` prints. The sysfs trees (Linux) and the same
// machines as GetLogicalProcessorInformationEx records (Windows) must both
// give them.
namespace tavrolin::test {

inline constexpr const char* k7950X3DChoices =
    "Online: 0-31\n"
    "LargeCache: 0-7,16-23 (96 MB L3; the others 32 MB)\n"
    "PerformanceCores: 0-31 (all cores alike)\n"
    "OnePerCore: 0-15 (16 cores)\n";

inline constexpr const char* kI71370PChoices =
    "Online: 0-19\n"
    "LargeCache: 0-19 (no larger cache)\n"
    "PerformanceCores: 0-11 (the others are efficiency cores)\n"
    "OnePerCore: 0,2,4,6,8,10,12-19 (14 cores)\n";

inline constexpr const char* kOpteronChoices =
    "Online: 0-63\n"
    "LargeCache: 0-63 (no larger cache)\n"
    "PerformanceCores: 0-63 (all cores alike)\n"
    "OnePerCore: 0,2,4,6,8,10,12,14,16,18,20,22,24,26,28,30,32,34,36,38,40,42,44,46,48,50,52,54,"
    "56,58,60,62 (32 cores)\n";

}  // namespace tavrolin::test
