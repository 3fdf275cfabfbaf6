// Fuzz target: the archiver's command-line parser, list-file splitting and
// wildcard matching must take any text without crashing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tar32/TarCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  tar32::TarCommand command;
  tar32::ParseTarCommand(text.c_str(), &command);
  auto names = tar32::SplitListText(text);
  std::size_t half = text.size() / 2;
  std::string pattern = text.substr(0, half);
  std::string name = text.substr(half);
  tar32::WildcardMatch(pattern.c_str(), name.c_str());
  return names.size() > size ? 1 : 0;
}
