#include "app/caption_table.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/page_fields.h"
#include "link/link_kinds.h"
#include "protocol/operations.h"

namespace krt6 {

namespace {

using K = CaptionKind;

// The interface list's items: the link kinds' own.
std::span<const TextPair> InterfaceItems() {
  static const std::vector<TextPair> items = [] {
    std::vector<TextPair> texts;
    for (const LinkKindInfo* kind : LinkKinds()) texts.push_back(kind->item);
    return texts;
  }();
  return items;
}

constexpr TextPair kFile[] = {{"File", "ファイル"}};
constexpr TextPair kExit[] = {{"Exit", "終了"}};
constexpr TextPair kAbout[] = {{"About", "バージョン"}};
// The caption of the control that runs `kind`: the operation's own.
CaptionEntry OperationEntry(CommandKind kind) {
  const Operation& operation = *FindOperation(kind);
  return {operation.control, K::kCaption, {&operation.caption, 1}};
}

constexpr TextPair kGetStatus[] = {{"Get Status", "ステータス取得"}};
constexpr TextPair kInterface[] = {{"Interface", "インターフェース"}};
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
constexpr TextPair kSensorItems[] = {{"REFLECT.", "反射"}, {"TRANS.", "透過"}, {"NONE", "なし"}};

// Rows 1 to 16, before the Parameter Setting page's fields.
const CaptionEntry kWindow[] = {
    {"File1", K::kMenu, kFile},
    {"Exit1", K::kMenu, kExit},
    {"About1", K::kMenu, kAbout},
    {"GroupBoxGetStatus", K::kCaption, kGetStatus},
    OperationEntry(ckReadStatus),
    {"GroupBoxInterFace", K::kCaption, kInterface},
    {"ComboBoxInterFace", K::kItems, InterfaceItems()},
    {"ButtonInterFace", K::kCaption, kSetup},
    {"GroupBoxPrinterVersion", K::kCaption, kPrinterVersion},
    {"ComboBoxVersion", K::kItems, kVersionOther, 4},
    {"GroupBoxLanguage", K::kCaption, kLanguage},
    {"ComboBoxLanguage", K::kItems, kLanguageItems},
    {"TabSheet1", K::kPage, kParameterSetting},
    {"TabSheet2", K::kPage, kMaintenanceMode},
    {"TabSheet3", K::kPage, kExtraSetting},
    {"GroupBoxParameter", K::kCaption, kParameter},
};
// Rows 42 to 49, between the two pages' fields.
const CaptionEntry kParameterButtons[] = {
    {"ButtonLoad", K::kCaption, kLoad},
    {"ButtonSave", K::kCaption, kSave},
    {"ButtonSet", K::kCaption, kSet},
    {"ButtonRead", K::kCaption, kRead},
    {"GroupBoxSensorCalib", K::kCaption, kSensorCalib},
    {"LabelSensor", K::kCaption, kSensor},
    OperationEntry(ckCalibrateSensor),
    {"ComboBoxSensor", K::kItems, kSensorItems},
};
// Rows 57 to 60, after the Extra Setting page's fields.
const CaptionEntry kLanButtons[] = {
    {"ButtonExLoad", K::kCaption, kLoad},
    {"ButtonExSave", K::kCaption, kSave},
    {"ButtonExSet", K::kCaption, kSet},
    {"ButtonExRead", K::kCaption, kRead},
};

// Whether a list's items read differently in the two languages; only those are in the table.
bool Translated(std::span<const TextPair> items) {
  for (const TextPair& item : items) {
    if (std::string_view(item.english) != item.japanese) return true;
  }
  return false;
}

// A page's fields in binding order: each label's caption, then its list's items if translated.
void AddPage(std::vector<CaptionEntry>& entries, FieldPart part) {
  for (const ControlBinding& binding : PageBindings(part)) {
    const FieldRow& row = *BoundField(part, binding);
    if (binding.label != nullptr)
      entries.push_back({binding.label, K::kCaption, {&row.caption, 1}});
    if (row.kind == FieldKind::kList && Translated(row.items)) {
      entries.push_back({binding.control, K::kItems, row.items});
    }
  }
}

std::vector<CaptionEntry> Entries() {
  std::vector<CaptionEntry> entries(std::begin(kWindow), std::end(kWindow));
  AddPage(entries, FieldPart::kParameters);
  entries.insert(entries.end(), std::begin(kParameterButtons), std::end(kParameterButtons));
  AddPage(entries, FieldPart::kLan);
  entries.insert(entries.end(), std::begin(kLanButtons), std::end(kLanButtons));
  // Then the control of every operation not placed above, in CommandKind order.
  for (const Operation& operation : Operations()) {
    if (operation.control == nullptr) continue;
    const bool placed = std::any_of(entries.begin(), entries.end(), [&](const CaptionEntry& e) {
      return std::string_view(e.control) == operation.control;
    });
    if (!placed) entries.push_back(OperationEntry(operation.kind));
  }
  return entries;
}

const std::vector<CaptionEntry> kEntries = Entries();

}  // namespace

const std::span<const CaptionEntry> CaptionTable{kEntries};

}  // namespace krt6
