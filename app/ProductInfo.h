#pragma once

#include <string>

// Who we are and where to find us: the About box and the Homepage command share these.
namespace product {

inline constexpr const char *kName = "Clipwright";
inline constexpr const char *kHomePage = "https://clipwright.org/";
inline constexpr const char *kContactPage = "mailto:support@clipwright.org";

// The build's version, "0.1.0".
std::string Version();

} // namespace product
