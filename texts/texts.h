// The operator-facing texts in both languages: the message of each result, the printer statuses,
// and the named texts of the program. No Qt: the window, the dialogs and the command line all
// take their texts from here. Every text is UTF-8.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "records/text_pair.h"
#include "texts/language.h"

namespace krt6 {

constexpr const char* TextFor(const TextPair& pair, Language language) {
  return language == Language::kJapanese ? pair.japanese : pair.english;
}

// The text of `pair` in `language` with its "%1" replaced by `argument`.
std::string FormatText(const TextPair& pair, Language language, std::string_view argument);

// The same with "%1" replaced by `first` and "%2" by `second`, each where the text places it (an
// argument holding "%1" or "%2" stays as it is).
std::string FormatText(const TextPair& pair, Language language, std::string_view first,
                       std::string_view second);
// The same for "%1" to "%9" replaced by the arguments in order.
std::string FormatText(const TextPair& pair, Language language,
                       std::initializer_list<std::string_view> arguments);

// `text` fit to be echoed in a message: control characters written as escapes (\n, \t, \r, and
// \xNN for the others, such as \x1b and \x7f; \u0080-\u009f for the C1 controls), a byte that
// begins no UTF-8 character as \xNN, all other UTF-8 text as it is. Longer than `limit`
// characters (an escape counts as the characters it shows), it is cut and "..." appended.
std::string Printable(std::string_view text, std::size_t limit = 80);

// The length of the UTF-8 character at the start of `text` (1-4) with its code point in `code`,
// or 0 when the bytes there are no well-formed character (a stray continuation byte, an overlong
// form, a surrogate, a value past U+10FFFF, a cut sequence).
std::size_t Utf8Character(std::string_view text, char32_t& code);

// The message shown for a result code (the protocol's ResultCode: 1 "Port Open Error" ...
// 5 "Unknow Error"); empty for 0 (success) and for codes without a row.
const char* MessageText(int result_code, Language language);

// The text of a StatusIndex (1..24); empty for 0 (an unknown status code) and out-of-range rows.
const char* StatusText(int status_index, Language language);

// The window that shows the bytes of the last exchanges, and its menu entry.
inline constexpr TextPair kCommunicationLogText{"Communication Log", "通信ログ"};
inline constexpr TextPair kClearLogText{"Clear", "クリア"};
inline constexpr TextPair kSaveLogText{"Save as Text...", "テキストで保存..."};

// The window's Load of a readable configuration (.json) into one page.
// %1: the file, %2: the part the page needs ("parameters", "lan").
inline constexpr TextPair kNoPagePartText{
    "%1 has no \"%2\" part: the page was left as it was.",
    "%1 には \"%2\" の設定がありません。画面は変更していません。"};
// %1: the key whose value the page's control cannot show.
inline constexpr TextPair kPageCannotShowText{
    "%1: the page cannot show this value, so nothing was loaded.",
    "%1: この値は画面に表示できないため、何も読み込んでいません。"};

// What the protocol says in the details of a failed exchange, where the words are its own.
inline constexpr TextPair kParallelCannotReceiveText{
    "A parallel port cannot receive the printer's reply.",
    "パラレルポートではプリンターの応答を受信できません。"};
inline constexpr TextPair kNoReplyStartText{
    "No reply: the printer's data never began a reply.",
    "応答なし: プリンターから届いたデータに応答の始まりがありませんでした。"};
inline constexpr TextPair kNoFirmwareVersionText{
    "The printer's replies carried no firmware version.",
    "プリンターの応答にファームウェアバージョンがありませんでした。"};
inline constexpr TextPair kCommandKindOutOfRangeText{"Command kind %1 is out of range.",
                                                     "コマンド種別 %1 は範囲外です。"};
inline constexpr TextPair kWrongRecordText{"Command kind %1 was given the wrong record.",
                                           "コマンド種別 %1 に誤ったレコードが渡されました。"};

}  // namespace krt6

namespace krt6 {

// The command line's result texts beyond the message table: a success, a printer that did not
// keep what was written, and a link that cannot carry the command.
inline constexpr TextPair kSuccessText{"Success", "成功"};
inline constexpr TextPair kReadBackDiffersText{"Verify Error", "ベリファイエラー"};
inline constexpr TextPair kCannotDoText{"Not Supported", "未対応"};
inline constexpr TextPair kNotSupportedText{"Not Supported by Firmware", "ファームウェア未対応"};
inline constexpr TextPair kUnsendableValueText{"Unsendable Value", "送信できない値"};
inline constexpr TextPair kNotTakenText{"firmware %1 cannot receive %2",
                                        "ファームウェア %1 は %2 を受け取れません"};
inline constexpr TextPair kUnsendableNamedText{
    "%1: this printer's firmware cannot take the value given: %2; nothing was written",
    "%1: このプリンターのファームウェアは指定の値を受け取れません: %2。何も書き込んでいません"};
inline constexpr TextPair kUnsendablePrinterText{
    "%1: the printer holds a value its own Set command cannot carry (%2), so nothing was "
    "written; give %1 a value as well",
    "%1: プリンターの現在値は設定コマンドで送れません (%2)。何も書き込んでいません。%1 "
    "の値も指定してください"};
// What krt6ctl set reports.
inline constexpr TextPair kUnchangedText{"unchanged", "変更なし"};
inline constexpr TextPair kWouldChangeText{"%1 field(s) would change", "%1 項目が変更されます"};
inline constexpr TextPair kChangedText{"%1 field(s) changed", "%1 項目を変更しました"};
inline constexpr TextPair kNotVerifiedText{" (not verified)", " (未確認)"};
inline constexpr TextPair kNotKeptText{"The printer did not keep: %1",
                                       "プリンターに反映されなかった項目: %1"};

}  // namespace krt6
