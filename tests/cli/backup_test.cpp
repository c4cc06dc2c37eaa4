// krt6ctl backup and restore: a fleet backed up, changed by hand and restored to what it was; a
// dead printer failing alone; the refusals of a backup that is no backup before anything is sent;
// safe and distinct file names.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cli/backup_index.h"
#include "cli/fleet.h"
#include "cli/target.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace krt6 {
namespace {

using testing::RefusedTarget;

using cli_test::CtlRun;
using cli_test::json;
using cli_test::Krt6ctl;
using cli_test::TcpTarget;

json ReadJson(const std::string& path) { return json::parse(cli_test::ReadText(path)); }

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The settings a printer holds now, as get all reads them.
json Settings(const std::string& target) {
  const CtlRun run = Krt6ctl({"--json", "-t", target, "get", "all"});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto lines = run.Lines();
  return lines.empty() ? json() : lines[0]["data"];
}

std::set<std::string> ChangedKeys(const json& changes) {
  std::set<std::string> keys;
  for (const json& change : changes) keys.insert(change["key"].get<std::string>());
  return keys;
}

// Three printers with their own settings backed up, two changed by hand (one of them in its
// identity), restored: each holds its backup again, the changes in the output and the history.
TEST(BackupTest, FleetRestoredToItsBackup) {
  auto fleet = cli_test::Tcp(3);
  std::vector<std::string> targets;
  for (int i = 0; i < 3; ++i) targets.push_back(TcpTarget(*fleet, i));
  // Beyond the addresses and host names --vary gives, a serial speed of each printer's own.
  ASSERT_EQ(Krt6ctl({"-t", targets[1], "set", "comm_speed=19200"}).status, 0);
  ASSERT_EQ(Krt6ctl({"-t", targets[2], "set", "comm_speed=38400", "parity=EVEN"}).status, 0);
  std::vector<json> before;
  for (const std::string& target : targets) before.push_back(Settings(target));
  ASSERT_NE(before[0], before[1]);
  ASSERT_NE(before[1], before[2]);

  testing::TempDir dir;
  const std::string folder = dir / "nested/backup";
  const std::string history = dir / "history.jsonl";
  const CtlRun backup = Krt6ctl({"--json", "--history", history, "-t", targets[0], "-t", targets[1],
                                 "-t", targets[2], "backup", folder});
  ASSERT_EQ(backup.status, 0) << backup.err;
  struct stat made {};
  ASSERT_EQ(::stat(folder.c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0700u);
  EXPECT_FALSE(std::filesystem::exists(history)) << "a backup writes to no printer";

  const json index = ReadJson(folder + "/index.json");
  EXPECT_EQ(index["format"], "krt6-backup");
  EXPECT_EQ(index["version"], 1);
  ASSERT_EQ(index["targets"].size(), 3u) << index;
  const auto lines = backup.Lines();
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const json& entry = index["targets"][i];
    EXPECT_EQ(entry["target"], targets[i]);
    EXPECT_EQ(entry["firmware"], "1.0J");
    const std::string time = entry["time"];
    EXPECT_EQ(time.size(), 24u) << time;
    EXPECT_EQ(time.substr(10, 1) + time.substr(23), "TZ") << time;
    EXPECT_EQ(lines[i]["command"], "backup");
    EXPECT_EQ(lines[i]["data"]["file"], entry["file"]);
    // The file is the document get all reads.
    EXPECT_EQ(ReadJson(folder + "/" + entry["file"].get<std::string>()), before[i]) << i;
  }

  // By hand: a speed on the first, an address and a host name on the third.
  ASSERT_EQ(Krt6ctl({"-t", targets[0], "set", "comm_speed=57600"}).status, 0);
  ASSERT_EQ(
      Krt6ctl({"-t", targets[2], "set", "ip_address=10.1.2.3", "dhcp_hostname=BYHAND"}).status, 0);
  fleet->ClearLog();

  // --check: the changes shown, nothing written, no history.
  const CtlRun check = Krt6ctl({"--json", "--history", history, "restore", folder, "--check"});
  EXPECT_EQ(check.status, 0) << check.err;
  ASSERT_EQ(check.Lines().size(), 3u) << check.out;
  EXPECT_EQ(ChangedKeys(check.Lines()[0]["changes"]),
            (std::set<std::string>{"parameters.comm_speed"}));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(cli_test::Sets(*fleet, i).empty()) << i;
  EXPECT_FALSE(std::filesystem::exists(history));

  const CtlRun restore =
      Krt6ctl({"--json", "--history", history, "restore", folder, "--batch", "2"});
  ASSERT_EQ(restore.status, 0) << restore.err;
  const auto restored = restore.Lines();
  ASSERT_EQ(restored.size(), 3u) << restore.out;
  const std::set<std::string> expected[] = {
      {"parameters.comm_speed"}, {}, {"lan.dhcp_hostname", "lan.ip_address"}};
  for (std::size_t i = 0; i < 3; ++i) {
    cli_test::ExpectContract(restored[i], "restore", 0);
    EXPECT_EQ(restored[i]["target"], targets[i]);
    EXPECT_EQ(restored[i]["changed"], !expected[i].empty()) << restored[i];
    EXPECT_EQ(ChangedKeys(restored[i]["changes"]), expected[i]) << restored[i];
    EXPECT_EQ(Settings(targets[i]), before[i]) << i;
  }
  EXPECT_TRUE(cli_test::Sets(*fleet, 1).empty()) << "an unchanged printer gets no write";
  std::ifstream in(history);
  std::vector<json> entries;
  for (std::string line; std::getline(in, line);) entries.push_back(json::parse(line));
  ASSERT_EQ(entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[i]["command"], "restore");
    EXPECT_EQ(entries[i]["target"], targets[i]);
    EXPECT_EQ(ChangedKeys(entries[i]["changes"]), expected[i]) << entries[i];
  }

  // -t restores only the printers named (by the printer, however written).
  ASSERT_EQ(Krt6ctl({"-t", targets[1], "set", "comm_speed=2400"}).status, 0);
  ASSERT_EQ(Krt6ctl({"-t", targets[0], "set", "comm_speed=2400"}).status, 0);
  const std::string other = "127.0.0.1:" + std::to_string(fleet->Port(1));
  const CtlRun one = Krt6ctl({"--json", "--no-history", "-t", other, "restore", folder});
  EXPECT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(one.Lines().size(), 1u);
  EXPECT_EQ(one.Lines()[0]["target"], targets[1]);
  EXPECT_EQ(Settings(targets[1]), before[1]);
  EXPECT_NE(Settings(targets[0]), before[0]);
}

// Failing targets: in a backup they get no file and no entry; in a restore a printer that no
// longer answers fails alone.
TEST(BackupTest, FailingTargetsFailAlone) {
  auto fleet = cli_test::Tcp(2);
  auto single = cli_test::Tcp(1);
  const std::vector<std::string> targets{TcpTarget(*fleet, 0), TcpTarget(*fleet, 1),
                                         TcpTarget(*single)};
  const std::string refused = RefusedTarget();
  testing::TempDir dir;
  const std::string folder = dir / "backup";
  const CtlRun backup = Krt6ctl({"--json", "-t", targets[0], "-t", refused, "-t", targets[1], "-t",
                                 "parallel:/dev/null", "-t", targets[2], "backup", folder});
  EXPECT_EQ(backup.status, 1) << backup.err;
  const auto lines = backup.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1]["cause"], "refused");
  EXPECT_EQ(lines[3]["code"], cli::kCannotDo);
  const json index = ReadJson(folder + "/index.json");
  ASSERT_EQ(index["targets"].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(index["targets"][i]["target"], targets[i]);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 4);

  const json first = Settings(targets[0]);
  ASSERT_EQ(Krt6ctl({"-t", targets[0], "set", "parity=ODD"}).status, 0);
  single->Stop();
  const std::string history = dir / "history.jsonl";
  const CtlRun restore = Krt6ctl({"--json", "--history", history, "restore", folder});
  EXPECT_EQ(restore.status, 1) << restore.err;
  const auto restored = restore.Lines();
  ASSERT_EQ(restored.size(), 3u);
  EXPECT_EQ(restored[0]["ok"], true);
  EXPECT_EQ(ChangedKeys(restored[0]["changes"]), (std::set<std::string>{"parameters.parity"}));
  EXPECT_EQ(restored[1]["ok"], true);
  EXPECT_EQ(restored[2]["ok"], false);
  EXPECT_EQ(restored[2]["cause"], "refused");
  EXPECT_EQ(Settings(targets[0]), first);
  const std::string lines_kept = cli_test::ReadText(history);
  EXPECT_EQ(std::count(lines_kept.begin(), lines_kept.end(), '\n'), 3) << lines_kept;
}

// A backup that is not one, or a choice the backup does not hold: exit status 2, the fault named,
// nothing sent to any printer.
TEST(BackupTest, RefusalsSendNothing) {
  auto fleet = cli_test::Tcp(2);
  const std::string a = TcpTarget(*fleet, 0);
  const std::string b = TcpTarget(*fleet, 1);
  testing::TempDir dir;
  const std::string folder = dir / "backup";
  ASSERT_EQ(Krt6ctl({"-t", a, "-t", b, "backup", folder}).status, 0);
  const int connected = fleet->Connections(0) + fleet->Connections(1);
  const std::string index_text = cli_test::ReadText(folder + "/index.json");
  const json index = json::parse(index_text);
  const std::string first_file = folder + "/" + index["targets"][0]["file"].get<std::string>();
  const std::string first_text = cli_test::ReadText(first_file);
  auto with_file = [&](const std::string& name) {
    json changed = index;
    changed["targets"][1]["file"] = name;
    WriteText(folder + "/index.json", changed.dump());
  };

  const struct {
    const char* name;
    std::function<void()> prepare;
    std::vector<std::string> args;
    std::string named;  // what the message names
  } cases[] = {
      {"existing backup", [] {}, {"-t", a, "backup", folder}, "--force"},
      {"no index",
       [&] { std::filesystem::remove(folder + "/index.json"); },
       {"restore", folder},
       "no backup index"},
      {"not JSON",
       [&] { WriteText(folder + "/index.json", "{\"format\": \"krt6-ba"); },
       {"restore", folder},
       "not a backup index"},
      {"another format",
       [&] { WriteText(folder + "/index.json", R"({"format":"krt6-settings","version":1})"); },
       {"restore", folder},
       "format"},
      {"no file",
       [&] {
         WriteText(folder + "/index.json", R"({"format":"krt6-backup","version":1,
         "targets":[{"target":"127.0.0.1:1"}]})");
       },
       {"restore", folder},
       "targets[0].file"},
      {"parent file", [&] { with_file("../x.json"); }, {"restore", folder}, "targets[1].file"},
      {"sub-folder file", [&] { with_file("sub/x.json"); }, {"restore", folder}, "targets[1].file"},
      {"missing file", [&] { with_file("gone.json"); }, {"restore", folder}, "gone.json"},
      {"linked file",
       [&] {
         std::filesystem::create_symlink(first_file, folder + "/link.json");
         with_file("link.json");
       },
       {"restore", folder},
       "link.json"},
      {"broken configuration",
       [&] {
         WriteText(first_file, R"({"format":"krt6-settings","version":1,
         "parameters":{"comm_speed":"fast"}})");
       },
       {"restore", folder},
       "parameters.comm_speed"},
      {"bad target",
       [&] {
         json changed = index;
         changed["targets"][0]["target"] = "socket://";
         WriteText(folder + "/index.json", changed.dump());
       },
       {"restore", folder},
       "targets[0].target"},
      {"one printer twice",
       [&] {
         json changed = index;
         changed["targets"][1]["target"] = "127.0.0.1:" + std::to_string(fleet->Port(0));
         WriteText(folder + "/index.json", changed.dump());
       },
       {"restore", folder},
       "same printer"},
      {"target not in the index", [] {}, {"-t", "127.0.0.1:1", "restore", folder}, "127.0.0.1:1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(folder + "/index.json", index_text);
    WriteText(first_file, first_text);
    std::filesystem::remove(folder + "/link.json");
    c.prepare();
    fleet->ClearLog();
    const CtlRun run = Krt6ctl(c.args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    EXPECT_TRUE(fleet->CommandTexts(0).empty());
    EXPECT_TRUE(fleet->CommandTexts(1).empty());
    EXPECT_EQ(fleet->Connections(0) + fleet->Connections(1), connected) << "no printer opened";
  }

  // --force replaces the files of this run's printers; the index keeps the other printers, whose
  // files are still there, in their place.
  WriteText(folder + "/index.json", index_text);
  WriteText(first_file, "stale");
  const CtlRun forced = Krt6ctl({"-t", a, "backup", "--force", folder});
  EXPECT_EQ(forced.status, 0) << forced.err;
  const json merged = ReadJson(folder + "/index.json");
  ASSERT_EQ(merged["targets"].size(), 2u) << merged.dump();
  EXPECT_EQ(merged["targets"][0]["target"], index["targets"][0]["target"]);
  EXPECT_EQ(merged["targets"][1], index["targets"][1]) << "the printer not read keeps its entry";
  EXPECT_EQ(cli_test::ReadText(first_file), first_text);
}

// File names: only [A-Za-z0-9._-], never a leading '.', bounded, and distinct for distinct keys
// also where the readable part is the same; the names of the index are plain names only.
TEST(BackupTest, FileNamesAreSafeAndDistinct) {
  std::vector<std::string> keys;
  for (const char* text :
       {"[::1]:8000", "socket://[::1]:8001", "[2001:db8::1]:8000", "serial:/dev/ttyUSB0",
        "serial:/dev/tty/USB0", "serial:COM1", "parallel:/dev/usb/lp0", "usb:?serial=AB12",
        "usb:1-2.3", "printer-1.example:8000", "printer-1.example:8001"}) {
    auto parsed = cli::ParseTarget(text);
    ASSERT_TRUE(std::holds_alternative<cli::Target>(parsed)) << text;
    keys.push_back(cli::PrinterKey(std::get<cli::Target>(parsed)));
  }
  // Keys that reduce alike, dots in front and in a row, and a key far longer than a name.
  for (const char* key :
       {"a:b", "a/b", "a b", ".hidden", "..", "/", "serial:/dev/../ttyS0", "a...b"}) {
    keys.push_back(key);
  }
  keys.push_back(std::string(300, 'x'));
  keys.push_back(std::string(300, 'x') + "y");
  EXPECT_EQ(keys.size(), 21u);
  std::set<std::string> names;
  for (const std::string& key : keys) {
    const std::string name = cli::BackupFileName(key);
    SCOPED_TRACE(key + " -> " + name);
    EXPECT_TRUE(cli::IsPlainBackupFileName(name));
    EXPECT_NE(name[0], '.');
    EXPECT_LE(name.size(), 70u);
    EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789._-"),
              std::string::npos);
    EXPECT_EQ(name, cli::BackupFileName(key)) << "the name of a key does not change";
    names.insert(name);
  }
  EXPECT_EQ(names.size(), keys.size());

  const struct {
    const char* name;
    bool plain;
  } plain[] = {{"a.json", true},   {"a.ts0", true},  {"a-1_b.JSON", true}, {"", false},
               {".", false},       {"..", false},    {"../a.json", false}, {"a/b.json", false},
               {"a..json", false}, {"a.txt", false}, {"/a.json", false}};
  for (const auto& c : plain) EXPECT_EQ(cli::IsPlainBackupFileName(c.name), c.plain) << c.name;

  // Over a serial line: the device path's name is as safe, and the printer restores.
  std::string serial;
  auto pty = cli_test::Over(emulator::Transport::kPty, serial);
  testing::TempDir dir;
  const CtlRun backup = Krt6ctl({"--json", "-t", serial, "backup", dir / "b"});
  ASSERT_EQ(backup.status, 0) << backup.err;
  const std::string file = backup.Lines()[0]["data"]["file"];
  EXPECT_EQ(file.rfind("serial__dev_pts_", 0), 0u) << file;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / ("b/" + file)));
  EXPECT_EQ(Krt6ctl({"--no-history", "restore", dir / "b"}).status, 0);
}

}  // namespace
}  // namespace krt6
