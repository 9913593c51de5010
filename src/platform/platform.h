#pragma once

// The seam between the program's logic and Windows, one header per concern.
// Every interface is implemented twice: by src/platform/win32 over the real
// system calls and by src/platform/memory as an in-memory machine for tests.
// The logic never sees a Win32 type.

#include "platform/clipboard.h"
#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/signatures.h"
#include "platform/tasks.h"
#include "platform/versions.h"
#include "platform/xml.h"

namespace cu {

// References to one implementation of every concern, handed to each tab.
struct Platform {
  RegistryBackend& registry;
  FileSystem& files;
  Shell& shell;
  Environment& environment;
  VersionResources& versions;
  Locale& locale;
  Clipboard& clipboard;
  ServiceManager& services;
  TaskScheduler& tasks;
  XmlParser& xml;
  SignatureChecks& signatures;
};

}  // namespace cu
