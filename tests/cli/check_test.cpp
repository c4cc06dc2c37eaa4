// check in this process against emulated printers: the plugin line and exit status of each kind
// of state (statuses of every level, a refused printer, the response-time thresholds, several
// targets with the worst winning, bad arguments), the Japanese texts, and the JSON lines.
#include <string_view>

#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "texts/texts.h"

namespace krt6::cli_test {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Five printers: ON LINE, the paper end, a jam, a pause (a warning) and a status code the table
// does not know; a sixth that answers after 300 ms.
struct Printers {
  std::unique_ptr<Emulator> five = Tcp(5);
  std::unique_ptr<Emulator> slow;
  std::string refused = testing::RefusedTarget();
  Printers() {
    five->SetStatus(1, '1', '3');
    five->SetStatus(2, '1', '1');
    five->SetStatus(3, '0', '4');
    five->SetStatus(4, '9', '9');
    emulator::Faults delay;
    delay.DelayMs = 300;
    slow = Tcp(1, delay);
  }
  std::string At(int printer) const { return TcpTarget(*five, printer); }
};

TEST(CheckTest, PluginLinesAndExitStatuses) {
  const Printers p;
  const std::string slow = TcpTarget(*p.slow);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string first_line;  // the first line's beginning
    std::string part;        // another part of the output (of the perfdata, mostly)
  } cases[] = {
      {{"-t", p.At(0)}, 0, "K-RT6 OK - ON LINE | 'time'=", ";;;0"},
      {{"-t", p.At(1)}, 2, "K-RT6 CRITICAL - Paper Error | 'time'=", "s;;;0"},
      {{"-t", p.At(2)}, 2, "K-RT6 CRITICAL - Paper JAM |", "s;;;0"},
      {{"-t", p.At(3)}, 1, "K-RT6 WARNING - ", "s;;;0"},
      {{"-t", p.At(4)},
       3,
       "K-RT6 UNKNOWN - status code the printer table does not know |",
       "s;;;0"},
      {{"-t", p.refused}, 2, "K-RT6 CRITICAL - Port Open Error (refused): ", "'time'="},
      // A parallel port can never be asked: UNKNOWN, with its cause.
      {{"-t", "parallel:/dev/null"}, 3, "K-RT6 UNKNOWN - ", "(cannot_receive)"},
      // The thresholds: the slow printer is past 0.1 s, within 5 s.
      {{"-t", slow, "-w", "0.1", "-c", "5"},
       1,
       "K-RT6 WARNING - ON LINE, response 0.3",
       ";0.1;5;0"},
      {{"-t", slow, "--warning", "0.1", "--critical", "0.2"},
       2,
       "K-RT6 CRITICAL - ON LINE, response 0.3",
       ";0.1;0.2;0"},
      {{"-t", slow, "-w", "10"}, 0, "K-RT6 OK - ON LINE |", ";10;;0"},
      {{"-t", slow, "-c", "@0.1:10"}, 2, "K-RT6 CRITICAL - ON LINE, response", ";;@0.1:10;0"},
      {{"-t", slow, "-w", "5:"}, 1, "K-RT6 WARNING - ON LINE, response", ";5:;;0"},
      // The threshold does not make a paper end any better.
      {{"-t", p.At(1), "-w", "10"}, 2, "K-RT6 CRITICAL - Paper Error |", ";10;;0"},
      // Several targets: the worst wins; UNKNOWN is worse than OK but not than WARNING.
      {{"-t", p.At(0), "-t", p.At(1), "-t", p.At(3)},
       2,
       "K-RT6 CRITICAL - 3 printers: 1 CRITICAL, 1 WARNING, 1 OK |",
       "'critical'=1;;;0"},
      {{"-t", p.At(0), "-t", p.At(4)}, 3, "K-RT6 UNKNOWN - 2 printers: 1 UNKNOWN, 1 OK", ""},
      {{"-t", p.At(3), "-t", p.At(4)}, 1, "K-RT6 WARNING - 2 printers: 1 WARNING, 1 UNKNOWN", ""},
      {{"-t", p.At(0), "-t", p.refused}, 2, "K-RT6 CRITICAL - 2 printers: 1 CRITICAL, 1 OK", ""},
      // Bad arguments: UNKNOWN (3), on stdout, CLI11's own errors too.
      {{"-t", p.At(0), "-w", "abc"}, 3, "K-RT6 UNKNOWN - --warning abc: not a threshold", ""},
      {{"-t", p.At(0), "-c", "5:1"}, 3, "K-RT6 UNKNOWN - --critical 5:1: not a threshold", ""},
      {{"-t", p.At(0), "--no-such-option"}, 3, "K-RT6 UNKNOWN - ", ""},
      {{"-t", p.At(0), "-w"}, 3, "K-RT6 UNKNOWN - ", ""},
      {{}, 3, "K-RT6 UNKNOWN - no target", ""},
      {{"-t", "serial:COM99?baud=1"}, 3, "K-RT6 UNKNOWN - ", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    const CtlRun run = Krt6ctl(args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_TRUE(StartsWith(run.out, c.first_line)) << run.out;
    EXPECT_NE(run.out.find(c.part), std::string::npos) << run.out;
    // One '|' at most on the first line: the texts never open a second perfdata part.
    const std::string first = FirstLine(run.out);
    EXPECT_LE(std::count(first.begin(), first.end(), '|'), 1) << first;
  }
  for (int printer = 0; printer < 5; ++printer) EXPECT_TRUE(Sets(*p.five, printer).empty());
}

// Several targets: a line each after the summary, in target order, and every printer's time in
// the perfdata after the last one; the numbers stay in the C locale's form.
TEST(CheckTest, SeveralTargetsLongOutput) {
  const Printers p;
  const CtlRun run = Krt6ctl({"check", "-t", p.At(0), "-t", p.At(2), "-t", p.refused, "-w", "1.5"});
  EXPECT_EQ(run.status, 2);
  std::vector<std::string> lines;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 6u) << run.out;
  EXPECT_EQ(lines[1], "[OK] " + p.At(0) + ": ON LINE");
  EXPECT_EQ(lines[2], "[CRITICAL] " + p.At(1 + 1) + ": Paper JAM");
  EXPECT_TRUE(StartsWith(lines[3], "[CRITICAL] " + p.refused + ": Port Open Error (refused)"));
  // socket://127.0.0.1:PORT's perfdata label keeps its ':' and '/'.
  const std::size_t bar = lines[3].find(" | '" + p.At(0) + " time'=");
  ASSERT_NE(bar, std::string::npos) << lines[3];
  EXPECT_TRUE(StartsWith(lines[4], "'" + p.At(2) + " time'="));
  EXPECT_TRUE(StartsWith(lines[5], "'" + p.refused + " time'="));
  EXPECT_NE(lines[5].find("s;1.5;;0"), std::string::npos);
  EXPECT_EQ(lines[5].find(','), std::string::npos);
}

TEST(CheckTest, JapaneseTextsEnglishStates) {
  const Printers p;
  const CtlRun paper = Krt6ctl({"--lang=ja", "check", "-t", p.At(1)});
  EXPECT_EQ(paper.status, 2);
  EXPECT_TRUE(StartsWith(
      paper.out, std::string("K-RT6 CRITICAL - ") + StatusText(10, Language::kJapanese) + " | "))
      << paper.out;
  const CtlRun two = Krt6ctl({"--lang=ja", "check", "-t", p.At(0), "-t", p.At(3)});
  EXPECT_EQ(two.status, 1);
  EXPECT_TRUE(StartsWith(two.out, "K-RT6 WARNING - プリンター 2 台: 1 WARNING, 1 OK")) << two.out;
  EXPECT_NE(
      two.out.find(std::string("[OK] ") + p.At(0) + ": " + StatusText(1, Language::kJapanese)),
      std::string::npos);
  const CtlRun bad = Krt6ctl({"--lang=ja", "check", "-t", p.At(0), "-c", "x"});
  EXPECT_EQ(bad.status, 3);
  EXPECT_TRUE(StartsWith(bad.out, "K-RT6 UNKNOWN - --critical x: しきい値ではありません"))
      << bad.out;
}

// --json: the output contract's line for each target, its data with the state, then the overall
// state with the count of each level.
TEST(CheckTest, JsonLines) {
  const Printers p;
  const CtlRun run = Krt6ctl({"--json", "check", "-t", p.At(1), "-t", p.refused, "-t", p.At(0)});
  EXPECT_EQ(run.status, 2);
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 4u) << run.out;
  ExpectContract(lines[0], "check", 0);
  EXPECT_EQ(lines[0]["data"]["state"], "CRITICAL");
  EXPECT_EQ(lines[0]["data"]["status_code"], 10);
  EXPECT_EQ(lines[0]["data"]["status_name"], "paper_error");
  EXPECT_TRUE(lines[0]["data"]["seconds"].is_number());
  EXPECT_EQ(lines[1]["ok"], false);
  EXPECT_EQ(lines[1]["cause"], "refused");
  EXPECT_EQ(lines[1]["data"]["state"], "CRITICAL");
  EXPECT_EQ(lines[2]["data"]["state"], "OK");
  EXPECT_EQ(lines[2]["data"]["status"], "ON LINE");
  EXPECT_EQ(lines[3], (json{{"state", "CRITICAL"},
                            {"exit_status", 2},
                            {"printers", 3},
                            {"ok", 1},
                            {"warning", 0},
                            {"critical", 2},
                            {"unknown", 0}}));
  const CtlRun bad = Krt6ctl({"--json", "check", "-t", p.At(0), "-w", "-"});
  EXPECT_EQ(bad.status, 3);
  ASSERT_EQ(bad.Lines().size(), 1u) << bad.out;
  EXPECT_EQ(bad.Lines()[0]["state"], "UNKNOWN");
  EXPECT_EQ(bad.Lines()[0]["exit_status"], 3);
}

// Other commands keep their usage status (2) and their messages on stderr.
TEST(CheckTest, OtherCommandsKeepTheirUsageStatus) {
  const CtlRun run = Krt6ctl({"status", "--no-such-option"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("krt6ctl: "), std::string::npos);
}

}  // namespace
}  // namespace krt6::cli_test
