// The connection setup dialogs and the About box, driven through their real forms: controls are
// found by name, buttons are clicked, modal showings are ended from a single-shot timer.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <set>
#include <string>
#include <vector>

#include "dialogs/about_box.h"
#include "dialogs/language.h"
#include "dialogs/link_setup.h"
#include "dialogs/lpt_setup.h"
#include "dialogs/net_setup.h"
#include "dialogs/open_dialogs.h"
#include "dialogs/rs232_setup.h"
#include "link/link_kinds.h"
#include "support/text_fit.h"

namespace krt6 {
namespace {

template <class T> T* Child(QWidget* form, const char* name) {
  T* child = form->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

QComboBox* List(QWidget* form, const char* name) { return Child<QComboBox>(form, name); }
void Click(QWidget* form, const char* name) { Child<QPushButton>(form, name)->click(); }
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

void Select(QWidget* form, const char* list, const char* item) {
  QComboBox* box = List(form, list);
  const int index = box->findText(Text(item));
  ASSERT_GE(index, 0) << list << " has no item " << item;
  box->setCurrentIndex(index);
}

std::vector<QString> Items(QComboBox* box) {
  std::vector<QString> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i));
  return items;
}

class DialogTest : public ::testing::Test {
 protected:
  // The language the dialogs under test are bound in.
  Language lang = Language::kEnglish;
};

// Runs `action` on the dialog once its modal showing has started.
void WhenShown(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

// ---- Serial dialog -------------------------------------------------------------------------

TEST_F(DialogTest, SerialDialogShowsTheDefaultsAndStoresEveryChoiceOnSet) {
  SerialSettings settings;
  TFormRs232Setup form;
  form.BindSettings(settings, lang);
  const std::pair<const char*, const char*> shown[] = {
      {"ComboBoxComPort", "COM1"}, {"ComboBoxBaudRate", "9600"}, {"ComboBoxDataBit", "8"},
      {"ComboBoxParity", "None"},  {"ComboBoxStopBit", "1"},     {"ComboBoxHdShak", "RTS"},
      {"ComboBoxSWShak", "None"}};
  for (const auto& [list, text] : shown) EXPECT_EQ(List(&form, list)->currentText(), text) << list;
  EXPECT_EQ(List(&form, "ComboBoxComPort")->count(), 30);
  EXPECT_EQ(List(&form, "ComboBoxComPort")->itemText(29), "COM30");

  Select(&form, "ComboBoxComPort", "COM12");
  Select(&form, "ComboBoxBaudRate", "57600");
  Select(&form, "ComboBoxDataBit", "7");
  Select(&form, "ComboBoxParity", "Even");
  Select(&form, "ComboBoxStopBit", "2");
  Select(&form, "ComboBoxHdShak", "RTS/CTS");
  Select(&form, "ComboBoxSWShak", "Xon/Xoff");
  Click(&form, "ButtonSet");

  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(settings.PortName, "COM12");
  EXPECT_EQ(settings.BaudRateIndex, 5);
  EXPECT_EQ(settings.DataBitIndex, 0);
  EXPECT_EQ(settings.ParityIndex, 2);
  EXPECT_EQ(settings.StopBitIndex, 2);
  EXPECT_EQ(settings.HdShakIndex, 2);
  EXPECT_EQ(settings.SWShakIndex, 1);
}

TEST_F(DialogTest, SerialDialogCancelStoresNothingAndReopeningShowsTheOldValues) {
  SerialSettings settings;
  settings.PortName = "COM3";
  settings.BaudRateIndex = 3;
  const SerialSettings before = settings;
  {
    TFormRs232Setup form;
    form.BindSettings(settings, lang);
    Select(&form, "ComboBoxComPort", "COM12");
    Select(&form, "ComboBoxBaudRate", "57600");
    Select(&form, "ComboBoxParity", "Even");
    Select(&form, "ComboBoxSWShak", "Xon/Xoff");
    Click(&form, "ButtonCancel");
    EXPECT_EQ(form.result(), QDialog::Rejected);
  }
  EXPECT_EQ(settings.PortName, before.PortName);
  EXPECT_EQ(settings.BaudRateIndex, before.BaudRateIndex);
  EXPECT_EQ(settings.ParityIndex, before.ParityIndex);
  EXPECT_EQ(settings.SWShakIndex, before.SWShakIndex);

  TFormRs232Setup again;
  again.BindSettings(settings, lang);
  EXPECT_EQ(List(&again, "ComboBoxComPort")->currentText(), "COM3");
  EXPECT_EQ(List(&again, "ComboBoxBaudRate")->currentText(), "19200");
  EXPECT_EQ(List(&again, "ComboBoxParity")->currentText(), "None");
}

TEST_F(DialogTest, SerialDialogShowsTheItemAnOutOfRangeIndexActsAs) {
  SerialSettings settings;
  settings.PortName = "COM99";
  settings.BaudRateIndex = 7;
  settings.DataBitIndex = -1;
  settings.ParityIndex = 9;
  settings.StopBitIndex = 3;
  settings.HdShakIndex = 5;
  settings.SWShakIndex = 2;
  TFormRs232Setup form;
  form.BindSettings(settings, lang);
  EXPECT_EQ(List(&form, "ComboBoxComPort")->currentText(), "COM1");
  EXPECT_EQ(List(&form, "ComboBoxBaudRate")->currentText(), "9600");
  EXPECT_EQ(List(&form, "ComboBoxDataBit")->currentText(), "8");
  EXPECT_EQ(List(&form, "ComboBoxParity")->currentText(), "None");
  EXPECT_EQ(List(&form, "ComboBoxStopBit")->currentText(), "1");
  EXPECT_EQ(List(&form, "ComboBoxHdShak")->currentText(), "RTS/CTS");
  EXPECT_EQ(List(&form, "ComboBoxSWShak")->currentText(), "None");
}

TEST_F(DialogTest, JapaneseSerialDialogHasItsCaptionsAndTheSameSelections) {
  SerialSettings settings;
  settings.ParityIndex = 2;
  settings.HdShakIndex = 0;
  settings.SWShakIndex = 1;
  lang = Language::kJapanese;
  TFormRs232Setup form;
  form.BindSettings(settings, lang);
  EXPECT_EQ(form.windowTitle(), Text("RS232 設定"));
  const std::pair<const char*, const char*> labels[] = {
      {"LabelComPort", "COMポート"},          {"LabelBaudRate", "ボーレート"},
      {"LabelDataBit", "データ長"},           {"LabelParityCheck", "パリティー"},
      {"LabelStopBit", "ストップビット長"},   {"LabelHHandShake", "ハードウェア制御"},
      {"LabelSHandShake", "ソフトウェア制御"}};
  for (const auto& [name, text] : labels) {
    EXPECT_EQ(Child<QLabel>(&form, name)->text(), Text(text)) << name;
  }
  EXPECT_EQ(Items(List(&form, "ComboBoxParity")),
            (std::vector<QString>{Text("なし"), "Odd", "Even"}));
  EXPECT_EQ(Items(List(&form, "ComboBoxHdShak")),
            (std::vector<QString>{Text("なし"), "RTS", "RTS/CTS"}));
  EXPECT_EQ(Items(List(&form, "ComboBoxSWShak")), (std::vector<QString>{Text("なし"), "Xon/Xoff"}));
  EXPECT_EQ(Child<QPushButton>(&form, "ButtonSet")->text(), Text("セット"));
  EXPECT_EQ(Child<QPushButton>(&form, "ButtonCancel")->text(), Text("キャンセル"));
  EXPECT_EQ(List(&form, "ComboBoxParity")->currentIndex(), 2);
  EXPECT_EQ(List(&form, "ComboBoxHdShak")->currentIndex(), 0);
  EXPECT_EQ(List(&form, "ComboBoxSWShak")->currentIndex(), 1);
  EXPECT_TRUE(form.font().families().contains("Noto Sans CJK JP"));

  // Back to English: the same items stay selected.
  form.SetLanguage(Language::kEnglish);
  EXPECT_EQ(form.windowTitle(), "RS232 Setup");
  EXPECT_EQ(List(&form, "ComboBoxParity")->currentText(), "Even");
  EXPECT_EQ(List(&form, "ComboBoxHdShak")->currentText(), "None");
  EXPECT_EQ(List(&form, "ComboBoxSWShak")->currentText(), "Xon/Xoff");
  EXPECT_EQ(Child<QLabel>(&form, "LabelSHandShake")->text(), "Software Handsharking");
}

TEST_F(DialogTest, SerialDialogNamesTheLinuxDeviceOfTheChosenPort) {
  SerialSettings settings;
  settings.PortName = "COM12";
  TFormRs232Setup form;
  form.SetDevicePresence([](const std::string& path) { return path == "/dev/ttyUSB7"; });
  form.BindSettings(settings, lang);
  QLabel* device = Child<QLabel>(&form, "LabelComDevice");
  EXPECT_EQ(device->text(), "/dev/ttyUSB7 (found)");
  Select(&form, "ComboBoxComPort", "COM1");
  EXPECT_EQ(device->text(), "/dev/ttyS0 (not found)");
  Select(&form, "ComboBoxComPort", "COM21");
  EXPECT_EQ(device->text(), "/dev/ttyACM0 (not found)");
  form.SetLanguage(Language::kJapanese);
  EXPECT_EQ(device->text(), Text("/dev/ttyACM0 (未検出)"));
  // The label is information only: nothing is stored until Set.
  EXPECT_EQ(settings.PortName, "COM12");
}

// ---- Parallel dialog -----------------------------------------------------------------------

TEST_F(DialogTest, ParallelDialogSelectsTheItemOfTheNameAndStoresOnSetOnly) {
  std::string lpt = "LPT3";
  {
    TFormLPTSetup form;
    form.BindSettings(lpt, lang);
    EXPECT_EQ(List(&form, "ComboBoxLPT")->currentIndex(), 2);
    Select(&form, "ComboBoxLPT", "LPT4");
    Click(&form, "ButtonCancel");
  }
  EXPECT_EQ(lpt, "LPT3");
  {
    TFormLPTSetup form;
    form.BindSettings(lpt, lang);
    EXPECT_EQ(List(&form, "ComboBoxLPT")->currentText(), "LPT3");
    Select(&form, "ComboBoxLPT", "LPT4");
    Click(&form, "ButtonSet");
    EXPECT_EQ(form.result(), QDialog::Accepted);
  }
  EXPECT_EQ(lpt, "LPT4");
}

TEST_F(DialogTest, ParallelDialogTextsAndDeviceInBothLanguages) {
  std::string lpt = "LPT2";
  lang = Language::kJapanese;
  TFormLPTSetup form;
  form.SetDevicePresence([](const std::string& path) { return path == "/dev/lp1"; });
  form.BindSettings(lpt, lang);
  EXPECT_EQ(form.windowTitle(), Text("LPT 設定"));
  EXPECT_EQ(Child<QPushButton>(&form, "ButtonSet")->text(), Text("セット"));
  EXPECT_EQ(Child<QPushButton>(&form, "ButtonCancel")->text(), Text("キャンセル"));
  EXPECT_EQ(Child<QLabel>(&form, "LabelLptDevice")->text(), Text("/dev/lp1 (検出)"));
  EXPECT_EQ(Items(List(&form, "ComboBoxLPT")),
            (std::vector<QString>{"LPT1", "LPT2", "LPT3", "LPT4"}));
  form.SetLanguage(Language::kEnglish);
  EXPECT_EQ(form.windowTitle(), "LPT Setup");
  Select(&form, "ComboBoxLPT", "LPT1");
  EXPECT_EQ(Child<QLabel>(&form, "LabelLptDevice")->text(), "/dev/lp0 (not found)");
}

// ---- TCP/IP dialog -------------------------------------------------------------------------

struct NetFixture : DialogTest {
  std::vector<QString> errors;
  TcpSettings settings;
  std::unique_ptr<TFormNetSetup> form;

  void Bind() {
    form = std::make_unique<TFormNetSetup>(nullptr,
                                           [this](const QString& text) { errors.push_back(text); });
    form->BindSettings(settings, lang);
    form->show();
  }
  QLineEdit* Edit(const char* name) { return Child<QLineEdit>(form.get(), name); }
};

TEST_F(NetFixture, ShowsTheDefaultsAndStoresAddressAndPort) {
  Bind();
  EXPECT_EQ(Edit("EditIPAddr")->text(), "");
  EXPECT_EQ(Edit("EditPort")->text(), "8000");
  Edit("EditIPAddr")->setText("192.168.10.20");
  Edit("EditPort")->setText("9100");
  Click(form.get(), "ButtonSet");
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(settings.IPAddr, "192.168.10.20");
  EXPECT_EQ(settings.Port, 9100);
}

TEST_F(NetFixture, APortThatIsNoIntegerKeepsTheDialogOpenWithTheAddressStored) {
  const std::pair<const char*, const char*> cases[] = {
      {"abc", "'abc' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {"80x", "'80x' is not a valid integer value"},
      {"99999999999", "'99999999999' is not a valid integer value"},
      {"%s%n", "'%s%n' is not a valid integer value"},
  };
  for (const auto& [port, message] : cases) {
    settings = TcpSettings{};
    errors.clear();
    Bind();
    Edit("EditIPAddr")->setText("printer.local");
    Edit("EditPort")->setText(port);
    Click(form.get(), "ButtonSet");
    ASSERT_EQ(errors.size(), 1u) << port;
    EXPECT_EQ(errors[0], message);
    EXPECT_TRUE(form->isVisible()) << port;
    EXPECT_NE(form->result(), QDialog::Accepted);
    EXPECT_EQ(settings.IPAddr, "printer.local");
    EXPECT_EQ(settings.Port, 8000) << port;
  }
}

TEST_F(NetFixture, ASixtyFourCharacterAddressIsStoredAndShownWhole) {
  const std::string address(64, 'a');
  Bind();
  Edit("EditIPAddr")->setText(QString::fromStdString(address + "bc"));  // the edit holds 64
  Click(form.get(), "ButtonSet");
  EXPECT_EQ(settings.IPAddr, address);
  Bind();
  EXPECT_EQ(Edit("EditIPAddr")->text().toStdString(), address);
}

TEST_F(NetFixture, CancelStoresNothingAndJapaneseTextsApply) {
  settings.IPAddr = "10.0.0.5";
  settings.Port = 9100;
  lang = Language::kJapanese;
  Bind();
  EXPECT_EQ(form->windowTitle(), Text("TCP/IP 設定"));
  EXPECT_EQ(Child<QGroupBox>(form.get(), "GroupBoxIPSetting")->title(), Text("IP設定"));
  EXPECT_EQ(Child<QLabel>(form.get(), "LabelIPAddress")->text(), Text("IPアドレス"));
  EXPECT_EQ(Child<QLabel>(form.get(), "LabelPort")->text(), Text("ソケットポート"));
  EXPECT_EQ(Edit("EditPort")->text(), "9100");
  Edit("EditIPAddr")->setText("10.0.0.6");
  Edit("EditPort")->setText("abc");
  Click(form.get(), "ButtonCancel");
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(settings.IPAddr, "10.0.0.5");
  EXPECT_EQ(settings.Port, 9100);
}

// ---- About box -----------------------------------------------------------------------------

TEST_F(DialogTest, AboutBoxShowsTheVersionInEitherLanguage) {
  // The About box takes no language: it reads the same whatever the window shows.
  TFormAbout form;
  EXPECT_EQ(Child<QLabel>(&form, "Label1")->text(), "Version V0.18");
  EXPECT_TRUE(Child<QLabel>(&form, "Label2")->text().contains("2009"));
  EXPECT_EQ(Child<QLabel>(&form, "Label1")->font().pixelSize(), 24);
  EXPECT_EQ(form.windowTitle(), "Setting Tool");
  EXPECT_EQ(Child<QPushButton>(&form, "Button1")->text(), "OK");
}

// ---- Opening from the main window ----------------------------------------------------------

TEST_F(DialogTest, OpenSerialSetupPublishesTheDialogWhileShownAndStoresOnSet) {
  SerialSettings settings;
  bool seen = false;
  WhenShown([&] {
    ASSERT_NE(FormRs232Setup, nullptr);
    seen = FormRs232Setup->isVisible() && FormRs232Setup->isModal();
    Select(FormRs232Setup, "ComboBoxComPort", "COM4");
    Select(FormRs232Setup, "ComboBoxBaudRate", "115200");
    Select(FormRs232Setup, "ComboBoxParity", "Odd");
    Click(FormRs232Setup, "ButtonSet");
  });
  EXPECT_TRUE(OpenRs232Setup(nullptr, settings, lang));
  EXPECT_TRUE(seen);
  EXPECT_EQ(FormRs232Setup, nullptr);
  EXPECT_EQ(settings.PortName, "COM4");
  EXPECT_EQ(settings.BaudRateIndex, 6);
  EXPECT_EQ(settings.ParityIndex, 1);
}

TEST_F(DialogTest, OpenSetupClosedByTheCloseBoxStoresNothing) {
  std::string lpt = "LPT1";
  WhenShown([&] {
    ASSERT_NE(FormLPTSetup, nullptr);
    Select(FormLPTSetup, "ComboBoxLPT", "LPT2");
    FormLPTSetup->close();
  });
  EXPECT_FALSE(OpenLPTSetup(nullptr, lpt, lang));
  EXPECT_EQ(FormLPTSetup, nullptr);
  EXPECT_EQ(lpt, "LPT1");
}

TEST_F(DialogTest, OpenNetSetupStaysOpenAfterAConversionErrorUntilAValidSet) {
  TcpSettings settings;
  std::vector<QString> errors;
  int shown_after_error = 0;
  WhenShown([&] {
    ASSERT_NE(FormNetSetup, nullptr);
    Child<QLineEdit>(FormNetSetup, "EditIPAddr")->setText("192.168.10.20");
    Child<QLineEdit>(FormNetSetup, "EditPort")->setText("abc");
    Click(FormNetSetup, "ButtonSet");
    if (FormNetSetup != nullptr && FormNetSetup->isVisible()) ++shown_after_error;
    Child<QLineEdit>(FormNetSetup, "EditPort")->setText("9100");
    Click(FormNetSetup, "ButtonSet");
  });
  EXPECT_TRUE(
      OpenNetSetup(nullptr, settings, lang, [&](const QString& text) { errors.push_back(text); }));
  EXPECT_EQ(shown_after_error, 1);
  EXPECT_EQ(errors, (std::vector<QString>{"'abc' is not a valid integer value"}));
  EXPECT_EQ(FormNetSetup, nullptr);
  EXPECT_EQ(settings.IPAddr, "192.168.10.20");
  EXPECT_EQ(settings.Port, 9100);
}

// The Setup button's table: one setup for each kind that has one, each reaching its own members.
TEST_F(DialogTest, EachKindWithADialogHasOneSetupThatWritesOnlyItsMembers) {
  std::set<int> kinds;
  for (const LinkSetup* setup : LinkSetups()) {
    EXPECT_NE(FindLinkKind(setup->kind), nullptr) << setup->kind;
    EXPECT_TRUE(kinds.insert(setup->kind).second) << setup->kind;
    EXPECT_EQ(FindLinkSetup(setup->kind), setup);
  }
  EXPECT_EQ(kinds, (std::set<int>{lkCom, lkLpt, lkEthernet}));
  EXPECT_EQ(FindLinkSetup(lkUsb), nullptr);
  LinkSettings settings;
  EXPECT_FALSE(OpenLinkSetup(nullptr, lkUsb, settings, Language::kEnglish, {}));

  struct Case {
    LinkKind kind;
    const char* dialog;
  };
  for (const Case& c : {Case{lkCom, "TFormRs232Setup"}, Case{lkLpt, "TFormLPTSetup"},
                        Case{lkEthernet, "TFormNetSetup"}}) {
    settings = LinkSettings{};
    bool shown = false;
    WhenShown([&] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr) << c.dialog;
      shown = modal->objectName() == QLatin1String(c.dialog);
      modal->close();
    });
    EXPECT_FALSE(OpenLinkSetup(nullptr, c.kind, settings, Language::kEnglish, {})) << c.dialog;
    EXPECT_TRUE(shown) << c.dialog;
    EXPECT_EQ(settings, LinkSettings{}) << c.dialog;  // cancelled: nothing written
  }
}

TEST_F(DialogTest, OpenAboutPublishesTheBoxUntilOkCloses) {
  bool seen = false;
  WhenShown([&] {
    ASSERT_NE(FormAbout, nullptr);
    seen = FormAbout->isVisible();
    Click(FormAbout, "Button1");
  });
  OpenAbout(nullptr);
  EXPECT_TRUE(seen);
  EXPECT_EQ(FormAbout, nullptr);
}

// ---- Layout --------------------------------------------------------------------------------

std::string Clipped(QDialog& form) {
  form.show();
  QCoreApplication::processEvents();
  std::string out = testing::ClippedTexts(&form).join("\n").toStdString();
  // The fixed size holds the whole layout.
  if (form.layout()->minimumSize().height() > form.height() ||
      form.layout()->minimumSize().width() > form.width()) {
    out += "\nlayout needs " + std::to_string(form.layout()->minimumSize().width()) + "x" +
           std::to_string(form.layout()->minimumSize().height());
  }
  return out;
}

TEST_F(DialogTest, EveryTextFitsItsDialogInBothLanguages) {
  for (int language : {0, 1}) {
    lang = LanguageFromIndex(language);
    SerialSettings serial;
    serial.PortName = "COM20";  // the longest device name
    TFormRs232Setup rs232;
    rs232.BindSettings(serial, lang);
    EXPECT_EQ(Clipped(rs232), "") << "serial, language " << language;
    std::string lpt = "LPT4";
    TFormLPTSetup parallel;
    parallel.BindSettings(lpt, lang);
    EXPECT_EQ(Clipped(parallel), "") << "parallel, language " << language;
    TcpSettings tcp;
    TFormNetSetup net(nullptr, [](const QString&) {});
    net.BindSettings(tcp, lang);
    EXPECT_EQ(Clipped(net), "") << "tcp/ip, language " << language;
    TFormAbout about;
    EXPECT_EQ(Clipped(about), "") << "about, language " << language;
    EXPECT_EQ(rs232.size(), QSize(369, 311));
    EXPECT_EQ(parallel.size(), QSize(315, 88));
    EXPECT_EQ(net.size(), QSize(204, 153));
    EXPECT_EQ(about.size(), QSize(266, 160));
  }
}

// ---- Accessibility -------------------------------------------------------------------------

// The name a screen reader announces for a control: its own accessible name, or the name of the
// label that the accessibility interface reports as labelling it.
QString AnnouncedLabel(QWidget* control) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
  if (iface == nullptr) return {};
  for (const auto& [other, relation] : iface->relations(QAccessible::Label)) {
    if (relation & QAccessible::Label) return other->text(QAccessible::Name);
  }
  return {};
}

void ExpectLabelled(QWidget* form, const char* label_name, const char* control_name) {
  QLabel* label = Child<QLabel>(form, label_name);
  QWidget* control = Child<QWidget>(form, control_name);
  EXPECT_EQ(label->buddy(), control) << label_name;
  EXPECT_EQ(AnnouncedLabel(control), label->text()) << control_name;
}

TEST_F(DialogTest, EveryListAndEditIsAnnouncedByItsCaptionInBothLanguages) {
  for (int language : {0, 1}) {
    lang = LanguageFromIndex(language);
    SerialSettings serial;
    TFormRs232Setup rs232;
    rs232.BindSettings(serial, lang);
    ExpectLabelled(&rs232, "LabelComPort", "ComboBoxComPort");
    ExpectLabelled(&rs232, "LabelBaudRate", "ComboBoxBaudRate");
    ExpectLabelled(&rs232, "LabelDataBit", "ComboBoxDataBit");
    ExpectLabelled(&rs232, "LabelParityCheck", "ComboBoxParity");
    ExpectLabelled(&rs232, "LabelStopBit", "ComboBoxStopBit");
    ExpectLabelled(&rs232, "LabelHHandShake", "ComboBoxHdShak");
    ExpectLabelled(&rs232, "LabelSHandShake", "ComboBoxSWShak");

    TcpSettings tcp;
    TFormNetSetup net(nullptr, [](const QString&) {});
    net.BindSettings(tcp, lang);
    ExpectLabelled(&net, "LabelIPAddress", "EditIPAddr");
    ExpectLabelled(&net, "LabelPort", "EditPort");
    auto* edit = Child<QLineEdit>(&net, "EditIPAddr");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name),
              language == 0 ? QString("IP Address") : Text("IPアドレス"));

    std::string lpt = "LPT1";
    TFormLPTSetup parallel;
    parallel.BindSettings(lpt, lang);
    EXPECT_EQ(List(&parallel, "ComboBoxLPT")->accessibleName(),
              language == 0 ? QString("LPT Port") : Text("LPTポート"));
  }
}

}  // namespace
}  // namespace krt6
