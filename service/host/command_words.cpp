#include "service/host/command_words.h"

namespace brivane {

std::optional<int> RunCommandWord(const std::string&) {
  return std::nullopt;
}

}  // namespace brivane
