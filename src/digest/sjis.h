// Shift-JIS byte strings of the diagram reader, the normalisation tables and
// the diagrams written for CSA and SFEN positions.
#pragma once

#include <string_view>

namespace vokt::sjis {

// "  ９ ８ ７ ６ ５ ４ ３ ２ １": the board header line that opens a diagram.
inline constexpr std::string_view kBoardHeader =
    "  \x82\x58 \x82\x57 \x82\x56 \x82\x55 \x82\x54 \x82\x53 \x82\x52 \x82\x51 \x82\x50";
static_assert(kBoardHeader.size() == 28);
// The same line in UTF-8, as a problem file saved in UTF-8 holds it.
inline constexpr std::string_view kBoardHeaderUtf8 =
    "  \xEF\xBC\x99 \xEF\xBC\x98 \xEF\xBC\x97 \xEF\xBC\x96 \xEF\xBC\x95 \xEF\xBC\x94 \xEF\xBC\x93 "
    "\xEF\xBC\x92 \xEF\xBC\x91";
static_assert(kBoardHeaderUtf8.size() == 37);

// "+---------------------------+": the horizontal bar above and below the ranks.
inline constexpr std::string_view kBar = "+---------------------------+";
static_assert(kBar.size() == 29);

inline constexpr std::string_view kHand = "\x8E\x9D\x8B\xEE";       // 持駒
inline constexpr std::string_view kInfinity = "\x81\x87";           // ∞

// Board table.
inline constexpr std::string_view kSpaceGyoku = " \x8B\xCA";        // " 玉"
inline constexpr std::string_view kSpaceOu = " \x89\xA4";           // " 王"
inline constexpr std::string_view kVOu = "v\x89\xA4";               // "v王"
inline constexpr std::string_view kVGyoku = "v\x8B\xCA";            // "v玉"
inline constexpr std::string_view kRyuSimple = "\x97\xB3";          // 竜
inline constexpr std::string_view kRyu = "\x97\xB4";                // 龍

// Hand table.
inline constexpr std::string_view kBoth = "\x91\x6F\x95\xFB";       // 双方
inline constexpr std::string_view kSente = "\x90\xE6\x8E\xE8";      // 先手
inline constexpr std::string_view kShitate = "\x89\xBA\x8E\xE8";    // 下手
inline constexpr std::string_view kNo = "\x82\xCC";                 // の
inline constexpr std::string_view kIdeographicSpace = "\x81\x40";   // 　
inline constexpr std::string_view kJu18 = "\x8F\x5C\x94\xAA";       // 十八
inline constexpr std::string_view kJu17 = "\x8F\x5C\x8E\xB5";       // 十七
inline constexpr std::string_view kJu16 = "\x8F\x5C\x98\x5A";       // 十六
inline constexpr std::string_view kJu15 = "\x8F\x5C\x8C\xDC";       // 十五
inline constexpr std::string_view kJu14 = "\x8F\x5C\x8E\x6C";       // 十四
inline constexpr std::string_view kJu13 = "\x8F\x5C\x8E\x4F";       // 十三
inline constexpr std::string_view kJu12 = "\x8F\x5C\x93\xF1";       // 十二 (kanji two)
inline constexpr std::string_view kJu12Kana = "\x8F\x5C\x83\x6A";   // 十ニ (katakana ni)
inline constexpr std::string_view kJu11 = "\x8F\x5C\x88\xEA";       // 十一
inline constexpr std::string_view kJu = "\x8F\x5C";                 // 十
inline constexpr std::string_view kKyu = "\x8B\xE3";                // 九
inline constexpr std::string_view kHachi = "\x94\xAA";              // 八
inline constexpr std::string_view kNana = "\x8E\xB5";               // 七
inline constexpr std::string_view kRoku = "\x98\x5A";               // 六
inline constexpr std::string_view kGo = "\x8C\xDC";                 // 五
inline constexpr std::string_view kYon = "\x8E\x6C";                // 四
inline constexpr std::string_view kSan = "\x8E\x4F";                // 三
inline constexpr std::string_view kNi = "\x93\xF1";                 // 二 (kanji two)
inline constexpr std::string_view kNiKana = "\x83\x6A";             // ニ (katakana ni)
inline constexpr std::string_view kIchi = "\x88\xEA";               // 一

// The pieces as a KIF writer writes them in a diagram, beyond 龍 above.
inline constexpr std::string_view kFu = "\x95\xE0";          // 歩
inline constexpr std::string_view kTo = "\x82\xC6";          // と
inline constexpr std::string_view kKyo = "\x8D\x81";         // 香
inline constexpr std::string_view kNariKyo = "\x88\xC7";     // 杏
inline constexpr std::string_view kKei = "\x8C\x6A";         // 桂
inline constexpr std::string_view kNariKei = "\x8C\x5C";     // 圭
inline constexpr std::string_view kGin = "\x8B\xE2";         // 銀
inline constexpr std::string_view kNariGin = "\x91\x53";     // 全
inline constexpr std::string_view kKin = "\x8B\xE0";         // 金
inline constexpr std::string_view kKaku = "\x8A\x70";        // 角
inline constexpr std::string_view kUma = "\x94\x6E";         // 馬
inline constexpr std::string_view kHisha = "\x94\xF2";       // 飛
inline constexpr std::string_view kGyoku = "\x8B\xCA";       // 玉

// The diagram that a KIF writer writes, beyond the tables above.
inline constexpr std::string_view kEmptyCell = " \x81\x45";         // " ・"
inline constexpr std::string_view kFirstHandLabel =                 // 先手の持駒：
    "\x90\xE6\x8E\xE8\x82\xCC\x8E\x9D\x8B\xEE\x81\x46";
inline constexpr std::string_view kNashi = "\x82\xC8\x82\xB5";      // なし

}  // namespace vokt::sjis
