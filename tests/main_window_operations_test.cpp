// The Parameter Setting, Extra Setting and Maintenance Mode pages of the main window against a
// scripted printer: enabled states by version, the host-name key filter, the refusals before
// anything is sent, and Read/Set round trips.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>
#include <functional>
#include <memory>

#include "app/main_window.h"
#include "app/page_fields.h"
#include "dialogs/language.h"
#include "protocol/commands.h"
#include "support/recording_prompts.h"
#include "support/scripted_printer.h"
#include "support/temp_dir.h"
#include "support/window_fixture.h"
#include "support/window_records.h"

namespace krt6 {
namespace {

using testing::RecordingPrompts;
using testing::ScriptedPrinters;
using testing::ScriptedPrinterState;

struct PrinterWindow {
  RecordingPrompts prompts;
  ScriptedPrinters links;
  std::vector<std::shared_ptr<ScriptedPrinterState>>& printers = links.state;
  Session session{links.Maker()};
  std::unique_ptr<TFormMain> window;

  // `prepare` scripts the printers before the window starts (and asks for the version).
  explicit PrinterWindow(const std::string& locale = "en_US.UTF-8",
                         const std::function<void(PrinterWindow&)>& prepare = {}) {
    if (prepare) prepare(*this);
    window = std::make_unique<TFormMain>(session, prompts, locale);
    testing::WaitIdle();
    usb().commands.clear();
  }

  ScriptedPrinterState& usb() { return *printers[lkUsb]; }
  template <typename T> T* Find(const char* name) const {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QComboBox* Combo(const char* name) const { return Find<QComboBox>(name); }
  QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
  QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
  void Choose(const char* combo, int index) const {
    QComboBox* c = Combo(combo);
    c->setCurrentIndex(index);
    emit c->activated(index);
  }
  void TypeVersion(const QString& text) const {
    QLineEdit* line = Combo("ComboBoxVersion")->lineEdit();
    line->setText(text);
    emit line->textEdited(text);
  }
  void Click(const char* button) const {
    Button(button)->click();
    testing::WaitIdle();
  }
  std::vector<QString> Messages() const {
    std::vector<QString> texts;
    for (const auto& m : prompts.messages) texts.push_back(m.text);
    return texts;
  }
};

// Sends a key as the keyboard would: a press carrying the typed text, then a release.
void Key(QWidget* widget, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(widget, &release);
}

void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.toUpper().unicode();
    const bool ascii_key = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == ' ';
    Key(widget, ascii_key ? static_cast<int>(u) : static_cast<int>(Qt::Key_unknown), QString(c));
  }
}

std::string VersionReply(const char* text) {
  return std::string("\x01\x02") + std::string(16, '.') + "V" + text + "tail";
}

// Replies of a printer whose block has font digit 1 ("PC-8"), XAdj -12, carried values 07, 41,
// 05, blank space 30, parity ODD, destination CSG, Euro code "D5".
std::string FirstParameterReply() {
  std::string r =
      "\x02"
      ";2,+000+000+00-012-07+00-00+000000410530";
  r.resize(44, '0');
  return r;
}
std::string SecondParameterReply() {
  std::string r =
      "\x02"
      ";1,1021022210010000D5000111";
  r.resize(30, '0');
  return r;
}

std::string LanReply() {
  return std::string(
             "\x02"
             "abc"
             "1") +
         "010002003004" + "010000000001" + "255255000000" + "3" + "08000" + "1" +
         "0123456789ABCDEFGHIJKLMNOPQRSTUV" + "hostnamewith16ch" + "xyz";
}

TEST(ParameterPageTest, EnabledStatesFollowTheVersion) {
  PrinterWindow w;
  struct Row {
    int item;
    bool destination, model, blank, host;
  };
  const Row rows[] = {{0, false, false, false, false},
                      {1, true, false, false, false},
                      {2, true, true, false, false},
                      {3, true, true, true, false},
                      {4, true, true, true, true}};
  for (const Row& r : rows) {
    w.Choose("ComboBoxVersion", r.item);
    EXPECT_EQ(w.session.VersionIndex(), r.item);
    EXPECT_EQ(w.Combo("ComboBoxDestination")->isEnabled(), r.destination) << r.item;
    EXPECT_EQ(w.Combo("ComboBoxModelSelect")->isEnabled(), r.model) << r.item;
    EXPECT_EQ(w.Combo("ComboBoxBlankSpaceLen")->isEnabled(), r.blank) << r.item;
    EXPECT_EQ(w.Edit("EditDHCPHostName")->isEnabled(), r.host) << r.item;
    // A disabled list still shows the block's value.
    EXPECT_EQ(w.Combo("ComboBoxBlankSpaceLen")->currentText(), "2");
  }
  w.TypeVersion("1.0");
  EXPECT_EQ(w.session.VersionIndex(), -1);
  EXPECT_FALSE(w.Combo("ComboBoxDestination")->isEnabled());
  EXPECT_FALSE(w.Edit("EditDHCPHostName")->isEnabled());
}

TEST(ParameterPageTest, VersionChangeDiscardsEdits) {
  PrinterWindow w;
  w.Edit("EditXAdj")->setText("55");
  w.Combo("ComboBoxParity")->setCurrentIndex(2);
  w.Edit("EditIPAddress1")->setText("1");
  w.Edit("EditDHCPID")->setText("X");
  w.Choose("ComboBoxVersion", 2);
  EXPECT_EQ(w.Edit("EditXAdj")->text(), "0");
  EXPECT_EQ(w.Combo("ComboBoxParity")->currentIndex(), 0);
  EXPECT_EQ(w.Edit("EditIPAddress1")->text(), "192");
  EXPECT_EQ(w.Edit("EditDHCPID")->text(), QString(32, 'F'));
  EXPECT_TRUE(w.usb().commands.empty());
}

TEST(ParameterPageTest, StartupDetectionSelectsTheVersion) {
  PrinterWindow w("en_US.UTF-8",
                  [](PrinterWindow& p) { p.usb().Reply("WV", VersionReply("1.0J")); });
  EXPECT_EQ(w.session.VersionIndex(), 3);
  EXPECT_EQ(w.Combo("ComboBoxVersion")->currentText(), "1.0J ~ 1.0T");
  EXPECT_TRUE(w.Combo("ComboBoxBlankSpaceLen")->isEnabled());
  EXPECT_FALSE(w.Edit("EditDHCPHostName")->isEnabled());
  EXPECT_TRUE(w.prompts.messages.empty());
}

TEST(ParameterPageTest, SelectVersionFromText) {
  PrinterWindow w;
  const std::pair<const char*, QString> cases[] = {
      {"1.0G", "1.0F ~ 1.0I"}, {"1.0U", "Other"},       {"1.0b", "Other"},
      {"2.0A", "Other"},       {"1.0C", "1.0B ~ 1.0C"}, {"1.0E", "1.0D ~ 1.0E"}};
  for (const auto& [text, item] : cases) {
    w.window->SelectVersionFromText(text);
    EXPECT_EQ(w.Combo("ComboBoxVersion")->currentText(), item) << text;
    EXPECT_EQ(w.session.VersionIndex(), w.Combo("ComboBoxVersion")->currentIndex()) << text;
  }
}

TEST(ParameterPageTest, ReadShowsThePrinterBlockAndSetSendsItBack) {
  PrinterWindow w;
  w.usb().Reply("Z5;0", FirstParameterReply());
  w.usb().Reply("Z5;1", SecondParameterReply());
  w.Click("ButtonRead");
  ASSERT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV", "Z5;0", "Z5;1"}));
  EXPECT_EQ(w.Combo("ComboBoxFontCode")->currentText(), "PC-8");
  EXPECT_EQ(w.Combo("ComboBoxParity")->currentText(), "ODD");
  EXPECT_EQ(w.Combo("ComboBoxDestination")->currentText(), "CSG");
  EXPECT_EQ(w.Combo("ComboBoxControl")->currentIndex(), 2);
  EXPECT_EQ(w.Combo("ComboBoxCode")->currentIndex(), 1);
  EXPECT_EQ(w.Combo("ComboBoxModelSelect")->currentText(), "TT");
  EXPECT_EQ(w.Edit("EditEuroCode")->text(), "D5");
  EXPECT_EQ(w.Edit("EditXAdj")->text(), "-12");
  EXPECT_EQ(w.Combo("ComboBoxBlankSpaceLen")->currentText(), "30");
  EXPECT_TRUE(w.Button("ButtonRead")->isEnabled());

  w.usb().commands.clear();
  w.Click("ButtonSet");
  ASSERT_TRUE(w.prompts.messages.empty());
  // "PC-8" goes back as the digit it was read as.
  EXPECT_EQ(w.usb().commands,
            (std::vector<std::string>{"WV", "Z2;1,1021022210010000D5000111",
                                      "Z2;2,+000+000+00-012-07+00-00+000000410530", "Z0"}));
  EXPECT_TRUE(w.Button("ButtonSet")->isEnabled());
}

TEST(ParameterPageTest, FailedReadReEnablesTheButtonAndKeepsTheControls) {
  PrinterWindow w;
  w.usb().Reply("Z5;0", FirstParameterReply());  // no second reply
  w.Edit("EditXAdj")->setText("3");
  w.Click("ButtonRead");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"Data Receiving Error"}));
  EXPECT_TRUE(w.Button("ButtonRead")->isEnabled());
  EXPECT_TRUE(w.window->isEnabled());
  EXPECT_EQ(w.Edit("EditXAdj")->text(), "3");
  // The block already holds the first reply's values.
  const ParameterBlock block = testing::SaveRecords(*w.window, w.prompts).parameters;
  EXPECT_EQ(block.XAdj, -12);
  EXPECT_EQ(block.CarriedValue1, 41);
}

TEST(ParameterPageTest, JapaneseStartupBlockOnTheWire) {
  PrinterWindow w("ja_JP.UTF-8");
  EXPECT_EQ(w.Combo("ComboBoxParity")->currentIndex(), 1);
  EXPECT_EQ(w.Combo("ComboBoxDestination")->currentIndex(), 1);
  w.Click("ButtonSet");
  ASSERT_EQ(w.usb().commands.size(), 4u);
  EXPECT_EQ(w.usb().commands[1], "Z2;1,0021012110000000B0000000");
  EXPECT_EQ(w.usb().commands[2], "Z2;2,+000+000+00+000-00+00-00+000000323202");
}

// A shortened euro code leaves none of the characters before it in the two its command carries.
TEST(ParameterPageTest, ShortenedEuroCodeIsSentWithNulsForTheMissingCharacters) {
  PrinterWindow w;
  for (const char* text : {"", "C"}) {
    w.usb().commands.clear();
    w.Edit("EditEuroCode")->setText(text);
    w.Click("ButtonSet");
    EXPECT_TRUE(w.prompts.messages.empty()) << text;
    ASSERT_EQ(w.usb().commands.size(), 4u) << text;
    EXPECT_EQ(w.usb().commands[1].substr(21, 2),
              std::string(text) + std::string(2 - std::strlen(text), '\0'));
  }
}

TEST(ParameterPageTest, ConversionErrorStopsSetBeforeSending) {
  PrinterWindow w;
  w.Edit("EditXAdj")->setText("x1");
  w.Click("ButtonSet");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"'x1' is not a valid integer value"}));
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV"}));  // only the version query
  EXPECT_TRUE(w.Button("ButtonSet")->isEnabled());
  EXPECT_TRUE(w.window->isEnabled());
}

TEST(ParameterPageTest, ValuesThatDoNotFitAreRefusedInTheCurrentLanguage) {
  PrinterWindow w;
  w.Edit("EditXAdj")->setText("1000");
  w.Click("ButtonSet");
  w.Choose("ComboBoxLanguage", 1);
  w.Edit("EditXAdj")->setText("5000");  // the edit holds at most 4 characters
  w.Click("ButtonSet");
  EXPECT_EQ(w.Messages(),
            (std::vector<QString>{"Setting Value Error: X COORDINATE (-999 ~ 999)",
                                  QString::fromUtf8("設定値エラー: X座標微調 (-999 ~ 999)")}));
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV", "WV"}));
  EXPECT_TRUE(w.Button("ButtonSet")->isEnabled());
  // 999 fits and is sent.
  w.Edit("EditXAdj")->setText("999");
  w.Click("ButtonSet");
  ASSERT_EQ(w.usb().commands.size(), 6u);
  EXPECT_EQ(w.usb().commands[4].substr(16, 4), "+999");
}

TEST(ParameterPageTest, ListWithoutSelectionIsRefused) {
  PrinterWindow w;
  ParameterBlock block;
  w.window->ParametersFromControls(block);
  block.ZeroCode = 12;  // as a loaded file could hold
  w.window->ShowParameters(block);
  EXPECT_EQ(w.Combo("ComboBoxZeroCode")->currentIndex(), -1);
  w.Click("ButtonSet");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"Setting Value Error: ZERO CODE (0 ~ 9)"}));
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV"}));
}

TEST(ParameterPageTest, LoadedValuesThatDoNotFitAreRefusedOnSet) {
  PrinterWindow w;
  testing::TempDir dir;
  struct Case {
    const char* name;
    void (*edit)(ParameterBlock&);
    const char* message;
  };
  const Case cases[] = {
      {"xadj.ts0", [](ParameterBlock& b) { b.XAdj = 5000; },
       "Setting Value Error: X COORDINATE (-999 ~ 999)"},
      {"font.ts0", [](ParameterBlock& b) { b.FontCode = 20; },
       "Setting Value Error: FONT CODE (0 ~ 13)"},
      {"calib.ts0", [](ParameterBlock& b) { b.AutoCalib = 7; },
       "Setting Value Error: AUTO CALIB. (0 ~ 9)"},
  };
  for (const Case& c : cases) {
    ParameterBlock block;
    c.edit(block);
    // The record's memory is the 92-byte file layout: 23 four-byte fields without gaps.
    static_assert(sizeof block == 92);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
    testing::WriteBytes(dir / c.name, std::vector<std::uint8_t>(bytes, bytes + sizeof block));
    w.prompts.file_names.push_back(QString::fromStdString(dir / c.name));
    w.Click("ButtonLoad");
    w.prompts.messages.clear();
    w.usb().commands.clear();
    w.Click("ButtonSet");
    EXPECT_EQ(w.Messages(), (std::vector<QString>{c.message})) << c.name;
    EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV"})) << c.name;
  }
}

TEST(ParameterPageTest, SetWithoutVersionAsksForIt) {
  PrinterWindow w;
  w.TypeVersion("X");
  w.Click("ButtonSet");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"Select The Printer Version"}));
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WV"}));
  EXPECT_TRUE(w.Button("ButtonSet")->isEnabled());
  // A printer that answers the version query gives the format back.
  w.usb().commands.clear();
  w.usb().Reply("WV", VersionReply("1.0G"));
  w.Click("ButtonSet");
  EXPECT_EQ(w.prompts.messages.size(), 1u);
  EXPECT_EQ(w.session.VersionIndex(), 2);
  ASSERT_EQ(w.usb().commands.size(), 4u);
  EXPECT_EQ(w.usb().commands[2], "Z2;2,+000+000+00+000-00+00-00+000000");
}

TEST(LanPageTest, ReadShowsTheReply) {
  PrinterWindow w;
  w.usb().Reply("Z5;3", LanReply());
  w.Click("ButtonExRead");
  ASSERT_TRUE(w.prompts.messages.empty());
  const std::pair<const char*, QString> edits[] = {
      {"EditIPAddress1", "10"},
      {"EditIPAddress2", "2"},
      {"EditIPAddress4", "4"},
      {"EditGeteway1", "10"},
      {"EditGeteway4", "1"},
      {"EditSubnetMask2", "255"},
      {"EditSubnetMask3", "0"},
      {"EditSocketPort", "8000"},
      {"EditDHCPID", "0123456789ABCDEFGHIJKLMNOPQRSTUV"},
      {"EditDHCPHostName", "hostnamewith16c"},
  };
  for (const auto& [name, text] : edits) EXPECT_EQ(w.Edit(name)->text(), text) << name;
  EXPECT_EQ(w.Combo("ComboBoxSocketPort")->currentText(), "3");
  EXPECT_EQ(w.Combo("ComboBoxDHCP")->currentText(), "ON");
}

TEST(LanPageTest, ShortReplyLeavesTheControls) {
  PrinterWindow w;
  w.usb().Reply("Z5;3", LanReply().substr(0, 98));
  w.Click("ButtonExRead");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"Data Receiving Error"}));
  EXPECT_EQ(w.Edit("EditIPAddress1")->text(), "192");
  EXPECT_EQ(w.Combo("ComboBoxSocketPort")->currentIndex(), 1);
  EXPECT_TRUE(w.window->isEnabled());
}

TEST(LanPageTest, SetSendsTheSevenCommands) {
  PrinterWindow w;
  w.Edit("EditIPAddress4")->setText("-5");
  w.Edit("EditDHCPHostName")->setText("kr6");
  w.Click("ButtonExSet");
  ASSERT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.usb().commands,
            (std::vector<std::string>{"IP;2,192,168,010,-05", "IP;3,000,000,000,000",
                                      "IP;4,255,255,255,000", "IS;1,08000",
                                      "IH;0," + std::string(32, 'F'), "ZW01;kr6", "Z0"}));
}

TEST(LanPageTest, ConversionErrorKeepsEarlierFieldsAndSendsNothing) {
  PrinterWindow w;
  w.Edit("EditIPAddress1")->setText("10");
  w.Edit("EditIPAddress2")->setText("x");
  w.Edit("EditIPAddress3")->setText("7");
  w.Click("ButtonExSet");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"'x' is not a valid integer value"}));
  EXPECT_TRUE(w.usb().commands.empty());
  EXPECT_EQ(w.usb().opens, 1);                 // the start-up version query only
  testing::ShowRecords(*w.window, w.prompts);  // the page again from the record
  EXPECT_EQ(w.Edit("EditIPAddress1")->text(), "10");
  EXPECT_EQ(w.Edit("EditIPAddress2")->text(), "168");
  EXPECT_EQ(w.Edit("EditIPAddress3")->text(), "10");
  EXPECT_TRUE(w.Button("ButtonExSet")->isEnabled());
  EXPECT_TRUE(w.window->isEnabled());
}

TEST(LanPageTest, HostNameKeyFilter) {
  PrinterWindow w;
  QLineEdit* edit = w.Edit("EditDHCPHostName");
  Type(edit, "ab-c d_1.Z");
  EXPECT_EQ(edit->text(), "abcd1Z");
  Key(edit, Qt::Key_Backspace, "\b");
  EXPECT_EQ(edit->text(), "abcd1");
  Key(edit, Qt::Key_Return, "\r");
  Type(edit, QString::fromUtf8("é日"));
  EXPECT_EQ(edit->text(), "abcd1");
  Key(edit, Qt::Key_Left);  // keys that type nothing still work
  Type(edit, "9");
  EXPECT_EQ(edit->text(), "abcd91");
  Key(edit, Qt::Key_Delete, QString(QChar(0x7F)));  // deletes the "1" after the cursor
  EXPECT_EQ(edit->text(), "abcd9");
  // Other fields are not filtered.
  QLineEdit* id = w.Edit("EditDHCPID");
  id->clear();
  Type(id, "a-b");
  EXPECT_EQ(id->text(), "a-b");
}

TEST(LanPageTest, HostNameKeyRules) {
  const std::pair<char16_t, bool> cases[] = {
      {8, true},    {13, false},  {'A', true},   {'Z', true},     {'a', true},  {'z', true},
      {'0', true},  {'9', true},  {' ', false},  {'-', false},    {'_', false}, {'.', false},
      {'@', false}, {'[', false}, {0xE9, false}, {0x65E5, false}, {127, false}, {9, false}};
  for (const auto& [code, passes] : cases) {
    QChar key(code);
    FilterTypedKey(*FieldOf("dhcp_hostname").row, key);
    EXPECT_EQ(key.unicode(), passes ? code : 0) << static_cast<int>(code);
  }
}

// However a text got into a field (pasted, set by an accessibility tool, loaded, read), Set
// refuses one its command cannot carry, names the field and sends nothing, the version query
// included. Save keeps such texts, but not a character beyond Latin-1, which would become "?".
TEST(TextFieldTest, SetRefusesTextsThatCouldBreakTheFraming) {
  PrinterWindow w;
  const QString ascii = " (printable ASCII except { | })";
  const struct {
    const char* edit;
    const char* button;
    QString message;
  } fields[] = {
      {"EditEuroCode", "ButtonSet", "Setting Value Error: EURO CODE" + ascii},
      {"EditDHCPID", "ButtonExSet", "Setting Value Error: DHCP ID" + ascii},
      {"EditDHCPHostName", "ButtonExSet", "Setting Value Error: DHCP HOSTNAME (A-Z, a-z, 0-9)"}};
  const QString texts[] = {"|}{Z4;0", "A\x01", "A\x1b", QString::fromUtf8("é"),
                           QString::fromUtf8("日")};
  for (const auto& field : fields) {
    for (const QString& text : texts) {
      w.Edit(field.edit)->setText(text);
      w.prompts.messages.clear();
      w.Click(field.button);
      EXPECT_EQ(w.Messages(), std::vector<QString>{field.message}) << field.edit << text.size();
    }
    w.Edit(field.edit)->setText(field.edit == fields[0].edit ? "B0" : "");
  }
  // The host name keeps its key filter's rule however the text got there.
  w.Edit("EditDHCPHostName")->setText("printer-7");
  w.prompts.messages.clear();
  w.Click("ButtonExSet");
  EXPECT_EQ(w.Messages(), std::vector<QString>{fields[2].message});
  EXPECT_TRUE(w.usb().commands.empty());
  EXPECT_EQ(w.usb().opens, 1);  // the start-up version query only
  EXPECT_STREQ(testing::SaveRecords(*w.window, w.prompts).parameters.EuroCode, "B0");
  w.prompts.file_requests.clear();

  // In Japanese the field is named as its label reads.
  w.Choose("ComboBoxLanguage", 1);
  w.Edit("EditDHCPID")->setText("|}");
  w.prompts.messages.clear();
  w.Click("ButtonExSet");
  EXPECT_EQ(
      w.Messages(),
      std::vector<QString>{QString::fromUtf8("設定値エラー: DHCP ID ({ | } 以外の半角英数記号)")});

  // Save keeps framing characters, but refuses a character beyond Latin-1 before the dialog.
  w.Choose("ComboBoxLanguage", 0);
  w.Edit("EditDHCPID")->setText(QString::fromUtf8("日"));
  w.Edit("EditEuroCode")->setText(QString::fromUtf8("€"));
  w.prompts.messages.clear();
  w.Click("ButtonExSave");
  w.Click("ButtonSave");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{fields[1].message, fields[0].message}));
  EXPECT_TRUE(w.prompts.file_requests.empty());
  EXPECT_EQ(std::string(testing::SaveRecords(*w.window, w.prompts).lan.DhcpId),
            std::string(32, 'F'));
  testing::TempDir dir;
  w.Edit("EditDHCPID")->setText("|}");
  w.prompts.file_names.push_back(QString::fromStdString(dir / "kept.ts1"));
  w.Click("ButtonExSave");
  EXPECT_EQ(w.Messages().size(), 2u);
  EXPECT_EQ(testing::ReadBytes(dir / "kept.ts1").at(58), '|');
}

TEST(MaintenancePageTest, SensorCalibrationByItem) {
  PrinterWindow w;
  for (int item : {0, 1, 2}) {
    w.Combo("ComboBoxSensor")->setCurrentIndex(item);
    w.Click("ButtonCalibSensor");
  }
  EXPECT_EQ(w.usb().commands, (std::vector<std::string>{"WT;1000,1", "WT;1000,2", "WT;1000,3"}));
  w.usb().fail_open = true;
  w.Click("ButtonCalibSensor");
  EXPECT_EQ(w.Messages(), (std::vector<QString>{"Port Open Error"}));
}

}  // namespace
}  // namespace krt6
