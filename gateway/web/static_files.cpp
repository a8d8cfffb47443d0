#include "gateway/web/static_files.h"

#include <algorithm>
#include <string>

namespace brivane::gateway {
namespace {

namespace fs = std::filesystem;

// True when inner is root or lies under it (both canonical).
bool Within(const fs::path& root, const fs::path& inner) {
  auto [rootEnd, innerAt] = std::mismatch(root.begin(), root.end(), inner.begin(), inner.end());
  return rootEnd == root.end();
}

std::optional<fs::path> RegularFile(const fs::path& file) {
  std::error_code error;
  if (fs::is_regular_file(file, error)) {
    return file;
  }
  return std::nullopt;
}

}  // namespace

FileLookup FindStaticFile(const fs::path& root, std::string_view path,
                          const fs::path& vendorFolder) {
  if (path == "/vendor/dygraph.min.js") {
    return {RegularFile(vendorFolder / "dygraph.min.js"), 404};
  }
  if (path == "/vendor/dygraph.css") {
    return {RegularFile(vendorFolder / "dygraph.css"), 404};
  }
  std::string relative(path.substr(path.empty() ? 0 : 1));
  if (relative.empty() || relative.back() == '/') {
    relative += "index.html";
  }
  // Each segment a plain name: no "..", no ".", nothing hidden, no empty segment.
  std::size_t at = 0;
  while (at <= relative.size()) {
    const std::size_t slash = std::min(relative.find('/', at), relative.size());
    const std::string_view segment = std::string_view(relative).substr(at, slash - at);
    if (segment.empty() || segment.front() == '.' || segment.find('\\') != segment.npos) {
      return {std::nullopt, segment.starts_with("..") ? 403 : 404};
    }
    at = slash + 1;
  }
  std::error_code error;
  const fs::path base = fs::canonical(root, error);
  if (error) {
    return {std::nullopt, 404};
  }
  const fs::path file = fs::canonical(base / relative, error);
  if (error) {
    return {std::nullopt, 404};
  }
  if (!Within(base, file)) {
    return {std::nullopt, 403};  // a link that leads out
  }
  return {RegularFile(file), 404};
}

}  // namespace brivane::gateway
