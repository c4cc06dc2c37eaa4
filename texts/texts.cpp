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

std::size_t Utf8Character(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    code = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    code = lead & 0x0fu;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3fu);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

namespace {

std::string Hex(unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    out += kDigits[(value >> shift) & 0xfu];
  return out;
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

std::string Printable(std::string_view text, std::size_t limit) {
  std::string out;
  std::size_t shown = 0;  // characters in `out`
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = Utf8Character(text.substr(at), code);
    std::string escape;
    if (length == 0) {
      escape = "\\x" + Hex(static_cast<unsigned char>(text[at]), 2);
    } else if (code == '\n') {
      escape = "\\n";
    } else if (code == '\t') {
      escape = "\\t";
    } else if (code == '\r') {
      escape = "\\r";
    } else if (code < 0x20 || code == 0x7f) {
      escape = "\\x" + Hex(code, 2);
    } else if (code >= 0x80 && code <= 0x9f) {
      escape = "\\u" + Hex(code, 4);
    }
    const std::size_t width = escape.empty() ? 1 : escape.size();
    if (shown + width > limit) return out + "...";
    out += escape.empty() ? text.substr(at, length) : std::string_view(escape);
    shown += width;
    at += length == 0 ? 1 : length;
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
