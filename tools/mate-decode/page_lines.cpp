#include "tools/mate-decode/page_lines.h"

#include <utility>

#include "mate/decode.h"
#include "mate/page_json.h"

namespace brivane::decode {

namespace {

// Enough to show any page and what went wrong with it.
constexpr std::size_t kShownCharacters = 80;

}  // namespace

PageLines::PageLines(LineFn onPage, LineFn onRejection)
    : onPage_(std::move(onPage)), onRejection_(std::move(onRejection)) {}

void PageLines::Feed(std::string_view bytes, std::chrono::system_clock::time_point now) {
  framer_.Append(bytes);
  while (auto record = framer_.Next()) {
    auto result = mate::DecodePage(*record);
    if (const auto* page = std::get_if<mate::Page>(&result)) {
      onPage_(mate::PageJson(*page, now).dump());
    } else {
      const auto& rejection = std::get<mate::Rejection>(result);
      onRejection_(RejectionLine(rejection.page, rejection.reason));
    }
  }
}

std::string RejectionLine(std::string_view page, const std::string& reason) {
  std::string shown;
  if (page.size() > kShownCharacters) {
    shown = mate::VisibleText(page.substr(0, kShownCharacters)) + "...";
  } else {
    shown = mate::VisibleText(page);
  }
  return "mate-decode: rejected \"" + shown + "\": " + reason;
}

}  // namespace brivane::decode
