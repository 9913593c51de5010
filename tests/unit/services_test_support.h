#pragma once

// Helpers shared by the tests of the Services tab and of service control.

#include <cstdint>
#include <string>
#include <utility>

#include "platform/memory/memory_machine.h"

namespace cu::testing {

// A service of the memory machine, own process, demand start, with the given
// names and state.
inline memory::MemoryService Service(std::string name, std::string display,
                                     uint32_t state = kServiceStopped) {
  memory::MemoryService service;
  service.name = std::move(name);
  service.display_name = std::move(display);
  service.state = state;
  return service;
}

}  // namespace cu::testing
