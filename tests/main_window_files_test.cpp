// Save and Load on both pages of the main window, with recorded file dialogs and real files.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "config/configuration.h"
#include "files/setting_files.h"
#include "support/child_wait.h"
#include "support/temp_dir.h"
#include "support/window_fixture.h"
#include "support/window_records.h"

namespace krt6 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::TempDir;
using testing::WindowFixture;
using testing::WriteBytes;

const char* const kParameterCombos[] = {
    "ComboBoxFontCode",    "ComboBoxZeroCode",    "ComboBoxSpeed",        "ComboBoxDataLeng",
    "ComboBoxStopBit",     "ComboBoxParity",      "ComboBoxControl",      "ComboBoxDestination",
    "ComboBoxForwardWait", "ComboBoxCode",        "ComboBoxFeedKey",      "ComboBoxAutoHome",
    "ComboBoxAutoCalib",   "ComboBoxModelSelect", "ComboBoxBlankSpaceLen"};
const char* const kParameterEdits[] = {"EditEuroCode", "EditXAdj"};
const char* const kLanCombos[] = {"ComboBoxSocketPort", "ComboBoxDHCP"};
const char* const kLanEdits[] = {
    "EditIPAddress1",  "EditIPAddress2",  "EditIPAddress3",  "EditIPAddress4", "EditSubnetMask1",
    "EditSubnetMask2", "EditSubnetMask3", "EditSubnetMask4", "EditGeteway1",   "EditGeteway2",
    "EditGeteway3",    "EditGeteway4",    "EditSocketPort",  "EditDHCPID",     "EditDHCPHostName"};

// Every control of a page as text, to compare pages.
template <std::size_t C, std::size_t E> QStringList Page(const WindowFixture& f,
                                                         const char* const (&combos)[C],
                                                         const char* const (&edits)[E]) {
  QStringList state;
  for (const char* name : combos) state << QString::number(f.Combo(name)->currentIndex());
  for (const char* name : edits) state << f.Edit(name)->text();
  return state;
}

std::int32_t Int32At(const Bytes& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes.at(offset + i);
  return static_cast<std::int32_t>(v);
}

TEST(WindowSaveTest, ParametersRightAfterStartUp) {
  WindowFixture f;
  TempDir dir;
  f.prompts.file_names.push_back(QString::fromStdString(dir / "start.ts0"));
  f.window->ButtonSaveClick();
  EXPECT_TRUE(f.prompts.messages.empty());
  const Bytes bytes = ReadBytes(dir / "start.ts0");
  ASSERT_EQ(bytes.size(), 92u);
  EXPECT_EQ(Bytes(bytes.begin() + 44, bytes.begin() + 48), (Bytes{'B', '0', 0, 0}));
  EXPECT_EQ(Int32At(bytes, 76), 32);
  EXPECT_EQ(Int32At(bytes, 80), 32);
  EXPECT_EQ(Int32At(bytes, 84), 0);
  // The English start-up record is the record's own default.
  const ParameterFileBytes defaults = EncodeParameterBlock(ParameterBlock{});
  EXPECT_EQ(bytes, Bytes(defaults.begin(), defaults.end()));
}

TEST(WindowSaveTest, LanSettingsWithTheInitialControls) {
  WindowFixture f;
  TempDir dir;
  f.prompts.file_names.push_back(QString::fromStdString(dir / "start.ts1"));
  f.window->ButtonExSaveClick();
  EXPECT_TRUE(f.prompts.messages.empty());
  const Bytes bytes = ReadBytes(dir / "start.ts1");
  ASSERT_EQ(bytes.size(), 107u);
  EXPECT_EQ(bytes[0], 1);
  const std::int32_t addresses[12] = {192, 168, 10, 20, 255, 255, 255, 0, 0, 0, 0, 0};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Int32At(bytes, 1 + 4 * i), addresses[i]) << i;
  EXPECT_EQ(Int32At(bytes, 49), 1);
  EXPECT_EQ(Int32At(bytes, 53), 8000);
  EXPECT_EQ(bytes[57], 0);
  EXPECT_EQ(std::string(bytes.begin() + 58, bytes.begin() + 91), std::string(32, 'F') + '\0');
  EXPECT_EQ(bytes[91], 0);
}

TEST(WindowSaveTest, DialogsAreSetUpAsEachPageNeedsAndShareTheSaveName) {
  WindowFixture f;
  TempDir dir;
  const QString a = QString::fromStdString(dir / "a.ts0");
  const QString b = QString::fromStdString(dir / "b.ts1");
  f.prompts.file_names = {a, b, QString(), QString(), a};
  f.window->ButtonSaveClick();    // chooses a
  f.window->ButtonExSaveClick();  // offered a, chooses b
  f.window->ButtonSaveClick();    // offered b, cancelled
  f.window->ButtonExLoadClick();  // cancelled
  f.window->ButtonLoadClick();    // loads a
  f.window->ButtonExLoadClick();  // cancelled; the open dialog starts empty again

  const auto& r = f.prompts.file_requests;
  ASSERT_EQ(r.size(), 6u);
  struct Want {
    bool save;
    const char* filter;
    const char* suffix;
    QString initial;
  };
  const Want want[] = {{true, "*.ts0;;*.json", "ts0", ""}, {true, "*.ts1;;*.json", "ts1", a},
                       {true, "*.ts0;;*.json", "ts0", b},  {false, "*.ts1;;*.json", "", ""},
                       {false, "*.ts0;;*.json", "", ""},   {false, "*.ts1;;*.json", "", ""}};
  for (std::size_t i = 0; i < r.size(); ++i) {
    EXPECT_EQ(r[i].save, want[i].save) << i;
    EXPECT_EQ(r[i].filter, want[i].filter) << i;
    EXPECT_EQ(r[i].default_suffix, want[i].suffix) << i;
    EXPECT_EQ(r[i].initial_name, want[i].initial) << i;
  }
  EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(WindowSaveTest, CancelledSaveStillRefreshesTheRecords) {
  WindowFixture f;
  f.Combo("ComboBoxFontCode")->setCurrentIndex(7);
  f.Edit("EditXAdj")->setText("-42");
  f.Edit("EditSocketPort")->setText("9100");
  f.window->ButtonSaveClick();
  f.window->ButtonExSaveClick();
  EXPECT_EQ(f.prompts.file_requests.size(), 2u);
  f.Combo("ComboBoxFontCode")->setCurrentIndex(0);
  f.Edit("EditXAdj")->setText("1");
  f.Edit("EditSocketPort")->setText("1");
  testing::ShowRecords(*f.window, f.prompts);
  EXPECT_EQ(f.Combo("ComboBoxFontCode")->currentIndex(), 7);
  EXPECT_EQ(f.Edit("EditXAdj")->text(), "-42");
  EXPECT_EQ(f.Edit("EditSocketPort")->text(), "9100");
}

TEST(WindowSaveTest, NonIntegerEndsTheSaveBeforeTheDialog) {
  struct Case {
    const char* edit;
    void (TFormMain::*handler)();
  };
  const Case cases[] = {{"EditSocketPort", &TFormMain::ButtonExSaveClick},
                        {"EditIPAddress3", &TFormMain::ButtonExSaveClick},
                        {"EditXAdj", &TFormMain::ButtonSaveClick}};
  for (const Case& c : cases) {
    WindowFixture f;
    TempDir dir;
    f.Edit(c.edit)->setText("1a");
    f.prompts.file_names.push_back(QString::fromStdString(dir / "x"));
    (f.window.get()->*c.handler)();
    ASSERT_EQ(f.prompts.messages.size(), 1u) << c.edit;
    EXPECT_EQ(f.prompts.messages[0].text, "'1a' is not a valid integer value");
    EXPECT_TRUE(f.prompts.file_requests.empty()) << c.edit;
    EXPECT_TRUE(dir.Names().empty()) << c.edit;
  }
}

TEST(WindowLoadTest, SavedParameterPageComesBackWhole) {
  WindowFixture f;
  TempDir dir;
  for (const char* name : kParameterCombos) {
    f.Combo(name)->setCurrentIndex(f.Combo(name)->count() - 1);
  }
  f.Edit("EditEuroCode")->setText("D5");
  f.Edit("EditXAdj")->setText("-999");
  const QStringList saved = Page(f, kParameterCombos, kParameterEdits);
  const QString path = QString::fromStdString(dir / "p.ts0");
  f.prompts.file_names = {path, path};
  f.window->ButtonSaveClick();

  for (const char* name : kParameterCombos) f.Combo(name)->setCurrentIndex(0);
  f.Edit("EditEuroCode")->setText("");
  f.Edit("EditXAdj")->setText("7");
  f.prompts.file_names.push_front({});  // a cancelled save: the record takes the page
  f.window->ButtonSaveClick();
  ASSERT_NE(Page(f, kParameterCombos, kParameterEdits), saved);

  f.window->ButtonLoadClick();
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(Page(f, kParameterCombos, kParameterEdits), saved);
}

TEST(WindowLoadTest, SavedLanPageComesBackWhole) {
  WindowFixture f;
  TempDir dir;
  const char* values[] = {"10", "1", "2", "3",   "255",  "255",     "0",        "0",
                          "10", "1", "2", "254", "9100", "ID-0042", "printer-7"};
  for (std::size_t i = 0; i < std::size(kLanEdits); ++i) f.Edit(kLanEdits[i])->setText(values[i]);
  f.Combo("ComboBoxSocketPort")->setCurrentIndex(5);
  f.Combo("ComboBoxDHCP")->setCurrentIndex(1);
  const QStringList saved = Page(f, kLanCombos, kLanEdits);
  const QString path = QString::fromStdString(dir / "l.ts1");
  f.prompts.file_names = {path, path};
  f.window->ButtonExSaveClick();

  for (const char* name : kLanEdits) f.Edit(name)->setText("0");
  f.Combo("ComboBoxSocketPort")->setCurrentIndex(0);
  f.Combo("ComboBoxDHCP")->setCurrentIndex(0);
  f.prompts.file_names.push_front({});  // a cancelled save: the record takes the page
  f.window->ButtonExSaveClick();

  f.window->ButtonExLoadClick();
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(Page(f, kLanCombos, kLanEdits), saved);
}

TEST(WindowLoadTest, ShortFilesChangeOnlyWhatTheyCover) {
  WindowFixture f;
  TempDir dir;
  // 76 bytes: XAdj from bytes 64-67, ModelSelect untouched.
  Bytes old76(76, 0);
  old76[64] = 0x85;  // -123
  old76[65] = old76[66] = old76[67] = 0xFF;
  WriteBytes(dir / "old.ts0", old76);
  f.Combo("ComboBoxModelSelect")->setCurrentIndex(1);
  f.window->ButtonSaveClick();  // cancelled: the record takes the page
  f.prompts.file_names.push_back(QString::fromStdString(dir / "old.ts0"));
  f.window->ButtonLoadClick();
  EXPECT_EQ(f.Edit("EditXAdj")->text(), "-123");
  EXPECT_EQ(f.Combo("ComboBoxModelSelect")->currentIndex(), 1);

  // An empty file changes nothing, and the page is shown again from the record.
  WriteBytes(dir / "empty.ts0", {});
  f.Combo("ComboBoxSpeed")->setCurrentIndex(6);  // not taken into the record
  f.prompts.file_names.push_back(QString::fromStdString(dir / "empty.ts0"));
  f.window->ButtonLoadClick();
  EXPECT_EQ(f.Combo("ComboBoxSpeed")->currentIndex(), 0);  // as the 76-byte file left it
  EXPECT_EQ(f.Edit("EditXAdj")->text(), "-123");

  // 49 bytes of an extra setting file: LanFlag and the addresses only.
  Bytes lan49(49, 0);
  for (int i = 0; i < 12; ++i) lan49[1 + 4 * i] = static_cast<std::uint8_t>(100 + i);
  WriteBytes(dir / "short.ts1", lan49);
  f.prompts.file_names.push_back(QString::fromStdString(dir / "short.ts1"));
  f.window->ButtonExLoadClick();
  LanSettings loaded{};
  loaded.LanFlag = 1;
  ASSERT_TRUE(LoadLanSettingsFile(dir / "short.ts1", loaded));
  EXPECT_EQ(loaded.LanFlag, 0);  // what the window's record took; no control shows it
  EXPECT_EQ(f.Edit("EditIPAddress1")->text(), "100");
  EXPECT_EQ(f.Edit("EditGeteway4")->text(), "111");
  EXPECT_EQ(f.Edit("EditSocketPort")->text(), "8000");
  EXPECT_EQ(f.Combo("ComboBoxSocketPort")->currentIndex(), 1);
  EXPECT_EQ(f.Edit("EditDHCPID")->text(), QString(32, QLatin1Char('F')));
  EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(WindowLoadTest, TextsWithoutNulShowOnlyTheirOwnField) {
  WindowFixture f;
  TempDir dir;
  Bytes ts1(107, 'H');
  WriteBytes(dir / "full.ts1", ts1);
  f.prompts.file_names.push_back(QString::fromStdString(dir / "full.ts1"));
  f.window->ButtonExLoadClick();
  EXPECT_EQ(f.Edit("EditDHCPID")->text(), QString(32, QLatin1Char('H')));
  EXPECT_EQ(f.Edit("EditDHCPHostName")->text(), QString(15, QLatin1Char('H')));
}

// The record's own bytes after the NUL of the DHCP ID and host name are kept by Save and Set,
// so a loaded file saves back byte-identical; they are never sent, whatever they hold.
TEST(WindowLoadTest, BytesAfterTheTextsNulSurviveSaveAndSet) {
  WindowFixture f;
  TempDir dir;
  LanSettingsFileBytes file = EncodeLanSettings(testing::SaveRecords(*f.window, f.prompts).lan);
  const char id[] = "ID\0|}{Z4;0 tail of an older ID!!";  // 33 bytes with the final NUL
  const char host[] =
      "host\0|}{Z10\x01"
      "xyz";  // 16 bytes
  static_assert(sizeof id == 33 && sizeof host == 16);
  std::memcpy(&file[58], id, sizeof id);
  std::memcpy(&file[91], host, sizeof host);
  WriteBytes(dir / "in.ts1", Bytes(file.begin(), file.end()));
  const QString out = QString::fromStdString(dir / "out.ts1");
  f.prompts.file_names = {QString::fromStdString(dir / "in.ts1"), out};
  f.window->ButtonExLoadClick();
  EXPECT_EQ(f.Edit("EditDHCPHostName")->text(), "host");
  f.window->ButtonExSaveClick();
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(ReadBytes(dir / "out.ts1"), Bytes(file.begin(), file.end()));
  f.window->ButtonExSetClick();  // no printer: the record is taken all the same
  testing::WaitIdle();
  const LanSettingsFileBytes record =
      EncodeLanSettings(testing::SaveRecords(*f.window, f.prompts).lan);
  EXPECT_EQ(Bytes(record.begin(), record.end()), Bytes(file.begin(), file.end()));
  EXPECT_EQ(f.prompts.messages.size(), 1u);  // the port open error, no refusal
}

// The window's reports of failed saves and loads: the message table's text, the path and the
// system's error in the details, and a record left as it was.
TEST(WindowFileErrorTest, DirectoryAndMissingFileAreReported) {
  for (const char* locale : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
    WindowFixture f(locale);
    TempDir dir;
    const QString expected = QString::fromUtf8(
        std::string(locale).starts_with("ja") ? "ファイルオープンエラー" : "File Open Error");
    ::mkdir((dir / "folder.ts0").c_str(), 0755);
    const QString folder = QString::fromStdString(dir / "folder.ts0");
    const QString missing = QString::fromStdString(dir / "missing.ts1");
    const Bytes before = [&] {
      const auto b = EncodeParameterBlock(testing::SaveRecords(*f.window, f.prompts).parameters);
      return Bytes(b.begin(), b.end());
    }();
    f.prompts.file_names = {folder, folder, missing};
    f.window->ButtonSaveClick();
    f.window->ButtonLoadClick();
    f.Edit("EditSocketPort")->setText("1");  // shown, not in the record
    f.window->ButtonExLoadClick();

    ASSERT_EQ(f.prompts.messages.size(), 3u) << locale;
    const QString reasons[] = {QString::fromLocal8Bit(std::strerror(EISDIR)),
                               QString::fromLocal8Bit(std::strerror(EISDIR)),
                               QString::fromLocal8Bit(std::strerror(ENOENT))};
    const QString paths[] = {folder, folder, missing};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(f.prompts.messages[i].text, expected) << i;
      EXPECT_TRUE(f.prompts.messages[i].details.contains(paths[i])) << i;
      EXPECT_TRUE(f.prompts.messages[i].details.contains(reasons[i]))
          << f.prompts.messages[i].details.toStdString();
    }
    EXPECT_EQ(f.Edit("EditSocketPort")->text(), "1");  // the page was not redrawn
    const auto after = EncodeParameterBlock(testing::SaveRecords(*f.window, f.prompts).parameters);
    EXPECT_EQ(Bytes(after.begin(), after.end()), before);
  }
}

TEST(WindowFileErrorTest, DeviceOrFifoIsNotLoaded) {
  WindowFixture f;
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.ts1").c_str(), 0600), 0);
  f.prompts.file_names = {QStringLiteral("/dev/zero"), QString::fromStdString(dir / "pipe.ts1")};
  f.Edit("EditXAdj")->setText("5");
  f.window->ButtonLoadClick();
  f.window->ButtonExLoadClick();
  ASSERT_EQ(f.prompts.messages.size(), 2u);
  for (const auto& message : f.prompts.messages) {
    EXPECT_EQ(message.text, "File Open Error");
    EXPECT_TRUE(message.details.contains("not a regular file")) << message.details.toStdString();
  }
  EXPECT_EQ(f.Edit("EditXAdj")->text(), "5");  // nothing was shown over the page
}

// Runs `body` in a forked child and hands back what it wrote as its report; `body` returning
// an empty text means it could not set itself up.
std::string InChild(const std::function<std::string()>& body) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    const std::string report = body();
    const ssize_t n = ::write(pipe_fds[1], report.data(), report.size());
    ::_exit(n == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  const std::string report = testing::ReadToEnd(pipe_fds[0], 30000);
  ::close(pipe_fds[0]);
  testing::WaitChild(child, 10000);
  return report;
}

std::string LastMessage(const WindowFixture& f) {
  if (f.prompts.messages.empty()) return "no message";
  return (f.prompts.messages.back().text + "\n" + f.prompts.messages.back().details).toStdString();
}

const Bytes kOld = {'o', 'l', 'd'};

TEST(WindowFileErrorTest, UnwritableFolderIsReportedAndKeepsTheOldFile) {
  WindowFixture f;
  TempDir dir;
  const std::string locked = dir / "locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  WriteBytes(locked + "/p.ts0", kOld);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);

  // Root writes anywhere: the save runs in a child that becomes the unprivileged "nobody".
  const std::string denied = InChild([&] {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      return std::string();
    }
    f.prompts.file_names.push_back(QString::fromStdString(locked + "/p.ts0"));
    f.window->ButtonSaveClick();
    return LastMessage(f);
  });
  if (denied.empty()) {
    GTEST_SKIP() << "cannot drop root privileges in this environment";
  }
  EXPECT_EQ(denied, "File Open Error\nCould not create " + locked +
                        "/p.ts0: " + std::strerror(EACCES) + " (errno 13)");
  EXPECT_EQ(ReadBytes(locked + "/p.ts0"), kOld);
  EXPECT_EQ(dir.Names(locked), std::vector<std::string>{"p.ts0"});
}

TEST(WindowFileErrorTest, FullDiskIsReportedAndKeepsTheOldFile) {
  WindowFixture f;
  TempDir dir;
  WriteBytes(dir / "l.ts1", kOld);
  // A 60-byte file size limit stands for a disk that fills in the middle of the 107 bytes.
  const std::string full = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{60, 60};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("setrlimit failed");
    f.prompts.file_names.push_back(QString::fromStdString(dir / "l.ts1"));
    f.window->ButtonExSaveClick();
    return LastMessage(f);
  });
  EXPECT_EQ(full, "File Open Error\nCould not write " + (dir / "l.ts1") + ": " +
                      std::strerror(EFBIG) + " (errno 27)");
  EXPECT_EQ(ReadBytes(dir / "l.ts1"), kOld);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"l.ts1"});
}

// The readable configuration (.json) on each page: the page's part only, through the library.
struct JsonPage {
  void (TFormMain::*save)();
  void (TFormMain::*load)();
  const char* part;     // the part the page writes and takes
  const char* other;    // the part it leaves
  const char* setting;  // the page's setting file
  QStringList (*state)(const WindowFixture&);
  std::function<void(const WindowFixture&)> change;  // sets every control of the page
};

QStringList ParameterPage(const WindowFixture& f) {
  return Page(f, kParameterCombos, kParameterEdits);
}
QStringList LanPage(const WindowFixture& f) { return Page(f, kLanCombos, kLanEdits); }

// A control's place in its page's state: lists first, then edits.
int PlaceOf(int page, const char* control) {
  const auto place = [control](const auto& combos, const auto& edits) {
    const auto c = std::find_if(std::begin(combos), std::end(combos),
                                [&](const char* n) { return std::strcmp(n, control) == 0; });
    if (c != std::end(combos)) return static_cast<int>(c - std::begin(combos));
    const auto e = std::find_if(std::begin(edits), std::end(edits),
                                [&](const char* n) { return std::strcmp(n, control) == 0; });
    return static_cast<int>(std::size(combos) + (e - std::begin(edits)));
  };
  return page == 0 ? place(kParameterCombos, kParameterEdits) : place(kLanCombos, kLanEdits);
}

const JsonPage kJsonPages[] = {{&TFormMain::ButtonSaveClick, &TFormMain::ButtonLoadClick,
                                "parameters", "lan", "p.ts0", ParameterPage,
                                [](const WindowFixture& f) {
                                  for (const char* name : kParameterCombos) {
                                    f.Combo(name)->setCurrentIndex(f.Combo(name)->count() - 1);
                                  }
                                  f.Edit("EditEuroCode")->setText("D|");
                                  f.Edit("EditXAdj")->setText("-999");
                                }},
                               {&TFormMain::ButtonExSaveClick, &TFormMain::ButtonExLoadClick, "lan",
                                "parameters", "l.ts1", LanPage, [](const WindowFixture& f) {
                                  const char* values[] = {
                                      "10", "1", "2", "3",   "255",  "255",      "0",       "0",
                                      "10", "1", "2", "254", "9100", "ID-|0042", "printer7"};
                                  for (std::size_t i = 0; i < std::size(kLanEdits); ++i) {
                                    f.Edit(kLanEdits[i])->setText(values[i]);
                                  }
                                  f.Combo("ComboBoxSocketPort")->setCurrentIndex(5);
                                  f.Combo("ComboBoxDHCP")->setCurrentIndex(1);
                                }}};

void Load(WindowFixture& f, const JsonPage& page, const std::string& path) {
  f.prompts.file_names.push_back(QString::fromStdString(path));
  (f.window.get()->*page.load)();
}

TEST(WindowJsonTest, EachPageSavesItsPartThatLoadsBackAndConvertsToItsSettingFile) {
  for (const JsonPage& page : kJsonPages) {
    WindowFixture a;
    TempDir dir;
    page.change(a);
    const QStringList saved = page.state(a);
    const std::string json = dir / "X.JSON";  // the extension in any case
    a.prompts.file_names = {QString::fromStdString(json),
                            QString::fromStdString(dir / page.setting)};
    (a.window.get()->*page.save)();
    (a.window.get()->*page.save)();
    ASSERT_TRUE(a.prompts.messages.empty()) << LastMessage(a);

    const auto document = nlohmann::json::parse(ReadBytes(json));
    EXPECT_TRUE(document.contains(page.part)) << page.part;
    EXPECT_FALSE(document.contains(page.other)) << page.part;

    WindowFixture b;
    ASSERT_NE(page.state(b), saved);
    Load(b, page, json);
    EXPECT_TRUE(b.prompts.messages.empty()) << LastMessage(b);
    EXPECT_EQ(page.state(b), saved) << page.part;

    // As `krt6ctl convert X.JSON c.ts0` writes it: the bytes of the page's own Save.
    const auto loaded = LoadConfiguration(json, Language::kEnglish, ValueUse::kStore);
    ASSERT_TRUE(std::holds_alternative<Configuration>(loaded)) << page.part;
    const std::string converted = dir / (std::string("c") + (page.setting + 1));
    ASSERT_TRUE(
        SaveConfiguration(converted, std::get<Configuration>(loaded), Language::kEnglish).Ok());
    EXPECT_EQ(ReadBytes(converted), ReadBytes(dir / page.setting)) << page.part;
  }
}

// Loads that change only what the file names for the page, and refusals that change nothing:
// neither the record nor the page, not even a value typed and not yet taken.
TEST(WindowJsonTest, LoadTakesThePagesNamedFieldsOrRefusesWithTheKey) {
  // What a refusal's details say, in each language; a case without one loads.
  struct Says {
    const char* english;
    const char* japanese;
  };
  const Says shows{"the page cannot show", "画面に表示できない"};
  const Says unknown{"unknown key", "不明なキー"};
  const Says twice{"given more than once", "複数回指定"};
  const Says json{"not valid JSON", "正しい JSON ではありません"};
  const Says no_parameters{R"(has no "parameters" part)", R"("parameters" の設定がありません)"};
  const Says no_lan{R"(has no "lan" part)", R"("lan" の設定がありません)"};
  struct Case {
    int page;  // into kJsonPages
    const char* document;
    const Says* says;  // the refusal, with the key first (kept in `key`), or null and ...
    const char* key;
    std::vector<std::pair<const char*, const char*>> changes;  // ... the controls change so
  };
  const char* const head = R"({"format": "krt6-settings", "version": 1, )";
  const Case cases[] = {
      {0,
       R"("parameters": {"comm_speed": "19200 bps"}, "lan": {"socket_port": 1}})",
       {},
       "",
       {{"ComboBoxSpeed", "3"}}},
      {1,
       R"("lan": {"socket_port": 9100, "dhcp_hostname": "L4"}, "parameters": {"code": 2}})",
       {},
       "",
       {{"EditSocketPort", "9100"}, {"EditDHCPHostName", "L4"}}},
      // No control shows these: the record keeps them, as from a setting file.
      {0, R"("parameters": {"reserved1": 5, "carried_adj": 7}})", {}, "", {}},
      {1, R"("lan": {"lan_flag": 0, "socket_port": 7}})", {}, "", {{"EditSocketPort", "7"}}},
      {0, R"("lan": {"socket_port": 1}})", &no_parameters, "", {}},
      {1, R"("parameters": {"code": 2}})", &no_lan, "", {}},
      {0, R"("parameters": {"font_code": {"raw": 14}}})", &shows, "parameters.font_code", {}},
      {0,
       R"("parameters": {"x_coordinate": {"raw": -1000}}})",
       &shows,
       "parameters.x_coordinate",
       {}},
      {0,
       R"("parameters": {"zero_code": 1, "euro_code": "ABC"}})",
       &shows,
       "parameters.euro_code",
       {}},
      {1, R"("lan": {"dhcp": {"raw": 2}}})", &shows, "lan.dhcp", {}},
      {1, R"("lan": {"subnet_mask": {"raw": [1000, 0, 0, 0]}}})", &shows, "lan.subnet_mask", {}},
      {1, R"("lan": {"socket_port_mode": {"raw": 6}}})", &shows, "lan.socket_port_mode", {}},
      {0, R"("parameters": {"comm_sped": 1}})", &unknown, "parameters.comm_sped", {}},
      {1, R"("lan": {"dhcp": "OFF", "dhcp": "ON"}})", &twice, "lan.dhcp", {}},
      {1, R"("lan": {)", &json, "", {}},
  };
  for (const char* locale : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
    const bool ja = std::string(locale).starts_with("ja");
    for (const Case& c : cases) {
      const JsonPage& page = kJsonPages[c.page];
      const std::string what = std::string(locale) + " " + c.document;
      WindowFixture f(locale);
      TempDir dir;
      WriteBytes(dir / "in.json", [&] {
        const std::string text = std::string(head) + c.document;
        return Bytes(text.begin(), text.end());
      }());
      const testing::SavedRecords records = testing::SaveRecords(*f.window, f.prompts);
      const bool refused = c.says != nullptr;
      if (refused) f.Edit(c.page == 0 ? "EditXAdj" : "EditDHCPID")->setText("5");  // not taken
      QStringList want[] = {ParameterPage(f), LanPage(f)};
      for (const auto& [control, value] : c.changes) {
        want[c.page][PlaceOf(c.page, control)] = QString::fromUtf8(value);
      }
      Load(f, page, dir / "in.json");
      EXPECT_EQ(ParameterPage(f), want[0]) << what;
      EXPECT_EQ(LanPage(f), want[1]) << what;
      if (!refused) {
        EXPECT_TRUE(f.prompts.messages.empty()) << what << LastMessage(f);
        continue;
      }
      if (f.prompts.messages.size() != 1u) {
        ADD_FAILURE() << what << ": " << f.prompts.messages.size() << " messages";
        continue;
      }
      EXPECT_EQ(f.prompts.messages[0].text,
                QString::fromUtf8(ja ? "ファイルオープンエラー" : "File Open Error"));
      const QString& details = f.prompts.messages[0].details;
      EXPECT_TRUE(details.startsWith(QString::fromLatin1(c.key)) &&
                  details.contains(QString::fromUtf8(ja ? c.says->japanese : c.says->english)))
          << what << LastMessage(f);
      const testing::SavedRecords after = testing::SaveRecords(*f.window, f.prompts);
      EXPECT_EQ(EncodeParameterBlock(after.parameters), EncodeParameterBlock(records.parameters))
          << what;
      EXPECT_EQ(EncodeLanSettings(after.lan), EncodeLanSettings(records.lan)) << what;
    }
  }
}

}  // namespace
}  // namespace krt6
