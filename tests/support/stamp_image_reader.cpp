#include "stamp_image_reader.h"

#include <stdexcept>

namespace {

std::size_t peHeaderOffset(const std::string& image) { return readLittleEndian(image, 0x3C, 4); }

std::size_t alignUp4(std::size_t offset) { return (offset + 3) / 4 * 4; }

void readResourceLevel(const std::string& image, std::size_t sectionOffset, std::size_t directory,
                       std::vector<std::uint32_t>& path, std::vector<ResourceLeaf>& leaves) {
  const std::size_t at = sectionOffset + directory;
  const std::uint32_t count =
      readLittleEndian(image, at + 12, 2) + readLittleEndian(image, at + 14, 2);
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::size_t entry = at + 16 + 8 * index;
    const std::uint32_t id = readLittleEndian(image, entry, 4);
    const std::uint32_t target = readLittleEndian(image, entry + 4, 4);
    path.push_back(id);
    if ((target & 0x80000000) != 0) {
      readResourceLevel(image, sectionOffset, target & 0x7FFFFFFF, path, leaves);
    } else if (path.size() == 3) {
      const std::size_t data = sectionOffset + target;
      leaves.push_back({path[0], path[1], path[2], data, readLittleEndian(image, data, 4),
                        readLittleEndian(image, data + 4, 4)});
    } else {
      throw std::out_of_range("resource data entry above the language level");
    }
    path.pop_back();
  }
}

}  // namespace

std::uint32_t readLittleEndian(const std::string& image, std::size_t offset, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = size; i > 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(image.at(offset + i - 1));
  }
  return value;
}

std::vector<ImageSection> readSections(const std::string& image) {
  const std::size_t pe = peHeaderOffset(image);
  const std::size_t count = readLittleEndian(image, pe + 6, 2);
  const std::size_t table = pe + 24 + readLittleEndian(image, pe + 20, 2);
  std::vector<ImageSection> sections;
  for (std::size_t index = 0; index < count; ++index) {
    const std::size_t header = table + 40 * index;
    std::string name = image.substr(header, 8);
    name.resize(name.find('\0') == std::string::npos ? 8 : name.find('\0'));
    sections.push_back(
        {name, readLittleEndian(image, header + 8, 4), readLittleEndian(image, header + 12, 4),
         readLittleEndian(image, header + 16, 4), readLittleEndian(image, header + 20, 4)});
  }
  return sections;
}

std::size_t fileOffsetOfRva(const std::vector<ImageSection>& sections, std::uint32_t rva) {
  for (const ImageSection& section : sections) {
    if (rva >= section.rva && rva < section.rva + section.rawSize) {
      return section.fileOffset + (rva - section.rva);
    }
  }
  throw std::out_of_range("RVA outside every section");
}

std::uint32_t resourceDirectoryRva(const std::string& image) {
  const std::size_t optionalHeader = peHeaderOffset(image) + 24;
  return readLittleEndian(image, optionalHeader + 112 + 2 * 8, 4);  // PE32+ data directory 2
}

std::vector<ResourceLeaf> readResourceLeaves(const std::string& image) {
  const std::size_t sectionOffset =
      fileOffsetOfRva(readSections(image), resourceDirectoryRva(image));
  std::vector<std::uint32_t> path;
  std::vector<ResourceLeaf> leaves;
  readResourceLevel(image, sectionOffset, 0, path, leaves);
  return leaves;
}

VersionInfoBlock readVersionInfoBlock(const std::string& image, std::size_t start) {
  VersionInfoBlock block{start, 0, 0, 0, "", 0, 0, {}};
  block.length = static_cast<std::uint16_t>(readLittleEndian(image, start, 2));
  block.valueLength = static_cast<std::uint16_t>(readLittleEndian(image, start + 2, 2));
  block.type = static_cast<std::uint16_t>(readLittleEndian(image, start + 4, 2));
  block.key = utf16TextAt(image, start + 6);
  block.valueStart = alignUp4(start + 6 + 2 * (block.key.size() + 1));
  if (block.type == 0) {
    block.realEnd = block.valueStart + block.valueLength;
  } else if (block.valueLength > 0) {
    block.realEnd = block.valueStart + 2 * (utf16TextAt(image, block.valueStart).size() + 1);
  } else {
    block.realEnd = block.valueStart;
  }
  for (std::size_t child = alignUp4(block.realEnd); child < start + block.length;) {
    VersionInfoBlock next = readVersionInfoBlock(image, child);
    if (next.length == 0) break;  // a broken length would otherwise loop forever
    child = alignUp4(next.start + next.length);
    block.children.push_back(next);
  }
  if (!block.children.empty()) {
    const VersionInfoBlock& last = block.children.back();
    block.realEnd = last.start + last.length;
  }
  return block;
}

std::string utf16TextAt(const std::string& image, std::size_t offset) {
  std::string text;
  for (std::uint32_t unit = readLittleEndian(image, offset, 2); unit != 0;
       unit = readLittleEndian(image, offset, 2)) {
    text += static_cast<char>(unit);
    offset += 2;
  }
  return text;
}
