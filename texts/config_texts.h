// The texts of the readable configuration (JSON documents, KEY=VALUE pairs, the comparison of
// two configurations). A refusal names the key first ("%1" below), then says what is wrong.
#pragma once

#include "texts/texts.h"

namespace krt6 {

inline constexpr TextPair kConfigNotJsonText{"The configuration is not valid JSON: %1",
                                             "設定が正しい JSON ではありません: %1"};
inline constexpr TextPair kConfigNotObjectText{
    "The configuration must be one JSON object.",
    "設定は JSON オブジェクト 1 つでなければなりません。"};
inline constexpr TextPair kConfigFormatText{
    "The configuration needs \"format\": \"krt6-settings\".",
    "設定には \"format\": \"krt6-settings\" が必要です。"};
inline constexpr TextPair kConfigVersionText{"The configuration needs \"version\": 1.",
                                             "設定には \"version\": 1 が必要です。"};
inline constexpr TextPair kConfigUnknownKeyText{"%1: unknown key.", "%1: 不明なキーです。"};
inline constexpr TextPair kConfigExpectedText{"%1: must be %2.", "%1: %2でなければなりません。"};
inline constexpr TextPair kConfigNoItemText{"%1: \"%2\" is no item; the items are %3.",
                                            "%1: 「%2」は項目にありません。項目: %3。"};
inline constexpr TextPair kConfigTwoItemsText{
    "%1: \"%2\" names two items; write %3.",
    "%1: 「%2」は 2 つの項目を指します。次のどちらかで書いてください: %3。"};
inline constexpr TextPair kConfigRangeText{"%1: %2 is out of range (%3 ~ %4).",
                                           "%1: %2 は範囲外です (%3 ~ %4)。"};
inline constexpr TextPair kConfigTextLengthText{"%1: the text is longer than %2 characters.",
                                                "%1: 文字列が %2 文字を超えています。"};
inline constexpr TextPair kConfigKeyValueText{"\"%1\": expected KEY=VALUE.",
                                              "「%1」: KEY=VALUE の形で指定してください。"};
inline constexpr TextPair kConfigExtensionText{
    "%1: the file name must end in .json, .ts0 or .ts1.",
    "%1: ファイル名の拡張子は .json, .ts0, .ts1 のいずれかでなければなりません。"};
inline constexpr TextPair kConfigNoValueText{"%1: %2 is none of its values %3.",
                                             "%1: %2 は値 %3 のいずれでもありません。"};
inline constexpr TextPair kConfigDuplicateKeyText{"%1: the key is given more than once.",
                                                  "%1: キーが複数回指定されています。"};
inline constexpr TextPair kConfigNoFieldsText{
    "The configuration names no field: give at least one key of \"parameters\" or \"lan\".",
    "設定に項目が 1 つもありません。\"parameters\" か \"lan\" のキーを少なくとも 1 つ指定して"
    "ください。"};
inline constexpr TextPair kConfigTooLargeText{
    "%1: too large for a configuration (more than %2 bytes).",
    "%1: 設定としては大きすぎます (%2 バイトを超えています)。"};
// %2 the extension, %3 the sizes of its layouts, %4 the file's size.
inline constexpr TextPair kConfigFileSizeText{
    "%1: %4 bytes is no size of a %2 file (%3 bytes).",
    "%1: %4 バイトは %2 ファイルのサイズではありません (%3 バイト)。"};
inline constexpr TextPair kConfigNoPartText{"%1: the configuration has no \"%2\" part to write.",
                                            "%1: 設定に書き込む \"%2\" がありません。"};

// What a value must be, for kConfigExpectedText's "%2".
inline constexpr TextPair kConfigWantObjectText{"an object", "オブジェクト"};
inline constexpr TextPair kConfigWantItemText{"an item text or an item index",
                                              "項目の文字列か項目番号"};
inline constexpr TextPair kConfigWantIntegerText{"an integer", "整数"};
inline constexpr TextPair kConfigWantTextText{"a text", "文字列"};
inline constexpr TextPair kConfigWantAddressText{"a dotted address such as 192.168.0.5",
                                                 "192.168.0.5 のようなドット区切りのアドレス"};
inline constexpr TextPair kConfigWantRawText{"{\"raw\": %1}", "{\"raw\": %1}"};
inline constexpr TextPair kConfigWantTextFormText{
    "a text, {\"text\": ..., \"after_nul\": ...} or {\"raw\": ...}",
    "文字列、{\"text\": ..., \"after_nul\": ...} または {\"raw\": ...}"};
inline constexpr TextPair kConfigWantHexText{
    "hexadecimal bytes such as \"46 46 00\", at most %1 of them",
    "\"46 46 00\" のような 16 進のバイト列 (%1 バイトまで)"};
inline constexpr TextPair kConfigWantRawAddressText{"four integers", "整数 4 つ"};
inline constexpr TextPair kConfigWantNoNulText{"a text without NUL characters",
                                               "NUL 文字を含まない文字列"};

// The readable form of one of two items that share a text, "XON/XOFF protocol (item 3)".
inline constexpr TextPair kConfigItemNumberText{"%1 (item %2)", "%1 (項目 %2)"};
// The side of a comparison on which a configuration does not name the field.
inline constexpr TextPair kConfigNotSetText{"(not set)", "(未設定)"};

}  // namespace krt6
