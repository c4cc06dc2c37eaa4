// The main window over the real links against the printer emulator: a serial line on a pseudo
// terminal and a TCP connection on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "emulator/emulator.h"
#include "link/link_kinds.h"
#include "link/tcp_link.h"
#include "support/loopback.h"
#include "support/os_bench.h"
#include "support/recording_prompts.h"
#include "support/window_fixture.h"

namespace krt6 {
namespace {

using emulator::Emulator;
using emulator::EmulatorOptions;
using emulator::Transport;

struct RealWindow {
  testing::RecordingPrompts prompts;
  std::shared_ptr<testing::MapPorts> ports = std::make_shared<testing::MapPorts>();
  LinkMaker replace;  // backends put in place of the system's (none: the system's)
  Session session;
  std::unique_ptr<TFormMain> window;

  explicit RealWindow(LinkMaker replace_links = {})
      : replace(std::move(replace_links)),
        session([this](LinkKind kind, const LinkSettings& settings) {
          std::unique_ptr<LinkBackend> backend = replace ? replace(kind, settings) : nullptr;
          if (backend) return backend;
          SystemLinkOptions o;
          o.Ports = ports;
          o.Usb = std::make_shared<testing::NoUsb>();
          return MakeSystemLink(kind, settings, o);
        }) {
    window = std::make_unique<TFormMain>(session, prompts, "en_US.UTF-8");
    testing::WaitIdle();
  }
  void ChooseInterface(int kind) const {
    auto* c = window->findChild<QComboBox*>("ComboBoxInterFace");
    c->setCurrentIndex(kind);
    emit c->activated(kind);
  }
  void GetStatus() const {
    window->findChild<QPushButton*>("ButtonGetStatus")->click();
    testing::WaitIdle();
  }
  QString Status() const { return window->findChild<QLineEdit*>("EditStatus")->text(); }
};

TEST(MainWindowLinksTest, GetStatusOverComShowsOnLine) {
  EmulatorOptions o;
  o.Kind = Transport::kPty;
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  RealWindow w;
  w.ports->Serial["COM1"] = emu.DevicePath();
  w.ChooseInterface(lkCom);
  w.GetStatus();
  EXPECT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.Status(), "ON LINE");
  EXPECT_EQ(emu.CommandTexts(), std::vector<std::string>{"WS"});
  EXPECT_TRUE(w.window->isEnabled());
}

// A link failure's message carries the cause's hint from the link kind, the one krt6ctl's JSON
// names by its key.
TEST(MainWindowLinksTest, AFailedOpenShowsTheHintOfItsCause) {
  // A port the kernel handed out and nobody listens on any more: the connection is refused.
  const int port = testing::ClosedLoopbackPort();
  ASSERT_NE(port, 0);
  struct Case {
    LinkKind kind;
    Cause cause;
  };
  for (const Case c : {Case{lkEthernet, Cause::kRefused}, Case{lkCom, Cause::kNotFound}}) {
    SCOPED_TRACE(LinkKindName(c.kind));
    RealWindow w;  // no COM port is mapped
    w.session.Settings().Tcp.IPAddr = "127.0.0.1";
    w.session.Settings().Tcp.Port = port;
    w.ChooseInterface(c.kind);
    w.GetStatus();
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    const std::string details = w.prompts.messages[0].details.toStdString();
    const std::string hint = FindLinkKind(c.kind)->hint(c.cause);
    ASSERT_FALSE(hint.empty());
    EXPECT_NE(details.find(hint), std::string::npos) << details;
    EXPECT_NE(details.find("Open failed (" + std::string(LinkKindName(c.kind)) + ")"),
              std::string::npos)
        << details;
  }
}

TEST(MainWindowLinksTest, GetStatusOverEthernetShowsOnLine) {
  EmulatorOptions o;
  o.Port = 0;
  o.Printer.Status[0] = '1';
  o.Printer.Status[1] = '4';
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  RealWindow w;
  w.session.Settings().Tcp.IPAddr = "127.0.0.1";
  w.session.Settings().Tcp.Port = emu.Port();
  w.ChooseInterface(lkEthernet);
  w.GetStatus();
  EXPECT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.Status(), "NO RIBBON");
  emu.SetFaults({});
  emu.Stop();
  EmulatorOptions online;
  online.Port = 0;
  Emulator second(online);
  ASSERT_TRUE(second.Start(error)) << error;
  w.session.Settings().Tcp.Port = second.Port();  // a setup edit takes effect at the next exchange
  w.GetStatus();
  EXPECT_EQ(w.Status(), "ON LINE");
  EXPECT_EQ(second.Connections(), 1);
}

TEST(MainWindowLinksTest, ParameterReadOverEthernetDetectsTheFirmwareAndShowsTheBlock) {
  EmulatorOptions o;
  o.Port = 0;
  o.Printer.Firmware = "1.0G";
  o.Printer.Parameters2.replace(11, 4, "-012");  // XAdj
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  RealWindow w;
  w.session.Settings().Tcp.IPAddr = "127.0.0.1";
  w.session.Settings().Tcp.Port = emu.Port();
  w.ChooseInterface(lkEthernet);
  w.window->findChild<QPushButton*>("ButtonRead")->click();
  testing::WaitIdle();
  EXPECT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.window->findChild<QComboBox*>("ComboBoxVersion")->currentText(), "1.0F ~ 1.0I");
  EXPECT_EQ(w.window->findChild<QLineEdit*>("EditXAdj")->text(), "-12");
  EXPECT_EQ(emu.CommandTexts(), (std::vector<std::string>{"WV", "Z5;0", "Z5;1"}));
}

// A printer whose replies carry framing characters in the host name, the DHCP ID and the Euro
// code: the window shows them as read and refuses to set them back; once corrected, the printer
// receives exactly the commands of each Set and nothing else.
TEST(MainWindowLinksTest, RepliedTextsThatCouldBreakTheFramingAreShownButNotSetBack) {
  EmulatorOptions o;
  o.Port = 0;
  o.Printer.Lan.HostName = "ab|}{Z4;0";
  o.Printer.Lan.DhcpId = "ID|}{WT;1000,1";
  o.Printer.Parameters1.replace(16, 2, "|}");  // the Euro code
  Emulator emu(o);
  std::string error;
  ASSERT_TRUE(emu.Start(error)) << error;
  RealWindow w;
  w.session.Settings().Tcp.IPAddr = "127.0.0.1";
  w.session.Settings().Tcp.Port = emu.Port();
  w.ChooseInterface(lkEthernet);
  auto click = [&](const char* name) {
    w.window->findChild<QPushButton*>(name)->click();
    testing::WaitIdle();
  };
  auto edit = [&](const char* name) { return w.window->findChild<QLineEdit*>(name); };

  click("ButtonExRead");
  click("ButtonRead");
  EXPECT_EQ(edit("EditDHCPHostName")->text(), "ab|}{Z4;0");
  EXPECT_EQ(edit("EditDHCPID")->text(), "ID|}{WT;1000,1" + QString(18, QLatin1Char(' ')));
  EXPECT_EQ(edit("EditEuroCode")->text(), "|}");
  click("ButtonExSet");
  click("ButtonSet");
  edit("EditDHCPID")->setText("ID");
  click("ButtonExSet");
  QStringList messages;
  for (const auto& m : w.prompts.messages) messages << m.text.section(' ', 3, 4);
  EXPECT_EQ(messages, QStringList({"DHCP ID", "EURO CODE", "DHCP HOSTNAME"}));
  const std::vector<std::string> reads = {"Z5;3", "WV", "Z5;0", "Z5;1"};
  EXPECT_EQ(emu.CommandTexts(), reads);

  edit("EditDHCPHostName")->setText("ab");
  edit("EditEuroCode")->setText("D5");
  click("ButtonExSet");
  click("ButtonSet");
  EXPECT_EQ(w.prompts.messages.size(), 3u);
  const std::vector<std::string> texts = emu.CommandTexts();
  ASSERT_EQ(texts.size(), reads.size() + 7 + 4);
  EXPECT_EQ(texts[8], "IH;0," + std::string(30, ' ') + "ID");
  EXPECT_EQ(texts[9], "ZW01;ab");
  EXPECT_EQ(texts[12].substr(21, 2), "D5");
}

TEST(MainWindowLinksTest, MissingDeviceShowsPortOpenErrorWithPathAndSystemError) {
  RealWindow w;
  w.ports->Serial["COM1"] = "/dev/krt6-absent-tty";
  w.ChooseInterface(lkCom);
  w.window->findChild<QLineEdit*>("EditStatus")->setText("PAUSE");
  w.GetStatus();
  ASSERT_EQ(w.prompts.messages.size(), 1u);
  EXPECT_EQ(w.prompts.messages[0].text, "Port Open Error");
  EXPECT_TRUE(w.prompts.messages[0].details.contains("/dev/krt6-absent-tty"))
      << w.prompts.messages[0].details.toStdString();
  EXPECT_TRUE(w.prompts.messages[0].details.contains("No such file or directory"));
  EXPECT_EQ(w.Status(), "PAUSE");
  EXPECT_TRUE(w.window->isEnabled());
}

// A printer that sends one junk byte every 0.9 s: each read gets something in time, so the
// exchange would only end at the reply limit, 10 s after the command.
std::unique_ptr<Emulator> StartPrinter(bool trickling) {
  EmulatorOptions o;
  o.Port = 0;
  if (trickling) {
    o.Spoil.Noise = std::string(40, 'x');
    o.Spoil.TrickleMs = 900;
  }
  auto emu = std::make_unique<Emulator>(o);
  std::string error;
  if (!emu->Start(error)) ADD_FAILURE() << error;
  return emu;
}

TEST(MainWindowLinksTest, EscCancelsTheRunningExchangeAndTheRestOfItsHandler) {
  struct Case {
    int language;
    const char* expected;
    const char* button;
  };
  // Read runs the firmware query, then its own exchange: the cancel ends both. Set with no
  // version chosen would refuse after its query; a cancelled query ends Set without that.
  for (const auto& [language, expected, button] :
       {Case{0, "Cancelled", "ButtonRead"}, Case{1, "中止しました", "ButtonSet"}}) {
    auto emu = StartPrinter(true);
    RealWindow w;
    w.window->show();
    w.session.Settings().Tcp.IPAddr = "127.0.0.1";
    w.session.Settings().Tcp.Port = emu->Port();
    w.ChooseInterface(lkEthernet);
    auto* languages = w.window->findChild<QComboBox*>("ComboBoxLanguage");
    languages->setCurrentIndex(language);
    emit languages->activated(language);
    bool busy_during = false;
    QElapsedTimer elapsed;
    QTimer::singleShot(300, w.window.get(), [&] {
      const QCursor* cursor = QApplication::overrideCursor();
      busy_during = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
      QTest::keyClick(w.window->windowHandle(), Qt::Key_Escape);
    });
    QLineEdit* version = w.window->findChild<QComboBox*>("ComboBoxVersion")->lineEdit();
    version->setText("1.0");
    emit version->textEdited("1.0");
    elapsed.start();
    w.window->findChild<QPushButton*>(button)->click();
    testing::WaitIdle();
    EXPECT_LT(elapsed.elapsed(), 700);
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_EQ(w.prompts.messages[0].text, QString::fromUtf8(expected));
    EXPECT_EQ(emu->CommandTexts(), std::vector<std::string>{"WV"});
    EXPECT_TRUE(busy_during);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(w.window->isEnabled());
    // The next button runs its exchange as usual.
    auto answering = StartPrinter(false);
    w.session.Settings().Tcp.Port = answering->Port();
    w.prompts.messages.clear();
    w.GetStatus();
    EXPECT_TRUE(w.prompts.messages.empty());
    EXPECT_EQ(w.Status(), QString::fromUtf8(language == 0 ? "ON LINE" : "オンライン"));
  }
}

// The real TCP link, noting when it is closed.
class ClosingClock final : public LinkBackend {
 public:
  ClosingClock(QElapsedTimer& closed, const TcpSettings& settings)
      : tcp_(TcpTimings{}, settings), closed_(closed) {}
  LinkHandle Open(Result& failure) override {
    tcp_.AttachCancelToken(Cancellation());
    return tcp_.Open(failure);
  }
  std::size_t Write(LinkHandle h, const std::uint8_t* data, std::size_t size,
                    Result& failure) override {
    return tcp_.Write(h, data, size, failure);
  }
  std::size_t Fill(LinkHandle h, std::uint8_t* out, std::size_t capacity,
                   std::chrono::steady_clock::time_point until, Result& failure) override {
    return tcp_.Fill(h, out, capacity, until, failure);
  }
  void Close(LinkHandle h) override {
    tcp_.Close(h);
    closed_.start();
  }
  LinkCapabilities Capabilities() const override { return tcp_.Capabilities(); }

 private:
  TcpLink tcp_;
  QElapsedTimer& closed_;
};

TEST(MainWindowLinksTest, ClosingDuringAnExchangeClosesTheLinkWithinASecondAndTheWindow) {
  auto emu = StartPrinter(true);
  QElapsedTimer link_closed;
  RealWindow w([&](LinkKind kind, const LinkSettings& settings) -> std::unique_ptr<LinkBackend> {
    if (kind != lkEthernet) return nullptr;
    return std::make_unique<ClosingClock>(link_closed, settings.Tcp);
  });
  w.window->show();
  w.session.Settings().Tcp.IPAddr = "127.0.0.1";
  w.session.Settings().Tcp.Port = emu->Port();
  w.ChooseInterface(lkEthernet);
  QElapsedTimer since_close;
  QTimer::singleShot(300, w.window.get(), [&] {
    since_close.start();
    w.window->close();
  });
  w.GetStatus();
  ASSERT_TRUE(link_closed.isValid());
  EXPECT_LT(since_close.elapsed() - link_closed.elapsed(), 1000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.window->isVisible(); },
                              1000 - static_cast<int>(since_close.elapsed())));
  EXPECT_TRUE(w.prompts.messages.empty());  // the window closes without a message
}

}  // namespace
}  // namespace krt6
