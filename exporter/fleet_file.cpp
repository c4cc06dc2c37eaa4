#include "exporter/fleet_file.h"

#include <yaml-cpp/yaml.h>

#include <filesystem>
#include <map>

namespace krt6::exporter {
namespace {

std::string At(const std::string& path, const YAML::Node& node, const std::string& key,
               const std::string& what) {
  const std::size_t line =
      node.Mark().line >= 0 ? static_cast<std::size_t>(node.Mark().line) + 1 : 0;
  return path + ":" + std::to_string(line) + ": " + key + ": " + what;
}

bool Scalar(const YAML::Node& node) { return node.IsScalar(); }

std::optional<std::string> ReadLabels(const YAML::Node& node, const std::string& path,
                                      const std::string& key, monitor::Labels& labels) {
  if (!node || node.IsNull()) return std::nullopt;
  if (!node.IsMap()) return At(path, node, key, "the labels are a map of names to values");
  for (const auto& entry : node) {
    const YAML::Node& name_node = entry.first;
    const YAML::Node& value_node = entry.second;
    if (!Scalar(name_node)) return At(path, name_node, key, "a label's name is a word");
    const std::string name = name_node.Scalar();
    if (!monitor::ValidLabelName(name)) {
      return At(path, name_node, key + "." + name,
                "a label's name is letters, digits and '_', not beginning with a digit or \"__\"");
    }
    if (ReservedLabel(name)) {
      return At(path, name_node, key + "." + name, "the exporter sets this label itself");
    }
    for (const auto& [other, ignored] : labels) {
      if (other == name) return At(path, name_node, key + "." + name, "the label is given twice");
    }
    if (!Scalar(value_node)) {
      return At(path, value_node, key + "." + name, "a label's value is a text or a number");
    }
    labels.emplace_back(name, value_node.Scalar());
  }
  return std::nullopt;
}

std::optional<std::string> ReadTarget(const YAML::Node& item, const std::string& path,
                                      const std::string& key, FleetTarget& entry) {
  if (!item.IsMap()) return At(path, item, key, "each target is a map with target:");
  entry.line = static_cast<std::size_t>(item.Mark().line) + 1;
  for (const auto& field : item) {
    const std::string name = field.first.IsScalar() ? field.first.Scalar() : "";
    if (name != "target" && name != "labels" && name != "config") {
      return At(path, field.first, key + "." + name, "unknown key (target, labels, config)");
    }
  }
  const YAML::Node target = item["target"];
  if (!target) return At(path, item, key + ".target", "the target is missing");
  if (!Scalar(target)) return At(path, target, key + ".target", "the target is a text");
  auto parsed = cli::ParseTarget(target.Scalar());
  if (auto* why = std::get_if<std::string>(&parsed)) return At(path, target, key + ".target", *why);
  entry.target = std::get<cli::Target>(std::move(parsed));
  entry.target.Origin = path + ":" + std::to_string(entry.line);
  entry.key = cli::PrinterKey(entry.target);
  if (auto fault = ReadLabels(item["labels"], path, key + ".labels", entry.labels)) return fault;
  const YAML::Node config = item["config"];
  if (config && !config.IsNull()) {
    if (!Scalar(config) || config.Scalar().empty()) {
      return At(path, config, key + ".config", "the desired configuration is a file name");
    }
    std::filesystem::path file = config.Scalar();
    if (file.is_relative()) file = std::filesystem::path(path).parent_path() / file;
    entry.config_path = file.string();
    auto loaded = LoadConfiguration(entry.config_path, Language::kEnglish, ValueUse::kSend);
    if (auto* error = std::get_if<ConfigError>(&loaded)) {
      return At(path, config, key + ".config", error->Message);
    }
    entry.desired = std::get<Configuration>(std::move(loaded));
  }
  return std::nullopt;
}

std::variant<Fleet, std::string> ReadFleet(const YAML::Node& root, const std::string& path) {
  if (!root.IsMap()) return path + ":1: the fleet file is a map with targets:";
  for (const auto& field : root) {
    const std::string name = field.first.IsScalar() ? field.first.Scalar() : "";
    if (name != "targets") return At(path, field.first, name, "unknown key (targets)");
  }
  const YAML::Node targets = root["targets"];
  if (!targets) return path + ":1: targets: the list of targets is missing";
  Fleet fleet;
  if (targets.IsNull()) return fleet;
  if (!targets.IsSequence()) return At(path, targets, "targets", "the targets are a list");
  std::map<std::string, std::size_t> lines;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string key = "targets[" + std::to_string(i) + "]";
    FleetTarget entry;
    if (auto fault = ReadTarget(targets[i], path, key, entry)) return *fault;
    const auto [seen, added] = lines.emplace(entry.key, entry.line);
    if (!added) {
      return path + ":" + std::to_string(entry.line) + ": " + key + ".target: the printer " +
             entry.key + " is already the target of line " + std::to_string(seen->second);
    }
    fleet.targets.push_back(std::move(entry));
  }
  return fleet;
}

}  // namespace

bool ReservedLabel(const std::string& name) {
  return name == "target" || name == "status" || name == "cause" || name == "firmware" ||
         name == "instance" || name == "job";
}

std::variant<Fleet, std::string> ParseFleet(const std::string& text, const std::string& path) {
  // yaml-cpp reports its faults as exceptions; they end here, as the fleet's fault.
  try {
    return ReadFleet(YAML::Load(text), path);
  } catch (const YAML::Exception& error) {
    return path + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg;
  }
}

std::variant<Fleet, std::string> LoadFleet(const std::string& path) {
  std::string contents, error;
  if (!cli::ReadTargetsBytes(path, contents, error)) return error;
  return ParseFleet(contents, path);
}

}  // namespace krt6::exporter
