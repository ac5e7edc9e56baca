#include "stamp/stamp_pieces.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "stamp/stamp_template.h"
#include "stamp_image_reader.h"

namespace {

const std::string templateVersion = "11.22.33.4444";

std::string joined(const std::vector<std::string>& pieces) {
  std::string hex;
  for (const std::string& piece : pieces) {
    hex += piece;
  }
  return hex;
}

std::vector<std::string> templatePieces() {
  return std::vector<std::string>(stampTemplatePieces.begin(), stampTemplatePieces.end());
}

std::string templateImage() { return decodeHex(joined(templatePieces())); }

std::array<int, 4> versionFields(const std::string& version) {
  std::array<int, 4> fields{};
  std::size_t start = 0;
  for (int& field : fields) {
    const std::size_t dot = version.find('.', start);
    field = std::stoi(version.substr(start, dot - start));
    start = dot + 1;
  }
  return fields;
}

std::string stampImage(const std::string& version) {
  return decodeHex(joined(versionStampPieces(templatePieces(), version, versionFields(version))));
}

// A valid version of the given length (7 to 23): the digits spread over the four fields, each
// field a prefix of a number no larger than 65535.
std::string versionOfLength(std::size_t length) {
  const std::array<std::string, 4> sources = {"65535", "12345", "40960", "59999"};
  const std::size_t digits = length - 3;
  std::string version;
  for (std::size_t field = 0; field < 4; ++field) {
    const std::size_t count = digits / 4 + (field < digits % 4 ? 1 : 0);
    if (field > 0) version += '.';
    version += sources[field].substr(0, count);
  }
  return version;
}

// File offsets at which each piece starts, plus the end of the last one.
std::vector<std::size_t> pieceOffsets(const std::vector<std::string>& pieces) {
  std::vector<std::size_t> offsets = {0};
  for (const std::string& piece : pieces) {
    offsets.push_back(offsets.back() + piece.size() / 2);
  }
  return offsets;
}

const VersionInfoBlock& child(const VersionInfoBlock& block, const std::string& key) {
  for (const VersionInfoBlock& candidate : block.children) {
    if (candidate.key == key) return candidate;
  }
  throw std::out_of_range("no block " + key + " under " + block.key);
}

const VersionInfoBlock& stringBlock(const VersionInfoBlock& root, const std::string& key) {
  return child(child(child(root, "StringFileInfo"), "041104b0"), key);
}

// Every block's total length must be where its content really ends; the keys must form exactly
// the tree of the template, in order.
void expectBlockLengthsMatchContent(const VersionInfoBlock& block) {
  SCOPED_TRACE(block.key);
  EXPECT_EQ(block.length, block.realEnd - block.start);
  for (const VersionInfoBlock& inner : block.children) {
    expectBlockLengthsMatchContent(inner);
  }
}

std::vector<std::string> keysOf(const VersionInfoBlock& block) {
  std::vector<std::string> keys = {block.key};
  for (const VersionInfoBlock& inner : block.children) {
    for (const std::string& key : keysOf(inner)) {
      keys.push_back(key);
    }
  }
  return keys;
}

VersionInfoBlock versionInfoOf(const std::string& image) {
  const std::vector<ResourceLeaf> leaves = readResourceLeaves(image);
  if (leaves.size() != 1) throw std::out_of_range("expected exactly one resource");
  return readVersionInfoBlock(image, fileOffsetOfRva(readSections(image), leaves[0].dataRva));
}

TEST(HexHelpers, TextToHexWritesEachCharacterCode) {
  EXPECT_EQ(textToHex("11.8"), "31312e38");
  EXPECT_EQ(textToHex(""), "");
  EXPECT_EQ(textToHex("\x0a"), "a");  // no leading zero
  // Bytes from 0x80 on are widened as signed 8-bit values.
  EXPECT_EQ(textToHex("\x80\xff"), "ffffff80ffffffff");
}

TEST(HexHelpers, NumberToHexHasNoLeadingZeros) {
  EXPECT_EQ(numberToHex(192), "c0");
  EXPECT_EQ(numberToHex(0), "0");
  EXPECT_EQ(numberToHex(4096), "1000");
  EXPECT_EQ(numberToHex(-1), "ffffffff");
}

TEST(HexHelpers, NumberToHex4FillsToFourDigits) {
  EXPECT_EQ(numberToHex4(11), "000b");
  EXPECT_EQ(numberToHex4(0), "0000");
  EXPECT_EQ(numberToHex4(65535), "ffff");
  EXPECT_EQ(numberToHex4(0x12345), "12345");
}

TEST(HexHelpers, ReverseHexBytesReversesDigitPairs) {
  EXPECT_EQ(reverseHexBytes("0021115c000b0016"), "16000b005c112100");
  EXPECT_EQ(reverseHexBytes("abc"), "bc0a");  // odd length: a zero goes in front first
  EXPECT_EQ(reverseHexBytes("7f"), "7f");
  EXPECT_EQ(reverseHexBytes(""), "");
}

TEST(HexHelpers, DecodeHexTakesEitherCase) {
  EXPECT_EQ(decodeHex("00aFFf7E"), std::string("\x00\xaf\xff\x7e", 4));
  EXPECT_EQ(decodeHex(""), "");
  EXPECT_THROW(decodeHex("abc"), std::invalid_argument);
  EXPECT_THROW(decodeHex("0g"), std::invalid_argument);
  EXPECT_THROW(decodeHex("0 "), std::invalid_argument);
}

TEST(StampTemplate, PiecesAreUpperCaseHexWithTheSharedPiecesEqual) {
  for (std::size_t index = 0; index < stampTemplatePieces.size(); ++index) {
    const std::string piece = stampTemplatePieces[index];
    SCOPED_TRACE(index);
    EXPECT_FALSE(piece.empty());
    EXPECT_EQ(piece.size() % 2, 0u);
    EXPECT_EQ(piece.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  }
  EXPECT_STREQ(stampTemplatePieces[1], stampTemplatePieces[3]);
  EXPECT_STREQ(stampTemplatePieces[13], stampTemplatePieces[17]);
}

TEST(StampTemplate, IsOneImageEndingWithItsLastSection) {
  const std::string image = templateImage();
  const std::vector<ImageSection> sections = readSections(image);
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(image.substr(0, 2), "MZ");
  EXPECT_EQ(sections.back().name, ".rsrc");
  EXPECT_EQ(image.size(), sections.back().fileOffset + sections.back().rawSize);
  for (const ImageSection& section : sections) {
    SCOPED_TRACE(section.name);
    EXPECT_EQ(section.fileOffset % 0x200, 0u);
    EXPECT_EQ(section.rawSize % 0x200, 0u);
    EXPECT_EQ(section.rva % 0x1000, 0u);
  }
}

// The pieces must fall on the fields the stamp writer replaces, and within the resource section
// everything must sit where the stamp's length arithmetic expects it.
TEST(StampTemplate, ReplacedPiecesCoverTheVersionFields) {
  const std::string image = templateImage();
  const std::vector<ImageSection> sections = readSections(image);
  const std::vector<ResourceLeaf> leaves = readResourceLeaves(image);
  ASSERT_EQ(leaves.size(), 1u);
  EXPECT_EQ(leaves[0].type, 16u);
  EXPECT_EQ(leaves[0].name, 1u);
  EXPECT_EQ(leaves[0].language, 0x0411u);
  const std::size_t section = fileOffsetOfRva(sections, resourceDirectoryRva(image));
  const VersionInfoBlock root = versionInfoOf(image);
  EXPECT_EQ(leaves[0].entryOffset - section, 0x48u);
  EXPECT_EQ(root.start - section, 0x60u);
  EXPECT_EQ(leaves[0].size, root.length);

  const std::vector<std::size_t> at = pieceOffsets(templatePieces());
  EXPECT_EQ(at[1], leaves[0].entryOffset + 4);
  EXPECT_EQ(at[3], root.start);
  EXPECT_EQ(at[5], root.valueStart + 8);
  EXPECT_EQ(at[7], child(root, "StringFileInfo").start);
  EXPECT_EQ(at[9], child(child(root, "StringFileInfo"), "041104b0").start);
  EXPECT_EQ(at[11], stringBlock(root, "FileVersion").start);
  EXPECT_EQ(at[13], stringBlock(root, "FileVersion").valueStart);
  EXPECT_EQ(at[15], stringBlock(root, "ProductVersion").start);
  EXPECT_EQ(at[17], stringBlock(root, "ProductVersion").valueStart);
  EXPECT_EQ(at[19], image.size());

  const std::vector<std::size_t> replacedSizes = {1, 1, 8, 1, 1, 1, 25, 1, 25};
  for (std::size_t index = 0; index < replacedSizes.size(); ++index) {
    EXPECT_EQ(at[2 * index + 2] - at[2 * index + 1], replacedSizes[index])
        << "piece " << 2 * index + 1;
  }
  // The kept pieces inside the version resource: headers, keys and the fixed strings.
  EXPECT_EQ(at[3] - at[2], 19u);
  EXPECT_EQ(at[5] - at[4], 47u);
  EXPECT_EQ(at[7] - at[6], 36u);
  EXPECT_EQ(at[9] - at[8], 35u);
  EXPECT_EQ(at[11] - at[10], 147u);
  EXPECT_EQ(at[13] - at[12], 31u);
  EXPECT_EQ(at[15] - at[14], 143u);
  EXPECT_EQ(at[17] - at[16], 35u);
}

TEST(StampTemplate, VersionResourceHasTheExpectedBlocks) {
  const std::string image = templateImage();
  const VersionInfoBlock root = versionInfoOf(image);
  const std::vector<std::string> keys = {"VS_VERSION_INFO", "StringFileInfo",  "041104b0",
                                         "CompanyName",     "FileDescription", "FileVersion",
                                         "LegalCopyright",  "ProductName",     "ProductVersion",
                                         "VarFileInfo",     "Translation"};
  EXPECT_EQ(keysOf(root), keys);
  expectBlockLengthsMatchContent(root);
  EXPECT_EQ(root.length, 608);
  EXPECT_EQ(root.valueLength, 52);
  EXPECT_EQ(child(root, "StringFileInfo").length, 448);
  EXPECT_EQ(child(child(root, "StringFileInfo"), "041104b0").length, 412);
  const std::vector<std::array<std::string, 2>> strings = {
      {"CompanyName", "Norvane"},
      {"FileDescription", "Firmware version"},
      {"FileVersion", templateVersion},
      {"LegalCopyright", "(C) Norvane"},
      {"ProductName", "Norvane Firmware update"},
      {"ProductVersion", templateVersion}};
  const std::vector<int> lengths = {48, 74, 60, 60, 80, 64};
  for (std::size_t index = 0; index < strings.size(); ++index) {
    const VersionInfoBlock& block = stringBlock(root, strings[index][0]);
    SCOPED_TRACE(block.key);
    EXPECT_EQ(utf16TextAt(image, block.valueStart), strings[index][1]);
    EXPECT_EQ(block.valueLength, strings[index][1].size() + 1);
    EXPECT_EQ(block.length, lengths[index]);
  }
  const VersionInfoBlock& varFileInfo = child(root, "VarFileInfo");
  EXPECT_EQ(varFileInfo.length, 68);
  EXPECT_EQ(child(varFileInfo, "Translation").length, 36);
  EXPECT_EQ(readLittleEndian(image, child(varFileInfo, "Translation").valueStart, 4), 0x04B00411u);
}

TEST(StampTemplate, FixedInformationHoldsBothVersions) {
  const std::string image = templateImage();
  const std::size_t fixed = versionInfoOf(image).valueStart;
  const std::vector<std::uint32_t> expected = {
      0xFEEF04BD, 0x00010000, 0x000B0016, 0x0021115C, 0x00370042, 0x004D22B8, 0x3F,
      0,          0x00040004, 0x8080AAFF, 0,          0,          0};
  for (std::size_t index = 0; index < expected.size(); ++index) {
    EXPECT_EQ(readLittleEndian(image, fixed + 4 * index, 4), expected[index]) << "word " << index;
  }
}

TEST(VersionStamp, TemplateVersionReproducesTheTemplate) {
  EXPECT_EQ(stampImage(templateVersion), templateImage());
  // Twelve characters take as many bytes as thirteen: same length, other content.
  const std::string twelve = stampImage("11.8.50.3434");
  EXPECT_EQ(twelve.size(), templateImage().size());
  EXPECT_NE(twelve, templateImage());
}

TEST(VersionStamp, FixedFileVersionIsTwoLittleEndianDoubleWords) {
  const std::vector<std::string> pieces =
      versionStampPieces(templatePieces(), "65535.0.1.65534", {65535, 0, 1, 65534});
  EXPECT_EQ(pieces[5], "0000fffffeff0100");
  const std::string image = decodeHex(joined(pieces));
  const std::size_t fixed = versionInfoOf(image).valueStart;
  EXPECT_EQ(readLittleEndian(image, fixed + 8, 4), 0xFFFF0000u);
  EXPECT_EQ(readLittleEndian(image, fixed + 12, 4), 0x0001FFFEu);
}

// The layout's own figures for the shortest and longest versions.
TEST(VersionStamp, ShortestAndLongestVersionResources) {
  const std::size_t templateSize = templateImage().size();
  const std::string shortest = stampImage("1.2.3.4");
  EXPECT_EQ(versionInfoOf(shortest).length, 584);
  EXPECT_EQ(shortest.size(), templateSize - 24);
  const std::string longest = stampImage("65535.65535.65535.6553");
  EXPECT_EQ(versionInfoOf(longest).length, 648);
  EXPECT_EQ(longest.size(), templateSize + 40);
}

const std::size_t shortestVersion = 7;
const std::size_t longestVersion = 23;

TEST(EveryVersionLength, FileLengthGrowsWithTheTwoVersionTexts) {
  for (std::size_t length = shortestVersion; length <= longestVersion; ++length) {
    const std::string version = versionOfLength(length);
    SCOPED_TRACE(version);
    ASSERT_EQ(version.size(), length);
    const long even = length % 2 == 0 ? 2 : 0;
    const long expected = static_cast<long>(templateImage().size()) +
                          2 * (2 * static_cast<long>(length) - 1 + even - 25);
    EXPECT_EQ(static_cast<long>(stampImage(version).size()), expected);
  }
}

void expectOnlyVersionPiecesChange(const std::string& version) {
  const std::vector<std::string> pieces =
      versionStampPieces(templatePieces(), version, versionFields(version));
  ASSERT_EQ(pieces.size(), 19u);
  for (std::size_t index = 0; index < pieces.size(); index += 2) {
    std::string expected = stampTemplatePieces[index];
    // Besides the odd pieces, only the two strings' value lengths follow the version.
    if (index == 12 || index == 16) {
      expected.replace(2, 2, numberToHex4(version.size() + 1).substr(2));
    }
    EXPECT_EQ(pieces[index], expected) << "piece " << index;
  }
  for (std::size_t index : {1, 3, 7, 9, 11, 15}) {
    EXPECT_EQ(pieces[index].size(), 2u) << "piece " << index;
  }
  EXPECT_EQ(pieces[1], pieces[3]);
  EXPECT_EQ(pieces[13], pieces[17]);
}

TEST(EveryVersionLength, OnlyTheVersionPiecesChange) {
  for (std::size_t length = shortestVersion; length <= longestVersion; ++length) {
    SCOPED_TRACE(length);
    expectOnlyVersionPiecesChange(versionOfLength(length));
  }
}

// Read the produced version resource back: the replaced low bytes together with the template's
// fixed high bytes must give every block its true length, and the strings must read back whole.
void expectVersionResourceReadsBack(const std::string& version) {
  const std::array<int, 4> fields = versionFields(version);
  const std::string image = stampImage(version);
  const std::vector<ResourceLeaf> leaves = readResourceLeaves(image);
  ASSERT_EQ(leaves.size(), 1u);
  const VersionInfoBlock root = versionInfoOf(image);
  EXPECT_EQ(leaves[0].size, root.length);
  EXPECT_EQ(root.length % 4, 0);
  expectBlockLengthsMatchContent(root);
  EXPECT_EQ(keysOf(root), keysOf(versionInfoOf(templateImage())));

  for (const std::string key : {"FileVersion", "ProductVersion"}) {
    const VersionInfoBlock& block = stringBlock(root, key);
    EXPECT_EQ(utf16TextAt(image, block.valueStart), version) << key;
    // Readers return no more than the value length, so it must cover the whole version.
    EXPECT_EQ(block.valueLength, version.size() + 1) << key;
  }
  const VersionInfoBlock& table = child(child(root, "StringFileInfo"), "041104b0");
  EXPECT_EQ(stringBlock(root, "ProductName").start % 4, root.start % 4);
  EXPECT_EQ(child(root, "VarFileInfo").start % 4, root.start % 4);
  EXPECT_EQ(child(root, "StringFileInfo").length, table.length + 36);

  const std::size_t fixed = root.valueStart;
  EXPECT_EQ(readLittleEndian(image, fixed + 8, 4),
            static_cast<std::uint32_t>(fields[0]) << 16 | static_cast<std::uint32_t>(fields[1]));
  EXPECT_EQ(readLittleEndian(image, fixed + 12, 4),
            static_cast<std::uint32_t>(fields[2]) << 16 | static_cast<std::uint32_t>(fields[3]));
  EXPECT_EQ(readLittleEndian(image, fixed + 16, 4), 0x00370042u);
  EXPECT_EQ(readLittleEndian(image, fixed + 20, 4), 0x004D22B8u);
}

TEST(EveryVersionLength, VersionResourceReadsBackConsistently) {
  for (std::size_t length = shortestVersion; length <= longestVersion; ++length) {
    SCOPED_TRACE(versionOfLength(length));
    expectVersionResourceReadsBack(versionOfLength(length));
  }
}

}  // namespace
