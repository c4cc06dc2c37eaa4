#include "app/caption_table.h"

#include <iterator>
#include <string_view>

namespace krt6 {

namespace {

using K = CaptionKind;

constexpr TextPair kFile[] = {{"File", "ファイル"}};
constexpr TextPair kExit[] = {{"Exit", "終了"}};
constexpr TextPair kAbout[] = {{"About", "バージョン"}};
constexpr TextPair kGetStatus[] = {{"Get Status", "ステータス取得"}};
constexpr TextPair kInterface[] = {{"Interface", "インターフェース"}};
constexpr TextPair kInterfaceItems[] = {
    {"USB", "USB"}, {"COM", "COM"}, {"LPT", "LPT"}, {"ETHERNET", "LAN"}};
constexpr TextPair kSetup[] = {{"Setup", "設定"}};
constexpr TextPair kPrinterVersion[] = {{"Printer Version", "F/Wバージョン"}};
constexpr TextPair kVersionOther[] = {{"Other", "その他"}};
constexpr TextPair kLanguage[] = {{"Language", "言語"}};
constexpr TextPair kLanguageItems[] = {{"English", "英語"}, {"Japanese", "日本語"}};
constexpr TextPair kParameterSetting[] = {{"Parameter Setting", "パラメータ設定"}};
constexpr TextPair kMaintenanceMode[] = {{"Maintenance Mode", "メンテナンスモード"}};
constexpr TextPair kExtraSetting[] = {{"Extra Setting", "その他設定"}};
constexpr TextPair kParameter[] = {{"Parameter", "パラメータ"}};
constexpr TextPair kFontCode[] = {{"FONT CODE", "文字コード"}};
constexpr TextPair kZeroCode[] = {{"ZERO CODE", "0字体"}};
constexpr TextPair kZeroCodeItems[] = {{"NO SLASH", "スラッシュなし"},
                                       {"WITH SLASH", "スラッシュあり"}};
constexpr TextPair kCommSpeed[] = {{"COMM. SPEED", "通信速度"}};
constexpr TextPair kDataLeng[] = {{"DATA LENG.", "データ長"}};
constexpr TextPair kDataLengItems[] = {{"7 bits", "7 ビット"}, {"8 bits", "8 ビット"}};
constexpr TextPair kStopBit[] = {{"STOP BIT", "ストップビット長"}};
constexpr TextPair kStopBitItems[] = {{"1 bit", "1 ビット"}, {"2 bits", "2 ビット"}};
constexpr TextPair kParity[] = {{"PARITY", "パリティー"}};
constexpr TextPair kParityItems[] = {{"NONE", "なし"}, {"EVEN", "EVEN"}, {"ODD", "ODD"}};
constexpr TextPair kControl[] = {{"CONTROL", "制御"}};
constexpr TextPair kControlItems[] = {
    {"XON/XOFF protocol", "XON/XOFF 方式"},
    {"READY/BUSY (DTR) protocol", "READY/BUSY (DTR) 方式"},
    {"XON/XOFF + READY/BUSY (DTR) protocol", "XON/XOFF + READY/BUSY (DTR) 方式"},
    {"XON/XOFF protocol", "XON/XOFF 方式"},
    {"RTS protocol", "RTS 方式"}};
constexpr TextPair kDestination[] = {{"DESTINATION", "仕向地"}};
constexpr TextPair kForwardWait[] = {{"FORWARD WAIT", "正転待機"}};
constexpr TextPair kCode[] = {{"CODE", "制御コード"}};
constexpr TextPair kCodeItems[] = {{"Automatic selection", "自動切換え"},
                                   {"ESC, LF, NUL mode", "ESC, LF, NUL モード"},
                                   {"{, |, } mode", "{, |, } モード"}};
constexpr TextPair kFeedKey[] = {{"FEED KEY", "フィードキー"}};
constexpr TextPair kFeedKeyItems[] = {{"FEED", "フィード"}, {"PRINT", "プリント"}};
constexpr TextPair kEuroCode[] = {{"EURO CODE", "ユーロフォント"}};
constexpr TextPair kAutoHome[] = {{"AUTO HOME", "自動頭出し"}};
constexpr TextPair kAutoCalib[] = {{"AUTO CALIB.", "自動センサー調整"}};
constexpr TextPair kModelSelect[] = {{"MODE SELECT", "発行モード"}};
constexpr TextPair kModelSelectItems[] = {{"DT", "直発色"}, {"TT", "熱転写"}};
constexpr TextPair kXCoordinate[] = {{"X COORDINATE", "X座標微調"}};
constexpr TextPair kBlankSpaceLen[] = {{"BLANK SPACE LEN", "用紙終端余白長"}};
constexpr TextPair kLoad[] = {{"Load", "ロード"}};
constexpr TextPair kSave[] = {{"Save", "セーブ"}};
constexpr TextPair kSet[] = {{"Set", "セット"}};
constexpr TextPair kRead[] = {{"Read", "リード"}};
constexpr TextPair kSensorCalib[] = {{"SENSOR CALIB", "センサー調整"}};
constexpr TextPair kSensor[] = {{"SENSOR", "センサー"}};
constexpr TextPair kSend[] = {{"SEND", "送信"}};
constexpr TextPair kSensorItems[] = {{"REFLECT.", "反射"}, {"TRANS.", "透過"}, {"NONE", "なし"}};
constexpr TextPair kIPAddress[] = {{"IP ADDRESS", "IPアドレス"}};
constexpr TextPair kSubnetMask[] = {{"SUBNET MASK", "サブネットマスク"}};
constexpr TextPair kDefaultGateway[] = {{"DEFAULT GATEWAY", "デフォルトゲートウェイ"}};
constexpr TextPair kSocketPort[] = {{"SOCKET PORT", "ソケットポート"}};
constexpr TextPair kDhcp[] = {{"DHCP", "DHCP"}};
constexpr TextPair kDhcpId[] = {{"DHCP ID", "DHCP ID"}};
constexpr TextPair kDhcpHostName[] = {{"DHCP HOSTNAME", "DHCP HOSTNAME"}};

constexpr CaptionEntry kEntries[] = {
    {"File1", K::kMenu, kFile},                                // 1
    {"Exit1", K::kMenu, kExit},                                // 2
    {"About1", K::kMenu, kAbout},                              // 3
    {"GroupBoxGetStatus", K::kCaption, kGetStatus},            // 4
    {"ButtonGetStatus", K::kCaption, kGetStatus},              // 5
    {"GroupBoxInterFace", K::kCaption, kInterface},            // 6
    {"ComboBoxInterFace", K::kItems, kInterfaceItems},         // 7
    {"ButtonInterFace", K::kCaption, kSetup},                  // 8
    {"GroupBoxPrinterVersion", K::kCaption, kPrinterVersion},  // 9
    {"ComboBoxVersion", K::kItems, kVersionOther, 4},          // 10
    {"GroupBoxLanguage", K::kCaption, kLanguage},              // 11
    {"ComboBoxLanguage", K::kItems, kLanguageItems},           // 12
    {"TabSheet1", K::kPage, kParameterSetting},                // 13
    {"TabSheet2", K::kPage, kMaintenanceMode},                 // 14
    {"TabSheet3", K::kPage, kExtraSetting},                    // 15
    {"GroupBoxParameter", K::kCaption, kParameter},            // 16
    {"LabelFontCode", K::kCaption, kFontCode},                 // 17
    {"LabelZeroCode", K::kCaption, kZeroCode},                 // 18
    {"ComboBoxZeroCode", K::kItems, kZeroCodeItems},           // 19
    {"LabelCommSpeed", K::kCaption, kCommSpeed},               // 20
    {"LabelDataLeng", K::kCaption, kDataLeng},                 // 21
    {"ComboBoxDataLeng", K::kItems, kDataLengItems},           // 22
    {"LabelStopBit", K::kCaption, kStopBit},                   // 23
    {"ComboBoxStopBit", K::kItems, kStopBitItems},             // 24
    {"LabelParity", K::kCaption, kParity},                     // 25
    {"ComboBoxParity", K::kItems, kParityItems},               // 26
    {"LabelControl", K::kCaption, kControl},                   // 27
    {"ComboBoxControl", K::kItems, kControlItems},             // 28
    {"LabelDenstination", K::kCaption, kDestination},          // 29
    {"LabelForwardWait", K::kCaption, kForwardWait},           // 30
    {"LabelCode", K::kCaption, kCode},                         // 31
    {"ComboBoxCode", K::kItems, kCodeItems},                   // 32
    {"LabelFeedKey", K::kCaption, kFeedKey},                   // 33
    {"ComboBoxFeedKey", K::kItems, kFeedKeyItems},             // 34
    {"LabelEuroCode", K::kCaption, kEuroCode},                 // 35
    {"LabelAutoHome", K::kCaption, kAutoHome},                 // 36
    {"LabelAutoCalib", K::kCaption, kAutoCalib},               // 37
    {"LabelModelSelect", K::kCaption, kModelSelect},           // 38
    {"ComboBoxModelSelect", K::kItems, kModelSelectItems},     // 39
    {"LabelXCoodinate", K::kCaption, kXCoordinate},            // 40
    {"LabelBlankSpaceLen", K::kCaption, kBlankSpaceLen},       // 41
    {"ButtonLoad", K::kCaption, kLoad},                        // 42
    {"ButtonSave", K::kCaption, kSave},                        // 43
    {"ButtonSet", K::kCaption, kSet},                          // 44
    {"ButtonRead", K::kCaption, kRead},                        // 45
    {"GroupBoxSensorCalib", K::kCaption, kSensorCalib},        // 46
    {"LabelSensor", K::kCaption, kSensor},                     // 47
    {"ButtonCalibSensor", K::kCaption, kSend},                 // 48
    {"ComboBoxSensor", K::kItems, kSensorItems},               // 49
    {"LabelIPAddress", K::kCaption, kIPAddress},               // 50
    {"LabelSubnetMask", K::kCaption, kSubnetMask},             // 51
    {"LabelDefaultGatway", K::kCaption, kDefaultGateway},      // 52
    {"LabelSocketPort", K::kCaption, kSocketPort},             // 53
    {"LabelDHCP", K::kCaption, kDhcp},                         // 54
    {"LabelDHCPID", K::kCaption, kDhcpId},                     // 55
    {"LabelDHCPHostName", K::kCaption, kDhcpHostName},         // 56
    {"ButtonExLoad", K::kCaption, kLoad},                      // 57
    {"ButtonExSave", K::kCaption, kSave},                      // 58
    {"ButtonExSet", K::kCaption, kSet},                        // 59
    {"ButtonExRead", K::kCaption, kRead},                      // 60
};

static_assert(std::size(kEntries) == 60);
static_assert(std::string_view(kEntries[kPageControlFontBefore].control) == "TabSheet1");

}  // namespace

const std::span<const CaptionEntry> CaptionTable{kEntries};

}  // namespace krt6
