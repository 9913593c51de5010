#pragma once

// Seeds the running machine (a throwaway Wine prefix) with the benchmark
// worlds of bench/workload.h, using raw Win32 calls. Everything it adds is
// named with kSeedPrefix or lies in the sandbox folder, so a later seeding
// removes it first.

#include <string>

#include "bench/workload.h"

namespace cu::bench::win {

// Removes every value named with kSeedPrefix from the autostart keys, the
// App Paths keys of the benchmark's tools, and the sandbox's Startup folder.
void RemoveSeededStartup();

// Writes the world's values, App Paths entries, files, Startup folder
// entries and shortcuts, and points HKCU Shell Folders "Startup" at the
// world's Startup folder. Needs COM (ComScope) for the shortcuts.
void SeedStartup(const StartupWorld& world);

// HKCU TypedUrls holding exactly url1..urlN.
void SeedUrls(int count);

// Creates the tree below `root` (removed first when present); every file
// holds 100 bytes.
void SeedTree(const std::string& root, const Tree& tree);

}  // namespace cu::bench::win
