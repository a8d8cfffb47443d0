#include "common/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "tests/support/temp_folder.h"

namespace brivane {
namespace {

using testkit::ReadFile;
using testkit::TempFolder;
using testkit::WriteFile;

TEST(GetProfileString, MatchesNamesWithoutCaseAndTrimsValues) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file,
            "; settings\r\n[Other]\r\nCOMPort=9\r\n[  brivanesvc ]\r\n  comport =  3  \r\n"
            "TCPPort=\r\nnot a key line\r\n[BrivaneSvc]\r\nUDPBPort=1\r\n");
  EXPECT_EQ(GetProfileString(file, "BrivaneSvc", "COMPort", "0"), "3");
  EXPECT_EQ(GetProfileString(file, "BRIVANESVC", "ComPort", "0"), "3");
  // Present but empty is empty, not the default.
  EXPECT_EQ(GetProfileString(file, "BrivaneSvc", "TCPPort", "8467"), "");
  EXPECT_EQ(GetProfileString(file, "BrivaneSvc", "IPAddress", "dflt"), "dflt");
  // Only the first section of a name counts.
  EXPECT_EQ(GetProfileString(file, "BrivaneSvc", "UDPBPort", "8466"), "8466");
  EXPECT_EQ(GetProfileString(file, "Missing", "COMPort", "0"), "0");
  EXPECT_EQ(GetProfileString(folder / "absent.ini", "BrivaneSvc", "COMPort", "0"), "0");
}

TEST(GetProfileString, CutsValuesAtTheBufferLimit) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file, "[S]\nK=" + std::string(300, 'x') + "\n");
  EXPECT_EQ(GetProfileString(file, "S", "K", ""), std::string(kProfileValueLimit, 'x'));
}

TEST(WriteProfileString, UpdatesInPlaceKeepingEveryOtherByte) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  const std::string before =
      "; comment line\r\n\r\n[Other]\r\nCOMPort=9\r\n[brivanesvc]\r\n comport = 7 \r\n"
      "IPAddress = 300.1.1.1 \r\n\r\n[SerialDevices]\r\nCOM1=/dev/pts/3\r\n";
  WriteFile(file, before);
  ASSERT_TRUE(WriteProfileString(file, "BrivaneSvc", "COMPort", "0"));
  std::string expected = before;
  expected.replace(expected.find(" comport = 7 "), 13, "comport=0");
  EXPECT_EQ(ReadFile(file), expected);

  // A new key goes after the section's last line, before its trailing blank line.
  ASSERT_TRUE(WriteProfileString(file, "BrivaneSvc", "UDPBPort", "8466"));
  expected.insert(expected.find("\r\n\r\n[SerialDevices]") + 2, "UDPBPort=8466\r\n");
  EXPECT_EQ(ReadFile(file), expected);
}

TEST(WriteProfileString, CreatesFileSectionAndKey) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  ASSERT_TRUE(WriteProfileString(file, "BrivaneSvc", "COMPort", "0"));
  ASSERT_TRUE(WriteProfileString(file, "BrivaneSvc", "UDPBPort", "8466"));
  EXPECT_EQ(ReadFile(file), "[BrivaneSvc]\nCOMPort=0\nUDPBPort=8466\n");

  // A file whose last line has no line end gets one before the new section.
  const auto other = folder / "other.ini";
  WriteFile(other, "[A]\nx=1");
  ASSERT_TRUE(WriteProfileString(other, "B", "y", "2"));
  EXPECT_EQ(ReadFile(other), "[A]\nx=1\n[B]\ny=2\n");
  ASSERT_TRUE(WriteProfileString(other, "A", "z", "3"));
  EXPECT_EQ(ReadFile(other), "[A]\nx=1\nz=3\n[B]\ny=2\n");
}

TEST(WriteProfileString, KeepsPermissionsAndFollowsLinks) {
  TempFolder folder;
  const auto file = folder / "real.ini";
  WriteFile(file, "[S]\nK=1\n");
  ::chmod(file.c_str(), 0640);
  const auto link = folder / "Brivane.ini";
  std::filesystem::create_symlink(file, link);
  ASSERT_TRUE(WriteProfileString(link, "S", "K", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(file), "[S]\nK=2\n");
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);
}

// Runs body in a child process without root's powers, so folder permissions bind
// even when the tests run as root. Returns the child's exit status.
int RunUnprivileged(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(99);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(WriteProfileString, AReadOnlyFolderLeavesEverythingAsItWas) {
  if (::geteuid() == 0 && std::getenv("BRIVANE_UNDER_EMULATION") != nullptr) {
    // qemu user-mode emulation never returns from setgid in a forked child.
    GTEST_SKIP() << "root cannot drop its powers in a child under qemu user-mode emulation";
  }
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file, "[S]\r\nK=1\r\n");
  ::chmod(file.c_str(), 0644);
  ::chmod(folder.Path().c_str(), 0755);
  const int status = RunUnprivileged([&] {
    const bool existing = WriteProfileString(file, "S", "K", "2");
    const bool created = WriteProfileString(folder / "new.ini", "S", "K", "2");
    return (existing ? 1 : 0) | (created ? 2 : 0);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(file), "[S]\r\nK=1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

TEST(ProfileFile, ReadsOnceAndWritesOnlyWhatChanged) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file, "[S]\r\nA=1\r\n");
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);

  auto profile = ProfileFile::Load(file);
  // Edits that leave the bytes as they were do not replace the file.
  profile.Document().Set("s", "a", "1");
  ASSERT_TRUE(profile.Save());
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);

  // Several edits, one replacement; later reads come from the document, not the disk.
  profile.Document().Set("S", "A", "2");
  profile.Document().Set("S", "B", "3");
  WriteFile(file, "[S]\r\nA=changed behind our back\r\n");
  EXPECT_EQ(profile.Document().Get("S", "A", ""), "2");
  ASSERT_TRUE(profile.Save());
  EXPECT_EQ(ReadFile(file), "[S]\r\nA=2\r\nB=3\r\n");

  // A value that holds a line end reads back as the file would.
  ProfileDocument document;
  document.Set("S", "K", "1\nL=2");
  EXPECT_EQ(document.Get("S", "L", ""), "2");
}

TEST(ProfileFile, NewFileTakesTheUmaskAndUnreadableFilesAreNeverWritten) {
  TempFolder folder;
  const mode_t previous = ::umask(027);
  ASSERT_TRUE(WriteProfileString(folder / "new.ini", "S", "K", "1"));
  ::umask(previous);
  struct stat info {};
  ASSERT_EQ(::stat((folder / "new.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  // A folder in the file's place cannot be read: its document is empty and stays unsaved.
  std::filesystem::create_directory(folder / "Brivane.ini");
  auto profile = ProfileFile::Load(folder / "Brivane.ini");
  EXPECT_EQ(profile.Document().Get("S", "K", "dflt"), "dflt");
  profile.Document().Set("S", "K", "2");
  EXPECT_FALSE(profile.Save());
  EXPECT_TRUE(std::filesystem::is_directory(folder / "Brivane.ini"));

  // So is a link to nowhere.
  std::filesystem::create_symlink(folder / "absent" / "x.ini", folder / "dangling.ini");
  EXPECT_FALSE(WriteProfileString(folder / "dangling.ini", "S", "K", "2"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 3);
}

}  // namespace
}  // namespace brivane
