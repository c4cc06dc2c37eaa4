// krt6ctl status --textfile: the fleet page written whole beside the normal output, read by
// Debian's prometheus-node-exporter (its textfile collector alone) and seen on its /metrics;
// promtool takes the file; a file that cannot be written is named and the run fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "exporter_support.h"
#include "support/krt6ctl_runs.h"
#include "support/loopback.h"
#include "support/temp_dir.h"
#include "texts/texts.h"

namespace krt6::cli_test {
namespace {

using testing::ChildClock;
using testing::ChildProcess;
using testing::HttpGet;
using testing::SeriesValue;
using namespace std::chrono_literals;

constexpr const char kNodeExporter[] = "/usr/bin/prometheus-node-exporter";

TEST(Textfile, TheNodeExporterServesTheStatusOfEveryTarget) {
  testing::TempDir dir;
  auto emu = Tcp(2);
  ASSERT_TRUE(emu->SetStatus(1, '1', '3'));  // the second printer's paper end
  const std::string refused = testing::RefusedTarget();
  const std::string file = dir / "krt6.prom";
  const CtlRun run = Krt6ctl({"status", "-t", TcpTarget(*emu, 0), "-t", TcpTarget(*emu, 1), "-t",
                              refused, "--textfile", file});
  EXPECT_EQ(run.status, 1) << run.err;  // the refused target fails the run, as without the file
  // The normal output is there as before.
  EXPECT_NE(run.out.find(TcpTarget(*emu, 0) + ": ON LINE"), std::string::npos) << run.out;
  const std::string page = ReadText(file);
  EXPECT_EQ(SeriesValue(page, "krt6_up", {{"target", TcpTarget(*emu, 0)}}), "1") << page;
  EXPECT_EQ(SeriesValue(page, "krt6_status_code", {{"target", TcpTarget(*emu, 1)}}), "10");
  EXPECT_EQ(
      SeriesValue(page, "krt6_status", {{"target", TcpTarget(*emu, 1)}, {"status", "paper_error"}}),
      "1");
  EXPECT_EQ(SeriesValue(page, "krt6_up", {{"target", refused}}), "0");
  EXPECT_EQ(
      SeriesValue(page, "krt6_probe_failure_info", {{"target", refused}, {"cause", "refused"}}),
      "1");
  EXPECT_EQ(dir.Names().size(), 1u) << "a temporary file was left beside it";
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IROTH, 0u) << "the node exporter's user must be able to read it";

  if (::access(testing::kPromtool, X_OK) == 0) {
    const testing::TempDir scratch;
    const testing::ProgramRun check = testing::PromtoolCheck(page, scratch.path());
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  }
  if (::access(kNodeExporter, X_OK) != 0) GTEST_SKIP() << kNodeExporter << " is not installed";
  const int port = testing::ClosedLoopbackPort();
  ASSERT_GT(port, 0);
  ChildProcess node({kNodeExporter, "--collector.disable-defaults", "--collector.textfile",
                     "--collector.textfile.directory=" + dir.path(),
                     "--web.listen-address=127.0.0.1:" + std::to_string(port)});
  ASSERT_TRUE(node.Started());
  std::string metrics;
  for (auto until = ChildClock::now() + 30s; ChildClock::now() < until;) {
    metrics = HttpGet(port, "/metrics", {}, 5s).body;
    if (metrics.find("krt6_up") != std::string::npos) break;
    node.Poll(100ms);
  }
  EXPECT_EQ(SeriesValue(metrics, "krt6_up", {{"target", TcpTarget(*emu, 0)}}), "1")
      << metrics << node.Err();
  EXPECT_EQ(SeriesValue(metrics, "krt6_status",
                        {{"target", TcpTarget(*emu, 1)}, {"status", "paper_error"}}),
            "1");
  EXPECT_EQ(
      SeriesValue(metrics, "krt6_probe_failure_info", {{"target", refused}, {"cause", "refused"}}),
      "1");
  // The collector took the file without complaint.
  EXPECT_EQ(SeriesValue(metrics, "node_textfile_scrape_error"), "0");
}

TEST(Textfile, AFileThatCannotBeWrittenIsNamedInBothLanguages) {
  testing::TempDir dir;
  auto emu = Tcp(1);
  const std::string file = dir / "missing/krt6.prom";
  struct Case {
    std::vector<std::string> lang;  // English without --lang
    Language language;
    const char* says;
  };
  for (const Case& c :
       {Case{{}, Language::kEnglish, "cannot write the textfile"},
        Case{{"--lang=ja"}, Language::kJapanese, "テキストファイルを書き込めません"}}) {
    std::vector<std::string> args = c.lang;
    args.insert(args.end(), {"status", "-t", TcpTarget(*emu), "--textfile", file});
    const CtlRun run = Krt6ctl(args);
    EXPECT_EQ(run.status, 1) << c.says;
    // The status line is there as without the file.
    EXPECT_EQ(run.out, std::string(StatusText(1, c.language)) + "\n");
    EXPECT_NE(run.err.find(file + ": " + c.says), std::string::npos) << run.err;
  }
  // The run itself succeeds with the file written.
  EXPECT_EQ(Krt6ctl({"status", "-t", TcpTarget(*emu), "--textfile", dir / "ok.prom"}).status, 0);
  EXPECT_FALSE(ReadText(dir / "ok.prom").empty());
}

}  // namespace
}  // namespace krt6::cli_test
