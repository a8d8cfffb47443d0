// mate-decode: MATE status pages as JSON lines, from standard input or a bridge.
#include <unistd.h>

#include <asio.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/mate-decode/decode_options.h"
#include "tools/mate-decode/page_lines.h"

namespace brivane::decode {
namespace {

// Each line goes out at once, so a reader down a pipe sees every page as it comes.
void WriteLine(std::FILE* stream, const std::string& line) {
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

PageLines MakePageLines() {
  return PageLines([](const std::string& line) { WriteLine(stdout, line); },
                   [](const std::string& line) { WriteLine(stderr, line); });
}

int DecodeStandardInput() {
  PageLines lines = MakePageLines();
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t count = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (count == 0) {
      return 0;
    }
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::fprintf(stderr, "mate-decode: cannot read standard input: %s\n", std::strerror(errno));
      return 1;
    }
    lines.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)),
               std::chrono::system_clock::now());
  }
}

std::string ShownAddress(const BridgeAddress& bridge) {
  const bool v6 = bridge.host.find(':') != std::string::npos;
  return (v6 ? "[" + bridge.host + "]" : bridge.host) + ":" + std::to_string(bridge.port);
}

int DecodeBridge(const BridgeAddress& bridge) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  asio::error_code error;
  asio::ip::tcp::resolver resolver(io);
  const auto endpoints = resolver.resolve(bridge.host, std::to_string(bridge.port), error);
  if (!error) {
    asio::connect(socket, endpoints, error);
  }
  if (error) {
    std::fprintf(stderr, "mate-decode: cannot reach the bridge at %s: %s\n",
                 ShownAddress(bridge).c_str(), error.message().c_str());
    return 1;
  }
  PageLines lines = MakePageLines();
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const std::size_t count = socket.read_some(asio::buffer(buffer), error);
    if (error == asio::error::eof) {
      return 0;
    }
    if (error) {
      std::fprintf(stderr, "mate-decode: connection to the bridge at %s lost: %s\n",
                   ShownAddress(bridge).c_str(), error.message().c_str());
      return 1;
    }
    lines.Feed(std::string_view(buffer.data(), count), std::chrono::system_clock::now());
  }
}

int Main(int argc, char** argv) {
  const DecodeParse parsed = ParseDecodeOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::fprintf(stderr, "mate-decode: %s\n%s", parsed.error.c_str(), kDecodeUsage);
    return 2;
  }
  if (parsed.options->help) {
    std::fputs(kDecodeUsage, stdout);
    return 0;
  }
  if (parsed.options->bridge) {
    return DecodeBridge(*parsed.options->bridge);
  }
  return DecodeStandardInput();
}

}  // namespace
}  // namespace brivane::decode

int main(int argc, char** argv) {
  return brivane::decode::Main(argc, argv);
}
