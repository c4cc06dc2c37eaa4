#include <cstring>
#include <iterator>

#include "protocol/protocol.h"

namespace krt6 {
namespace {

struct TextPair {
  const char* english;
  const char* japanese;
};

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

// The two status characters of each known code and the row they select.
struct StatusCode {
  char code[3];
  int index;
};
constexpr StatusCode kStatusCodes[] = {
    {"00", 1},  {"03", 1},  {"40", 1},  {"41", 1},  {"01", 2},  {"02", 3},  {"04", 4},
    {"05", 5},  {"06", 6},  {"07", 7},  {"11", 8},  {"12", 9},  {"13", 10}, {"14", 11},
    {"15", 12}, {"16", 13}, {"17", 14}, {"18", 15}, {"19", 16}, {"21", 17}, {"22", 18},
    {"30", 19}, {"31", 20}, {"50", 21}, {"51", 22}, {"54", 23}, {"55", 24},
};

const char* Pick(const TextPair* table, std::size_t rows, int row, int language) {
  if (row < 0 || static_cast<std::size_t>(row) >= rows) return "";
  return language == 1 ? table[row].japanese : table[row].english;
}

}  // namespace

const char* MessageText(int result_code, int language) {
  return Pick(kMessageTable, std::size(kMessageTable), result_code, language);
}

const char* StatusText(int status_index, int language) {
  return Pick(kStatusTable, std::size(kStatusTable), status_index, language);
}

int DecodeStatus(char first, char second) {
  for (const StatusCode& entry : kStatusCodes) {
    if (entry.code[0] == first && entry.code[1] == second) return entry.index;
  }
  return 0;
}

}  // namespace krt6
