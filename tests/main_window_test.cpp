// The main window on the offscreen platform, over in-memory links.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <limits>
#include <set>
#include <string>

#include "app/page_fields.h"
#include "dialogs/comm_log.h"
#include "dialogs/language.h"
#include "dialogs/rs232_setup.h"
#include "support/temp_dir.h"
#include "support/window_fixture.h"
#include "support/window_records.h"

namespace krt6 {
namespace {

using testing::WindowFixture;

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

QString Panel(const WindowFixture& f, int i) {
  return f.Find<QLabel>(QStringLiteral("StatusBar1Panel%1").arg(i).toLatin1().constData())->text();
}

TEST(MainWindowStartTest, WindowAndTopControls) {
  WindowFixture f;
  TFormMain& w = *f.window;
  EXPECT_EQ(w.windowTitle(), "K-RT6 Setting Tool");
  EXPECT_EQ(w.size(), QSize(610, 588));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_EQ(w.pos(), QPoint(60, 60));
  EXPECT_EQ(FormMain, &w);
  EXPECT_EQ(f.Find<QTabWidget>("PageControl1")->currentWidget()->objectName(), "TabSheet1");
  EXPECT_EQ(Items(f.Combo("ComboBoxInterFace")), QStringList({"USB", "COM", "LPT", "ETHERNET"}));
  EXPECT_EQ(f.Combo("ComboBoxInterFace")->currentIndex(), 0);
  EXPECT_FALSE(f.Button("ButtonInterFace")->isEnabled());
  EXPECT_TRUE(f.Button("ButtonGetStatus")->isEnabled());
  EXPECT_TRUE(f.Edit("EditStatus")->isReadOnly());
  EXPECT_EQ(f.Edit("EditStatus")->text(), "");
  EXPECT_EQ(Items(f.Combo("ComboBoxLanguage")), QStringList({"English", "Japanese"}));
  EXPECT_EQ(f.Combo("ComboBoxLanguage")->currentIndex(), 0);
  EXPECT_EQ(Items(f.Combo("ComboBoxVersion")),
            QStringList({"1.0B ~ 1.0C", "1.0D ~ 1.0E", "1.0F ~ 1.0I", "1.0J ~ 1.0T", "Other"}));
  EXPECT_EQ(f.Combo("ComboBoxVersion")->currentText(), "Other");
  EXPECT_TRUE(f.Combo("ComboBoxVersion")->isEditable());
  EXPECT_EQ(f.session.VersionIndex(), 4);
  EXPECT_EQ(w.CurrentLanguage(), Language::kEnglish);
}

TEST(MainWindowStartTest, ParameterPageInitialValues) {
  WindowFixture f;
  struct Row {
    const char* combo;
    int count;
    int current;
    const char* current_text;
  };
  const Row rows[] = {
      {"ComboBoxFontCode", 14, 0, "PC-850"},
      {"ComboBoxZeroCode", 2, 0, "NO SLASH"},
      {"ComboBoxSpeed", 7, 2, "9600 bps"},
      {"ComboBoxDataLeng", 2, 1, "8 bits"},
      {"ComboBoxStopBit", 2, 0, "1 bit"},
      {"ComboBoxParity", 3, 0, "NONE"},
      {"ComboBoxControl", 5, 2, "XON/XOFF + READY/BUSY (DTR) protocol"},
      {"ComboBoxDestination", 5, 0, "QM"},
      {"ComboBoxForwardWait", 2, 1, "ON"},
      {"ComboBoxCode", 3, 0, "Automatic selection"},
      {"ComboBoxFeedKey", 2, 0, "FEED"},
      {"ComboBoxAutoHome", 2, 0, "OFF"},
      {"ComboBoxAutoCalib", 2, 0, "OFF"},
      {"ComboBoxModelSelect", 2, 0, "DT"},
      {"ComboBoxBlankSpaceLen", 98, 0, "2"},
      {"ComboBoxSensor", 3, 0, "REFLECT."},
      {"ComboBoxSocketPort", 6, 1, "1"},
      {"ComboBoxDHCP", 2, 0, "OFF"},
  };
  for (const Row& r : rows) {
    QComboBox* c = f.Combo(r.combo);
    ASSERT_NE(c, nullptr) << r.combo;
    EXPECT_EQ(c->count(), r.count) << r.combo;
    EXPECT_EQ(c->currentIndex(), r.current) << r.combo;
    EXPECT_EQ(c->currentText(), r.current_text) << r.combo;
    EXPECT_FALSE(c->isEditable()) << r.combo;
  }
  EXPECT_EQ(f.Combo("ComboBoxControl")->itemText(0), f.Combo("ComboBoxControl")->itemText(3));
  EXPECT_EQ(f.Combo("ComboBoxBlankSpaceLen")->itemText(97), "99");
  EXPECT_EQ(Items(f.Combo("ComboBoxCode")),
            QStringList({"Automatic selection", "ESC, LF, NUL mode", "{, |, } mode"}));
  EXPECT_EQ(Items(f.Combo("ComboBoxFontCode")).join(','),
            "PC-850,PC-852,PC-857,PC-8,PC-851,PC-855,PC-1250,PC-1251,PC-1252,PC-1253,PC-1254,"
            "PC-1257,LATIN9,Arabic");
  struct EditRow {
    const char* edit;
    const char* text;
    int max_length;
  };
  const EditRow edits[] = {
      {"EditEuroCode", "B0", 2},
      {"EditXAdj", "0", 4},
      {"EditIPAddress1", "192", 3},
      {"EditIPAddress4", "20", 3},
      {"EditSubnetMask3", "255", 3},
      {"EditSubnetMask4", "0", 3},
      {"EditGeteway2", "0", 3},
      {"EditSocketPort", "8000", 5},
      {"EditDHCPID", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 32},
      {"EditDHCPHostName", "", 15},
  };
  for (const EditRow& e : edits) {
    QLineEdit* edit = f.Edit(e.edit);
    ASSERT_NE(edit, nullptr) << e.edit;
    EXPECT_EQ(edit->text(), e.text) << e.edit;
    EXPECT_EQ(edit->maxLength(), e.max_length) << e.edit;
  }
  // "Other" enables every version-dependent control.
  EXPECT_TRUE(f.Combo("ComboBoxDestination")->isEnabled());
  EXPECT_TRUE(f.Combo("ComboBoxBlankSpaceLen")->isEnabled());
  EXPECT_TRUE(f.Edit("EditDHCPHostName")->isEnabled());
}

TEST(MainWindowStartTest, LabelsNameTheirControls) {
  WindowFixture f;
  const std::pair<const char*, const char*> buddies[] = {
      {"LabelFontCode", "ComboBoxFontCode"},     {"LabelEuroCode", "EditEuroCode"},
      {"LabelXCoodinate", "EditXAdj"},           {"LabelModelSelect", "ComboBoxModelSelect"},
      {"LabelSensor", "ComboBoxSensor"},         {"LabelIPAddress", "EditIPAddress1"},
      {"LabelDHCPHostName", "EditDHCPHostName"}, {"LabelSocketPort", "ComboBoxSocketPort"},
  };
  for (const auto& [label, control] : buddies) {
    QLabel* l = f.Find<QLabel>(label);
    ASSERT_NE(l, nullptr) << label;
    ASSERT_NE(l->buddy(), nullptr) << label;
    EXPECT_EQ(l->buddy()->objectName(), control) << label;
  }
  EXPECT_EQ(f.Find<QLabel>("LabelModelSelect")->text(), "MODE SELECT");
}

// Every binding of the two pages names a field of its page's record and controls of the window
// that can show it, a label names the control it is bound with, and every field is bound but
// those no page shows.
TEST(PageBindingTest, BindingsNameFieldsAndControlsOfTheirPage) {
  WindowFixture f;
  const std::set<std::string> unshown = {"reserved1",      "reserved2",      "reserved3",
                                         "carried_value1", "carried_value2", "carried_adj"};
  for (const FieldPart part : {FieldPart::kParameters, FieldPart::kLan}) {
    std::set<std::string> bound;
    for (const ControlBinding& binding : PageBindings(part)) {
      ASSERT_NE(BoundField(part, binding), nullptr) << binding.key;
      bound.insert(binding.key);
      if (binding.label == nullptr) continue;
      const QWidget* buddy = f.Find<QLabel>(binding.label)->buddy();
      ASSERT_NE(buddy, nullptr) << binding.label;
      EXPECT_TRUE(buddy->objectName().startsWith(binding.control)) << binding.label;
    }
    for (const FieldRow& row : Fields()) {
      if (row.part != part) continue;
      EXPECT_NE(bound.contains(row.key), unshown.contains(row.key)) << row.key;
    }
    for (const BoundControl& control : PageControls(*f.window, part)) {
      const FieldKind kind = control.row->kind;
      const bool edit = qobject_cast<QLineEdit*>(control.widget) != nullptr;
      const bool list = qobject_cast<QComboBox*>(control.widget) != nullptr;
      if (control.binding->control == nullptr) {
        EXPECT_EQ(control.widget, nullptr) << control.row->key;
      } else if (kind == FieldKind::kText || kind == FieldKind::kAddress) {
        EXPECT_TRUE(edit) << control.row->key << " " << control.part;
      } else {
        EXPECT_TRUE(kind == FieldKind::kNumber ? edit || list : list) << control.row->key;
      }
    }
  }
}

// A list that shows no selection gathers as -1, which Set refuses; the destination as its first
// item.
TEST(PageBindingTest, ListsWithoutSelectionGatherAsMinusOneButTheDestination) {
  WindowFixture f;
  ParameterBlock block;
  block.ZeroCode = 9;
  block.Destination = 9;
  f.window->ShowParameters(block);
  f.window->ParametersFromControls(block);
  EXPECT_EQ(block.ZeroCode, -1);
  EXPECT_EQ(block.Destination, 0);
}

TEST(MainWindowStartTest, MenuAndStatusBar) {
  WindowFixture f;
  const QList<QAction*> top = f.window->menuBar()->actions();
  ASSERT_EQ(top.size(), 2);
  EXPECT_EQ(top[0]->text(), "File");
  ASSERT_NE(top[0]->menu(), nullptr);
  // The communication log joins the File menu, before Exit.
  ASSERT_EQ(top[0]->menu()->actions().size(), 2);
  EXPECT_EQ(top[0]->menu()->actions()[0]->text(), "Communication Log");
  EXPECT_EQ(top[0]->menu()->actions()[1]->text(), "Exit");
  EXPECT_EQ(top[1]->text(), "About");
  EXPECT_EQ(top[1]->menu(), nullptr);  // acts at once

  EXPECT_EQ(Panel(f, 0), "LPT1");
  EXPECT_EQ(Panel(f, 1), "COM1 9600,N,8,1 RTS ");
  EXPECT_EQ(Panel(f, 2), "");
  EXPECT_EQ(Panel(f, 3), "");  // until the first tick
  const int widths[4] = {80, 200, 150, 200};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(
        f.Find<QLabel>(QStringLiteral("StatusBar1Panel%1").arg(i).toLatin1().constData())->width(),
        widths[i]);
  }
}

TEST(MainWindowStartTest, ClockWritesPanelThreeAboutOnceASecond) {
  WindowFixture f;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Panel(f, 3).isEmpty(); }, 2500));
  const QString first = Panel(f, 3);
  EXPECT_TRUE(first.contains(QString::number(QDate::currentDate().year() % 100)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Panel(f, 3) != first; }, 2500));
}

TEST(MainWindowStartTest, JapaneseSystemStartsWithEvenParityAndDestinationJa) {
  WindowFixture ja("ja_JP.UTF-8");
  EXPECT_EQ(ja.window->CurrentLanguage(), Language::kJapanese);
  EXPECT_EQ(ja.Combo("ComboBoxLanguage")->currentIndex(), 1);
  EXPECT_EQ(ja.Combo("ComboBoxParity")->currentIndex(), 1);
  EXPECT_EQ(ja.Combo("ComboBoxDestination")->currentIndex(), 1);
  const testing::SavedRecords ja_records = testing::SaveRecords(*ja.window, ja.prompts);
  EXPECT_EQ(ja_records.parameters.Parity, 1);
  EXPECT_EQ(ja_records.parameters.Destination, 1);
  ja.window.reset();
  WindowFixture en("en_US.UTF-8");
  EXPECT_EQ(en.window->CurrentLanguage(), Language::kEnglish);
  EXPECT_EQ(en.Combo("ComboBoxParity")->currentText(), "NONE");
  EXPECT_EQ(en.Combo("ComboBoxDestination")->currentText(), "QM");
}

TEST(MainWindowStartTest, StartUpRecordsComeFromTheControls) {
  WindowFixture f;
  const testing::SavedRecords records = testing::SaveRecords(*f.window, f.prompts);
  const ParameterBlock& p = records.parameters;
  EXPECT_EQ(p.Speed, 2);
  EXPECT_EQ(p.Control, 2);
  EXPECT_EQ(p.ForwardWait, 1);
  EXPECT_STREQ(p.EuroCode, "B0");
  EXPECT_EQ(p.BlankSpaceLen, 2);
  EXPECT_EQ(p.CarriedValue1, 32);
  EXPECT_EQ(p.CarriedValue2, 32);
  EXPECT_EQ(p.CarriedAdj, 0);
  const LanSettings& lan = records.lan;
  EXPECT_EQ(lan.LanFlag, 1);
  EXPECT_EQ(lan.IpAddress[0], 192);
  EXPECT_EQ(lan.IpAddress[3], 20);
  EXPECT_EQ(lan.SubnetMask[2], 255);
  EXPECT_EQ(lan.SocketPort, 8000);
  EXPECT_EQ(lan.SocketPortMode, 1);
  EXPECT_EQ(std::string(lan.DhcpId), std::string(32, 'F'));
}

TEST(InterfaceChoiceTest, EnabledStatesFollowTheInterface) {
  WindowFixture f;
  struct Row {
    int item;
    bool setup;
    bool reads;
  };
  for (const Row& r : {Row{2, true, false}, Row{0, false, true}, Row{1, true, true},
                       Row{3, true, true}, Row{2, true, false}}) {
    f.Choose("ComboBoxInterFace", r.item);
    EXPECT_EQ(f.Button("ButtonInterFace")->isEnabled(), r.setup) << r.item;
    for (const char* b : {"ButtonGetStatus", "ButtonRead", "ButtonExRead"}) {
      EXPECT_EQ(f.Button(b)->isEnabled(), r.reads) << b << " item " << r.item;
    }
    for (const char* b : {"ButtonSet", "ButtonExSet", "ButtonCalibSensor"}) {
      EXPECT_TRUE(f.Button(b)->isEnabled()) << b;
    }
  }
}

TEST(InterfaceChoiceTest, ParameterListChangeReappliesTheTableForTheCurrentInterface) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkLpt);
  f.Button("ButtonGetStatus")->setEnabled(true);  // whatever enabled it, a list change resets it
  f.Choose("ComboBoxParity", 2);
  EXPECT_FALSE(f.Button("ButtonGetStatus")->isEnabled());
  EXPECT_FALSE(f.Button("ButtonRead")->isEnabled());
  EXPECT_FALSE(f.Button("ButtonExRead")->isEnabled());
  f.Choose("ComboBoxBlankSpaceLen", 5);
  EXPECT_FALSE(f.Button("ButtonRead")->isEnabled());
}

TEST(PortSummaryTest, ShowsTheSerialSettingsInTheirOrder) {
  WindowFixture f;
  SerialSettings& s = f.session.Settings().Serial;
  s = SerialSettings{"COM3", 3, 0, 2, 2, 2, 1};
  f.session.Settings().LptName = "LPT3";
  f.window->ShowPortSettings();
  EXPECT_EQ(Panel(f, 0), "LPT3");
  EXPECT_EQ(Panel(f, 1), "COM3 19200,E,7,2 RTS/CTS Xon/Xoff");
  s = SerialSettings{"COM4", 6, 1, 1, 0, 1, 0};
  f.window->ShowPortSettings();
  EXPECT_EQ(Panel(f, 1), "COM4 115200,O,8,1 RTS ");
  // The setup button rewrites the status bar whatever the interface.
  f.session.Settings().LptName = "LPT2";
  f.Choose("ComboBoxInterFace", lkCom);
  QTimer::singleShot(0, [] { FormRs232Setup->ButtonCancelClick(); });
  f.Button("ButtonInterFace")->click();
  testing::WaitIdle();
  EXPECT_EQ(Panel(f, 0), "LPT2");
}

TEST(GetStatusTest, FailedOpenShowsPortOpenErrorAndKeepsTheStatusText) {
  WindowFixture f;
  f.Edit("EditStatus")->setText("PAUSE");
  f.Button("ButtonGetStatus")->click();  // USB: the fake device is absent
  testing::WaitIdle();
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "Port Open Error");
  EXPECT_TRUE(f.prompts.messages[0].details.contains("fake device absent"));
  EXPECT_EQ(f.Edit("EditStatus")->text(), "PAUSE");
  EXPECT_TRUE(f.window->isEnabled());
  EXPECT_TRUE(f.Button("ButtonGetStatus")->isEnabled());
}

TEST(GetStatusTest, FailureMessageIsInTheCurrentLanguage) {
  WindowFixture f("ja_JP.UTF-8");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "ポートオープンエラー");
}

TEST(GetStatusTest, SuccessShowsTheStatusTextOverTheChosenLink) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkEthernet);
  f.fakes[lkEthernet]->Queue(
      "\x01"
      "0"
      "41"
      "0000000000");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(f.Edit("EditStatus")->text(), "ON LINE");
  EXPECT_EQ(f.fakes[lkEthernet]->WrittenText(), "{WS|}");
  EXPECT_EQ(f.fakes[lkEthernet]->closes, 1);
  EXPECT_TRUE(f.window->isEnabled());
  // An unknown status code is a success with an empty text.
  f.fakes[lkEthernet]->Queue(
      "\x01"
      "0"
      "08"
      "0000000000");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(f.Edit("EditStatus")->text(), "");
}

TEST(GetStatusTest, ShortReplyIsAReceivingError) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkCom);
  f.fakes[lkCom]->Queue(
      "\x01"
      "000");
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "Data Receiving Error");
  EXPECT_EQ(f.fakes[lkCom]->closes, 1);
  EXPECT_TRUE(f.window->isEnabled());
}

TEST(ExchangeFrameTest, WindowStaysAliveAndDisabledWhileThePrinterIsSlow) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkCom);
  f.fakes[lkCom]->fill_delay_ms = 400;
  f.fakes[lkCom]->fill_limit = 13;
  f.fakes[lkCom]->Queue(
      "\x01"
      "0"
      "00"
      "0000000000");
  int ticks = 0;
  bool disabled_during = false;
  bool second_refused = false;
  QTimer probe;
  probe.setInterval(50);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    ++ticks;
    if (f.window->ExchangeRunning()) {
      disabled_during = !f.window->isEnabled();
      // A second exchange cannot start while one runs.
      second_refused = !f.window->RunExchange([](Session&) { return Result{}; }, {}, true);
    }
  });
  probe.start();
  QElapsedTimer elapsed;
  elapsed.start();
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_GE(elapsed.elapsed(), 350);
  EXPECT_GE(ticks, 4);  // the event loop ran during the exchange
  EXPECT_TRUE(disabled_during);
  EXPECT_TRUE(second_refused);
  EXPECT_EQ(f.fakes[lkCom]->opens, 1);
  EXPECT_EQ(f.Edit("EditStatus")->text(), "ON LINE");
  EXPECT_TRUE(f.window->isEnabled());
}

TEST(ExchangeFrameTest, ClosingDuringAnExchangeFinishesItThenCloses) {
  WindowFixture f;
  f.window->show();
  f.Choose("ComboBoxInterFace", lkEthernet);
  f.fakes[lkEthernet]->fill_delay_ms = 300;
  f.fakes[lkEthernet]->Queue(
      "\x01"
      "0"
      "00"
      "0000000000");
  QTimer::singleShot(50, f.window.get(), [&] { f.window->close(); });
  f.Button("ButtonGetStatus")->click();
  testing::WaitIdle();
  EXPECT_TRUE(f.window->isVisible());  // not closed under the running exchange
  EXPECT_EQ(f.fakes[lkEthernet]->closes, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.window->isVisible(); }, 1000));
}

TEST(ExchangeFrameTest, AnErrorRaisedInsideAnOperationIsReportedNotThrown) {
  WindowFixture f;
  ResultCode rc = kSuccess;
  f.window->RunExchange([](Session&) -> Result { throw std::runtime_error("device vanished"); }, {},
                        false, [&](ResultCode result) { rc = result; });
  f.WaitIdle();
  EXPECT_EQ(rc, kUnknownError);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "Unknow Error");
  EXPECT_EQ(f.prompts.messages[0].details, "device vanished");
  EXPECT_TRUE(f.window->isEnabled());
}

TEST(VersionSelectorTest, TypingIsLimitedToFourCharactersButDeletingWorks) {
  WindowFixture f;
  QComboBox* version = f.Combo("ComboBoxVersion");
  QLineEdit* edit = version->lineEdit();
  f.Choose("ComboBoxVersion", 0);
  ASSERT_EQ(edit->text(), "1.0B ~ 1.0C");
  edit->end(false);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "1.0B ~ 1.0");
  EXPECT_EQ(f.window->VersionItemIndex(), -1);
  QTest::keyClick(edit, Qt::Key_X);  // longer than four characters: refused
  EXPECT_EQ(edit->text(), "1.0B ~ 1.0");
  edit->clear();
  QTest::keyClicks(edit, "1.0JK");
  EXPECT_EQ(edit->text(), "1.0J");
}

// Typed text stays as typed: neither inline completion nor a case-insensitive match turns a
// partial or differently cased text into an item, so Set asks for the version.
TEST(VersionSelectorTest, TypedTextStaysAsTypedAndSelectsNoItem) {
  WindowFixture f;
  QLineEdit* edit = f.Combo("ComboBoxVersion")->lineEdit();
  // Completion works on the field that has the keyboard focus, as when the operator types.
  f.window->show();
  f.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  edit->setFocus();
  ASSERT_TRUE(edit->hasFocus());
  for (const char* typed : {"1.0", "1.0b", "othe", "1.0B", "Othe"}) {
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->text(), typed);
    EXPECT_EQ(f.window->VersionItemIndex(), -1) << typed;
    EXPECT_EQ(f.session.VersionIndex(), -1) << typed;
  }
  f.window->ButtonSetClick();
  testing::WaitIdle();
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].text, "Select The Printer Version");
  // An item's exact text, typed, still selects it.
  edit->clear();
  QTest::keyClicks(edit, "Other");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(f.session.VersionIndex(), 4);
}

TEST(ShowParametersTest, BlankSpaceLengthFarOutsideTheListShowsNoSelection) {
  WindowFixture f;
  ParameterBlock block;
  for (std::int32_t value : {std::numeric_limits<std::int32_t>::min(), 1, 100,
                             std::numeric_limits<std::int32_t>::max()}) {
    block.BlankSpaceLen = value;
    f.window->ShowParameters(block);
    EXPECT_EQ(f.Combo("ComboBoxBlankSpaceLen")->currentIndex(), -1) << value;
  }
  block.BlankSpaceLen = 99;
  f.window->ShowParameters(block);
  EXPECT_EQ(f.Combo("ComboBoxBlankSpaceLen")->currentText(), "99");
}

TEST(ExitTest, ExitClosesTheWindow) {
  WindowFixture f;
  f.window->show();
  f.window->Exit1Click();
  EXPECT_FALSE(f.window->isVisible());
}

TEST(CommunicationLogTest, ShowsClearsAndSavesTheBytesOfTheExchanges) {
  WindowFixture f;
  f.Choose("ComboBoxInterFace", lkCom);
  f.fakes[lkCom]->Queue(
      "\x01"
      "0"
      "00"
      "0000000000");
  f.Button("ButtonGetStatus")->click();
  f.WaitIdle();
  QCoreApplication::processEvents();  // the trace arrives queued, like the result
  auto* log = f.window->findChild<TFormCommLog*>("FormCommLog");
  ASSERT_NE(log, nullptr);
  QAction* item = f.window->findChild<QAction*>("CommLog1");
  ASSERT_NE(item, nullptr);
  item->trigger();
  EXPECT_TRUE(log->isVisible());
  EXPECT_EQ(log->windowTitle(), "Communication Log");
  // The USB start-up query failed to open: only the status exchange on COM is in the log.
  const QStringList lines = log->Text().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2) << log->Text().toStdString();
  EXPECT_TRUE(lines[0].endsWith("  ->  7B 57 53 7C 7D  {WS|}")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith("  <-  01 30 30 30 30 30 30 30 30 30 30 30 30 30  .0000000000000"))
      << lines[1].toStdString();

  testing::TempDir dir;
  const QString path = QString::fromStdString(dir / "log.txt");
  f.prompts.file_names.push_back(path);
  EXPECT_TRUE(log->ButtonSaveClick());
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(saved.readAll()), log->Text() + "\n");
  EXPECT_EQ(f.prompts.file_requests.back().filter, "*.txt");
  log->ButtonClearClick();
  EXPECT_EQ(log->Text(), "");
  // Only the last lines are kept.
  for (int i = 0; i < TFormCommLog::kMaxLines + 5; ++i) {
    log->Append({lkCom, TraceDirection::kSent, {static_cast<std::uint8_t>('A' + i % 26)}, {}});
  }
  const QStringList kept = log->Text().split(QLatin1Char('\n'));
  EXPECT_EQ(kept.size(), TFormCommLog::kMaxLines);
  EXPECT_TRUE(kept.front().endsWith("->  46  F")) << kept.front().toStdString();  // the 6th
  EXPECT_TRUE(kept.back().endsWith("->  51  Q")) << kept.back().toStdString();    // the last

  f.Choose("ComboBoxLanguage", 1);
  EXPECT_EQ(item->text(), QString::fromUtf8("通信ログ"));
  EXPECT_EQ(log->windowTitle(), QString::fromUtf8("通信ログ"));
}

}  // namespace
}  // namespace krt6
