#pragma once

// Seeds the running machine (a throwaway Wine prefix) with the benchmark
// worlds of bench/workload.h, using raw Win32 calls. Everything it adds is
// named with kSeedPrefix or lies in the sandbox folder, so a later seeding
// removes it first.

#include <string>
#include <vector>

#include "bench/workload.h"

namespace cu::bench::win {

// Below HKCU: the packaged apps' repository (AppModel\Repository\Packages)
// and their startup tasks' states (AppModel\SystemAppData).
inline constexpr char kAppModelKey[] =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";

// The scheduler's task store: <system folder>\Tasks.
std::string TaskStoreFolder();

// Removes every value named with kSeedPrefix from the autostart keys, the
// App Paths keys of the benchmark's tools, the sandbox's Startup folder, and
// everything SeedNewerPlaces added (Shell and AppInit_DLLs as they were
// before, the keys, folders and files it created).
void RemoveSeededStartup();

// Writes the world's values, App Paths entries, files, Startup folder
// entries and shortcuts, and points HKCU Shell Folders "Startup" at the
// world's Startup folder. Needs COM (ComScope) for the shortcuts.
void SeedStartup(const StartupWorld& world);

// The newer autostart places: `sizes.scheduled_tasks` task definitions
// written into the task store as files, the way Wine's scheduler keeps them
// (Windows' scheduler would not list them), below \CuBench and every
// thirtieth below Windows' own folder; `sizes.packages` packaged apps with
// their manifests in `sandbox`\packages and some of their startup tasks'
// states; `sizes.debugger_keys` Image File Execution Options keys spread
// over both views, half of them with a Debugger; a program of ours after
// HKLM's Winlogon Shell and AppInit_DLLs, and Winlogon Taskman where it is
// missing.
void SeedNewerPlaces(const std::string& sandbox, const Sizes& sizes);

// HKCU TypedUrls holding exactly url1..urlN.
void SeedUrls(int count);

// Creates the tree below `root` (removed first when present); every file
// holds 100 bytes.
void SeedTree(const std::string& root, const Tree& tree);

// The files the signature benchmark verifies, in <sandbox>\signatures:
// `copies` copies each of the signed and the unsigned program, alternating.
std::vector<std::string> SignatureFiles(const std::string& sandbox, int copies);

// Makes SignatureFiles() afresh from the programs signed at build time next
// to the benchmark (the test kit's signature fixtures: the signed one by the
// test publisher, chain included) and adds the fixtures' test root to the
// machine's trusted roots, as the tests do.
void SeedSignatures(const std::string& sandbox, int copies);

}  // namespace cu::bench::win
