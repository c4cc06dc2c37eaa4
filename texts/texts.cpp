#include "texts/texts.h"

#include <iterator>

namespace krt6 {
namespace {

// Rows by ResultCode.
constexpr TextPair kMessageTable[] = {
    {"", ""},
    {"Port Open Error", "ポートオープンエラー"},
    {"Data Transmission Error", "データ送信エラー"},
    {"Data Receiving Error", "データ受信エラー"},
    {"File Open Error", "ファイルオープンエラー"},
    {"Unknow Error", "未知のエラー"},
    {"Cancelled", "中止しました"},
};

// Rows by StatusIndex; row 0 is an unknown status code.
constexpr TextPair kStatusTable[] = {
    {"", ""},
    {"ON LINE", "オンライン"},
    {"Head Open (ON LINE)", "ヘッドオープン"},
    {"On Running", "動作中"},
    {"PAUSE", "ポーズ中"},
    {"Peel off waiting", "剥離待ち"},
    {"Command Error", "コマンドエラー"},
    {"Rs232c Error", "通信エラー"},
    {"Paper JAM", "用紙ジャムエラー"},
    {"Cutter Error", "カッターエラー"},
    {"Paper Error", "用紙がありません"},
    {"NO RIBBON", "リボンがありません"},
    {"Head Open Error", "ヘッドオープンエラー"},
    {"Motor Temp Error", "モーター温度エラー"},
    {"Thermal head Error", "ヘッドエラー"},
    {"Thermal head Temp Error", "ヘッド温度エラー"},
    {"Motor Temp Error", "モーター温度エラー"},
    {"Ribbon Error", "リボンエラー"},
    {"Thermistor Connector omission", "サーミスター接続エラー"},
    {"The stacked form is full.", "登録したフォームが一杯です"},
    {"Stacker Power OFF", "スタッカー電源OFF"},
    {"Flash Memory Write Error", "メモリー書込みエラー"},
    {"Flash Memory Format Error", "メモリーフォーマットエラー"},
    {"Flash Memory Empty", "メモリー不足"},
    {"Save Mode", "サーブモード"},
};
static_assert(std::size(kStatusTable) == 25);

template <std::size_t N> const char* Row(const TextPair (&table)[N], int row, Language language) {
  if (row < 0 || static_cast<std::size_t>(row) >= N) return "";
  return TextFor(table[row], language);
}

}  // namespace

std::string FormatText(const TextPair& pair, Language language, std::string_view argument) {
  std::string text = TextFor(pair, language);
  const std::size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

std::string FormatText(const TextPair& pair, Language language, std::string_view first,
                       std::string_view second) {
  return FormatText(pair, language, {first, second});
}

std::string FormatText(const TextPair& pair, Language language,
                       std::initializer_list<std::string_view> arguments) {
  const std::string_view text = TextFor(pair, language);
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t index =
        at + 1 < text.size() ? static_cast<std::size_t>(text[at + 1] - '1') : arguments.size();
    if (text[at] == '%' && index < arguments.size()) {
      out += arguments.begin()[index];
      at += 2;
    } else {
      out += text[at++];
    }
  }
  return out;
}

const char* MessageText(int result_code, Language language) {
  return Row(kMessageTable, result_code, language);
}

const char* StatusText(int status_index, Language language) {
  return Row(kStatusTable, status_index, language);
}

}  // namespace krt6
