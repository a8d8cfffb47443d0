#include "common/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "common/file_text.h"

namespace brivane {
namespace {

// One line of the file exactly as it stands: its text and its line end ("", "\n" or "\r\n").
struct Line {
  std::string text;
  std::string end;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    std::size_t textEnd = newline;
    if (textEnd > start && content[textEnd - 1] == '\r') {
      --textEnd;
    }
    lines.push_back(
        {content.substr(start, textEnd - start), content.substr(textEnd, newline + 1 - textEnd)});
    start = newline + 1;
  }
  return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') {
    return std::nullopt;
  }
  line.remove_prefix(1);
  const auto close = line.find(']');
  return Trim(line.substr(0, close));
}

// The key of a "key=value" line, or nothing for any other line.
std::optional<std::string_view> KeyName(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos || Trim(line).starts_with(';')) {
    return std::nullopt;
  }
  return Trim(line.substr(0, equals));
}

// Lines [first, last) of the first section of that name; nothing when it is missing.
struct SectionRange {
  std::size_t header;
  std::size_t last;
};

std::optional<SectionRange> FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i].text);
    if (!name || !SameName(*name, section)) {
      continue;
    }
    std::size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end].text)) {
      ++end;
    }
    return SectionRange{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const SectionRange& range,
                                   std::string_view key) {
  for (std::size_t i = range.header + 1; i < range.last; ++i) {
    const auto name = KeyName(lines[i].text);
    if (name && SameName(*name, key)) {
      return i;
    }
  }
  return std::nullopt;
}

// Writes content to a temporary file beside target and renames it over target, so a
// reader sees either the old file or the new one, never half of one.
bool ReplaceFile(const std::filesystem::path& target, const std::string& content) {
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    return false;
  }
  std::string hidden = ".";
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  std::string pattern = (target.parent_path() / hidden).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    return false;
  }
  bool ok = WriteAll(fd, content);
  if (exists) {
    ok = ok && ::fchmod(fd, existing.st_mode & 07777) == 0;
    // Keep the owner where we may (root editing a user's file); a failure here is harmless.
    [[maybe_unused]] const int owner = ::fchown(fd, existing.st_uid, existing.st_gid);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(pattern.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(pattern.c_str());
  }
  return ok;
}

}  // namespace

std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultText) {
  std::string value(defaultText);
  if (const auto content = ReadWholeFile(file)) {
    const auto lines = SplitLines(*content);
    if (const auto range = FindSection(lines, section)) {
      if (const auto index = FindKey(lines, *range, key)) {
        const std::string_view text = lines[*index].text;
        value = std::string(Trim(text.substr(text.find('=') + 1)));
      }
    }
  }
  if (value.size() > kProfileValueLimit) {
    value.resize(kProfileValueLimit);
  }
  return value;
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
  std::error_code error;
  // Through a link, the file it points at is the one to change.
  std::filesystem::path target = std::filesystem::canonical(file, error);
  if (error) {
    if (std::filesystem::exists(file, error) || std::filesystem::is_symlink(file, error)) {
      return false;
    }
    target = file;
  }
  std::string content;
  if (std::filesystem::exists(target, error)) {
    const auto existing = ReadWholeFile(target);
    if (!existing) {
      return false;
    }
    content = *existing;
  }
  auto lines = SplitLines(content);
  const std::string newline = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::string keyLine = std::string(key) + "=" + std::string(value);

  auto insertAfter = [&](std::size_t index, std::string text) {
    if (lines[index].end.empty()) {
      lines[index].end = newline;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                 Line{std::move(text), newline});
  };

  if (const auto range = FindSection(lines, section)) {
    if (const auto index = FindKey(lines, *range, key)) {
      // Keep the key as the file spells it; only the value changes.
      const std::string_view text = lines[*index].text;
      lines[*index].text =
          std::string(Trim(text.substr(0, text.find('=')))) + "=" + std::string(value);
    } else {
      std::size_t last = range->header;
      for (std::size_t i = range->header + 1; i < range->last; ++i) {
        if (!Trim(lines[i].text).empty()) {
          last = i;
        }
      }
      insertAfter(last, keyLine);
    }
  } else {
    if (!lines.empty() && lines.back().end.empty()) {
      lines.back().end = newline;
    }
    std::string header = "[";
    header += section;
    header += ']';
    lines.push_back({header, newline});
    lines.push_back({keyLine, newline});
  }

  std::string updated;
  for (const auto& line : lines) {
    updated += line.text;
    updated += line.end;
  }
  return ReplaceFile(target, updated);
}

}  // namespace brivane
