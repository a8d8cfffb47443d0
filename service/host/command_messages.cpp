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

void PrintMessage(std::ostream& out, const CommandMessage& message) {
  out << MessageOutputText(message) << std::flush;
}

}  // namespace brivane
