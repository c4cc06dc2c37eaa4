#include "files/setting_files.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <vector>

#include "records/fields.h"

namespace krt6 {
namespace {

constexpr FieldPart kParameterPart = FieldPart::kParameters;
constexpr FieldPart kLanPart = FieldPart::kLan;

// A field's bytes between the record and the file: texts and one-byte fields as they are, the
// int32 values little-endian whatever the host.
void CopyField(const FieldRow& row, std::uint8_t* to, const std::uint8_t* from) {
  std::memcpy(to, from, row.member.size);
  if constexpr (std::endian::native == std::endian::big) {
    if (row.kind != FieldKind::kText && row.member.size != 1) {
      for (std::size_t i = 0; i < row.member.size; i += 4) std::reverse(to + i, to + i + 4);
    }
  }
}

// The record's fields at their places in the full layout of the part's file, and back.
void Encode(FieldPart part, const void* record, std::uint8_t* bytes) {
  for (const FieldRow& row : Fields()) {
    if (row.part == part && row.file_offset != kNotInFile) {
      CopyField(row, bytes + row.file_offset, MemberBytes(row, record));
    }
  }
}

void Decode(FieldPart part, const std::uint8_t* bytes, void* record) {
  for (const FieldRow& row : Fields()) {
    if (row.part == part && row.file_offset != kNotInFile) {
      CopyField(row, MemberBytes(row, record), bytes + row.file_offset);
    }
  }
}

void Terminate(FieldPart part, void* record) {
  for (const FieldRow& row : Fields()) {
    if (row.part != part || row.kind != FieldKind::kText) continue;
    std::uint8_t* text = MemberBytes(row, record);
    if (std::memchr(text, 0, row.member.size) == nullptr) text[row.member.size - 1] = 0;
  }
}

// A run of file bytes and where in the full layout they land.
struct Span {
  std::size_t file_offset;
  std::size_t layout_offset;
  std::size_t length;
};

// The older parameter layouts: 76 bytes lack four fields of the full layout, 84 bytes (and 88,
// whose last 4 bytes are not used) two of them.
constexpr Span kLayout76[] = {
    {0, 0, 28}, {28, 32, 12}, {40, 44, 4}, {44, 48, 20}, {64, 72, 12},
};
constexpr Span kLayout84[] = {{0, 0, 68}, {68, 72, 16}};

// The runs of a file of `size` bytes of the part: an older parameter layout, or else the start
// of the full layout, as much of it as the file holds (`prefix` keeps that run).
std::span<const Span> LayoutOf(FieldPart part, std::size_t size, Span& prefix) {
  if (part == kParameterPart && size == 76) return kLayout76;
  if (part == kParameterPart && (size == 84 || size == 88)) return kLayout84;
  const std::size_t full = part == kParameterPart ? kParameterFileSize : kLanSettingsFileSize;
  prefix = {0, 0, std::min(size, full)};
  return {&prefix, 1};
}

// Lays the file's bytes over `bytes`, the full layout of the record they are loaded over.
void Place(FieldPart part, const std::uint8_t* data, std::size_t size, std::uint8_t* bytes) {
  Span prefix{};
  for (const Span& span : LayoutOf(part, size, prefix)) {
    std::memcpy(bytes + span.layout_offset, data + span.file_offset, span.length);
  }
}

}  // namespace

ParameterFileBytes EncodeParameterBlock(const ParameterBlock& block) {
  ParameterFileBytes bytes{};
  Encode(kParameterPart, &block, bytes.data());
  return bytes;
}

ParameterBlock DecodeParameterBlock(const ParameterFileBytes& bytes) {
  ParameterBlock block;
  Decode(kParameterPart, bytes.data(), &block);
  return block;
}

void ApplyParameterFile(const std::uint8_t* data, std::size_t size, ParameterBlock& block) {
  if (data == nullptr || size == 0) return;
  ParameterFileBytes bytes = EncodeParameterBlock(block);
  Place(kParameterPart, data, size, bytes.data());
  Decode(kParameterPart, bytes.data(), &block);
  TerminateTexts(block);
}

LanSettingsFileBytes EncodeLanSettings(const LanSettings& settings) {
  LanSettingsFileBytes bytes{};
  Encode(kLanPart, &settings, bytes.data());
  return bytes;
}

LanSettings DecodeLanSettings(const LanSettingsFileBytes& bytes) {
  LanSettings settings;
  Decode(kLanPart, bytes.data(), &settings);
  return settings;
}

void ApplyLanSettingsFile(const std::uint8_t* data, std::size_t size, LanSettings& settings) {
  if (data == nullptr || size == 0) return;
  LanSettingsFileBytes bytes = EncodeLanSettings(settings);
  Place(kLanPart, data, size, bytes.data());
  Decode(kLanPart, bytes.data(), &settings);
  TerminateTexts(settings);
}

bool FileReaches(const FieldRow& row, std::size_t size) {
  if (row.file_offset == kNotInFile) return false;
  Span prefix{};
  const std::span<const Span> layout = LayoutOf(row.part, size, prefix);
  return std::any_of(layout.begin(), layout.end(), [&](const Span& span) {
    return span.layout_offset < row.file_offset + row.member.size &&
           row.file_offset < span.layout_offset + span.length;
  });
}

void TerminateTexts(ParameterBlock& block) { Terminate(kParameterPart, &block); }

void TerminateTexts(LanSettings& settings) { Terminate(kLanPart, &settings); }

FileResult SaveParameterFile(const std::string& path, const ParameterBlock& block,
                             const ReplaceHook& hook, Durability durability) {
  const ParameterFileBytes bytes = EncodeParameterBlock(block);
  return ReplaceFileAtomically(path, bytes.data(), bytes.size(), hook, durability);
}

FileResult LoadParameterFile(const std::string& path, ParameterBlock& block) {
  // One byte more than the full layout tells a longer file (read as the 92-byte layout) from
  // one of exactly 92 bytes without asking for the size separately.
  std::vector<std::uint8_t> bytes;
  FileResult result = ReadFilePrefix(path, kParameterFileSize + 1, bytes);
  if (result) ApplyParameterFile(bytes.data(), bytes.size(), block);
  return result;
}

FileResult SaveLanSettingsFile(const std::string& path, const LanSettings& settings,
                               const ReplaceHook& hook, Durability durability) {
  const LanSettingsFileBytes bytes = EncodeLanSettings(settings);
  return ReplaceFileAtomically(path, bytes.data(), bytes.size(), hook, durability);
}

FileResult LoadLanSettingsFile(const std::string& path, LanSettings& settings) {
  std::vector<std::uint8_t> bytes;
  FileResult result = ReadFilePrefix(path, kLanSettingsFileSize, bytes);
  if (result) ApplyLanSettingsFile(bytes.data(), bytes.size(), settings);
  return result;
}

}  // namespace krt6
