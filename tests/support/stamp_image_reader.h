// Reads a stamp image back for the tests: the section table, the resource tree and the
// VS_VERSIONINFO blocks, each block with the place where its bytes really end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ImageSection {
  std::string name;
  std::uint32_t virtualSize;
  std::uint32_t rva;
  std::uint32_t rawSize;
  std::uint32_t fileOffset;
};

struct ResourceLeaf {
  std::uint32_t type;
  std::uint32_t name;
  std::uint32_t language;
  std::size_t entryOffset;  // file offset of the data entry
  std::uint32_t dataRva;
  std::uint32_t size;
};

// One block of a version resource. realEnd is where its content stops: the end of its last child,
// or else the end of its value, a text value being read up to its zero character whatever the
// value length says.
struct VersionInfoBlock {
  std::size_t start;
  std::uint16_t length;
  std::uint16_t valueLength;
  std::uint16_t type;
  std::string key;
  std::size_t valueStart;
  std::size_t realEnd;
  std::vector<VersionInfoBlock> children;
};

// All of these throw std::out_of_range when the image is too short for what they read.
std::uint32_t readLittleEndian(const std::string& image, std::size_t offset, std::size_t size);
std::vector<ImageSection> readSections(const std::string& image);
std::size_t fileOffsetOfRva(const std::vector<ImageSection>& sections, std::uint32_t rva);
std::uint32_t resourceDirectoryRva(const std::string& image);
std::vector<ResourceLeaf> readResourceLeaves(const std::string& image);
VersionInfoBlock readVersionInfoBlock(const std::string& image, std::size_t start);
// A UTF-16LE text of ASCII characters, up to its zero character.
std::string utf16TextAt(const std::string& image, std::size_t offset);
