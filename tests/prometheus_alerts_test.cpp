// The example alert rules against the status table: every status name they match exists, the
// paper end and the jam are CRITICAL, and the alert for the other CRITICAL statuses names exactly
// those, so that a status added to or renamed in the table cannot go without an alert.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

// What stands after each `prefix` up to its closing quote, where that is made of status names
// ([a-z0-9_], '|' between alternatives) and the quote closes the selector ("}).
std::vector<std::string> NamesAfter(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(prefix); at != std::string::npos;
       at = text.find(prefix, at + 1)) {
    const std::size_t begin = at + prefix.size();
    std::size_t end = begin;
    while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) ||
                                 std::isdigit(static_cast<unsigned char>(text[end])) ||
                                 text[end] == '_' || text[end] == '|')) {
      ++end;
    }
    if (end > begin && text.compare(end, 2, "\"}") == 0)
      found.push_back(text.substr(begin, end - begin));
  }
  return found;
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
  std::set<std::string> own_alerts;
  for (const std::string& name : NamesAfter(rules, "krt6_status{status=\"")) {
    own_alerts.insert(name);
  }
  EXPECT_EQ(own_alerts, (std::set<std::string>{"paper_error", "paper_jam"}));
  for (const auto& name : own_alerts) {
    EXPECT_TRUE(critical.count(name)) << name << " is not a CRITICAL status of the table";
  }

  const std::vector<std::string> any = NamesAfter(rules, "krt6_status{status=~\"");
  ASSERT_FALSE(any.empty()) << "no alert for the other CRITICAL statuses";
  std::set<std::string> others = Split(any[0]);
  for (const auto& name : others) {
    EXPECT_TRUE(table.count(name)) << name << " is no status of the table";
    EXPECT_FALSE(own_alerts.count(name)) << name << " would be alerted twice";
  }
  others.insert(own_alerts.begin(), own_alerts.end());
  EXPECT_EQ(others, critical) << "the alerts cover other statuses than the CRITICAL ones";
}

}  // namespace
