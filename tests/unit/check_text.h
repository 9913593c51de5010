#pragma once

// Small helpers the host tests and the fuzz targets share, with no test
// framework behind them: how a check prints bytes, and the error a call
// ended with.

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace cu::testing {

// Two hex digits and a space a byte.
inline std::string Hex(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  return out;
}

// The AppError message a call throws, or "" when it throws nothing.
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const AppError& e) {
    return e.what();
  }
  return "";
}

}  // namespace cu::testing
