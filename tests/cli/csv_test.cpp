// Targets files as tables (CSV, TSV): a fleet where every printer gets its own identity from its
// row and a shared value from the command line; every kind of bad row refused with its line and
// column before anything is sent; the reader over random bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/target.h"
#include "cli/targets_table.h"
#include "support/krt6ctl_runs.h"
#include "support/temp_dir.h"

namespace krt6::cli_test {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(CsvTest, EachPrinterGetsItsOwnIdentity) {
  auto emu = Tcp(4);
  testing::TempDir dir;
  const std::string a = TcpTarget(*emu, 0), b = TcpTarget(*emu, 1), c = TcpTarget(*emu, 2);
  // Comments, a blank line, CRLF, a quoted cell, a short key beside a full one, an empty cell.
  Write(dir / "fleet.csv",
        "# the counter printers\n"
        "target,ip_address,lan.dhcp_hostname,socket_port\r\n" +
            a + ",10.1.0.11,\"LAB01\",\n\n" + b + ",10.1.0.12,LAB02,9100\n" + c + ",10.1.0.13,,\n");
  CtlRun run = Krt6ctl({"--json", "--targets", dir / "fleet.csv", "set", "comm_speed=19200"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.Lines().size(), 3u) << run.out;
  // The same through a TSV, with the fourth printer from -t beside it.
  Write(dir / "fleet.tsv", "target\tdhcp_hostname\n" + c + "\tLAB03\n");
  const std::string d = TcpTarget(*emu, 3);
  run = Krt6ctl({"--targets", dir / "fleet.tsv", "-t", d, "set", "auto_calib=ON"});
  ASSERT_EQ(run.status, 0) << run.err;

  struct Expected {
    std::string target, ip, host;
    int port;
  };
  const Expected expected[] = {{a, "10.1.0.11", "LAB01", 8000},
                               {b, "10.1.0.12", "LAB02", 9100},
                               {c, "10.1.0.13", "LAB03", 8000},
                               {d, "192.168.10.23", "KRT60004", 8000}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.target);
    const json line = OneLine(e.target, {"get", "all"}, "get");
    EXPECT_EQ(line["data"]["lan"]["ip_address"], e.ip);
    EXPECT_EQ(line["data"]["lan"]["dhcp_hostname"], e.host);
    EXPECT_EQ(line["data"]["lan"]["socket_port"], e.port);
    EXPECT_EQ(line["data"]["parameters"]["comm_speed"], e.target == d ? "9600 bps" : "19200 bps");
  }
  // A table of targets alone serves every command.
  Write(dir / "plain.csv", "target\n" + a + "\n" + b + "\n");
  run = Krt6ctl({"--json", "--targets", dir / "plain.csv", "status"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Lines().size(), 2u);
}

TEST(CsvTest, BadTablesAreRefusedBeforeAnythingIsSent) {
  auto emu = Tcp(2);
  testing::TempDir dir;
  const std::string a = TcpTarget(*emu, 0), b = TcpTarget(*emu, 1);
  struct Case {
    std::string name;  // the file's name
    std::string text;
    std::vector<std::string> named;    // each in the message
    std::vector<std::string> command;  // after --targets FILE
  };
  const std::vector<std::string> kSet{"set", "comm_speed=19200"};
  const std::string header = "target,ip_address,dhcp_hostname\n";
  const Case cases[] = {
      {"target.csv",
       header + a + ",10.0.0.1,\nsocket://bad host,10.0.0.2,\n",
       {"target.csv:3, column target", "bad host"},
       kSet},
      {"column.csv",
       "target,ip_adress\n" + a + ",10.0.0.1\n",
       {"column.csv:1, column ip_adress"},
       kSet},
      {"value.csv",
       header + "# one\n" + a + ",10.0.0.1,\n" + b + ",10.0.0.256,\n",
       {"value.csv:4, column lan.ip_address", "256"},
       kSet},
      {"twice.csv",
       header + a + ",10.0.0.1,\n#\n" + a + "/,10.0.0.2,\n",
       {"twice.csv:2, column target and", "twice.csv:4, column target", "same printer"},
       kSet},
      {"ip.csv",
       header + a + ",10.0.0.1,A\n" + b + ",10.0.0.1,B\n",
       {"ip.csv:3, column lan.ip_address", "10.0.0.1", "line 2"},
       kSet},
      {"host.csv",
       header + a + ",,lab01\n\n" + b + ",,LAB01\n",
       {"host.csv:4, column lan.dhcp_hostname", "LAB01", "line 2"},
       kSet},
      {"open.csv",
       header + a + ",10.0.0.1,\n" + b + ",\"10.0.0.2,\n\n",
       {"open.csv:3", "RFC 4180"},
       kSet},
      {"stray.csv",
       header + a + ",10.0\"0.1,\n",
       {"stray.csv:2, column ip_address", "RFC 4180"},
       kSet},
      {"cells.csv", header + a + ",10.0.0.1\n", {"cells.csv:2", "2 fields, the header 3"}, kSet},
      {"nocolumn.csv", "ip_address\n10.0.0.1\n", {"nocolumn.csv:1", "no column target"}, kSet},
      {"ja.tsv",
       "target\tcomm_speed\n" + a + "\t12345\n",
       {"ja.tsv:2 の列 parameters.comm_speed"},
       {"--lang=ja", "set", "auto_calib=ON"}},
      {"status.csv",
       header + a + ",10.0.0.1,\n",
       {"status.csv:2", "lan.ip_address", "only set"},
       {"status"}},
      // The command line's identity given to several rows that have none of their own.
      {"shared.csv",
       "target,comm_speed\n" + a + ",19200\n" + b + ",\n",
       {"lan.ip_address 10.0.0.9", "2 printers"},
       {"set", "ip_address=10.0.0.9"}},
      // ... or to a row that has the same value of its own.
      {"mixed.csv",
       header + a + ",10.0.0.9,\n",
       {"lan.ip_address 10.0.0.9", "mixed.csv:2"},
       {"-t", b, "set", "ip_address=10.0.0.9"}},
      // A row's own identity that --keep-identity would silently drop.
      {"kept.csv",
       header + a + ",,\n" + b + ",,LAB02\n",
       {"kept.csv:3", "lan.dhcp_hostname", "--keep-identity"},
       {"set", "--keep-identity", "comm_speed=19200"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(dir / c.name, c.text);
    std::vector<std::string> args{"--json", "--targets", dir / c.name};
    args.insert(args.end(), c.command.begin(), c.command.end());
    const CtlRun run = Krt6ctl(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    for (const std::string& named : c.named) {
      EXPECT_NE(run.err.find(named), std::string::npos) << named << " in " << run.err;
    }
  }
  // A table over the targets file's bound is refused unread, as a big targets file is.
  const std::string big = dir / "big.csv";
  Write(big, header);
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(cli::kMaxTargetsFileSize + 1)), 0);
  const CtlRun run = Krt6ctl({"--targets", big, "set", "comm_speed=19200"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("too large"), std::string::npos) << run.err;
  for (int printer = 0; printer < 2; ++printer) {
    EXPECT_TRUE(emu->CommandTexts(printer).empty()) << printer;
    EXPECT_EQ(emu->Connections(printer), 0) << printer;
  }
}

// Random bytes, mostly the table's own characters: the reader either gives rows that each know
// their file and line, or a refusal naming the file; never a crash or a hang.
TEST(CsvTest, RandomBytesParseOrAreRefused) {
  std::mt19937 random(20240611);
  const std::string pieces[] = {"\"",
                                ",",
                                "\n",
                                "\r\n",
                                "\t",
                                "#",
                                " ",
                                "target",
                                "ip_address",
                                "127.0.0.1",
                                "10.0.0.1",
                                "\"\"",
                                "dhcp_hostname",
                                "comm_speed",
                                "socket://a",
                                "\x01",
                                "\xff"};
  int parsed = 0;
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = round % 2 == 0 ? "target,ip_address\n" : "";
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      if (random() % 4 == 0) {
        text += static_cast<char>(random() % 256);
      } else {
        text += pieces[random() % std::size(pieces)];
      }
    }
    const std::string name = round % 3 == 0 ? "r.tsv" : "r.csv";
    std::vector<cli::TargetText> targets;
    std::string error;
    if (cli::ParseTargetsTable(text, name, targets, error)) {
      ++parsed;
      EXPECT_TRUE(error.empty()) << error;
      for (const cli::TargetText& target : targets) {
        EXPECT_EQ(target.File, name);
        EXPECT_GE(target.Line, 2u) << text;
        EXPECT_EQ(target.Column, "target");
      }
      (void)cli::ParseTargets(targets);
    } else {
      ++refused;
      EXPECT_TRUE(targets.empty());
      EXPECT_EQ(error.rfind(name, 0), 0u) << error;
    }
  }
  // Both ways out were taken.
  EXPECT_GT(parsed, 30);
  EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace krt6::cli_test
