// The operator texts: the message table, the refusal messages, and the field and named texts a
// command line prints without the window.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "texts/field_texts.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

TEST(MessageTableTest, BothLanguages) {
  EXPECT_STREQ(MessageText(0, Language::kEnglish), "");
  EXPECT_STREQ(MessageText(1, Language::kEnglish), "Port Open Error");
  EXPECT_STREQ(MessageText(1, Language::kJapanese), "ポートオープンエラー");
  EXPECT_STREQ(MessageText(3, Language::kEnglish), "Data Receiving Error");
  EXPECT_STREQ(MessageText(4, Language::kJapanese), "ファイルオープンエラー");
  EXPECT_STREQ(MessageText(5, Language::kEnglish), "Unknow Error");
  EXPECT_STREQ(MessageText(6, Language::kEnglish), "Cancelled");
  EXPECT_STREQ(MessageText(6, Language::kJapanese), "中止しました");
  EXPECT_STREQ(MessageText(7, Language::kEnglish), "");
}

TEST(RefusalTextTest, NamesTheFieldInBothLanguages) {
  EXPECT_EQ(RefusalText(FieldOf("x_coordinate"), Language::kEnglish),
            "Setting Value Error: X COORDINATE (-999 ~ 999)");
  EXPECT_EQ(RefusalText(FieldOf("x_coordinate"), Language::kJapanese),
            "設定値エラー: X座標微調 (-999 ~ 999)");
  EXPECT_EQ(RefusalText(FieldOf("default_gateway", 2), Language::kEnglish),
            "Setting Value Error: DEFAULT GATEWAY 2 (-99 ~ 999)");
  EXPECT_EQ(RefusalText(SettingField::kVersion, Language::kEnglish), "Select The Printer Version");
  EXPECT_EQ(RefusalText(SettingField::kVersion, Language::kJapanese),
            "F/Wバージョンを選択してください");
  EXPECT_EQ(RefusalText(SettingField::kNone, Language::kEnglish), "");
  EXPECT_EQ(RefusalText(FieldOf("dhcp_id"), Language::kEnglish),
            "Setting Value Error: DHCP ID (printable ASCII except { | })");
  EXPECT_EQ(RefusalText(FieldOf("euro_code"), Language::kJapanese),
            "設定値エラー: ユーロフォント ({ | } 以外の半角英数記号)");
  EXPECT_EQ(RefusalText(FieldOf("dhcp_hostname"), Language::kEnglish),
            "Setting Value Error: DHCP HOSTNAME (A-Z, a-z, 0-9)");
  // Every field a command carries has a text in both languages.
  for (const FieldRow& row : Fields()) {
    if (row.command.command == CommandId::kNone) continue;
    EXPECT_FALSE(RefusalText({&row}, Language::kEnglish).empty()) << row.key;
    EXPECT_FALSE(RefusalText({&row}, Language::kJapanese).empty()) << row.key;
  }
}

std::string Item(SettingField field, std::size_t item, Language language) {
  const auto items = FieldItems(field);
  return item < items.size() ? TextFor(items[item], language) : "(no item)";
}

TEST(FieldAndNamedTextsTest, BothLanguages) {
  struct Case {
    std::function<std::string(Language)> text;
    const char* english;
    const char* japanese;
  };
  const Case cases[] = {
      {[](Language l) { return FieldName(FieldOf("ip_address", 3), l); }, "IP ADDRESS 3",
       "IPアドレス 3"},
      {[](Language l) { return FieldName(FieldOf("socket_port_mode"), l); }, "SOCKET PORT",
       "ソケットポート"},
      {[](Language l) { return TextFor(FieldCaption(FieldOf("default_gateway", 4)), l); },
       "DEFAULT GATEWAY", "デフォルトゲートウェイ"},
      {[](Language l) { return FieldName(SettingField::kVersion, l); }, "", ""},
      {[](Language l) { return Item(FieldOf("comm_speed"), 3, l); }, "19200 bps", "19200 bps"},
      {[](Language l) { return Item(FieldOf("control"), 4, l); }, "RTS protocol", "RTS 方式"},
      {[](Language l) { return Item(FieldOf("mode_select"), 0, l); }, "DT", "直発色"},
      {[](Language l) { return Item(FieldOf("font_code"), 13, l); }, "Arabic", "Arabic"},
      {[](Language l) { return Item(FieldOf("font_code"), 14, l); }, "(no item)", "(no item)"},
      {[](Language l) { return Item(FieldOf("blank_space_len"), 0, l); }, "(no item)",
       "(no item)"},
      {[](Language l) { return RefusalDetail(FieldOf("socket_port"), l); },
       "Setting Value Error: SOCKET PORT (-9999 ~ 99999). Nothing was sent.",
       "設定値エラー: ソケットポート (-9999 ~ 99999)。何も送信していません。"},
      {[](Language l) { return FormatText(kCommandKindOutOfRangeText, l, "12"); },
       "Command kind 12 is out of range.", "コマンド種別 12 は範囲外です。"},
      {[](Language l) { return TextFor(kCommunicationLogText, l); }, "Communication Log",
       "通信ログ"},
      {[](Language l) { return StatusText(24, l); }, "Save Mode", "サーブモード"},
      {[](Language l) {
         return TextFor(kCommunicationLogText, LanguageFromIndex(static_cast<int>(l) * 7));
       },
       "Communication Log", "通信ログ"},  // any index above 1 is Japanese
      {[](Language l) {
         return TextFor(kCommunicationLogText, LanguageFromIndex(static_cast<int>(l) - 1));
       },
       "Communication Log", "Communication Log"},  // any index below 0 is English
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text(Language::kEnglish), c.english);
    EXPECT_EQ(c.text(Language::kJapanese), c.japanese) << c.english;
  }
}

}  // namespace
}  // namespace krt6
