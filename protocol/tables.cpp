#include "protocol/protocol.h"

namespace krt6 {
namespace {

// The two status characters of each known code and the StatusIndex they select; the texts of
// the statuses are in texts/.
struct StatusCode {
  char code[3];
  int index;
};
constexpr StatusCode kStatusCodes[] = {
    {"00", 1},  {"03", 1},  {"40", 1},  {"41", 1},  {"01", 2},  {"02", 3},  {"04", 4},
    {"05", 5},  {"06", 6},  {"07", 7},  {"11", 8},  {"12", 9},  {"13", 10}, {"14", 11},
    {"15", 12}, {"16", 13}, {"17", 14}, {"18", 15}, {"19", 16}, {"21", 17}, {"22", 18},
    {"30", 19}, {"31", 20}, {"50", 21}, {"51", 22}, {"54", 23}, {"55", 24},
};

}  // namespace

int DecodeStatus(char first, char second) {
  for (const StatusCode& entry : kStatusCodes) {
    if (entry.code[0] == first && entry.code[1] == second) return entry.index;
  }
  return 0;
}

}  // namespace krt6
