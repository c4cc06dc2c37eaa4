#include "app/page_fields.h"

#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <cstring>
#include <string_view>

#include "app/conversion.h"
#include "protocol/commands.h"

namespace krt6 {
namespace {

constexpr ControlBinding kParameterPage[] = {
    {"ComboBoxFontCode", "LabelFontCode", "font_code"},
    {"ComboBoxZeroCode", "LabelZeroCode", "zero_code"},
    {"ComboBoxSpeed", "LabelCommSpeed", "comm_speed"},
    {"ComboBoxDataLeng", "LabelDataLeng", "data_length"},
    {"ComboBoxStopBit", "LabelStopBit", "stop_bit"},
    // A Japanese system starts with even parity and the Japanese destination.
    {"ComboBoxParity", "LabelParity", "parity", -1, kNoVersion, 1},
    {"ComboBoxControl", "LabelControl", "control"},
    // A destination without a selection is taken as its first item.
    {"ComboBoxDestination", "LabelDenstination", "destination", 0, kNoVersion, 1},
    {"ComboBoxForwardWait", "LabelForwardWait", "forward_wait"},
    {"ComboBoxCode", "LabelCode", "code"},
    {"ComboBoxFeedKey", "LabelFeedKey", "feed_key"},
    {"EditEuroCode", "LabelEuroCode", "euro_code"},
    {"ComboBoxAutoHome", "LabelAutoHome", "auto_home"},
    {"ComboBoxAutoCalib", "LabelAutoCalib", "auto_calib"},
    {"ComboBoxModelSelect", "LabelModelSelect", "mode_select"},
    {"EditXAdj", "LabelXCoodinate", "x_coordinate"},
    {"ComboBoxBlankSpaceLen", "LabelBlankSpaceLen", "blank_space_len"},
};

constexpr ControlBinding kLanPage[] = {
    // Settings gathered from the page are marked as set, before anything else is taken.
    {nullptr, nullptr, "lan_flag", 1},
    {"EditIPAddress", "LabelIPAddress", "ip_address"},
    {"EditSubnetMask", "LabelSubnetMask", "subnet_mask"},
    {"EditGeteway", "LabelDefaultGatway", "default_gateway"},
    {"ComboBoxSocketPort", "LabelSocketPort", "socket_port_mode"},
    {"EditSocketPort", nullptr, "socket_port"},
    {"ComboBoxDHCP", "LabelDHCP", "dhcp"},
    {"EditDHCPID", "LabelDHCPID", "dhcp_id"},
    // Every class's commands carry the host name, but the page lets it be edited for "Other"
    // only, the class of the printers that use it.
    {"EditDHCPHostName", "LabelDHCPHostName", "dhcp_hostname", -1, FromVersion(4)},
};

constexpr FieldPart kParts[] = {FieldPart::kParameters, FieldPart::kLan};

// The item of a value, -1 for none.
int ItemOf(const FieldRow& row, std::int32_t value, int count) {
  std::int64_t index = value;
  if (row.kind == FieldKind::kFlag) index = value != 0 ? 1 : 0;
  if (row.kind == FieldKind::kNumber) index -= row.min;
  return index >= 0 && index < count ? static_cast<int>(index) : -1;
}

std::int32_t ValueOf(const FieldRow& row, const ControlBinding& binding, int item) {
  switch (row.kind) {
    case FieldKind::kFlag: return item == 0 ? 0 : 1;
    case FieldKind::kNumber: return item + row.min;
    default: return item < 0 ? binding.fallback : item;
  }
}

QString TextOf(const FieldRow& row, const void* record) {
  const auto* text = reinterpret_cast<const char*>(MemberBytes(row, record));
  return QString::fromLatin1(text, static_cast<qsizetype>(strnlen(text, row.member.size)));
}

// The text and its NUL. A command that carries a fixed number of bytes (the euro code's two)
// finds NULs in place of the missing characters; the bytes after stay as the record held them.
void StoreText(const FieldRow& row, void* record, const QString& text) {
  const QByteArray bytes = text.toLatin1().left(static_cast<qsizetype>(row.chars));
  const auto length = static_cast<std::size_t>(bytes.size());
  const std::size_t end = row.command.format == CommandFormat::kTwoChars ? row.chars : length;
  std::uint8_t* field = MemberBytes(row, record);
  std::memcpy(field, bytes.constData(), length);
  std::memset(field + length, 0, end - length + 1);
}

}  // namespace

std::span<const ControlBinding> PageBindings(FieldPart part) {
  if (part == FieldPart::kLan) return kLanPage;
  return kParameterPage;
}

const FieldRow* BoundField(FieldPart part, const ControlBinding& binding) {
  return FindField(part, binding.key);
}

std::vector<BoundControl> PageControls(const QWidget& window, FieldPart part) {
  std::vector<BoundControl> controls;
  for (const ControlBinding& binding : PageBindings(part)) {
    const FieldRow* row = BoundField(part, binding);
    if (binding.control == nullptr) {
      controls.push_back({nullptr, &binding, row, 0});
      continue;
    }
    const QString name = QString::fromLatin1(binding.control);
    if (row->kind != FieldKind::kAddress) {
      controls.push_back({window.findChild<QWidget*>(name), &binding, row, 0});
      continue;
    }
    for (int i = 0; i < 4; ++i) {
      controls.push_back(
          {window.findChild<QWidget*>(name + QString::number(i + 1)), &binding, row, i});
    }
  }
  return controls;
}

bool PageShows(const FieldRow& row) {
  for (const ControlBinding& binding : PageBindings(row.part)) {
    if (binding.control != nullptr && BoundField(row.part, binding) == &row) return true;
  }
  return false;
}

const FieldRow* FieldOfControl(const QObject& control) {
  const QByteArray name = control.objectName().toLatin1();
  for (const FieldPart part : kParts) {
    for (const ControlBinding& binding : PageBindings(part)) {
      if (binding.control != nullptr && name == binding.control) return BoundField(part, binding);
    }
  }
  return nullptr;
}

void GatherPage(const QWidget& window, FieldPart part, void* record) {
  for (const BoundControl& control : PageControls(window, part)) {
    const FieldRow& row = *control.row;
    if (control.binding->control == nullptr) {
      SetInt(row, record, control.binding->fallback);
    } else if (const auto* combo = qobject_cast<const QComboBox*>(control.widget)) {
      SetInt(row, record, ValueOf(row, *control.binding, combo->currentIndex()));
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(control.widget)) {
      if (row.kind == FieldKind::kText) {
        StoreText(row, record, edit->text());
      } else {
        SetInt(row, record, StrToInt(edit->text()), control.part);
      }
    }
  }
}

void StartPage(FieldPart part, Language language, void* record) {
  if (language != Language::kJapanese) return;
  for (const ControlBinding& binding : PageBindings(part)) {
    if (binding.japanese >= 0) SetInt(*BoundField(part, binding), record, binding.japanese);
  }
}

void ShowPage(const QWidget& window, FieldPart part, const void* record, int version_index) {
  for (const BoundControl& control : PageControls(window, part)) {
    const FieldRow& row = *control.row;
    if (auto* combo = qobject_cast<QComboBox*>(control.widget)) {
      combo->setCurrentIndex(ItemOf(row, GetInt(row, record), combo->count()));
    } else if (auto* edit = qobject_cast<QLineEdit*>(control.widget)) {
      edit->setText(row.kind == FieldKind::kText
                        ? TextOf(row, record)
                        : QString::number(GetInt(row, record, control.part)));
    } else {
      continue;
    }
    const VersionSet enabled_for = control.binding->enabled_for;
    const VersionSet versions = enabled_for != kNoVersion ? enabled_for : row.command.versions;
    if (versions != kEveryVersion) control.widget->setEnabled(HasVersion(versions, version_index));
  }
}

SettingField CheckPageTexts(const QWidget& window, FieldPart part, bool to_send) {
  for (const BoundControl& control : PageControls(window, part)) {
    if (control.row->kind != FieldKind::kText) continue;
    const SettingField field{control.row};
    const auto* edit = qobject_cast<const QLineEdit*>(control.widget);
    if (edit == nullptr) continue;
    const QString text = edit->text();
    for (const QChar c : text) {
      if (c.unicode() > 0xFF) return field;
    }
    if (!to_send) continue;
    const QByteArray bytes = text.toLatin1();
    if (!TextFits(*control.row,
                  std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
      return field;
    }
  }
  return SettingField::kNone;
}

void FilterTypedKey(const FieldRow& row, QChar& key) {
  const char16_t c = key.unicode();
  if (c == 8) return;  // Backspace
  const char ascii = c < 0x80 ? static_cast<char>(c) : '\0';
  if (!TextFits(row, {&ascii, 1})) key = QChar(0);
}

}  // namespace krt6
