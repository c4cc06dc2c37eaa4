// The main window in both interface languages: every caption and list of the caption table, the
// fonts, the lists' selections across switches, the start language, and the dialogs it opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "app/caption_table.h"
#include "app/page_fields.h"
#include "dialogs/about_box.h"
#include "dialogs/language.h"
#include "dialogs/lpt_setup.h"
#include "dialogs/net_setup.h"
#include "dialogs/rs232_setup.h"
#include "protocol/operations.h"
#include "support/text_fit.h"
#include "support/window_fixture.h"
#include "support/window_records.h"
#include "texts/texts.h"

namespace krt6 {
namespace {

using testing::WindowFixture;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// What the window shows for one row: a caption, or the texts of a list's translated items.
struct Row {
  const char* control;
  std::vector<const char*> english;
  std::vector<const char*> japanese;
  int first_item = 0;
};

// The rows in the order they are applied, with the texts the operator must see.
const std::vector<Row>& ExpectedRows() {
  static const std::vector<Row> rows = {
      {"File1", {"File"}, {"ファイル"}},
      {"Exit1", {"Exit"}, {"終了"}},
      {"About1", {"About"}, {"バージョン"}},
      {"GroupBoxGetStatus", {"Get Status"}, {"ステータス取得"}},
      {"ButtonGetStatus", {"Get Status"}, {"ステータス取得"}},
      {"GroupBoxInterFace", {"Interface"}, {"インターフェース"}},
      {"ComboBoxInterFace", {"USB", "COM", "LPT", "ETHERNET"}, {"USB", "COM", "LPT", "LAN"}},
      {"ButtonInterFace", {"Setup"}, {"設定"}},
      {"GroupBoxPrinterVersion", {"Printer Version"}, {"F/Wバージョン"}},
      {"ComboBoxVersion", {"Other"}, {"その他"}, 4},
      {"GroupBoxLanguage", {"Language"}, {"言語"}},
      {"ComboBoxLanguage", {"English", "Japanese"}, {"英語", "日本語"}},
      {"TabSheet1", {"Parameter Setting"}, {"パラメータ設定"}},
      {"TabSheet2", {"Maintenance Mode"}, {"メンテナンスモード"}},
      {"TabSheet3", {"Extra Setting"}, {"その他設定"}},
      {"GroupBoxParameter", {"Parameter"}, {"パラメータ"}},
      {"LabelFontCode", {"FONT CODE"}, {"文字コード"}},
      {"LabelZeroCode", {"ZERO CODE"}, {"0字体"}},
      {"ComboBoxZeroCode", {"NO SLASH", "WITH SLASH"}, {"スラッシュなし", "スラッシュあり"}},
      {"LabelCommSpeed", {"COMM. SPEED"}, {"通信速度"}},
      {"LabelDataLeng", {"DATA LENG."}, {"データ長"}},
      {"ComboBoxDataLeng", {"7 bits", "8 bits"}, {"7 ビット", "8 ビット"}},
      {"LabelStopBit", {"STOP BIT"}, {"ストップビット長"}},
      {"ComboBoxStopBit", {"1 bit", "2 bits"}, {"1 ビット", "2 ビット"}},
      {"LabelParity", {"PARITY"}, {"パリティー"}},
      {"ComboBoxParity", {"NONE", "EVEN", "ODD"}, {"なし", "EVEN", "ODD"}},
      {"LabelControl", {"CONTROL"}, {"制御"}},
      {"ComboBoxControl",
       {"XON/XOFF protocol", "READY/BUSY (DTR) protocol", "XON/XOFF + READY/BUSY (DTR) protocol",
        "XON/XOFF protocol", "RTS protocol"},
       {"XON/XOFF 方式", "READY/BUSY (DTR) 方式", "XON/XOFF + READY/BUSY (DTR) 方式",
        "XON/XOFF 方式", "RTS 方式"}},
      {"LabelDenstination", {"DESTINATION"}, {"仕向地"}},
      {"LabelForwardWait", {"FORWARD WAIT"}, {"正転待機"}},
      {"LabelCode", {"CODE"}, {"制御コード"}},
      {"ComboBoxCode",
       {"Automatic selection", "ESC, LF, NUL mode", "{, |, } mode"},
       {"自動切換え", "ESC, LF, NUL モード", "{, |, } モード"}},
      {"LabelFeedKey", {"FEED KEY"}, {"フィードキー"}},
      {"ComboBoxFeedKey", {"FEED", "PRINT"}, {"フィード", "プリント"}},
      {"LabelEuroCode", {"EURO CODE"}, {"ユーロフォント"}},
      {"LabelAutoHome", {"AUTO HOME"}, {"自動頭出し"}},
      {"LabelAutoCalib", {"AUTO CALIB."}, {"自動センサー調整"}},
      {"LabelModelSelect", {"MODE SELECT"}, {"発行モード"}},
      {"ComboBoxModelSelect", {"DT", "TT"}, {"直発色", "熱転写"}},
      {"LabelXCoodinate", {"X COORDINATE"}, {"X座標微調"}},
      {"LabelBlankSpaceLen", {"BLANK SPACE LEN"}, {"用紙終端余白長"}},
      {"ButtonLoad", {"Load"}, {"ロード"}},
      {"ButtonSave", {"Save"}, {"セーブ"}},
      {"ButtonSet", {"Set"}, {"セット"}},
      {"ButtonRead", {"Read"}, {"リード"}},
      {"GroupBoxSensorCalib", {"SENSOR CALIB"}, {"センサー調整"}},
      {"LabelSensor", {"SENSOR"}, {"センサー"}},
      {"ButtonCalibSensor", {"SEND"}, {"送信"}},
      {"ComboBoxSensor", {"REFLECT.", "TRANS.", "NONE"}, {"反射", "透過", "なし"}},
      {"LabelIPAddress", {"IP ADDRESS"}, {"IPアドレス"}},
      {"LabelSubnetMask", {"SUBNET MASK"}, {"サブネットマスク"}},
      {"LabelDefaultGatway", {"DEFAULT GATEWAY"}, {"デフォルトゲートウェイ"}},
      {"LabelSocketPort", {"SOCKET PORT"}, {"ソケットポート"}},
      {"LabelDHCP", {"DHCP"}, {"DHCP"}},
      {"LabelDHCPID", {"DHCP ID"}, {"DHCP ID"}},
      {"LabelDHCPHostName", {"DHCP HOSTNAME"}, {"DHCP HOSTNAME"}},
      {"ButtonExLoad", {"Load"}, {"ロード"}},
      {"ButtonExSave", {"Save"}, {"セーブ"}},
      {"ButtonExSet", {"Set"}, {"セット"}},
      {"ButtonExRead", {"Read"}, {"リード"}},
  };
  return rows;
}

// The texts a row's control shows now.
std::vector<QString> Shown(const WindowFixture& f, const Row& row) {
  const QString name = QString::fromLatin1(row.control);
  const auto* window = f.window.get();
  if (auto* list = window->findChild<QComboBox*>(name)) {
    std::vector<QString> items;
    for (std::size_t i = 0; i < row.english.size(); ++i) {
      items.push_back(list->itemText(row.first_item + static_cast<int>(i)));
    }
    return items;
  }
  if (auto* menu = window->findChild<QMenu*>(name)) return {menu->title()};
  if (auto* action = window->findChild<QAction*>(name)) return {action->text()};
  if (auto* label = window->findChild<QLabel*>(name)) return {label->text()};
  if (auto* button = window->findChild<QAbstractButton*>(name)) return {button->text()};
  if (auto* group = window->findChild<QGroupBox*>(name)) return {group->title()};
  auto* pages = f.Find<QTabWidget>("PageControl1");
  if (auto* page = pages->findChild<QWidget*>(name)) return {pages->tabText(pages->indexOf(page))};
  return {};
}

std::vector<QString> Texts(const std::vector<const char*>& texts) {
  std::vector<QString> out;
  for (const char* t : texts) out.push_back(U(t));
  return out;
}

bool HasJapaneseFont(QWidget* control) {
  return control->font().families().contains(QStringLiteral("Noto Sans CJK JP"));
}

void SwitchTo(const WindowFixture& f, int language) { f.Choose("ComboBoxLanguage", language); }

TEST(CaptionTableTest, RowsAreAppliedInTheirOrder) {
  const auto& rows = ExpectedRows();
  ASSERT_EQ(CaptionTable.size(), rows.size());
  ASSERT_EQ(rows.size(), 60u);
  std::size_t pairs = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_STREQ(CaptionTable[i].control, rows[i].control) << "row " << i + 1;
    if (i < 56) pairs += CaptionTable[i].texts.size();
  }
  EXPECT_EQ(pairs, 75u);  // rows 57 to 60 reuse the pairs of rows 42 to 45
}

// A row that names a control takes its caption to the table once, and the window has the control:
// it shows the row's caption in each language.
TEST(CaptionTableTest, EveryOperationControlShowsTheCaptionOfItsRow) {
  WindowFixture f;
  std::size_t controls = 0;
  for (const Operation& operation : Operations()) {
    if (operation.control == nullptr) continue;
    ++controls;
    std::size_t entries = 0;
    for (const CaptionEntry& entry : CaptionTable) {
      if (std::strcmp(entry.control, operation.control) != 0) continue;
      ++entries;
      ASSERT_EQ(entry.texts.size(), 1u) << operation.control;
      EXPECT_EQ(entry.texts.data(), &operation.caption) << operation.control;
    }
    EXPECT_EQ(entries, 1u) << operation.control;
    auto* button = f.window->findChild<QAbstractButton*>(QString::fromLatin1(operation.control));
    ASSERT_NE(button, nullptr) << operation.control;
    for (int language : {1, 0}) {
      SwitchTo(f, language);
      EXPECT_EQ(button->text(),
                U(language == 0 ? operation.caption.english : operation.caption.japanese))
          << operation.control;
    }
  }
  EXPECT_EQ(controls, 2u);  // Get Status, the sensor calibration's SEND
}

TEST(MainWindowLanguageTest, EveryRowShowsItsTextsInBothLanguagesAndBack) {
  WindowFixture f;
  for (int language : {0, 1, 0, 1}) {
    SwitchTo(f, language);
    EXPECT_EQ(f.window->CurrentLanguage(), LanguageFromIndex(language));
    for (const Row& row : ExpectedRows()) {
      EXPECT_EQ(Shown(f, row), Texts(language == 0 ? row.english : row.japanese))
          << row.control << " in language " << language;
    }
  }
}

TEST(MainWindowLanguageTest, CaptionsListsPagesAndStatusBarTakeTheFontOfTheLanguage) {
  WindowFixture f;
  SwitchTo(f, 1);
  for (const CaptionEntry& entry : CaptionTable) {
    if (entry.kind == CaptionKind::kMenu) continue;
    auto* control = f.window->findChild<QWidget*>(QString::fromLatin1(entry.control));
    ASSERT_NE(control, nullptr) << entry.control;
    EXPECT_TRUE(HasJapaneseFont(control)) << entry.control;
  }
  EXPECT_TRUE(HasJapaneseFont(f.Find<QTabWidget>("PageControl1")));
  EXPECT_TRUE(HasJapaneseFont(f.window->statusBar()));
  // Controls outside the table draw with the font of the control that holds them.
  EXPECT_TRUE(HasJapaneseFont(f.Edit("EditStatus")));
  EXPECT_TRUE(HasJapaneseFont(f.Combo("ComboBoxFontCode")));
  // Menu entries take no font of their own.
  EXPECT_FALSE(HasJapaneseFont(f.window->findChild<QMenu*>("File1")));

  SwitchTo(f, 0);
  for (const CaptionEntry& entry : CaptionTable) {
    if (entry.kind == CaptionKind::kMenu) continue;
    auto* control = f.window->findChild<QWidget*>(QString::fromLatin1(entry.control));
    EXPECT_FALSE(HasJapaneseFont(control)) << entry.control;
  }
  EXPECT_FALSE(HasJapaneseFont(f.window->statusBar()));
  EXPECT_FALSE(HasJapaneseFont(f.Edit("EditStatus")));
}

TEST(MainWindowLanguageTest, EveryTranslatedListKeepsEachSelectedItemAcrossSwitches) {
  WindowFixture f;
  for (const CaptionEntry& entry : CaptionTable) {
    if (entry.kind != CaptionKind::kItems) continue;
    if (std::string_view(entry.control) == "ComboBoxLanguage") continue;  // below
    QComboBox* list = f.Combo(entry.control);
    ASSERT_NE(list, nullptr) << entry.control;
    for (int item = 0; item < list->count(); ++item) {
      list->setCurrentIndex(item);
      const QString english = list->currentText();
      SwitchTo(f, 1);
      EXPECT_EQ(list->currentIndex(), item) << entry.control;
      SwitchTo(f, 0);
      EXPECT_EQ(list->currentIndex(), item) << entry.control;
      EXPECT_EQ(list->currentText(), english) << entry.control;
    }
  }
}

TEST(MainWindowLanguageTest, InterfaceAndVersionShowTheirTranslatedSelection) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkEthernet);
  f.Combo("ComboBoxVersion")->setCurrentIndex(4);
  SwitchTo(f, 1);
  EXPECT_EQ(f.Combo("ComboBoxInterFace")->currentText(), "LAN");
  EXPECT_EQ(f.Combo("ComboBoxInterFace")->currentIndex(), lkEthernet);
  EXPECT_EQ(f.Combo("ComboBoxVersion")->currentText(), U("その他"));
  EXPECT_EQ(f.window->VersionItemIndex(), 4);
  // The Setup button still follows the ETHERNET row of the interface table.
  EXPECT_TRUE(f.Button("ButtonInterFace")->isEnabled());
  SwitchTo(f, 0);
  EXPECT_EQ(f.Combo("ComboBoxInterFace")->currentText(), "ETHERNET");
  EXPECT_EQ(f.Combo("ComboBoxVersion")->currentText(), "Other");

  f.Combo("ComboBoxVersion")->setCurrentIndex(1);
  SwitchTo(f, 1);
  EXPECT_EQ(f.Combo("ComboBoxVersion")->currentText(), "1.0D ~ 1.0E");
  EXPECT_EQ(f.Combo("ComboBoxVersion")->itemText(4), U("その他"));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.Combo("ComboBoxVersion")->itemText(i),
              (QStringList{"1.0B ~ 1.0C", "1.0D ~ 1.0E", "1.0F ~ 1.0I", "1.0J ~ 1.0T"}[i]));
  }
}

// The lists of the setting pages hold their fields' item texts, which the command line prints,
// in both languages.
TEST(MainWindowLanguageTest, SettingListsShowTheItemsOfTheFieldTexts) {
  WindowFixture f;
  for (int language : {1, 0}) {
    SwitchTo(f, language);
    int lists = 0;
    for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
      for (const BoundControl& control : PageControls(*f.window, part)) {
        const auto* list = qobject_cast<const QComboBox*>(control.widget);
        if (list == nullptr || control.row->items.empty()) continue;
        ++lists;
        QStringList expected, shown;
        for (const TextPair& item : control.row->items) {
          expected << U(TextFor(item, LanguageFromIndex(language)));
        }
        for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
        EXPECT_EQ(shown, expected) << control.row->key << " in language " << language;
      }
    }
    EXPECT_EQ(lists, 16);  // the 14 lists of the parameters, the socket port and DHCP
  }
}

TEST(MainWindowLanguageTest, ATypedVersionTextSurvivesTheSwitch) {
  WindowFixture f;
  QComboBox* version = f.Combo("ComboBoxVersion");
  version->setEditText("1.0X");
  SwitchTo(f, 1);
  EXPECT_EQ(version->currentText(), "1.0X");
  EXPECT_EQ(version->itemText(4), U("その他"));
}

TEST(MainWindowLanguageTest, LanguageListKeepsItsSelectionAndAnIndexAboveOneMeansJapanese) {
  WindowFixture f;
  SwitchTo(f, 1);
  EXPECT_EQ(f.Combo("ComboBoxLanguage")->currentText(), U("日本語"));
  SwitchTo(f, 0);
  EXPECT_EQ(f.Combo("ComboBoxLanguage")->currentText(), "English");
  f.Combo("ComboBoxLanguage")->addItem("Deutsch");
  SwitchTo(f, 2);
  EXPECT_EQ(f.window->CurrentLanguage(), Language::kJapanese);
  EXPECT_EQ(f.Button("ButtonInterFace")->text(), U("設定"));
}

TEST(MainWindowLanguageTest, LanguageChangeLeavesTheParameterBlockAlone) {
  WindowFixture f;
  const auto before = EncodeParameterBlock(testing::SaveRecords(*f.window, f.prompts).parameters);
  f.Combo("ComboBoxParity")->setCurrentIndex(2);
  SwitchTo(f, 1);
  EXPECT_EQ(f.Combo("ComboBoxParity")->currentText(), "ODD");
  EXPECT_EQ(EncodeParameterBlock(testing::SaveRecords(*f.window, f.prompts).parameters), before);
}

struct LocaleCase {
  const char* locale;
  int language;
};

TEST(MainWindowLanguageTest, OnlyAJapaneseInJapanLocaleStartsInJapanese) {
  const LocaleCase cases[] = {
      {"ja_JP.UTF-8", 1}, {"ja_JP", 1}, {"ja_JP.eucJP", 1}, {"en_US.UTF-8", 0},
      {"zh_CN.UTF-8", 0}, {"ja", 0},    {"C", 0},           {"", 0}};
  for (const auto& c : cases) {
    WindowFixture f(c.locale);
    EXPECT_EQ(f.window->CurrentLanguage(), LanguageFromIndex(c.language)) << c.locale;
    EXPECT_EQ(f.Combo("ComboBoxLanguage")->currentText(),
              c.language == 1 ? U("日本語") : QString("English"))
        << c.locale;
    EXPECT_EQ(f.Find<QGroupBox>("GroupBoxInterFace")->title(),
              c.language == 1 ? U("インターフェース") : QString("Interface"))
        << c.locale;
    EXPECT_EQ(f.window->findChild<QMenu*>("File1")->title(),
              c.language == 1 ? U("ファイル") : QString("File"))
        << c.locale;
  }
}

TEST(MainWindowLanguageTest, StatusTextKeepsItsLanguageUntilWrittenAgain) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkEthernet);
  f.fakes[lkEthernet]->Queue(
      "\x01"
      "0"
      "41"
      "0000000000");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_EQ(f.Edit("EditStatus")->text(), "ON LINE");
  SwitchTo(f, 1);
  EXPECT_EQ(f.Edit("EditStatus")->text(), "ON LINE");
  f.fakes[lkEthernet]->Queue(
      "\x01"
      "0"
      "41"
      "0000000000");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_EQ(f.Edit("EditStatus")->text(), U("オンライン"));
  SwitchTo(f, 0);
  EXPECT_EQ(f.Edit("EditStatus")->text(), U("オンライン"));
}

TEST(MainWindowLanguageTest, EveryTextFitsItsControlOnEveryPageInBothLanguages) {
  WindowFixture f;
  f.window->show();
  auto* pages = f.Find<QTabWidget>("PageControl1");
  for (int language : {0, 1}) {
    SwitchTo(f, language);
    QCoreApplication::processEvents();
    // The fixed client area holds the whole layout: nothing is squeezed below its minimum.
    QWidget* client = f.window->centralWidget();
    EXPECT_LE(client->minimumSizeHint().height(), client->height()) << "language " << language;
    EXPECT_LE(client->minimumSizeHint().width(), client->width()) << "language " << language;
    for (int page = 0; page < pages->count(); ++page) {
      pages->setCurrentIndex(page);
      QCoreApplication::processEvents();
      EXPECT_EQ(testing::ClippedTexts(f.window.get()).join("\n").toStdString(), "")
          << "language " << language << ", page " << page;
    }
    // The longest item of each list fits when it is the one selected.
    for (QComboBox* list : f.window->findChildren<QComboBox*>()) {
      if (!list->isVisible()) continue;
      const int selected = list->currentIndex();
      for (int i = 0; i < list->count(); ++i) {
        list->setCurrentIndex(i);
        EXPECT_LE(QFontMetrics(list->font()).horizontalAdvance(list->currentText()),
                  list->width() - testing::kListChrome)
            << list->objectName().toStdString() << " item " << i << " language " << language;
      }
      list->setCurrentIndex(selected);
    }
  }
}

// ---- Setup button and About menu -------------------------------------------------------------

QString Panel(const WindowFixture& f, int i) {
  return f.Find<QLabel>(QStringLiteral("StatusBar1Panel%1").arg(i).toLatin1().constData())->text();
}

void ChooseIn(QWidget* form, const char* list, const char* item) {
  QComboBox* box = form->findChild<QComboBox*>(QString::fromLatin1(list));
  ASSERT_NE(box, nullptr) << list;
  box->setCurrentIndex(box->findText(U(item)));
}

void ClickIn(QWidget* form, const char* button) {
  form->findChild<QPushButton*>(QString::fromLatin1(button))->click();
  testing::WaitIdle();
}

TEST(SetupButtonTest, SerialDialogEditsTheWindowsSettingsAndTheStatusBarFollows) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkCom);
  QTimer::singleShot(0, [] {
    ASSERT_NE(FormRs232Setup, nullptr);
    ChooseIn(FormRs232Setup, "ComboBoxComPort", "COM4");
    ChooseIn(FormRs232Setup, "ComboBoxBaudRate", "115200");
    ChooseIn(FormRs232Setup, "ComboBoxParity", "Odd");
    ClickIn(FormRs232Setup, "ButtonSet");
  });
  f.Button("ButtonInterFace")->click();
  testing::WaitIdle();
  EXPECT_EQ(FormRs232Setup, nullptr);
  EXPECT_EQ(f.session.Settings().Serial.PortName, "COM4");
  EXPECT_EQ(Panel(f, 1), "COM4 115200,O,8,1 RTS ");
}

TEST(SetupButtonTest, DialogsOpenInTheCurrentLanguageAndCancelStillRefreshesTheStatusBar) {
  WindowFixture f;
  SwitchTo(f, 1);
  f.Choose("ComboBoxInterFace", lkLpt);
  QString caption;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(FormLPTSetup, nullptr);
    caption = FormLPTSetup->windowTitle();
    ChooseIn(FormLPTSetup, "ComboBoxLPT", "LPT3");
    ClickIn(FormLPTSetup, "ButtonCancel");
  });
  f.session.Settings().LptName = "LPT2";  // shown only once the status bar is rewritten
  f.Button("ButtonInterFace")->click();
  testing::WaitIdle();
  EXPECT_EQ(caption, U("LPT 設定"));
  EXPECT_EQ(f.session.Settings().LptName, "LPT2");
  EXPECT_EQ(Panel(f, 0), "LPT2");
}

TEST(SetupButtonTest, NetDialogReportsAConversionErrorThroughTheWindowsPrompts) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkEthernet);
  QTimer::singleShot(0, [] {
    ASSERT_NE(FormNetSetup, nullptr);
    FormNetSetup->findChild<QLineEdit*>("EditIPAddr")->setText("192.168.10.20");
    FormNetSetup->findChild<QLineEdit*>("EditPort")->setText("abc");
    ClickIn(FormNetSetup, "ButtonSet");
    ASSERT_NE(FormNetSetup, nullptr);  // still open
    FormNetSetup->findChild<QLineEdit*>("EditPort")->setText("9100");
    ClickIn(FormNetSetup, "ButtonSet");
  });
  f.Button("ButtonInterFace")->click();
  testing::WaitIdle();
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "'abc' is not a valid integer value");
  EXPECT_EQ(f.session.Settings().Tcp.IPAddr, "192.168.10.20");
  EXPECT_EQ(f.session.Settings().Tcp.Port, 9100);
}

TEST(SetupButtonTest, UsbOpensNoDialog) {
  WindowFixture f;
  bool opened = false;
  QTimer::singleShot(0, [&] {
    for (QDialog* dialog :
         std::initializer_list<QDialog*>{FormRs232Setup, FormLPTSetup, FormNetSetup}) {
      if (dialog == nullptr) continue;
      opened = true;
      dialog->reject();
    }
  });
  f.session.Settings().LptName = "LPT4";
  f.window->ButtonInterFaceClick();  // the button itself is disabled on USB
  QCoreApplication::processEvents();
  EXPECT_FALSE(opened);
  EXPECT_EQ(Panel(f, 0), "LPT4");  // the status bar is rewritten all the same
}

TEST(AboutMenuTest, OpensTheAboutBoxWithTheVersion) {
  WindowFixture f("ja_JP.UTF-8");
  QString version;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(FormAbout, nullptr);
    version = FormAbout->findChild<QLabel*>("Label1")->text();
    ClickIn(FormAbout, "Button1");
  });
  f.window->findChild<QAction*>("About1")->trigger();
  EXPECT_EQ(version, "Version V0.18");
  EXPECT_EQ(FormAbout, nullptr);
}

}  // namespace
}  // namespace krt6
