// Fixed texts of the three report pages.
#pragma once

#include <string_view>

namespace vokt::report_text {

inline constexpr std::string_view kShortName = "vokt";
inline constexpr std::string_view kLongTitle = "Korvane";
inline constexpr std::string_view kVersion = "0.18";

inline constexpr const char* kKeyPage = "voktkey.htm";
inline constexpr const char* kResultPage = "voktdata.htm";
inline constexpr const char* kFramePage = "vokt.htm";

inline constexpr std::string_view kPageBody = "<body bgcolor=\"#ffffe0\">\n";

inline constexpr std::string_view kSearchResult = "[\x8C\x9F\x8D\xF5\x8C\x8B\x89\xCA]\n";        // [検索結果]
inline constexpr std::string_view kSearchData = "[\x8C\x9F\x8D\xF5\x83\x66\x81\x5B\x83\x5E]\n";  // [検索データ]
inline constexpr std::string_view kCountLabel = "  \x8C\x9F\x8F\x6F\x8C\x8F\x90\x94: ";           // "  検出件数: "
inline constexpr std::string_view kCountUnit = "\x8C\x8F";                                       // 件

inline constexpr std::string_view kDirectMark = "  ";
inline constexpr std::string_view kMirrorMark = "* ";

}  // namespace vokt::report_text
