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
    {"LabelFontCode", K::kCaption, Caption(F::kFontCode)},            // 17
    {"LabelZeroCode", K::kCaption, Caption(F::kZeroCode)},            // 18
    {"ComboBoxZeroCode", K::kItems, FieldItems(F::kZeroCode)},        // 19
    {"LabelCommSpeed", K::kCaption, Caption(F::kSpeed)},              // 20
    {"LabelDataLeng", K::kCaption, Caption(F::kDataLeng)},            // 21
    {"ComboBoxDataLeng", K::kItems, FieldItems(F::kDataLeng)},        // 22
    {"LabelStopBit", K::kCaption, Caption(F::kStopBit)},              // 23
    {"ComboBoxStopBit", K::kItems, FieldItems(F::kStopBit)},          // 24
    {"LabelParity", K::kCaption, Caption(F::kParity)},                // 25
    {"ComboBoxParity", K::kItems, FieldItems(F::kParity)},            // 26
    {"LabelControl", K::kCaption, Caption(F::kControl)},              // 27
    {"ComboBoxControl", K::kItems, FieldItems(F::kControl)},          // 28
    {"LabelDenstination", K::kCaption, Caption(F::kDestination)},     // 29
    {"LabelForwardWait", K::kCaption, Caption(F::kForwardWait)},      // 30
    {"LabelCode", K::kCaption, Caption(F::kCode)},                    // 31
    {"ComboBoxCode", K::kItems, FieldItems(F::kCode)},                // 32
    {"LabelFeedKey", K::kCaption, Caption(F::kFeedKey)},              // 33
    {"ComboBoxFeedKey", K::kItems, FieldItems(F::kFeedKey)},          // 34
    {"LabelEuroCode", K::kCaption, Caption(F::kEuroCode)},            // 35
    {"LabelAutoHome", K::kCaption, Caption(F::kAutoHome)},            // 36
    {"LabelAutoCalib", K::kCaption, Caption(F::kAutoCalib)},          // 37
    {"LabelModelSelect", K::kCaption, Caption(F::kModelSelect)},      // 38
    {"ComboBoxModelSelect", K::kItems, FieldItems(F::kModelSelect)},  // 39
    {"LabelXCoodinate", K::kCaption, Caption(F::kXAdj)},              // 40
    {"LabelBlankSpaceLen", K::kCaption, Caption(F::kBlankSpaceLen)},  // 41
    {"ButtonLoad", K::kCaption, kLoad},                               // 42
    {"ButtonSave", K::kCaption, kSave},                               // 43
    {"ButtonSet", K::kCaption, kSet},                                 // 44
    {"ButtonRead", K::kCaption, kRead},                               // 45
    {"GroupBoxSensorCalib", K::kCaption, kSensorCalib},               // 46
    {"LabelSensor", K::kCaption, kSensor},                            // 47
    {"ButtonCalibSensor", K::kCaption, kSend},                        // 48
    {"ComboBoxSensor", K::kItems, kSensorItems},                      // 49
    {"LabelIPAddress", K::kCaption, Caption(F::kIpAddress1)},         // 50
    {"LabelSubnetMask", K::kCaption, Caption(F::kSubnetMask1)},       // 51
    {"LabelDefaultGatway", K::kCaption, Caption(F::kGateway1)},       // 52
    {"LabelSocketPort", K::kCaption, Caption(F::kSocketPort)},        // 53
    {"LabelDHCP", K::kCaption, kDhcp},                                // 54
    {"LabelDHCPID", K::kCaption, Caption(F::kDhcpId)},                // 55
    {"LabelDHCPHostName", K::kCaption, Caption(F::kDhcpHostName)},    // 56
    {"ButtonExLoad", K::kCaption, kLoad},                             // 57
    {"ButtonExSave", K::kCaption, kSave},                             // 58
    {"ButtonExSet", K::kCaption, kSet},                               // 59
    {"ButtonExRead", K::kCaption, kRead},                             // 60
};

static_assert(sizeof kEntries / sizeof kEntries[0] == 60);

}  // namespace

const std::span<const CaptionEntry> CaptionTable{kEntries};

}  // namespace krt6
