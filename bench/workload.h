#pragma once

// The worlds the benchmarks measure, described once as plain data so that the
// memory machine (host benchmarks) and a real machine under Wine (Windows
// benchmarks) are seeded with exactly the same entries.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cu::bench {

// Every registry value and folder entry the benchmarks add starts with this,
// so a later seeding can find and remove them again.
inline constexpr char kSeedPrefix[] = "cu-bench ";

// Sizes of the large cases; CU_BENCH_SCALE (a factor such as 0.1) shrinks
// them for quick runs.
struct Sizes {
  int run_values = 5000;       // registry values, spread over the autostart keys
  int startup_entries = 2000;  // entries of the user's Startup folder, a third shortcuts
  int report_rows = 1000;      // rows of the StartUp report
  int services = 2000;         // services of the memory machine, and added under Wine
  int tree_folders = 1000;     // folders of the tree to clear
  int tree_files = 100000;     // files of the tree to clear, spread evenly
  int urls = 1000;             // typed addresses
  // The newer autostart places, seeded under Wine only (bench/windows/seed.h):
  int scheduled_tasks = 300;   // task definition files in the task store
  int packages = 40;           // packaged apps, one or two startup tasks each
  int debugger_keys = 40;      // Image File Execution Options keys, half with a Debugger
  int signature_copies = 300;  // copies each of a signed and an unsigned program (Wine only)
};

// Sizes scaled by CU_BENCH_SCALE (default 1); every size stays at least 1,
// the tree keeps at least 10 folders.
Sizes SizesFromEnvironment();
double ScaleFromEnvironment();

struct RegistryItem {
  Hive hive = Hive::kCurrentUser;
  std::string key;   // from the hive's root, no leading backslash
  std::string name;  // "" is the default value
  std::string data;  // REG_SZ text
};

struct FolderItem {
  std::string name;             // the entry's name in the Startup folder
  std::string shortcut_target;  // a shortcut's target; empty for a plain file
};

struct FileItem {
  std::string path;
  bool versioned = false;  // a program with a version resource
};

struct StartupWorld {
  std::vector<RegistryItem> values;      // autostart values
  // StartupApproved switches (REG_BINARY, 12 bytes in `data`) of every
  // fourth value that has one and every fourth Startup-folder entry, every
  // other one disabled.
  std::vector<RegistryItem> approved;
  std::vector<RegistryItem> app_paths;   // App Paths registrations (default values)
  std::string startup_folder;            // what HKCU Shell Folders "Startup" names
  std::vector<FolderItem> folder_entries;
  std::vector<FileItem> files;           // files the commands and shortcuts name
};

// The autostart keys the load reads that take any value name: the first
// seven paths under HKLM, HKU\.DEFAULT, HKCU and HKLM's 32-bit view (as
// Software\WOW6432Node\...; the eighth, the "Windows" key, is read for
// "load" and "run" only). Keys from the hive's root.
std::vector<RegistryItem> SpreadKeys();

// The StartupApproved keys the load reads, from the hive's root.
std::vector<RegistryItem> ApprovedKeys();

// `run_values` values spread round-robin over SpreadKeys(), and
// `startup_entries` entries in `sandbox`\startup (every third a shortcut to
// a file in `sandbox`\targets). `sandbox` has no trailing backslash.
StartupWorld MakeStartupWorld(const std::string& sandbox, int run_values, int startup_entries);

// About `rows` rows for the report: seven in ten registry values in HKCU Run,
// the rest Startup-folder entries (a third shortcuts). The commands mix
// programs with version resources, parameters naming such programs, bare
// names found through App Paths or the search path, and missing files.
// `system_dir` is the Windows system folder that holds rundll32.exe and
// notepad.exe.
StartupWorld MakeReportWorld(const std::string& sandbox, const std::string& system_dir, int rows);

// Service names and display names, in a scrambled order.
struct ServiceItem {
  std::string name;
  std::string display_name;
  bool running = false;
};
std::vector<ServiceItem> MakeServices(int count);

// The tree to clear: `folders` folders (a tenth at the top, each holding
// nine of the others) with `files` files spread evenly; paths relative to
// the tree's root, folders listed before what they hold.
struct Tree {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};
Tree MakeTree(int folders, int files);

// The typed addresses.
std::vector<std::string> MakeUrls(int count);

// Thousands grouped with commas, for the tables.
std::string Grouped(uint64_t value);

}  // namespace cu::bench
