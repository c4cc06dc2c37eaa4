#include "cli/app.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/discovery.h"
#include "cli/fleet.h"
#include "cli/output.h"
#include "cli/settings_commands.h"
#include "cli/target.h"
#include "texts/system_language.h"
#include "texts/texts.h"

#ifndef KRT6_VERSION
#define KRT6_VERSION "0"
#endif

namespace krt6::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // as a shell reports a program that SIGINT ended

// What the operator got wrong in the command line (CLI11's own parse errors stay English).
constexpr TextPair kNoTargetText{
    "no target: give -t TARGET or --targets FILE",
    "ターゲットがありません: -t TARGET か --targets FILE を指定してください"};
constexpr TextPair kSecondFileText{"set takes one FILE; '%1' is a second",
                                   "set に渡せるファイルは 1 つです。'%1' は 2 つ目です"};
constexpr TextPair kNoFieldText{"the configuration names no field to set",
                                "設定する項目が 1 つもありません"};
constexpr TextPair kOneTargetText{"get -o FILE reads one target, not %1",
                                  "get -o FILE で読めるターゲットは 1 つだけです (%1 個あります)"};
constexpr TextPair kFileNameText{
    "%1: the file name must end in .json, .ts0 or .ts1",
    "%1: ファイル名の末尾は .json、.ts0、.ts1 のいずれかにしてください"};
constexpr TextPair kOnePartText{
    "%1: a setting file holds one part: get params or get lan",
    "%1: 設定ファイルに入るのは一方だけです: get params か get lan を使ってください"};
constexpr TextPair kTs0Text{
    "%1: a .ts0 file holds the parameters: get params",
    "%1: .ts0 ファイルにはパラメータが入ります: get params を使ってください"};
constexpr TextPair kTs1Text{"%1: a .ts1 file holds the LAN settings: get lan",
                            "%1: .ts1 ファイルには LAN 設定が入ります: get lan を使ってください"};
constexpr TextPair kNeedsFirmwareText{
    "%1: a parallel port cannot read the version: give --firmware",
    "%1: パラレルポートではバージョンを読めません: --firmware を指定してください"};
constexpr TextPair kNeedsWholePartText{
    "%1: a parallel port cannot read the current settings: give every field of the part (a "
    ".ts0/.ts1 file, or get all from another printer)",
    "%1: パラレルポートでは現在の設定を読めません: その部分の全項目を指定してください "
    "(.ts0/.ts1 ファイル、または別のプリンタから get all で読んだもの)"};
constexpr TextPair kSharedIdentityText{
    "refused: %1 would give %2 printers (%3) the same value, and no two printers may share it; "
    "nothing was sent. Leave the key out, add --keep-identity so that each printer keeps its "
    "own, or set each printer on its own with its own value",
    "拒否しました: %1 により %2 台のプリンター (%3) が同じ値になりますが、この値は共有できません。"
    "何も送信していません。このキーを外すか、--keep-identity で各プリンターの値を保つか、"
    "プリンターごとに個別の値で設定してください"};
constexpr TextPair kFirmwareText{
    "--firmware '%1': give the version text the printer reports, such as 1.0J (a digit, '.', a "
    "digit and a letter), or one of the window's items (1.0B ~ 1.0C, ..., Other)",
    "--firmware '%1': プリンターが返すバージョン (1.0J のように数字、'.'、数字、英字) "
    "か、画面の項目 (1.0B ~ 1.0C、…、Other) を指定してください"};
constexpr TextPair kNoTargetsTakenText{"this command takes no -t/--targets",
                                       "このコマンドは -t/--targets を取りません"};
constexpr TextPair kNoCommandText{"no command (see --help)",
                                  "コマンドがありません (--help を参照)"};
// An operator's interrupt during a fleet run: the first, and every one after it.
constexpr TextPair kStoppingText{
    "interrupted: no further target is started; the running ones end their exchange",
    "中断します: 次のターゲットは始めません。実行中のターゲットは通信を終えるまで続けます"};
constexpr TextPair kStillFinishingText{
    "still ending the running targets' exchanges (no Set is cut in two); Ctrl-\\ quits at once, "
    "even in the middle of a write",
    "実行中のターゲットの通信を終えるまで待っています (Set を途中で切ることはありません)。"
    "Ctrl-\\ で直ちに終了します (書き込みの途中でも)"};

struct Globals {
  std::vector<std::string> targets;
  std::string targets_file;
  bool json = false;
  int jobs = 16;
  bool verbose = false;
  bool quiet = false;
  std::string lang;
  std::atomic<bool>* stop = nullptr;  // set when the operator interrupts a fleet run
};

int Usage(const std::string& message) {
  std::cerr << "krt6ctl: " << message << "\n";
  return kExitUsage;
}

Language ChosenLanguage(const Globals& globals) {
  if (globals.lang == "ja") return Language::kJapanese;
  if (globals.lang == "en") return Language::kEnglish;
  return LanguageForLocale(SystemLocaleName([](const char* name) { return std::getenv(name); }));
}

// The targets of -t and --targets, parsed, each once; false (after the message) when one is
// wrong, two name the same printer, or none is given.
bool CollectTargets(const Globals& globals, Language language, std::vector<Target>& targets,
                    int& status) {
  std::vector<TargetText> texts;
  for (const std::string& text : globals.targets) texts.push_back({text, {}, 0});
  if (!globals.targets_file.empty()) {
    std::string error;
    if (!ReadTargetsFile(globals.targets_file, texts, error, language)) {
      status = Usage(error);
      return false;
    }
  }
  if (texts.empty()) {
    status = Usage(TextFor(kNoTargetText, language));
    return false;
  }
  auto parsed = ParseTargets(texts, language);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    status = Usage(*error);
    return false;
  }
  targets = std::get<std::vector<Target>>(std::move(parsed));
  return true;
}

// Runs `job` on every target and reports each: a JSON line with --json, else the result text
// (prefixed with the target when there are several) on stdout and failures on stderr. SIGINT or
// SIGTERM stops the starting of targets; the report then covers every target, a summary line
// follows on stderr and the exit status is 130.
int RunOnTargets(const Globals& globals, const std::vector<Target>& targets,
                 const std::string& command, Language language, const TargetJob& job) {
  std::mutex messages_lock;
  FleetOptions options;
  options.Jobs = globals.jobs;
  options.Lang = language;
  options.Trace = globals.verbose;
  options.Progress = !globals.quiet && targets.size() > 1 && ::isatty(STDERR_FILENO) == 1;
  options.Messages = &std::cerr;
  options.MessagesLock = &messages_lock;
  options.Quiet = globals.quiet;
  options.Stop = globals.stop;
  bool all_ok = true;
  const bool several = targets.size() > 1;
  std::vector<TargetResult> results;
  {
    InterruptWatch interrupts(*globals.stop, [&](int count) {
      std::lock_guard lock(messages_lock);
      if (options.Progress) std::cerr << "\r\033[K";
      std::cerr << "krt6ctl: "
                << TextFor(count == 1 ? kStoppingText : kStillFinishingText, language) << "\n"
                << std::flush;
    });
    results = RunFleet(targets, options, job, [&](std::size_t index, const TargetResult& result) {
      const std::string& target = targets[index].Text;
      all_ok = all_ok && result.Ok();
      std::lock_guard lock(messages_lock);
      if (globals.json) {
        std::cout << JsonLine(target, command, result, language) << "\n" << std::flush;
        return;
      }
      const std::string prefix = several ? target + ": " : std::string();
      if (!result.Ok()) {
        std::cerr << "krt6ctl: " << target << ": " << ResultText(result.Code, language);
        if (!result.Detail.empty()) std::cerr << ": " << result.Detail;
        std::cerr << "\n";
        if (!result.Changes.empty()) std::cerr << ChangesText(result.Changes, "  ");
        return;
      }
      if (globals.quiet && !result.TextIsOutput) return;
      std::cout << prefix << result.Text << "\n";
      if (!result.Changes.empty()) std::cout << ChangesText(result.Changes, "  ");
      std::cout << std::flush;
    });
  }
  if (globals.stop->load()) {
    std::cerr << "krt6ctl: " << InterruptSummary(results, language) << "\n";
    return kExitInterrupted;
  }
  return all_ok ? kExitOk : kExitFailed;
}

bool EndsWithCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
        suffix[i]) {
      return false;
    }
  }
  return true;
}

bool IsSettingsFileName(const std::string& text) {
  return EndsWithCase(text, ".json") || EndsWithCase(text, ".ts0") || EndsWithCase(text, ".ts1");
}

// The configuration `set` applies: a FILE and/or KEY=VALUE pairs, in order, each over the last.
// False (after the message naming the key) when one is refused.
bool BuildConfiguration(const std::vector<std::string>& inputs, bool keep_identity,
                        Language language, Configuration& configuration, int& status) {
  bool file_seen = false;
  for (const std::string& input : inputs) {
    const bool is_pair = input.find('=') != std::string::npos && !IsSettingsFileName(input);
    ConfigError error;
    if (is_pair) {
      error = ApplyKeyValue(configuration, input, language);
    } else if (file_seen) {
      status = Usage(FormatText(kSecondFileText, language, input));
      return false;
    } else {
      file_seen = true;
      auto loaded = LoadConfiguration(input, language, ValueUse::kSend);
      if (auto* refused = std::get_if<ConfigError>(&loaded)) {
        error = *refused;
      } else {
        LayOver(configuration, std::get<Configuration>(loaded));
      }
    }
    if (!error.Ok()) {
      status = Usage(error.Message);
      return false;
    }
  }
  if (keep_identity) configuration = WithoutIdentity(std::move(configuration));
  if (!configuration.HasParameters && !configuration.HasLan) {
    status = Usage(TextFor(kNoFieldText, language));
    return false;
  }
  return true;
}

// "1.0J": what a printer reports; "1.0B ~ 1.0C" and "Other": the window's version items.
bool IsFirmwareText(const std::string& text) {
  auto is_version = [](std::string_view v) {
    return v.size() == 4 && std::isdigit(static_cast<unsigned char>(v[0])) && v[1] == '.' &&
           std::isdigit(static_cast<unsigned char>(v[2])) &&
           std::isalpha(static_cast<unsigned char>(v[3]));
  };
  if (is_version(text) || text == "Other") return true;
  const std::string_view view(text);
  return view.size() == 11 && view.substr(4, 3) == " ~ " && is_version(view.substr(0, 4)) &&
         is_version(view.substr(7));
}

// The refusal of a run that would give several printers one identity (an address or a host
// name), or empty.
std::string SharedIdentity(const Configuration& configuration, const std::vector<Target>& targets,
                           Language language) {
  if (targets.size() < 2) return {};
  const std::vector<IdentityValue> values = IdentityValues(configuration);
  if (values.empty()) return {};
  std::string keys;
  for (const IdentityValue& value : values) {
    keys += (keys.empty() ? "" : ", ") + value.Key + " " + value.Value;
  }
  constexpr std::size_t kNamed = 3;
  std::string named;
  for (std::size_t i = 0; i < targets.size() && i < kNamed; ++i) {
    named += (i == 0 ? "" : ", ") + Printable(targets[i].Text);
  }
  if (targets.size() > kNamed) named += ", ...";
  return FormatText(kSharedIdentityText, language, {keys, std::to_string(targets.size()), named});
}

Parts PartsFor(const std::string& which) {
  Parts parts;
  parts.Parameters = which != "lan";
  parts.Lan = which != "params";
  return parts;
}

// diff A B: each side a settings file or a target (read whole: parameters and LAN settings).
int RunDiff(const Globals& globals, const std::string& a, const std::string& b, Language language) {
  struct Side {
    std::string text;
    std::optional<Target> target;
    Configuration configuration;
  };
  std::vector<Side> sides{{a, {}, {}}, {b, {}, {}}};
  std::vector<Target> targets;
  for (Side& side : sides) {
    struct stat info {};
    if (IsSettingsFileName(side.text) ||
        (::stat(side.text.c_str(), &info) == 0 && S_ISREG(info.st_mode))) {
      auto loaded = LoadConfiguration(side.text, language, ValueUse::kStore);
      if (auto* refused = std::get_if<ConfigError>(&loaded)) return Usage(refused->Message);
      side.configuration = std::get<Configuration>(std::move(loaded));
      continue;
    }
    auto parsed = ParseTarget(side.text, language);
    if (auto* error = std::get_if<std::string>(&parsed)) return Usage(*error);
    side.target = std::get<Target>(std::move(parsed));
    targets.push_back(*side.target);
  }
  if (!targets.empty()) {
    FleetOptions options;
    options.Jobs = globals.jobs;
    options.Lang = language;
    options.Trace = globals.verbose;
    options.Messages = &std::cerr;
    std::vector<Configuration> read(targets.size());
    bool all_ok = true;
    RunFleet(
        targets, options,
        [&](Session& session, const Target& target) {
          TargetResult result;
          if (!session.CanReceive(session.Kind())) return GetCommand(session, {}, {}, language);
          ReadSettings settings = ReadConfiguration(session, Parts{});
          if (!settings.Status.Ok()) return Failed(settings.Status);
          const std::size_t index = static_cast<std::size_t>(&target - targets.data());
          read[index] = std::move(settings.Read);
          return result;
        },
        [&](std::size_t index, const TargetResult& result) {
          if (result.Ok()) return;
          all_ok = false;
          std::cerr << "krt6ctl: " << targets[index].Text << ": "
                    << ResultText(result.Code, language);
          if (!result.Detail.empty()) std::cerr << ": " << result.Detail;
          std::cerr << "\n";
        });
    if (!all_ok) return kExitFailed;
    std::size_t next = 0;
    for (Side& side : sides) {
      if (side.target) side.configuration = std::move(read[next++]);
    }
  }
  const std::vector<Change> changes =
      Changes(Diff(sides[0].configuration, sides[1].configuration, language));
  if (globals.json) {
    nlohmann::ordered_json document;
    document["changes"] = ChangesJson(changes);
    std::cout << document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else if (!globals.quiet) {
    std::cout << ChangesText(changes, "");
  }
  return kExitOk;
}

// list: the attached USB printers and the serial and parallel ports present.
int RunList(const Globals& globals) {
  const AttachedDevices devices = ListAttachedDevices();
  auto port_line = [](const char* kind, const PortEntry& entry) {
    nlohmann::ordered_json line;
    line["kind"] = kind;
    line["uri"] = entry.Uri;
    line["device"] = entry.Device;
    line["name"] = entry.Name;
    return line;
  };
  std::vector<nlohmann::ordered_json> lines;
  for (const UsbPrinterEntry& usb : devices.Usb) {
    nlohmann::ordered_json line;
    char product[8];
    std::snprintf(product, sizeof product, "%04x", usb.ProductId);
    line["kind"] = "usb";
    line["uri"] = usb.Uri;
    line["port_path"] = usb.PortPath;
    line["product_id"] = product;
    line["serial"] = usb.Serial;
    lines.push_back(std::move(line));
  }
  for (const PortEntry& entry : devices.Serial) lines.push_back(port_line("serial", entry));
  for (const PortEntry& entry : devices.Parallel) lines.push_back(port_line("parallel", entry));
  for (const auto& line : lines) {
    if (globals.json) {
      std::cout << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << "\n";
      continue;
    }
    std::string text = line["uri"].get<std::string>();
    if (line["kind"] == "usb") {
      text += "  product " + line["product_id"].get<std::string>();
      if (!line["serial"].get<std::string>().empty()) {
        text += "  serial " + line["serial"].get<std::string>();
      }
    } else {
      text += "  " + line["device"].get<std::string>();
    }
    std::cout << text << "\n";
  }
  return kExitOk;
}

// scan: the printers of a range or host list that answer the status query, each as a status
// result of the output contract.
int RunScan(const Globals& globals, const std::string& network, int port, Language language) {
  const ScanHosts hosts = ParseScanNetwork(network, language);
  if (!hosts.Error.empty()) return Usage(hosts.Error);
  ScanOptions options;
  options.Port = port;
  options.Jobs = std::max(globals.jobs, 64);
  options.Lang = language;
  const std::vector<ScanHit> hits = ScanNetwork(hosts.Hosts, options);
  for (const ScanHit& hit : hits) {
    const std::string host =
        hit.Host.find(':') != std::string::npos ? "[" + hit.Host + "]" : hit.Host;
    const std::string target = "socket://" + host + ":" + std::to_string(hit.Port);
    TargetResult result;
    result.Data = {{"status_code", hit.StatusCode}, {"status", hit.StatusText}};
    if (globals.json) {
      std::cout << JsonLine(target, "scan", result, language) << "\n";
    } else {
      std::cout << target << "  " << hit.StatusText << "\n";
    }
  }
  return hits.empty() ? kExitFailed : kExitOk;
}

}  // namespace

int RunKrt6ctl(int argc, char** argv) {
  // A fleet may need more descriptors than the usual soft limit; RunFleet keeps within this one.
  RaiseDescriptorLimit();
  std::atomic<bool> stop{false};
  Globals globals;
  globals.stop = &stop;
  CLI::App app{
      "krt6ctl: status, settings and maintenance of K-RT6 label printers, one or a fleet.\n"
      "Targets: socket://HOST[:PORT] (or HOST, HOST:PORT, [IPv6]:PORT), "
      "serial:DEVICE[?baud=9600+bits=8+parity=none+stop=1+flow=rts+xonxoff], parallel:DEVICE, "
      "usb:, usb:BUS-PORTPATH, usb:?serial=STRING.\n"
      "Exit status: 0 every target succeeded, 1 some target failed, 2 bad usage or input, 130 "
      "interrupted (SIGINT or SIGTERM: the running targets end, the others are not started).",
      "krt6ctl"};
  app.set_version_flag("--version", "krt6ctl " KRT6_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("-t,--target", globals.targets, "a printer (repeatable)")->type_name("TARGET");
  app.add_option("--targets", globals.targets_file, "a file of targets, one a line, # comments")
      ->type_name("FILE");
  app.add_flag("--json", globals.json, "one JSON object a target on stdout (JSON Lines)");
  app.add_option("-j,--jobs", globals.jobs, "targets handled at once (default 16)")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-v,--verbose", globals.verbose, "byte trace of every exchange on stderr");
  app.add_flag("-q,--quiet", globals.quiet, "print failures only");
  app.add_option("--lang", globals.lang, "message language (default: from the locale)")
      ->check(CLI::IsMember({"en", "ja"}));

  int status = kExitOk;
  std::vector<Target> targets;
  std::function<int(Language)> run;

  auto* status_command = app.add_subcommand("status", "the printer's status text and code");
  status_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(
          globals, targets, "status", language,
          [language](Session& session, const Target&) { return StatusCommand(session, language); });
    };
  });

  auto* version_command = app.add_subcommand("version", "the firmware version text and its class");
  version_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(globals, targets, "version", language,
                          [](Session& session, const Target&) { return VersionCommand(session); });
    };
  });

  std::string sensor;
  auto* calibrate_command = app.add_subcommand("calibrate", "media sensor calibration");
  calibrate_command->add_option("sensor", sensor, "reflective, transmissive or none")
      ->required()
      ->check(CLI::IsMember({"reflective", "transmissive", "none"}));
  calibrate_command->callback([&] {
    const std::int32_t value = sensor == "reflective" ? 0 : sensor == "transmissive" ? 1 : 2;
    run = [&, value](Language language) {
      return RunOnTargets(globals, targets, "calibrate", language,
                          [value](Session& session, const Target&) {
                            return MaintenanceCommand(session, Maintenance::kCalibrate, value);
                          });
    };
  });

  std::string selector;
  auto* z1_command = app.add_subcommand("z1", "maintenance command Z1 (0: Z10, 1: Z11)");
  z1_command->add_option("selector", selector, "0 or 1")
      ->required()
      ->check(CLI::IsMember({"0", "1"}));
  z1_command->callback([&] {
    const std::int32_t value = selector == "1" ? 1 : 0;
    run = [&, value](Language language) {
      return RunOnTargets(globals, targets, "z1", language,
                          [value](Session& session, const Target&) {
                            return MaintenanceCommand(session, Maintenance::kZ1, value);
                          });
    };
  });

  auto* z4_command = app.add_subcommand("z4", "maintenance command Z4");
  z4_command->callback([&] {
    run = [&](Language language) {
      return RunOnTargets(globals, targets, "z4", language, [](Session& session, const Target&) {
        return MaintenanceCommand(session, Maintenance::kZ4, 0);
      });
    };
  });

  std::string get_parts = "all";
  std::string get_output;
  auto* get_command = app.add_subcommand("get", "read the settings into JSON (stdout, or -o FILE)");
  get_command->add_option("part", get_parts, "params, lan or all (default all)")
      ->check(CLI::IsMember({"params", "lan", "all"}));
  get_command
      ->add_option("-o,--output", get_output,
                   "write to FILE: .json the document, .ts0/.ts1 the setting file")
      ->type_name("FILE");
  get_command->callback([&] {
    run = [&](Language language) {
      if (!get_output.empty() && targets.size() > 1) {
        return Usage(FormatText(kOneTargetText, language, std::to_string(targets.size())));
      }
      if (!get_output.empty() && !IsSettingsFileName(get_output)) {
        return Usage(FormatText(kFileNameText, language, get_output));
      }
      const Parts parts = PartsFor(get_parts);
      if (!get_output.empty() && !EndsWithCase(get_output, ".json") &&
          (parts.Parameters && parts.Lan)) {
        return Usage(FormatText(kOnePartText, language, get_output));
      }
      if (EndsWithCase(get_output, ".ts0") && !parts.Parameters) {
        return Usage(FormatText(kTs0Text, language, get_output));
      }
      if (EndsWithCase(get_output, ".ts1") && !parts.Lan) {
        return Usage(FormatText(kTs1Text, language, get_output));
      }
      return RunOnTargets(globals, targets, "get", language,
                          [&, parts, language](Session& session, const Target&) {
                            return GetCommand(session, parts, get_output, language);
                          });
    };
  });

  std::vector<std::string> set_inputs;
  SetOptions set_options;
  bool no_verify = false;
  auto* set_command = app.add_subcommand(
      "set", "write a configuration: FILE (.json, .ts0, .ts1) and/or KEY=VALUE pairs");
  set_command->add_option("input", set_inputs, "FILE or KEY=VALUE (e.g. comm_speed=19200)")
      ->required();
  set_command->add_flag("--check", set_options.Check, "show what would change, write nothing");
  set_command->add_flag("--no-verify", no_verify, "do not read the written settings back");
  bool keep_identity = false;
  set_command->add_flag("--keep-identity", keep_identity,
                        "leave out ip_address and dhcp_hostname: every printer keeps its own");
  set_command
      ->add_option("--firmware", set_options.Firmware,
                   "links without replies (parallel): the printer's firmware version, e.g. 1.0J")
      ->type_name("VERSION");
  set_command->callback([&] {
    run = [&](Language language) {
      Configuration configuration;
      int input_status = kExitOk;
      if (!set_options.Firmware.empty() && !IsFirmwareText(set_options.Firmware)) {
        return Usage(FormatText(kFirmwareText, language, set_options.Firmware));
      }
      if (!BuildConfiguration(set_inputs, keep_identity, language, configuration, input_status)) {
        return input_status;
      }
      if (const std::string refused = SharedIdentity(configuration, targets, language);
          !refused.empty()) {
        return Usage(refused);
      }
      set_options.Verify = !no_verify;
      set_options.Stop = &stop;
      for (const Target& target : targets) {
        if (target.Kind != lkLpt) continue;
        if (set_options.Firmware.empty()) {
          return Usage(FormatText(kNeedsFirmwareText, language, Printable(target.Text)));
        }
        if ((configuration.HasParameters && !NamesWholeParameters(configuration)) ||
            (configuration.HasLan && !NamesWholeLan(configuration))) {
          return Usage(FormatText(kNeedsWholePartText, language, Printable(target.Text)));
        }
      }
      auto shared = std::make_shared<const Configuration>(std::move(configuration));
      return RunOnTargets(globals, targets, "set", language,
                          [&, shared, language](Session& session, const Target&) {
                            return SetCommand(session, *shared, set_options, language);
                          });
    };
  });

  std::string convert_in;
  std::string convert_out;
  auto* convert_command =
      app.add_subcommand("convert", "convert between .ts0/.ts1 and JSON: convert IN OUT");
  convert_command->add_option("in", convert_in, "the file to read")->required();
  convert_command->add_option("out", convert_out, "the file to write")->required();
  convert_command->callback([&] {
    run = [&](Language language) {
      auto loaded = LoadConfiguration(convert_in, language, ValueUse::kStore);
      if (auto* refused = std::get_if<ConfigError>(&loaded)) return Usage(refused->Message);
      if (!IsSettingsFileName(convert_out)) {
        return Usage(FormatText(kFileNameText, language, convert_out));
      }
      const ConfigError saved =
          SaveConfiguration(convert_out, std::get<Configuration>(loaded), language);
      if (!saved.Ok()) {
        std::cerr << "krt6ctl: " << saved.Message << "\n";
        return saved.Key.empty() ? kExitFailed : kExitUsage;
      }
      return kExitOk;
    };
  });

  std::string diff_a;
  std::string diff_b;
  auto* diff_command = app.add_subcommand(
      "diff", "compare two configurations field by field: files (.json, .ts0, .ts1) or targets");
  diff_command->add_option("a", diff_a, "FILE or TARGET")->required();
  diff_command->add_option("b", diff_b, "FILE or TARGET")->required();
  diff_command->callback(
      [&] { run = [&](Language language) { return RunDiff(globals, diff_a, diff_b, language); }; });

  auto* list_command = app.add_subcommand(
      "list", "the attached printers and ports: USB (vendor id 6f2d), serial and parallel");
  list_command->callback([&] { run = [&](Language) { return RunList(globals); }; });

  std::string scan_network;
  int scan_port = 8000;
  auto* scan_command = app.add_subcommand(
      "scan", "ask every address of a range (at most a /22) or a host list for its status");
  scan_command->add_option("network", scan_network, "e.g. 192.168.1.0/24 or host1,host2")
      ->required();
  scan_command->add_option("--port", scan_port, "the printers' TCP port (default 8000)")
      ->check(CLI::Range(1, 65535));
  scan_command->callback([&] {
    run = [&](Language language) { return RunScan(globals, scan_network, scan_port, language); };
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Usage(std::string(e.what()) + " (see --help)");
  }
  const Language language = ChosenLanguage(globals);
  const bool needs_targets = !(app.got_subcommand("convert") || app.got_subcommand("diff") ||
                               app.got_subcommand("list") || app.got_subcommand("scan"));
  if (needs_targets && !CollectTargets(globals, language, targets, status)) return status;
  if (!needs_targets && (!globals.targets.empty() || !globals.targets_file.empty())) {
    return Usage(TextFor(kNoTargetsTakenText, language));
  }
  return run ? run(language) : Usage(TextFor(kNoCommandText, language));
}

}  // namespace krt6::cli
