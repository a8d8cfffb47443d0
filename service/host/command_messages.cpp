#include "service/host/command_messages.h"

namespace brivane {

std::string MessageOutputText(const CommandMessage& message) {
  std::string output(message.title);
  output += '\n';
  std::string_view text = message.text;
  for (auto lineBreak = text.find("\r\n"); lineBreak != std::string_view::npos;
       lineBreak = text.find("\r\n")) {
    output += text.substr(0, lineBreak);
    output += '\n';
    text.remove_prefix(lineBreak + 2);
  }
  output += text;
  output += '\n';
  return output;
}

void PrintMessage(std::FILE* out, const CommandMessage& message) {
  const std::string text = MessageOutputText(message);
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

}  // namespace brivane
