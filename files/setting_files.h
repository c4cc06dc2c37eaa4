// The parameter setting file (*.ts0) and the extra setting file (*.ts1): the ParameterBlock and
// the LanSettings as little-endian bytes, whatever the host, and their lenient loading. Each
// field's place is its row's `file_offset`; only the older parameter layouts are written here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/file_io.h"
#include "files/file_result.h"
#include "records/fields.h"
#include "records/records.h"

namespace krt6 {

inline constexpr std::size_t kParameterFileSize = 92;
inline constexpr std::size_t kLanSettingsFileSize = 107;
// The sizes a setting file has in one of its layouts: the parameter file's older layouts (76, 84
// and 88 bytes) and its full one, the extra setting file's one layout.
inline constexpr std::size_t kParameterFileLayoutSizes[] = {76, 84, 88, kParameterFileSize};
inline constexpr std::size_t kLanSettingsFileLayoutSizes[] = {kLanSettingsFileSize};
using ParameterFileBytes = std::array<std::uint8_t, kParameterFileSize>;
using LanSettingsFileBytes = std::array<std::uint8_t, kLanSettingsFileSize>;

// The 92 bytes of a parameter setting file: the 23 fields, 4 bytes each.
ParameterFileBytes EncodeParameterBlock(const ParameterBlock& block);
ParameterBlock DecodeParameterBlock(const ParameterFileBytes& bytes);

// Loads `size` bytes of a parameter setting file over `block`, chosen by size: 76, 84 and 88
// bytes are the older layouts and fill only the fields they carry; any other size is the 92-byte
// layout, of which the first min(size, 92) bytes replace the start of the record (the window
// loads files of any size so; the readable configuration refuses sizes no layout has). Fields the
// file does not reach keep their values. The texts are then made safe (TerminateTexts).
void ApplyParameterFile(const std::uint8_t* data, std::size_t size, ParameterBlock& block);

// The 107 bytes of an extra setting file: the LanSettings fields one after another, without gaps.
LanSettingsFileBytes EncodeLanSettings(const LanSettings& settings);
LanSettings DecodeLanSettings(const LanSettingsFileBytes& bytes);

// Loads the first min(size, 107) bytes of an extra setting file over the start of `settings`,
// then makes the texts safe.
void ApplyLanSettingsFile(const std::uint8_t* data, std::size_t size, LanSettings& settings);

// Whether loading a setting file of `size` bytes of the field's part gives the field a byte of
// the file: the older parameter layouts, and a short file, leave fields as they were.
bool FileReaches(const FieldRow& row, std::size_t size);

// A text field without a NUL gets one in its last byte, so that every text ends within its own
// field. Fields that already hold a NUL are left exactly as they are.
void TerminateTexts(ParameterBlock& block);
void TerminateTexts(LanSettings& settings);

// Saving replaces the file as a whole or leaves the old one untouched (ReplaceFileAtomically).
// Loading changes the record only when the file could be read.
FileResult SaveParameterFile(const std::string& path, const ParameterBlock& block,
                             const ReplaceHook& hook = {},
                             Durability durability = Durability::kAtOnce);
FileResult LoadParameterFile(const std::string& path, ParameterBlock& block);
FileResult SaveLanSettingsFile(const std::string& path, const LanSettings& settings,
                               const ReplaceHook& hook = {},
                               Durability durability = Durability::kAtOnce);
FileResult LoadLanSettingsFile(const std::string& path, LanSettings& settings);

}  // namespace krt6
