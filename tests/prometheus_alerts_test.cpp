// The example alert rules against the status table: every status name they match exists, the
// paper end and the jam are CRITICAL, and the alert for the other CRITICAL statuses names exactly
// those, so that a status added to or renamed in the table cannot go without an alert.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "monitor/status_levels.h"

namespace {

using krt6::monitor::Level;
using krt6::monitor::StatusRows;

std::string ReadRules() {
  std::ifstream in(KRT6_SOURCE_DIR "/contrib/prometheus/krt6-alerts.yml");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Split(const std::string& alternatives) {
  std::set<std::string> names;
  std::stringstream in(alternatives);
  for (std::string name; std::getline(in, name, '|');) names.insert(name);
  return names;
}

TEST(PrometheusAlerts, StatusNamesAgreeWithTheStatusTable) {
  const std::string rules = ReadRules();
  ASSERT_FALSE(rules.empty()) << "contrib/prometheus/krt6-alerts.yml not read";
  std::set<std::string> table;
  std::set<std::string> critical;
  for (const auto& row : StatusRows()) {
    table.emplace(row.name);
    if (row.level == Level::kCritical) critical.emplace(row.name);
  }

  // Every single status an expression names (status="..."), and the alternatives of status=~.
  const std::regex single(R"re(krt6_status\{status="([a-z0-9_]+)"\})re");
  std::set<std::string> own_alerts;
  for (std::sregex_iterator it(rules.begin(), rules.end(), single), end; it != end; ++it) {
    own_alerts.insert((*it)[1]);
  }
  EXPECT_EQ(own_alerts, (std::set<std::string>{"paper_error", "paper_jam"}));
  for (const auto& name : own_alerts) {
    EXPECT_TRUE(critical.count(name)) << name << " is not a CRITICAL status of the table";
  }

  const std::regex any(R"re(krt6_status\{status=~"([a-z0-9_|]+)"\})re");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(rules, match, any)) << "no alert for the other CRITICAL statuses";
  std::set<std::string> others = Split(match[1]);
  for (const auto& name : others) {
    EXPECT_TRUE(table.count(name)) << name << " is no status of the table";
    EXPECT_FALSE(own_alerts.count(name)) << name << " would be alerted twice";
  }
  others.insert(own_alerts.begin(), own_alerts.end());
  EXPECT_EQ(others, critical) << "the alerts cover other statuses than the CRITICAL ones";
}

}  // namespace
