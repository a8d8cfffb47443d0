#pragma once

#include <string>
#include <string_view>
#include <vector>

// Pages read from a file, one per line, and sent verbatim: worked examples and
// captures replayed at a MATE's pace.
namespace brivane::sim {

// The file's pages framed LF page CR, in the cycles a MATE sends them: a page whose
// address already sent in the current cycle begins the next one. Blank lines and
// lines beginning with '#' are skipped; a line's CR before its LF is not part of it.
std::vector<std::vector<std::string>> ReplayCycles(std::string_view fileText);

}  // namespace brivane::sim
