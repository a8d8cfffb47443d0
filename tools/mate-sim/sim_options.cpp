#include "tools/mate-sim/sim_options.h"

#include <cstdlib>
#include <sstream>

#include "tools/mate-sim/mate_pages.h"

namespace brivane::sim {

const char* const kUsage =
    "Usage: mate-sim [options]\n"
    "Simulates a MATE on a pseudo-terminal and prints the path of its serial end.\n"
    "  --devices LIST     device addresses, e.g. 0,A,a (FX 0 direct, 1-9 and : hub ports\n"
    "                     1-10; MX A-J and FLEXnet DC a-j hub ports 1-10); default 0\n"
    "  --replay FILE      send the pages of FILE verbatim, one a line without LF and\n"
    "                     CR ('#' starts a comment), over and over; a page whose\n"
    "                     address was sent in this cycle begins the next cycle\n"
    "  --link PATH        make PATH a symbolic link to the pseudo-terminal\n"
    "  --device PATH      write to this existing serial device instead\n"
    "  --rate N           cycles per second, one page per device each (default 1)\n"
    "  --count N          stop after N pages in all\n"
    "  --linger SECONDS   after --count, wait this long at most for the reader (default 3)\n"
    "  --baud N           pace the line at N baud, 10 bits a character (default 19200,\n"
    "                     0 = unpaced)\n"
    "  --pause AFTER,FOR  stop sending for FOR seconds after AFTER seconds (SIGUSR1\n"
    "                     toggles a pause at any time)\n"
    "  --malformed N      follow about one page in N with malformed text\n"
    "  --seed N           seed for the malformed text (default 1)\n"
    "  --sequence         every page carries an increasing 8-digit sequence number as\n"
    "                     its second field (for benchmarks: no longer a MATE's page)\n"
    "Pages are sent only while a reader has the pseudo-terminal open. The checksum is\n"
    "the sum of every character before it but the commas, each counted as its code\n"
    "minus 48 (a digit as its value, A as 17). SIGINT or SIGTERM stop it; SIGUSR2\n"
    "toggles a fault on every FX (\"FX Error\" mode, an error and a warning).\n";

namespace {

bool ReadNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0';
}

bool ReadWhole(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

bool ReadDevices(const std::string& text, std::vector<char>& devices) {
  devices.clear();
  std::istringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    if (item.size() != 1 || !KindOfAddress(item[0])) {
      return false;
    }
    devices.push_back(item[0]);
  }
  return !devices.empty();
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  SimOptions options;
  bool devicesGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--sequence") {
      options.sequence = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      return {std::nullopt, "unknown option or missing value: " + name};
    }
    const std::string& value = arguments[++i];
    std::uint64_t whole = 0;
    bool good = true;
    if (name == "--devices") {
      good = ReadDevices(value, options.devices);
      devicesGiven = true;
    } else if (name == "--replay") {
      options.replayPath = value;
      good = !value.empty();
    } else if (name == "--link") {
      options.linkPath = value;
    } else if (name == "--device") {
      options.devicePath = value;
    } else if (name == "--rate") {
      good = ReadNumber(value, options.rate) && options.rate > 0 && options.rate <= 1000;
    } else if (name == "--count") {
      good = ReadWhole(value, options.count);
    } else if (name == "--linger") {
      good = ReadNumber(value, options.linger) && options.linger >= 0;
    } else if (name == "--baud") {
      good = ReadWhole(value, whole) && whole <= 4000000;
      options.baud = static_cast<long>(whole);
    } else if (name == "--pause") {
      const auto comma = value.find(',');
      good = comma != std::string::npos && ReadNumber(value.substr(0, comma), options.pauseAfter) &&
             ReadNumber(value.substr(comma + 1), options.pauseFor) && options.pauseAfter >= 0 &&
             options.pauseFor >= 0;
    } else if (name == "--malformed") {
      good = ReadWhole(value, whole) && whole <= 1000000;
      options.malformedEvery = static_cast<int>(whole);
    } else if (name == "--seed") {
      good = ReadWhole(value, whole);
      options.seed = static_cast<std::uint32_t>(whole);
    } else {
      return {std::nullopt, "unknown option: " + name};
    }
    if (!good) {
      return {std::nullopt, "bad value for " + name + ": " + value};
    }
  }
  if (!options.linkPath.empty() && !options.devicePath.empty()) {
    return {std::nullopt, "--link and --device exclude each other"};
  }
  if (!options.replayPath.empty() && (devicesGiven || options.sequence)) {
    return {std::nullopt, "--replay excludes --devices and --sequence"};
  }
  return {options, ""};
}

}  // namespace brivane::sim
