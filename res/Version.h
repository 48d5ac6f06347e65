#pragma once

// Version and product information: what `horalink --version` prints, the About box's lines and
// the texts of the desktop entry. One place, so that the numbers never disagree.
namespace Version
{

inline constexpr const char* kProductName = "Horalink";
inline constexpr const char* kVersion = "1.3.0.1";
inline constexpr int kMajor = 1;
inline constexpr int kMinor = 3;
inline constexpr int kPatch = 0;
inline constexpr int kBuild = 1;
// The version as the About box shows it after the product name ("Horalink v1.3").
inline constexpr const char* kShortVersion = "1.3";
inline constexpr const char* kDescription =
    "Sets the computer's clock from a network time server (SNTP)";
inline constexpr const char* kCopyright = "Copyright (C) 2026 the Horalink developers";
inline constexpr const char* kHomePage = "https://horalink.org";
inline constexpr const char* kSupportMail = "support@horalink.org";
// Subject of the support mail; the About box puts it into the mailto URL in double quotes.
inline constexpr const char* kMailSubject = "Horalink 1.3 support";

} // namespace Version
