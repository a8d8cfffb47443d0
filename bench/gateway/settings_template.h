#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace brivane::bench {

// A gateway settings file made for one run: in the template, "@FOLDER@" becomes the
// run's own folder and "@PORT:name@" a free loopback port, the same port wherever the
// same name stands, so a file can give the gateway more to do (another output with a
// listener of its own, files to keep) without fixing a port or a path.
struct RunSettings {
  std::string text;
  std::map<std::string, int> ports;  // name -> port
};

RunSettings ExpandSettings(std::string_view text, const std::string& folder,
                           const std::function<int()>& freePort);

}  // namespace brivane::bench
