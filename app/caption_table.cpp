#include "app/caption_table.h"

#include "texts/field_texts.h"

namespace krt6 {

namespace {

using K = CaptionKind;
using F = SettingField;

// The caption of a field's label, which the texts of the fields hold.
std::span<const TextPair> Caption(SettingField field) { return {&FieldCaption(field), 1}; }

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
constexpr TextPair kLoad[] = {{"Load", "ロード"}};
constexpr TextPair kSave[] = {{"Save", "セーブ"}};
constexpr TextPair kSet[] = {{"Set", "セット"}};
constexpr TextPair kRead[] = {{"Read", "リード"}};
constexpr TextPair kSensorCalib[] = {{"SENSOR CALIB", "センサー調整"}};
constexpr TextPair kSensor[] = {{"SENSOR", "センサー"}};
constexpr TextPair kSend[] = {{"SEND", "送信"}};
constexpr TextPair kSensorItems[] = {{"REFLECT.", "反射"}, {"TRANS.", "透過"}, {"NONE", "なし"}};
constexpr TextPair kDhcp[] = {{"DHCP", "DHCP"}};

const CaptionEntry kEntries[] = {
    {"File1", K::kMenu, kFile},                                       // 1
    {"Exit1", K::kMenu, kExit},                                       // 2
    {"About1", K::kMenu, kAbout},                                     // 3
    {"GroupBoxGetStatus", K::kCaption, kGetStatus},                   // 4
    {"ButtonGetStatus", K::kCaption, kGetStatus},                     // 5
    {"GroupBoxInterFace", K::kCaption, kInterface},                   // 6
    {"ComboBoxInterFace", K::kItems, kInterfaceItems},                // 7
    {"ButtonInterFace", K::kCaption, kSetup},                         // 8
    {"GroupBoxPrinterVersion", K::kCaption, kPrinterVersion},         // 9
    {"ComboBoxVersion", K::kItems, kVersionOther, 4},                 // 10
    {"GroupBoxLanguage", K::kCaption, kLanguage},                     // 11
    {"ComboBoxLanguage", K::kItems, kLanguageItems},                  // 12
    {"TabSheet1", K::kPage, kParameterSetting},                       // 13
    {"TabSheet2", K::kPage, kMaintenanceMode},                        // 14
    {"TabSheet3", K::kPage, kExtraSetting},                           // 15
    {"GroupBoxParameter", K::kCaption, kParameter},                   // 16
    {"LabelFontCode", K::kCaption, Caption(FieldOf("font_code"))},            // 17
    {"LabelZeroCode", K::kCaption, Caption(FieldOf("zero_code"))},            // 18
    {"ComboBoxZeroCode", K::kItems, FieldItems(FieldOf("zero_code"))},        // 19
    {"LabelCommSpeed", K::kCaption, Caption(FieldOf("comm_speed"))},              // 20
    {"LabelDataLeng", K::kCaption, Caption(FieldOf("data_length"))},            // 21
    {"ComboBoxDataLeng", K::kItems, FieldItems(FieldOf("data_length"))},        // 22
    {"LabelStopBit", K::kCaption, Caption(FieldOf("stop_bit"))},              // 23
    {"ComboBoxStopBit", K::kItems, FieldItems(FieldOf("stop_bit"))},          // 24
    {"LabelParity", K::kCaption, Caption(FieldOf("parity"))},                // 25
    {"ComboBoxParity", K::kItems, FieldItems(FieldOf("parity"))},            // 26
    {"LabelControl", K::kCaption, Caption(FieldOf("control"))},              // 27
    {"ComboBoxControl", K::kItems, FieldItems(FieldOf("control"))},          // 28
    {"LabelDenstination", K::kCaption, Caption(FieldOf("destination"))},     // 29
    {"LabelForwardWait", K::kCaption, Caption(FieldOf("forward_wait"))},      // 30
    {"LabelCode", K::kCaption, Caption(FieldOf("code"))},                    // 31
    {"ComboBoxCode", K::kItems, FieldItems(FieldOf("code"))},                // 32
    {"LabelFeedKey", K::kCaption, Caption(FieldOf("feed_key"))},              // 33
    {"ComboBoxFeedKey", K::kItems, FieldItems(FieldOf("feed_key"))},          // 34
    {"LabelEuroCode", K::kCaption, Caption(FieldOf("euro_code"))},            // 35
    {"LabelAutoHome", K::kCaption, Caption(FieldOf("auto_home"))},            // 36
    {"LabelAutoCalib", K::kCaption, Caption(FieldOf("auto_calib"))},          // 37
    {"LabelModelSelect", K::kCaption, Caption(FieldOf("mode_select"))},      // 38
    {"ComboBoxModelSelect", K::kItems, FieldItems(FieldOf("mode_select"))},  // 39
    {"LabelXCoodinate", K::kCaption, Caption(FieldOf("x_coordinate"))},              // 40
    {"LabelBlankSpaceLen", K::kCaption, Caption(FieldOf("blank_space_len"))},  // 41
    {"ButtonLoad", K::kCaption, kLoad},                               // 42
    {"ButtonSave", K::kCaption, kSave},                               // 43
    {"ButtonSet", K::kCaption, kSet},                                 // 44
    {"ButtonRead", K::kCaption, kRead},                               // 45
    {"GroupBoxSensorCalib", K::kCaption, kSensorCalib},               // 46
    {"LabelSensor", K::kCaption, kSensor},                            // 47
    {"ButtonCalibSensor", K::kCaption, kSend},                        // 48
    {"ComboBoxSensor", K::kItems, kSensorItems},                      // 49
    {"LabelIPAddress", K::kCaption, Caption(FieldOf("ip_address", 1))},         // 50
    {"LabelSubnetMask", K::kCaption, Caption(FieldOf("subnet_mask", 1))},       // 51
    {"LabelDefaultGatway", K::kCaption, Caption(FieldOf("default_gateway", 1))},       // 52
    {"LabelSocketPort", K::kCaption, Caption(FieldOf("socket_port"))},        // 53
    {"LabelDHCP", K::kCaption, kDhcp},                                // 54
    {"LabelDHCPID", K::kCaption, Caption(FieldOf("dhcp_id"))},                // 55
    {"LabelDHCPHostName", K::kCaption, Caption(FieldOf("dhcp_hostname"))},    // 56
    {"ButtonExLoad", K::kCaption, kLoad},                             // 57
    {"ButtonExSave", K::kCaption, kSave},                             // 58
    {"ButtonExSet", K::kCaption, kSet},                               // 59
    {"ButtonExRead", K::kCaption, kRead},                             // 60
};

static_assert(sizeof kEntries / sizeof kEntries[0] == 60);

}  // namespace

const std::span<const CaptionEntry> CaptionTable{kEntries};

}  // namespace krt6
