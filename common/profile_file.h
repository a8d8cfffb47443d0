#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/profile_document.h"

// Brivane.ini on disk: read once into a document, written back once, atomically.
namespace brivane {

class ProfileFile {
 public:
  // Reads the file once. Through a link, the file it points at is the one read and
  // later replaced. A file that is missing gives an empty document; one that is there
  // but cannot be read (or a link to nowhere) an empty document that is never saved.
  static ProfileFile Load(const std::filesystem::path& file);

  const ProfileDocument& Document() const { return document_; }
  ProfileDocument& Document() { return document_; }

  // Writes the document back when its bytes differ from the file's, replacing the file
  // atomically with its permissions kept; a new file gets 0666 less the umask. Returns
  // false, leaving everything as it was, when the file or its folder cannot be written.
  bool Save();

 private:
  std::filesystem::path target_;
  // The bytes on disk; nothing while the file does not exist.
  std::optional<std::string> onDisk_;
  bool writable_ = true;
  ProfileDocument document_;
};

// One value of the file, read on its own.
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultText);

// Sets one value of the file and saves it, as ProfileDocument::Set and ProfileFile::Save.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace brivane
