// Builds the version stamp template and writes the C++ source that carries it.
//
// The template is a tiny AMD64 kernel-mode driver image whose only resource is a version
// resource for 11.22.33.4444. The source holds it as 19 upper-case hex texts, cut so that every
// byte that depends on the firmware version stands in a piece of its own: the stamp writer swaps
// those pieces and decodes the rest unchanged.
//
// Usage: stamp_template_gen [--image IMAGE] [SOURCE]
//   SOURCE          the C++ source to write; standard output when omitted
//   --image IMAGE   also write the raw image, for checks with PE readers
//
// The output depends on nothing but this file, so running it again reproduces the committed
// source byte for byte.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Version {
  std::string text;
  std::uint32_t fields[4];
};

const Version templateVersion = {"11.22.33.4444", {11, 22, 33, 4444}};
// The longest version a stamp carries: 23 characters. The resource section keeps room for it.
const Version longestVersion = {"65535.65535.65535.6553", {65535, 65535, 65535, 6553}};
const Version productVersion = {"55.66.77.8888", {55, 66, 77, 8888}};

const std::uint32_t fileAlignment = 0x200;
const std::uint32_t sectionAlignment = 0x1000;
const std::uint64_t imageBase = 0x140000000;
// Any fixed value will do; a real build time would make every run differ.
const std::uint32_t imageTimeStamp = 0x60000000;
const std::uint32_t dosHeaderSize = 0x80;
const std::uint32_t optionalHeaderSize = 0xF0;
const std::uint32_t sectionHeaderSize = 40;

// --- Little-endian byte output ----------------------------------------------------------------

void append16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append32(Bytes& out, std::uint32_t value) {
  append16(out, value & 0xFFFF);
  append16(out, value >> 16);
}

void append64(Bytes& out, std::uint64_t value) {
  append32(out, static_cast<std::uint32_t>(value));
  append32(out, static_cast<std::uint32_t>(value >> 32));
}

void put16(Bytes& out, std::size_t offset, std::uint32_t value) {
  out.at(offset) = static_cast<std::uint8_t>(value);
  out.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(Bytes& out, std::size_t offset, std::uint32_t value) {
  put16(out, offset, value & 0xFFFF);
  put16(out, offset + 2, value >> 16);
}

void appendAscii(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

// The text in UTF-16LE with its terminating zero character; only ASCII is ever written.
void appendUtf16z(Bytes& out, const std::string& text) {
  for (char c : text) {
    append16(out, static_cast<std::uint8_t>(c));
  }
  append16(out, 0);
}

void padTo(Bytes& out, std::size_t alignment) {
  while (out.size() % alignment != 0) {
    out.push_back(0);
  }
}

std::uint32_t alignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// --- Version resource -------------------------------------------------------------------------

// One block of a VS_VERSIONINFO tree: a numeric value (type 0) whose value length counts bytes,
// or a text value (type 1) whose value length counts UTF-16 characters with the terminator.
struct VersionBlock {
  std::string key;
  std::uint16_t type;
  std::uint16_t valueLength;
  Bytes value;
  std::vector<VersionBlock> children;
};

// Where a block landed inside the version resource: the offset of its total length and of its
// value. The keys of our tree are unique, so the key names the place.
struct BlockPlace {
  std::size_t start;
  std::size_t valueStart;
};

using BlockPlaces = std::map<std::string, BlockPlace>;

VersionBlock textBlock(const std::string& key, const std::string& text) {
  VersionBlock block{key, 1, static_cast<std::uint16_t>(text.size() + 1), {}, {}};
  appendUtf16z(block.value, text);
  return block;
}

VersionBlock fixedFileInfoRoot(const Version& version) {
  VersionBlock root{"VS_VERSION_INFO", 0, 52, {}, {}};
  Bytes& fixed = root.value;
  append32(fixed, 0xFEEF04BD);  // signature
  append32(fixed, 0x00010000);  // structure version
  append32(fixed, (version.fields[0] << 16) | version.fields[1]);
  append32(fixed, (version.fields[2] << 16) | version.fields[3]);
  append32(fixed, (productVersion.fields[0] << 16) | productVersion.fields[1]);
  append32(fixed, (productVersion.fields[2] << 16) | productVersion.fields[3]);
  append32(fixed, 0x3F);        // flags mask
  append32(fixed, 0);           // flags
  append32(fixed, 0x00040004);  // operating system: NT, 32-bit Windows
  append32(fixed, 0x8080AAFF);  // file type
  append32(fixed, 0);           // file subtype
  append32(fixed, 0);           // file date, high
  append32(fixed, 0);           // file date, low
  return root;
}

VersionBlock versionInfoTree(const Version& version) {
  VersionBlock strings{"041104b0", 1, 0, {}, {}};
  strings.children = {
      textBlock("CompanyName", "Norvane"),
      textBlock("FileDescription", "Firmware version"),
      textBlock("FileVersion", version.text),
      textBlock("LegalCopyright", "(C) Norvane"),
      textBlock("ProductName", "Norvane Firmware update"),
      textBlock("ProductVersion", version.text),
  };
  VersionBlock stringFileInfo{"StringFileInfo", 1, 0, {}, {strings}};

  VersionBlock translation{"Translation", 0, 4, {}, {}};
  append16(translation.value, 0x0411);  // Japanese
  append16(translation.value, 0x04B0);  // Unicode
  VersionBlock varFileInfo{"VarFileInfo", 1, 0, {}, {translation}};

  VersionBlock root = fixedFileInfoRoot(version);
  root.children = {stringFileInfo, varFileInfo};
  return root;
}

// Writes a block and its children. Every child starts on a four-byte boundary; a block's total
// length ends with its last child, without the alignment bytes that may follow it.
void writeBlock(Bytes& out, const VersionBlock& block, BlockPlaces& places) {
  const std::size_t start = out.size();
  append16(out, 0);  // total length, known once the children are written
  append16(out, block.valueLength);
  append16(out, block.type);
  appendUtf16z(out, block.key);
  padTo(out, 4);
  const std::size_t valueStart = out.size();
  out.insert(out.end(), block.value.begin(), block.value.end());
  for (const VersionBlock& child : block.children) {
    padTo(out, 4);
    writeBlock(out, child, places);
  }
  put16(out, start, static_cast<std::uint32_t>(out.size() - start));
  places[block.key] = {start, valueStart};
}

// --- Resource section -------------------------------------------------------------------------

// The resource tree always has the same shape: one version resource, name 1, language 0x0411.
const std::uint32_t resourceTreeSize = 0x48;
const std::uint32_t versionResourceStart = 0x60;

void appendDirectoryWithOneEntry(Bytes& out, std::uint32_t id, std::uint32_t target) {
  append32(out, 0);  // characteristics
  append32(out, 0);  // time stamp: none, so the image stays reproducible
  append32(out, 0);  // major and minor version
  append16(out, 0);  // named entries
  append16(out, 1);  // numbered entries
  append32(out, id);
  append32(out, target);
}

Bytes resourceSection(std::uint32_t sectionRva, const Bytes& versionResource) {
  const std::uint32_t subdirectory = 0x80000000;
  Bytes out;
  appendDirectoryWithOneEntry(out, 16, subdirectory | 0x18);   // type: version
  appendDirectoryWithOneEntry(out, 1, subdirectory | 0x30);    // name
  appendDirectoryWithOneEntry(out, 0x0411, resourceTreeSize);  // language
  append32(out, sectionRva + versionResourceStart);
  append32(out, static_cast<std::uint32_t>(versionResource.size()));
  append32(out, 0);  // code page
  append32(out, 0);  // reserved
  padTo(out, 16);    // resource data starts on a 16-byte boundary
  if (out.size() != versionResourceStart) throw std::logic_error("resource tree size changed");
  out.insert(out.end(), versionResource.begin(), versionResource.end());
  return out;
}

// --- Sections ---------------------------------------------------------------------------------

struct Section {
  std::string name;
  std::uint32_t characteristics;
  Bytes data;
  std::uint32_t virtualSize;
  std::uint32_t rva;
  std::uint32_t fileOffset;
  std::uint32_t rawSize;
};

// Code, execute, read. Drivers page only sections named PAGE*, so the code stays resident.
const std::uint32_t codeSection = 0x60000020;
const std::uint32_t discardableData = 0x42000040;  // initialised data, discardable, read

// DriverEntry(DriverObject, RegistryPath): xor eax, eax; ret, which returns STATUS_SUCCESS. A
// leaf function that touches no stack needs no unwind data, so the image has no exception
// directory.
Bytes driverEntryCode() { return {0x31, 0xC0, 0xC3}; }

// The code is position-independent, so there is nothing for the loader to patch. The image is
// still marked relocatable (dynamic base), and a relocatable image should carry a relocation
// directory: one block for the code page, with no entries.
Bytes relocationBlock(std::uint32_t codeRva) {
  Bytes out;
  append32(out, codeRva);
  append32(out, 8);  // block size: just this header
  return out;
}

void placeSections(std::vector<Section>& sections, std::uint32_t headersSize) {
  std::uint32_t rva = alignUp(headersSize, sectionAlignment);
  std::uint32_t offset = alignUp(headersSize, fileAlignment);
  for (Section& section : sections) {
    section.rva = rva;
    section.fileOffset = offset;
    section.rawSize = alignUp(section.virtualSize, fileAlignment);
    rva += alignUp(section.virtualSize, sectionAlignment);
    offset += section.rawSize;
  }
}

// --- Headers ----------------------------------------------------------------------------------

void appendDosHeader(Bytes& out) {
  append16(out, 0x5A4D);         // "MZ"
  append16(out, dosHeaderSize);  // bytes in the last (only) page
  append16(out, 1);              // pages
  append16(out, 0);              // relocations
  append16(out, 4);              // header paragraphs
  append16(out, 0);              // minimum extra paragraphs
  append16(out, 0xFFFF);         // maximum extra paragraphs
  append16(out, 0);              // ss
  append16(out, 0xB8);           // sp
  append16(out, 0);              // checksum
  append16(out, 0);              // ip
  append16(out, 0);              // cs
  append16(out, 0x40);           // relocation table
  append16(out, 0);              // overlay
  padTo(out, 0x3C);
  append32(out, dosHeaderSize);  // offset of the PE header
  // push cs; pop ds; mov dx, message; mov ah, 9; int 21h; mov ax, 4C01h; int 21h
  out.insert(out.end(),
             {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21});
  appendAscii(out, "This program cannot be run in DOS mode.\r\r\n$");
  padTo(out, dosHeaderSize);
}

void appendFileHeader(Bytes& out, std::size_t sectionCount) {
  appendAscii(out, std::string("PE\0\0", 4));
  append16(out, 0x8664);  // AMD64
  append16(out, static_cast<std::uint32_t>(sectionCount));
  append32(out, imageTimeStamp);
  append32(out, 0);  // symbol table
  append32(out, 0);  // symbols
  append16(out, optionalHeaderSize);
  append16(out, 0x0022);  // executable image, large-address aware
}

struct DataDirectories {
  std::uint32_t resourceRva;
  std::uint32_t resourceSize;
  std::uint32_t relocationRva;
  std::uint32_t relocationSize;
};

std::uint32_t sizeOfSections(const std::vector<Section>& sections, std::uint32_t kind) {
  std::uint32_t size = 0;
  for (const Section& section : sections) {
    if ((section.characteristics & kind) != 0) size += section.rawSize;
  }
  return size;
}

void appendOptionalHeader(Bytes& out, const std::vector<Section>& sections,
                          const DataDirectories& directories) {
  const Section& last = sections.back();
  append16(out, 0x20B);  // PE32+
  out.push_back(1);      // linker version 1.0: this generator
  out.push_back(0);
  append32(out, sizeOfSections(sections, 0x20));  // code
  append32(out, sizeOfSections(sections, 0x40));  // initialised data
  append32(out, 0);                               // uninitialised data
  append32(out, sections.front().rva);            // entry point: DriverEntry
  append32(out, sections.front().rva);            // base of code
  append64(out, imageBase);
  append32(out, sectionAlignment);
  append32(out, fileAlignment);
  append16(out, 10);  // operating system version 10.0
  append16(out, 0);
  append16(out, 0);  // image version 0.0
  append16(out, 0);
  append16(out, 10);  // subsystem version 10.0
  append16(out, 0);
  append32(out, 0);  // Win32 version value
  append32(out, last.rva + alignUp(last.virtualSize, sectionAlignment));
  append32(out, sections.front().fileOffset);  // size of headers
  append32(out, 0);                            // checksum, filled in last
  append16(out, 1);                            // subsystem: native
  append16(out, 0x0160);    // high-entropy address space, dynamic base, no-execute compatible
  append64(out, 0x40000);   // stack reserve
  append64(out, 0x1000);    // stack commit
  append64(out, 0x100000);  // heap reserve
  append64(out, 0x1000);    // heap commit
  append32(out, 0);         // loader flags
  append32(out, 16);        // data directories
  for (std::uint32_t index = 0; index < 16; ++index) {
    if (index == 2) {
      append32(out, directories.resourceRva);
      append32(out, directories.resourceSize);
    } else if (index == 5) {
      append32(out, directories.relocationRva);
      append32(out, directories.relocationSize);
    } else {
      append64(out, 0);
    }
  }
}

void appendSectionHeader(Bytes& out, const Section& section) {
  std::string name = section.name;
  name.resize(8, '\0');
  appendAscii(out, name);
  append32(out, section.virtualSize);
  append32(out, section.rva);
  append32(out, section.rawSize);
  append32(out, section.fileOffset);
  append32(out, 0);  // relocations
  append32(out, 0);  // line numbers
  append16(out, 0);
  append16(out, 0);
  append32(out, section.characteristics);
}

// The PE checksum: 16-bit one's-complement-style sum of the file without its checksum field,
// folded to 16 bits, plus the file length.
std::uint32_t peChecksum(const Bytes& image, std::size_t checksumOffset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    std::uint32_t word = image[i];
    if (i + 1 < image.size()) word |= static_cast<std::uint32_t>(image[i + 1]) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

// --- The image and its pieces -----------------------------------------------------------------

// Offsets, in the image, of the bytes that depend on the version text.
struct VersionPlaces {
  std::size_t resourceSize;     // size field of the resource data entry
  std::size_t versionInfo;      // VS_VERSIONINFO total length
  std::size_t fileVersion;      // fixed information: file version
  std::size_t stringFileInfo;   // StringFileInfo total length
  std::size_t stringTable;      // StringTable total length
  std::size_t fileVersionText;  // "FileVersion" string total length
  std::size_t fileVersionValue;
  std::size_t productVersionText;  // "ProductVersion" string total length
  std::size_t productVersionValue;
};

struct Image {
  Bytes bytes;
  VersionPlaces places;
};

Bytes headers(const std::vector<Section>& sections, const DataDirectories& directories) {
  Bytes out;
  appendDosHeader(out);
  appendFileHeader(out, sections.size());
  appendOptionalHeader(out, sections, directories);
  for (const Section& section : sections) {
    appendSectionHeader(out, section);
  }
  return out;
}

std::uint32_t versionResourceSize(const Version& version) {
  BlockPlaces places;
  Bytes versionResource;
  writeBlock(versionResource, versionInfoTree(version), places);
  return static_cast<std::uint32_t>(versionResource.size());
}

// The resource section comes last: a version text of another length moves every byte behind
// the version strings, and only the zero tail of the resource section lies behind them. Its
// virtual size and the resource directory reach as far as the version resource of the longest
// version, so that PE readers find the whole resource in every stamp.
Image buildImage() {
  BlockPlaces blockPlaces;
  Bytes versionResource;
  writeBlock(versionResource, versionInfoTree(templateVersion), blockPlaces);

  std::vector<Section> sections = {
      {".text", codeSection, driverEntryCode(), 0, 0, 0, 0},
      {".reloc", discardableData, {}, 8, 0, 0, 0},
      {".rsrc", discardableData, {}, 0, 0, 0, 0},
  };
  Section& text = sections[0];
  Section& reloc = sections[1];
  Section& rsrc = sections[2];
  text.virtualSize = static_cast<std::uint32_t>(text.data.size());
  rsrc.virtualSize = versionResourceStart + versionResourceSize(longestVersion);
  const std::uint32_t headersSize =
      dosHeaderSize + 24 + optionalHeaderSize + sectionHeaderSize * sections.size();
  placeSections(sections, headersSize);
  reloc.data = relocationBlock(text.rva);
  rsrc.data = resourceSection(rsrc.rva, versionResource);

  Image image;
  image.bytes = headers(sections, {rsrc.rva, rsrc.virtualSize, reloc.rva, reloc.virtualSize});
  for (const Section& section : sections) {
    image.bytes.resize(section.fileOffset, 0);
    image.bytes.insert(image.bytes.end(), section.data.begin(), section.data.end());
    image.bytes.resize(section.fileOffset + section.rawSize, 0);
  }
  const std::size_t checksumOffset = dosHeaderSize + 24 + 64;
  put32(image.bytes, checksumOffset, peChecksum(image.bytes, checksumOffset));

  const std::size_t base = rsrc.fileOffset + versionResourceStart;
  image.places = {
      rsrc.fileOffset + resourceTreeSize + 4,
      base + blockPlaces.at("VS_VERSION_INFO").start,
      base + blockPlaces.at("VS_VERSION_INFO").valueStart + 8,
      base + blockPlaces.at("StringFileInfo").start,
      base + blockPlaces.at("041104b0").start,
      base + blockPlaces.at("FileVersion").start,
      base + blockPlaces.at("FileVersion").valueStart,
      base + blockPlaces.at("ProductVersion").start,
      base + blockPlaces.at("ProductVersion").valueStart,
  };
  return image;
}

struct Piece {
  std::size_t offset;
  std::size_t length;
  std::string covers;
};

std::vector<Piece> cutPieces(const Image& image) {
  const VersionPlaces& at = image.places;
  // A version string's piece is its UTF-16LE form less the final zero byte.
  const std::size_t versionValueBytes = 2 * templateVersion.text.size() - 1;
  // Each replaced piece is preceded by a piece kept as it is.
  const std::vector<Piece> replaced = {
      {at.resourceSize, 1, "low byte of the resource data size"},
      {at.versionInfo, 1, "low byte of the VS_VERSIONINFO length"},
      {at.fileVersion, 8, "fixed file version"},
      {at.stringFileInfo, 1, "low byte of the StringFileInfo length"},
      {at.stringTable, 1, "low byte of the StringTable length"},
      {at.fileVersionText, 1, "low byte of the FileVersion string length"},
      {at.fileVersionValue, versionValueBytes, "FileVersion text less its final zero byte"},
      {at.productVersionText, 1, "low byte of the ProductVersion string length"},
      {at.productVersionValue, versionValueBytes, "ProductVersion text less its final zero byte"},
  };
  const std::vector<std::string> keptCovers = {
      "headers, code, relocations and resource tree up to the data RVA",
      "rest of the data size, code page, reserved, alignment",
      "rest of the header, key and fixed information up to the file version",
      "fixed information from the product version on",
      "rest of the StringFileInfo header and key",
      "rest of the StringTable header and key, CompanyName, FileDescription",
      "rest of the FileVersion header and key",
      "end of the FileVersion text, LegalCopyright, ProductName",
      "rest of the ProductVersion header and key",
      "end of the ProductVersion text, VarFileInfo, zero tail of the section",
  };
  std::vector<Piece> pieces;
  std::size_t offset = 0;
  for (std::size_t i = 0; i < replaced.size(); ++i) {
    pieces.push_back({offset, replaced[i].offset - offset, keptCovers[i]});
    pieces.push_back(replaced[i]);
    offset = replaced[i].offset + replaced[i].length;
  }
  pieces.push_back({offset, image.bytes.size() - offset, keptCovers.back()});
  return pieces;
}

std::string hexText(const Bytes& bytes, std::size_t offset, std::size_t length) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = offset; i < offset + length; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0xF];
  }
  return text;
}

// The stamp writer relies on these: both length pieces and both text pieces are one text each.
void checkPieces(const Image& image, const std::vector<Piece>& pieces) {
  if (pieces.size() != 19) throw std::logic_error("expected 19 pieces");
  auto text = [&](std::size_t i) {
    return hexText(image.bytes, pieces[i].offset, pieces[i].length);
  };
  if (text(1) != text(3)) throw std::logic_error("pieces 1 and 3 differ");
  if (text(13) != text(17)) throw std::logic_error("pieces 13 and 17 differ");
}

std::string hexNumber(std::size_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*zX", width, value);
  return text;
}

void writeSource(std::ostream& out, const Image& image, const std::vector<Piece>& pieces) {
  const std::size_t bytesPerLine = 40;
  out << "// Generated by tools/stamp_template_gen.cpp; do not edit.\n"
         "//\n"
         "// The version stamp template: an AMD64 kernel-mode driver image of "
      << image.bytes.size()
      << " bytes whose\n"
         "// version resource carries "
      << templateVersion.text
      << ", as upper-case hex text in 19 pieces. The odd pieces\n"
         "// hold the bytes that depend on the version text.\n"
         "#include \"stamp/stamp_template.h\"\n"
         "\n"
         "// clang-format off\n"
         "const std::array<const char*, 19> stampTemplatePieces = {\n";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    out << "    // " << i << ": " << hexNumber(piece.offset, 4) << ", " << piece.length
        << (piece.length == 1 ? " byte: " : " bytes: ") << piece.covers << "\n";
    for (std::size_t done = 0; done < piece.length; done += bytesPerLine) {
      const std::size_t count = std::min(bytesPerLine, piece.length - done);
      out << "    \"" << hexText(image.bytes, piece.offset + done, count) << "\"";
      out << (done + count < piece.length ? "\n" : ",\n");
    }
  }
  out << "};\n"
         "// clang-format on\n";
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  std::string imagePath;
  std::string sourcePath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--image" && i + 1 < argc) {
      imagePath = argv[++i];
    } else if (sourcePath.empty() && !argument.empty() && argument[0] != '-') {
      sourcePath = argument;
    } else {
      std::cerr << "usage: stamp_template_gen [--image IMAGE] [SOURCE]\n";
      return 2;
    }
  }
  try {
    const Image image = buildImage();
    const std::vector<Piece> pieces = cutPieces(image);
    checkPieces(image, pieces);
    std::ostringstream source;
    writeSource(source, image, pieces);
    if (!imagePath.empty()) {
      writeFile(imagePath, std::string(image.bytes.begin(), image.bytes.end()));
    }
    if (sourcePath.empty()) {
      std::cout << source.str();
    } else {
      writeFile(sourcePath, source.str());
    }
  } catch (const std::exception& error) {
    std::cerr << "stamp_template_gen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
