#include "bench/workload.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "startup/startup_catalogue.h"

namespace cu::bench {

namespace {

// A fixed scramble, so names do not arrive in sorted order.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

constexpr std::array<const char*, 16> kWords = {
    "Updater", "agent",   "Helper", "tray",    "Sync",   "monitor", "Launcher", "cloud",
    "Driver",  "backup",  "Notify", "scanner", "Audio",  "indexer", "Keyboard", "zoom",
};

std::string Number(int i, int width = 4) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, i);
  return buffer;
}

std::string Word(int i) { return kWords[Mix(static_cast<uint32_t>(i)) % kWords.size()]; }

int Scaled(int size, double scale, int minimum) {
  return std::max(minimum, static_cast<int>(size * scale + 0.5));
}

}  // namespace

double ScaleFromEnvironment() {
  const char* text = std::getenv("CU_BENCH_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  const double scale = std::atof(text);
  return scale > 0 ? scale : 1.0;
}

Sizes SizesFromEnvironment() {
  const double scale = ScaleFromEnvironment();
  Sizes sizes;
  sizes.run_values = Scaled(sizes.run_values, scale, 1);
  sizes.startup_entries = Scaled(sizes.startup_entries, scale, 1);
  sizes.report_rows = Scaled(sizes.report_rows, scale, 1);
  sizes.services = Scaled(sizes.services, scale, 1);
  sizes.tree_folders = Scaled(sizes.tree_folders, scale, 10);
  sizes.tree_files = Scaled(sizes.tree_files, scale, sizes.tree_folders);
  sizes.urls = Scaled(sizes.urls, scale, 1);
  sizes.scheduled_tasks = Scaled(sizes.scheduled_tasks, scale, 1);
  sizes.packages = Scaled(sizes.packages, scale, 1);
  sizes.debugger_keys = Scaled(sizes.debugger_keys, scale, 1);
  sizes.signature_copies = Scaled(sizes.signature_copies, scale, 1);
  return sizes;
}

std::vector<RegistryItem> SpreadKeys() {
  std::vector<RegistryItem> keys;
  const std::pair<Hive, const char*> groups[] = {
      {Hive::kLocalMachine, ""}, {Hive::kUsers, ".DEFAULT\\"}, {Hive::kCurrentUser, ""}};
  for (const auto& [hive, prefix] : groups) {
    for (std::size_t i = 0; i + 1 < kStartupKeyPaths.size(); ++i) {
      keys.push_back({hive, prefix + std::string(kStartupKeyPaths[i]), "", ""});
    }
  }
  for (std::size_t i = 0; i + 1 < kStartupKeyPaths.size(); ++i) {
    keys.push_back({Hive::kLocalMachine, Wow64Path(kStartupKeyPaths[i]), "", ""});
  }
  return keys;
}

std::vector<RegistryItem> ApprovedKeys() {
  std::vector<RegistryItem> keys;
  for (const StartupSource& source : StartupSources()) {
    if (const std::optional<ApprovedPlace> place = ApprovedPlaceOf(source)) {
      keys.push_back({place->hive, place->path.substr(1), "", ""});
    }
  }
  return keys;
}

namespace {

// The switch of a Task Manager-style toggle: disabled with a date, or enabled.
RegistryItem Switch(Hive hive, const std::string& key, const std::string& name, bool disabled) {
  const uint64_t when = 0x01DB4A2B3C4D5E6Full;
  RegistryItem item{hive, key, name, std::string(12, '\0')};
  item.data[0] = disabled ? 3 : 2;
  for (int b = 0; b < 8 && disabled; ++b) item.data[4 + b] = static_cast<char>((when >> (8 * b)) & 0xFF);
  return item;
}

}  // namespace

StartupWorld MakeStartupWorld(const std::string& sandbox, int run_values, int startup_entries) {
  StartupWorld world;
  const std::vector<RegistryItem> keys = SpreadKeys();
  for (int i = 0; i < run_values; ++i) {
    RegistryItem item = keys[static_cast<std::size_t>(i) % keys.size()];
    item.name = kSeedPrefix + Word(i) + " " + Number(i);
    switch (i % 3) {
      case 0:
        item.data = "\"C:\\Program Files\\Vendor " + Number(i % 97, 2) + "\\" + Word(i + 1) +
                    Number(i) + ".exe\" /background";
        break;
      case 1:
        item.data = "C:\\windows\\system32\\rundll32.exe C:\\Program Files\\Common\\" +
                    Word(i + 2) + Number(i) + ".dll,Start";
        break;
      default:
        item.data = "%ProgramFiles%\\" + Word(i + 3) + "\\" + Word(i) + Number(i) + ".exe -minimized";
        break;
    }
    // Every fourth value of a Run key has a switch, every other one off.
    const std::string run = std::string(kStartupKeyPaths[2]);
    if (i % 4 == 0 && (item.key == run || item.key == Wow64Path(run))) {
      int tag = item.hive == Hive::kLocalMachine ? 3 : 23;
      if (item.key != run) tag = 33;
      world.approved.push_back(
          Switch(item.hive, ApprovedPlaceOf(*FindStartupSource(tag))->path.substr(1), item.name,
                 i % 8 == 0));
    }
    world.values.push_back(std::move(item));
  }

  world.startup_folder = sandbox + "\\startup";
  for (int i = 0; i < startup_entries; ++i) {
    FolderItem entry;
    const std::string stem = kSeedPrefix + Word(i) + " " + Number(i);
    if (i % 3 == 0) {
      entry.name = stem + ".lnk";
      entry.shortcut_target = sandbox + "\\targets\\" + Word(i + 5) + Number(i) + ".exe";
      world.files.push_back({entry.shortcut_target, false});
    } else if (i % 3 == 1) {
      entry.name = stem + " program.exe";
    } else {
      entry.name = stem + " readme.txt";
    }
    if (i % 4 == 0) {
      world.approved.push_back(Switch(Hive::kCurrentUser,
                                      ApprovedPlaceOf(*FindStartupSource(kTagUserStartup))->path.substr(1),
                                      entry.name,
                                      i % 8 == 0));
    }
    world.folder_entries.push_back(std::move(entry));
  }
  return world;
}

StartupWorld MakeReportWorld(const std::string& sandbox, const std::string& system_dir, int rows) {
  StartupWorld world;
  constexpr int kPrograms = 50;  // distinct programs; each row names one of them
  const std::string programs = sandbox + "\\programs\\";
  auto program = [&](int i) { return programs + "prog" + Number(i % kPrograms, 3) + ".exe"; };
  for (int i = 0; i < std::min(rows, kPrograms); ++i) world.files.push_back({program(i), true});
  for (int i = 0; i < std::min(rows, kPrograms); ++i) {
    world.files.push_back({sandbox + "\\docs\\doc" + Number(i, 3) + ".txt", false});
  }

  const int values = rows - rows * 3 / 10;
  for (int i = 0; i < values; ++i) {
    RegistryItem item{Hive::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      kSeedPrefix + Word(i) + " " + Number(i), ""};
    switch (i % 10) {
      case 0: case 1: case 2:  // a program with a version resource
        item.data = "\"" + program(i) + "\" /min";
        break;
      case 3: case 4:  // a system program whose parameter is such a program
        item.data = system_dir + "\\rundll32.exe " + program(i) + ",Entry";
        break;
      case 5:  // a bare name found along the search path, with a document
        item.data = "notepad /p " + sandbox + "\\docs\\doc" + Number(i % kPrograms, 3) + ".txt";
        break;
      case 6: case 7: {  // a bare name registered under App Paths
        const std::string tool = "cu-bench-tool" + Number(i % kPrograms, 3) + ".exe";
        item.data = "cu-bench-tool" + Number(i % kPrograms, 3) + " -quiet";
        world.app_paths.push_back(
            {Hive::kLocalMachine,
             "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + tool, "", program(i)});
        break;
      }
      default:  // gone
        item.data = "C:\\cu-bench-missing\\gone" + Number(i) + ".exe -x";
        break;
    }
    world.values.push_back(std::move(item));
  }
  // One registration per tool name is enough.
  std::sort(world.app_paths.begin(), world.app_paths.end(),
            [](const RegistryItem& a, const RegistryItem& b) { return a.key < b.key; });
  world.app_paths.erase(std::unique(world.app_paths.begin(), world.app_paths.end(),
                                    [](const RegistryItem& a, const RegistryItem& b) {
                                      return a.key == b.key;
                                    }),
                        world.app_paths.end());

  world.startup_folder = sandbox + "\\startup";
  for (int i = values; i < rows; ++i) {
    FolderItem entry;
    const std::string stem = kSeedPrefix + Word(i) + " " + Number(i);
    if (i % 3 == 0) {
      entry.name = stem + ".lnk";
      entry.shortcut_target = program(i);
    } else {
      entry.name = stem + " notes.txt";
    }
    world.folder_entries.push_back(std::move(entry));
  }
  return world;
}

std::vector<ServiceItem> MakeServices(int count) {
  std::vector<ServiceItem> services;
  services.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const uint32_t key = Mix(static_cast<uint32_t>(i) + 7);
    ServiceItem item;
    item.name = "cu-bench-svc" + Number(i);
    item.display_name = std::string(kSeedPrefix) + Word(static_cast<int>(key % 1000)) + " " +
                        Word(i + 11) + " Service " + Number(i);
    item.running = i % 3 == 0;
    services.push_back(std::move(item));
  }
  return services;
}

Tree MakeTree(int folders, int files) {
  Tree tree;
  const int top = std::max(1, folders / 10);
  tree.folders.reserve(static_cast<std::size_t>(folders));
  for (int t = 0; t < top; ++t) tree.folders.push_back("dir" + Number(t));
  for (int i = top; i < folders; ++i) {
    const int parent = (i - top) % top;
    tree.folders.push_back("dir" + Number(parent) + "\\sub" + Number(i));
  }
  tree.files.reserve(static_cast<std::size_t>(files));
  for (int i = 0; i < files; ++i) {
    const std::string& folder = tree.folders[static_cast<std::size_t>(i % folders)];
    // Mostly 8.3-compatible names, every fourth a long one with blanks.
    tree.files.push_back(folder + (i % 4 == 0 ? "\\Temporary file " + Number(i, 6) + ".tmp"
                                              : "\\f" + Number(i, 6) + ".tmp"));
  }
  return tree;
}

std::vector<std::string> MakeUrls(int count) {
  std::vector<std::string> urls;
  urls.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    urls.push_back("http://www." + Word(i) + Number(i) + ".example.com/" + Word(i + 1) +
                   "/index.html");
  }
  return urls;
}

std::string Grouped(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace cu::bench
