// One operator text in both languages. The texts themselves, and the choice between them, are in
// texts/; the field table keeps its captions and items with the fields.
#pragma once

namespace krt6 {

// One text in both languages, English first.
struct TextPair {
  const char* english;
  const char* japanese;
};

}  // namespace krt6
