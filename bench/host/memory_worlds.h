#pragma once

// Seeds the memory machine with the benchmark worlds of bench/workload.h.

#include <string>

#include "bench/workload.h"
#include "platform/memory/memory_machine.h"
#include "presenter/system_paths.h"

namespace cu::bench {

inline constexpr char kMemorySandbox[] = "C:\\users\\user\\Temp\\cu-bench";
inline constexpr char kMemorySystemDir[] = "C:\\windows\\system32";

// The paths the main window would record on this machine.
SystemPaths MemorySystemPaths();

// Registry values, App Paths entries, the Startup folder (pointed to by
// HKCU Shell Folders "Startup"), its entries and shortcuts, and the files
// the commands name (programs with a version resource where marked).
void SeedStartupWorld(memory::MemoryMachine& machine, const StartupWorld& world);

void SeedServices(memory::MemoryServiceManager& services, int count);

// Creates the tree below `root` (which is created too).
void SeedTree(memory::MemoryFileSystem& files, const std::string& root, const Tree& tree);

void SeedUrls(memory::MemoryRegistry& registry, int count);

}  // namespace cu::bench
