#pragma once

#include <string>
#include <vector>

// The texts of the pages' mode codes and bit fields. A code without a text stays
// visible as its number: "Unknown (57)".
namespace mate {

std::string UnknownCode(int code);

std::string FxOperatingModeText(int code);
std::string FxAcModeText(int code);
std::vector<std::string> FxErrorTexts(int bits);
std::vector<std::string> FxWarningTexts(int bits);

std::string MxChargerModeText(int code);
// The programmed aux mode, without the "output active" flag.
std::string MxAuxModeText(int mode);
std::vector<std::string> MxErrorTexts(int bits);

}  // namespace mate
