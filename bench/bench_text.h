// Shift-JIS texts from which the benchmark generator builds its records.
#pragma once

#include <string_view>

namespace vokt::bench_text {

inline constexpr std::string_view kSurnames[] = {
    "\x8E\x52\x93\x63",  // 山田
    "\x93\x63\x92\x86",  // 田中
    "\x8D\xB2\x93\xA1",  // 佐藤
    "\x97\xE9\x96\xD8",  // 鈴木
    "\x8D\x82\x8B\xB4",  // 高橋
    "\x93\x6E\x95\xD3",  // 渡辺
    "\x88\xC9\x93\xA1",  // 伊藤
    "\x92\x86\x91\xBA",  // 中村
    "\x8F\xAC\x97\xD1",  // 小林
    "\x89\xC1\x93\xA1",  // 加藤
};

inline constexpr std::string_view kGivenNames[] = {
    "\x91\xBE\x98\x59",  // 太郎
    "\x88\xEA\x98\x59",  // 一郎
    "\x8C\x92\x93\xF1",  // 健二
    "\x90\xBD",          // 誠
    "\x96\xBE",          // 明
    "\x8D\x5F",          // 浩
    "\x90\xB3\x97\x59",  // 正雄
    "\x98\x61\x95\x76",  // 和夫
};

inline constexpr std::string_view kSources[] = {
    "\x8F\xAB\x8A\xFB\x90\xA2\x8A\x45",                                  // 将棋世界
    "\x8B\x6C\x8A\xFB\x82\xDF\x82\xA2\x82\xC6",                          // 詰棋めいと
    "\x8B\xDF\x91\xE3\x8F\xAB\x8A\xFB",                                  // 近代将棋
    "\x8F\xAB\x8A\xFB\x83\x57\x83\x83\x81\x5B\x83\x69\x83\x8B",          // 将棋ジャーナル
    "\x8B\x6C\x8F\xAB\x8A\xFB\x83\x70\x83\x89\x83\x5F\x83\x43\x83\x58",  // 詰将棋パラダイス
};

inline constexpr std::string_view kNotes[] = {
    "\x93\xFC\x91\x49",  // 入選
    "\x95\xCF\x89\xBB",  // 変化
    "\x8D\xEC\x88\xD3",  // 作意
    "\x97\x5D\x8B\x6C",  // 余詰
};

inline constexpr std::string_view kDai = "\x91\xE6";                   // 第
inline constexpr std::string_view kBan = "\x94\xD4";                   // 番
inline constexpr std::string_view kGou = "\x8D\x86";                   // 号
inline constexpr std::string_view kTe = "\x8E\xE8";                    // 手
inline constexpr std::string_view kColon = "\x81\x46";                 // ：
inline constexpr std::string_view kAuthorLabel = "\x8D\xEC\x8E\xD2";   // 作者
inline constexpr std::string_view kSourceLabel = "\x8F\x6F\x93\x54";   // 出典
inline constexpr std::string_view kMovesLabel = "\x8E\xE8\x90\x94\x81\x81";  // 手数＝
inline constexpr std::string_view kNoDiagram = "\x81\x69\x90\x7D\x82\xC8\x82\xB5\x81\x6A";  // （図なし）
inline constexpr std::string_view kProblemDatabase =
    "\x8B\x6C\x8F\xAB\x8A\xFB\x96\xE2\x91\xE8\x83\x66\x81\x5B\x83\x5E\x83\x78\x81\x5B\x83\x58";  // 詰将棋問題データベース
inline constexpr std::string_view kRecordsUnit = "\x8C\x8F";           // 件

// The diagram block.
inline constexpr std::string_view kBoardHeader =
    "  \x82\x58 \x82\x57 \x82\x56 \x82\x55 \x82\x54 \x82\x53 \x82\x52 \x82\x51 \x82\x50";  // "  ９ ８ ７ ６ ５ ４ ３ ２ １"
inline constexpr std::string_view kBar = "+---------------------------+";
inline constexpr std::string_view kEmptyCell = " \x81\x45";  // " ・"
inline constexpr std::string_view kRankNumerals[] = {
    "\x88\xEA", "\x93\xF1", "\x8E\x4F", "\x8E\x6C", "\x8C\xDC",  // 一 二 三 四 五
    "\x98\x5A", "\x8E\xB5", "\x94\xAA", "\x8B\xE3",              // 六 七 八 九
};
inline constexpr std::string_view kBoardPieces[] = {
    "\x95\xE0", "\x8D\x81", "\x8C\x6A", "\x8B\xE2", "\x8B\xE0",  // 歩 香 桂 銀 金
    "\x8A\x70", "\x94\xF2", "\x82\xC6", "\x88\xC7", "\x8C\x5C",  // 角 飛 と 杏 圭
    "\x91\x53", "\x94\x6E", "\x97\xB4", "\x97\xB3",              // 全 馬 龍 竜
};
inline constexpr std::string_view kKingOu = "\x89\xA4";     // 王
inline constexpr std::string_view kKingGyoku = "\x8B\xCA";  // 玉
inline constexpr std::string_view kHandPieces[] = {
    "\x94\xF2", "\x8A\x70", "\x8B\xE0", "\x8B\xE2",  // 飛 角 金 銀
    "\x8C\x6A", "\x8D\x81", "\x95\xE0",              // 桂 香 歩
};
inline constexpr std::string_view kKanjiCounts[] = {
    "\x93\xF1", "\x8E\x4F", "\x8E\x6C", "\x8C\xDC", "\x98\x5A",  // 二 三 四 五 六
    "\x8E\xB5", "\x94\xAA", "\x8B\xE3", "\x8F\x5C",              // 七 八 九 十
    "\x8F\x5C\x88\xEA", "\x8F\x5C\x93\xF1", "\x8F\x5C\x94\xAA",  // 十一 十二 十八
    "\x83\x6A",                                                  // ニ (katakana)
};
inline constexpr std::string_view kSenteHand = "\x90\xE6\x8E\xE8\x82\xCC\x8E\x9D\x8B\xEE\x81\x46";  // 先手の持駒：
inline constexpr std::string_view kGoteHand = "\x8C\xE3\x8E\xE8\x82\xCC\x8E\x9D\x8B\xEE\x81\x46";   // 後手の持駒：
inline constexpr std::string_view kRestOfPieces = "\x8E\x63\x82\xE8\x91\x53\x95\x94";                // 残り全部
inline constexpr std::string_view kNone = "\x82\xC8\x82\xB5";                                        // なし
inline constexpr std::string_view kIdeographicSpace = "\x81\x40";                                    // 　

}  // namespace vokt::bench_text
