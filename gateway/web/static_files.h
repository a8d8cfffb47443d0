#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace brivane::gateway {

// Debian's libjs-dygraphs, the charting library, served at two fixed addresses.
inline constexpr const char* kDygraphsFolder = "/usr/share/javascript/dygraphs";

struct FileLookup {
  std::optional<std::filesystem::path> file;  // the file to send
  int status = 404;                           // when there is none: 403 or 404
};

// The regular file under root that a decoded URL path names ("/" is index.html), or
// the vendor file it stands for. Nothing outside root is found, through ".." or
// symbolic links alike; hidden names are not served.
FileLookup FindStaticFile(const std::filesystem::path& root, std::string_view path,
                          const std::filesystem::path& vendorFolder = kDygraphsFolder);

}  // namespace brivane::gateway
