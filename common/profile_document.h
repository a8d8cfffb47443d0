#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The text of Brivane.ini and the rules it is read and edited by: section and key names
// match without regard to case, values are trimmed of surrounding blanks, and an edit
// changes one line and keeps every other byte.
namespace brivane {

// The longest value the reader hands back; longer values are cut.
inline constexpr std::size_t kProfileValueLimit = 254;

class ProfileDocument {
 public:
  ProfileDocument() = default;
  explicit ProfileDocument(std::string text);

  // The value of key in section, trimmed, at most kProfileValueLimit characters.
  // defaultText when the section or the key is missing; an empty text when the key is
  // there with an empty value. Only the first section of a name counts.
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view defaultText) const;

  // Sets key in section to value. The key's line is replaced in place, keeping the key
  // as the file spells it; a missing key is added after the last line of its section
  // that is not blank, a missing section at the end. Every other line stays byte for
  // byte, line ends included; added lines take the file's line end.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  const std::string& Text() const { return text_; }

 private:
  // One line exactly as it stands: its text and its line end ("", "\n" or "\r\n").
  struct Line {
    std::string text;
    std::string end;
  };

  std::string text_;
  std::vector<Line> lines_;
};

}  // namespace brivane
