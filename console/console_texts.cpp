#include "console/console_texts.h"

#include "common/product.h"

namespace brivane {

std::string HostPanelText(std::string_view host, std::string_view portText) {
  std::string text = "Host: ";
  text += host;
  text += ':';
  text += portText;
  text += ' ';
  return text;
}

std::string SendFailureText(int number, std::string_view description) {
  if (number == kHostNotResolved) {
    return "An error occured trying to determine the address of the specified host.";
  }
  std::string text = "An error occured trying to contact the Brivane service.\r\n\r\nError ";
  text += std::to_string(number);
  text += ", ";
  text += description;
  return text;
}

std::string AboutText(int major, int minor, int revision) {
  constexpr std::string_view kLineEnd = "\r\n";
  std::string text = "Brivane Service Console v" + std::to_string(major) + "." +
                     std::to_string(minor) + "." + std::to_string(revision);
  text += kLineEnd;
  text += kSupportAddress;
  text += kLineEnd;
  text += kLineEnd;
  text += "Brivane is an application designed to enable software applications to connect to";
  text += kLineEnd;
  text += "OutBack Power (";
  text += kEquipmentMakerAddress;
  text += ") equipment over a standard TCP network";
  text += kLineEnd;
  text += "connection. This service console acts as a simple monitor for the Brivane service.";
  text += kLineEnd;
  return text;
}

}  // namespace brivane
