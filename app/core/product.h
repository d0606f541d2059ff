#pragma once
// The product's names, shown in the main window's caption and the About message.

namespace qelvaro {

inline constexpr char kProductName[] = "Qelvaro";
inline constexpr char kMakerWebAddress[] = "https://www.qelvaro.com";
// The version the programs carry in their version resources.
inline constexpr char kProductVersion[] = "0.1.0";

}  // namespace qelvaro
