#include "common/profile_document.h"

#include <optional>

namespace brivane {
namespace {

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

template <typename Lines>
Lines SplitLines(const std::string& content) {
  Lines lines;
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

// The header line of the first section of that name and the line after its last one.
struct SectionRange {
  std::size_t header;
  std::size_t last;
};

template <typename Lines>
std::optional<SectionRange> FindSection(const Lines& lines, std::string_view section) {
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

template <typename Lines>
std::optional<std::size_t> FindKey(const Lines& lines, const SectionRange& range,
                                   std::string_view key) {
  for (std::size_t i = range.header + 1; i < range.last; ++i) {
    const auto name = KeyName(lines[i].text);
    if (name && SameName(*name, key)) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace

ProfileDocument::ProfileDocument(std::string text)
    : text_(std::move(text)), lines_(SplitLines<std::vector<Line>>(text_)) {}

std::string ProfileDocument::Get(std::string_view section, std::string_view key,
                                 std::string_view defaultText) const {
  std::string value(defaultText);
  if (const auto range = FindSection(lines_, section)) {
    if (const auto index = FindKey(lines_, *range, key)) {
      const std::string_view text = lines_[*index].text;
      value = std::string(Trim(text.substr(text.find('=') + 1)));
    }
  }
  if (value.size() > kProfileValueLimit) {
    value.resize(kProfileValueLimit);
  }
  return value;
}

void ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  auto lines = lines_;
  const std::string newline = text_.find("\r\n") != std::string::npos ? "\r\n" : "\n";
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
  // Read back as a file would be: a value holding a line end makes more than one line.
  *this = ProfileDocument(std::move(updated));
}

}  // namespace brivane
