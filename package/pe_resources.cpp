#include "package/pe_resources.h"

#include <algorithm>

#include "package/package_format.h"
#include "package/span_reader.h"

namespace package::pe {
namespace {

// Offsets in the headers.
constexpr std::size_t kNewHeaderOffsetField = 0x3C;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::size_t kCoffHeaderBytes = 20;
constexpr std::size_t kSectionHeaderBytes = 40;
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
// In the optional header, the same for PE32 and PE32+.
constexpr std::size_t kInitializedDataField = 8;
constexpr std::size_t kEntryPointField = 16;
constexpr std::size_t kSectionAlignmentField = 32;
constexpr std::size_t kFileAlignmentField = 36;
constexpr std::size_t kImageSizeField = 56;
constexpr std::size_t kChecksumField = 64;
// In a section header.
constexpr std::size_t kVirtualSizeField = 8;
constexpr std::size_t kVirtualAddressField = 12;
constexpr std::size_t kRawSizeField = 16;
constexpr std::size_t kRawOffsetField = 20;

// Data directories.
constexpr std::uint32_t kMaxDirectories = 16;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kCertificateDirectory = 4;  // a file offset, not an RVA
constexpr std::uint32_t kRelocationDirectory = 5;
constexpr std::uint32_t kDebugDirectory = 6;
constexpr std::size_t kDebugEntryBytes = 28;
constexpr std::size_t kDebugRawOffsetField = 24;

constexpr std::uint32_t kDiscardable = 0x02000000;
constexpr std::uint32_t kInitializedData = 0x00000040;
constexpr std::size_t kMaxSections = 96;

// The resource tree.
constexpr std::size_t kTableHeaderBytes = 16;
constexpr std::size_t kTableEntryBytes = 8;
constexpr std::size_t kDataEntryBytes = 16;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kDataAlignment = 8;
constexpr std::size_t kMaxResources = 65536;

// Images stay below 2 GiB, as the packages they start do.
constexpr std::uint64_t kMaxImageBytes = format::kMaxPackageBytes;

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

void PutU16(unsigned char* at, std::uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void PutU32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

char16_t FoldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

// The order of ids in a directory table: named ones first, then numbered
// ones ascending. The loader finds a name by a binary search that compares
// without regard to case (folding to lower case, so "A_" comes before
// "AB"), and a text before a longer one that starts with it; names equal in
// that comparison keep their code units' order.
bool IdLess(const ResourceId& a, const ResourceId& b) {
  if (a.IsNamed() != b.IsNamed()) return a.IsNamed();
  if (!a.IsNamed()) return a.number < b.number;
  const auto folded = [](const std::u16string& text) {
    std::u16string out = text;
    for (char16_t& c : out) c = FoldCase(c);
    return out;
  };
  const std::u16string x = folded(a.name);
  const std::u16string y = folded(b.name);
  return x != y ? x < y : a.name < b.name;
}

bool ResourceLess(const Resource& a, const Resource& b) {
  if (!(a.type == b.type)) return IdLess(a.type, b.type);
  if (!(a.name == b.name)) return IdLess(a.name, b.name);
  return a.language < b.language;
}

// Where the sections of an image lie, by address and in the file.
struct SectionMap {
  std::span<const unsigned char> bytes;
  const std::vector<ResourceImage::Section>* sections;
  std::uint32_t alignment;

  static std::uint32_t Mapped(const ResourceImage::Section& s) {
    return s.virtualSize != 0 ? s.virtualSize : s.rawSize;
  }

  // The section that the loader maps `rva` into.
  std::optional<std::size_t> SectionOf(std::uint32_t rva) const {
    for (std::size_t i = 0; i < sections->size(); ++i) {
      const auto& s = (*sections)[i];
      if (rva >= s.virtualAddress &&
          rva < AlignUp(std::uint64_t{s.virtualAddress} + Mapped(s), alignment)) {
        return i;
      }
    }
    return std::nullopt;
  }

  // The `size` bytes at `rva`, when they lie in one section's raw data.
  std::optional<std::span<const unsigned char>> At(std::uint32_t rva, std::uint32_t size) const {
    const auto index = SectionOf(rva);
    if (!index) return std::nullopt;
    const auto& s = (*sections)[*index];
    const std::uint64_t offset = rva - s.virtualAddress;
    if (offset + size > s.rawSize) return std::nullopt;
    return bytes.subspan(s.rawOffset + static_cast<std::size_t>(offset), size);
  }
};

// Reads the resource tree out of the resource section `tree` (its bytes
// from the section's start); data entries point into the image by RVA.
class TreeReader {
 public:
  TreeReader(std::span<const unsigned char> tree, const SectionMap& image)
      : tree_(tree),
        image_(image),
        dataBudget_(image.bytes.size()),
        // Every entry of a tree whose tables share nothing has 8 bytes of its
        // own in the section: more visits than that mean a shared table.
        entryBudget_(tree.size() / kTableEntryBytes) {}

  bool Read(std::vector<Resource>& resources) {
    Resource path;
    return ReadTable(0, 0, path, resources);
  }

 private:
  // The table at `offset`, at `level` (0 types, 1 names, 2 languages).
  bool ReadTable(std::uint32_t offset, int level, Resource& path,
                 std::vector<Resource>& resources) {
    if (offset > tree_.size()) return false;
    SpanReader reader(tree_, offset, tree_.size());
    if (!reader.ReadBytes(12)) return false;
    const auto named = reader.ReadU16LittleEndian();
    const auto numbered = reader.ReadU16LittleEndian();
    if (!named || !numbered) return false;
    const std::size_t count = std::size_t{*named} + *numbered;
    if (count > entryBudget_ || count > reader.remaining() / kTableEntryBytes) return false;
    entryBudget_ -= count;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t id = *reader.ReadU32LittleEndian();
      const std::uint32_t child = *reader.ReadU32LittleEndian();
      if (level == 2) {
        if (id > 0xFFFF || (child & kHighBit) != 0) return false;
        path.language = static_cast<std::uint16_t>(id);
        if (!ReadData(child, path, resources)) return false;
        continue;
      }
      ResourceId& slot = level == 0 ? path.type : path.name;
      if (!ReadId(id, slot) || (child & kHighBit) == 0) return false;
      if (!ReadTable(child & ~kHighBit, level + 1, path, resources)) return false;
    }
    return true;
  }

  bool ReadId(std::uint32_t id, ResourceId& out) const {
    if ((id & kHighBit) == 0) {
      if (id > 0xFFFF) return false;
      out = ResourceId::Number(static_cast<std::uint16_t>(id));
      return true;
    }
    const std::uint32_t offset = id & ~kHighBit;
    if (offset > tree_.size()) return false;
    SpanReader reader(tree_, offset, tree_.size());
    const auto length = reader.ReadU16LittleEndian();
    if (!length || *length == 0) return false;
    auto text = reader.ReadUtf16LittleEndian(*length);
    if (!text) return false;
    out = ResourceId::Named(std::move(*text));
    return true;
  }

  bool ReadData(std::uint32_t offset, const Resource& path, std::vector<Resource>& resources) {
    if (offset > tree_.size()) return false;
    SpanReader reader(tree_, offset, tree_.size());
    const auto rva = reader.ReadU32LittleEndian();
    const auto size = reader.ReadU32LittleEndian();
    const auto codePage = reader.ReadU32LittleEndian();
    if (!rva || !size || !codePage || !reader.ReadU32LittleEndian()) return false;
    // Data that several leaves share would be copied for each: together the
    // resources may claim no more bytes than the image has.
    if (*size > dataBudget_ || resources.size() == kMaxResources) return false;
    dataBudget_ -= *size;
    const auto data = image_.At(*rva, *size);
    if (!data) return false;
    Resource resource{path.type, path.name, path.language, *codePage, {}};
    resource.data.assign(data->begin(), data->end());
    resources.push_back(std::move(resource));
    return true;
  }

  std::span<const unsigned char> tree_;
  const SectionMap& image_;
  std::uint64_t dataBudget_;
  std::size_t entryBudget_;
};

struct Directory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

}  // namespace

const char* ImageProblemText(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::kNotAnImage: return "not a Windows program image";
    case ImageProblem::kDamagedHeaders:
      return "its headers are damaged: sections or directories do not fit the file or its "
             "alignment";
    case ImageProblem::kNoResourceSection: return "the image has no resource section";
    case ImageProblem::kSharedResourceSection:
      return "its resource section holds other data the program uses, so it cannot be rewritten";
    case ImageProblem::kImmovableSection:
      return "a section behind its resource section cannot move (only discardable sections "
             "such as the relocations can)";
    case ImageProblem::kSigned:
      return "the image is signed, and changing its resources would break the signature (sign "
             "the package instead)";
    case ImageProblem::kTrailingData:
      return "data follows the image's last section (symbols, a signature or an appended "
             "archive)";
    case ImageProblem::kDamagedResources:
      return "its resource tree is damaged: it points outside its section or the image, claims "
             "more entries or bytes than the image holds, or holds a resource twice";
    case ImageProblem::kTooLarge: return "the image would reach 2 GiB";
  }
  return "unknown problem";
}

std::uint32_t ImageChecksum(std::span<const unsigned char> image, std::size_t checksumOffset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < image.size(); i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    std::uint32_t word = image[i];
    if (i + 1 < image.size()) word |= std::uint32_t{image[i + 1]} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + image.size());
}

std::optional<ImageProblem> ResourceImage::ReadHeaders(std::span<const unsigned char> bytes,
                                                       ResourceImage& image) {
  if (bytes.size() > kMaxImageBytes) return ImageProblem::kTooLarge;
  const auto imageLength = static_cast<std::uint64_t>(bytes.size());
  if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z') return ImageProblem::kNotAnImage;
  const auto peOffset = U32LittleEndianAt(bytes, kNewHeaderOffsetField);
  if (!peOffset || U32LittleEndianAt(bytes, *peOffset) != kPeSignature) return ImageProblem::kNotAnImage;
  const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
  const auto sectionCount = U16LittleEndianAt(bytes, coff + 2);
  const auto optionalSize = U16LittleEndianAt(bytes, coff + 16);
  const std::uint64_t optional = coff + kCoffHeaderBytes;
  const auto magic = U16LittleEndianAt(bytes, optional);
  if (!sectionCount || !optionalSize || !magic || (*magic != kPe32 && *magic != kPe32Plus)) {
    return ImageProblem::kNotAnImage;
  }
  const std::uint64_t countField = optional + (*magic == kPe32 ? 92 : 108);
  const std::uint64_t optionalEnd = optional + *optionalSize;
  const auto directoryCount = U32LittleEndianAt(bytes, countField);
  const auto sectionAlignment = U32LittleEndianAt(bytes, optional + kSectionAlignmentField);
  const auto fileAlignment = U32LittleEndianAt(bytes, optional + kFileAlignmentField);
  if (!directoryCount || !sectionAlignment || !fileAlignment || countField + 4 > optionalEnd) {
    return ImageProblem::kNotAnImage;
  }

  image.optionalHeader_ = static_cast<std::size_t>(optional);
  image.directories_ = static_cast<std::size_t>(countField + 4);
  image.directoryCount_ = std::min(*directoryCount, kMaxDirectories);
  image.sectionAlignment_ = *sectionAlignment;
  image.fileAlignment_ = *fileAlignment;
  const std::uint64_t sectionTable = optionalEnd;
  const std::uint64_t sectionTableEnd = sectionTable + kSectionHeaderBytes * *sectionCount;
  // Sections that the loader maps page by page, with their raw data at
  // file-aligned places, as every linker lays them out by default.
  if (image.directories_ + 8ull * image.directoryCount_ > optionalEnd ||
      sectionTableEnd > imageLength || *sectionCount == 0 || *sectionCount > kMaxSections ||
      !IsPowerOfTwo(*fileAlignment) || *fileAlignment < 512 || *fileAlignment > 65536 ||
      !IsPowerOfTwo(*sectionAlignment) || *sectionAlignment < 4096 ||
      *sectionAlignment < *fileAlignment) {
    return ImageProblem::kDamagedHeaders;
  }
  std::uint64_t rawEnd = sectionTableEnd;
  std::uint64_t nextAddress = 0;
  for (std::size_t i = 0; i < *sectionCount; ++i) {
    Section s;
    s.header = static_cast<std::size_t>(sectionTable + kSectionHeaderBytes * i);
    s.virtualSize = *U32LittleEndianAt(bytes, s.header + kVirtualSizeField);
    s.virtualAddress = *U32LittleEndianAt(bytes, s.header + kVirtualAddressField);
    s.rawSize = *U32LittleEndianAt(bytes, s.header + kRawSizeField);
    s.rawOffset = *U32LittleEndianAt(bytes, s.header + kRawOffsetField);
    s.characteristics = *U32LittleEndianAt(bytes, s.header + 36);
    const std::uint32_t mappedSize = SectionMap::Mapped(s);
    // In address order, without overlaps; raw data in the file, in the same
    // order, behind the headers.
    if (s.virtualAddress < nextAddress || s.virtualAddress % *sectionAlignment != 0 ||
        (s.rawSize != 0 && (s.rawOffset < rawEnd || s.rawOffset % *fileAlignment != 0 ||
                            std::uint64_t{s.rawOffset} + s.rawSize > imageLength))) {
      return ImageProblem::kDamagedHeaders;
    }
    nextAddress = AlignUp(std::uint64_t{s.virtualAddress} + mappedSize, *sectionAlignment);
    if (s.rawSize != 0) rawEnd = std::uint64_t{s.rawOffset} + s.rawSize;
    image.sections_.push_back(s);
  }
  image.sectionsEnd_ = static_cast<std::size_t>(rawEnd);
  return std::nullopt;
}

std::optional<std::size_t> ResourceImage::ImageLength(std::span<const unsigned char> bytes) {
  ResourceImage image;
  if (ReadHeaders(bytes, image)) return std::nullopt;
  return image.sectionsEnd_;
}

std::variant<ResourceImage, ImageProblem> ResourceImage::Read(
    std::span<const unsigned char> bytes) {
  ResourceImage image;
  if (const auto problem = ReadHeaders(bytes, image)) return *problem;
  const std::uint64_t imageLength = bytes.size();
  const std::uint32_t sectionAlignment = image.sectionAlignment_;
  auto directory = [&](std::uint32_t index) {
    Directory d;
    if (index < image.directoryCount_) {
      d.rva = *U32LittleEndianAt(bytes, image.directories_ + 8 * index);
      d.size = *U32LittleEndianAt(bytes, image.directories_ + 8 * index + 4);
    }
    return d;
  };

  const SectionMap map{bytes, &image.sections_, sectionAlignment};
  auto sectionOf = [&map](std::uint32_t rva) { return map.SectionOf(rva); };

  const Directory resources = directory(kResourceDirectory);
  if (resources.rva == 0 || resources.size == 0) return ImageProblem::kNoResourceSection;
  const auto resourceIndex = sectionOf(resources.rva);
  if (!resourceIndex || image.sections_[*resourceIndex].virtualAddress != resources.rva ||
      image.sections_[*resourceIndex].rawSize == 0) {
    return ImageProblem::kNoResourceSection;
  }
  image.resourceSection_ = *resourceIndex;
  const Section& resourceSection = image.sections_[*resourceIndex];
  if (directory(kCertificateDirectory).size != 0) return ImageProblem::kSigned;
  if (image.sectionsEnd_ != imageLength) return ImageProblem::kTrailingData;

  // What the program finds by address stays where it is: no directory but
  // the resources' own lies in their section, and the sections behind it
  // are discardable ones that only the relocations' directory points into.
  // A directory behind the last section would land in a moved one.
  for (std::uint32_t index = 0; index < image.directoryCount_; ++index) {
    const Directory d = directory(index);
    if (index == kResourceDirectory || index == kCertificateDirectory || d.size == 0 ||
        d.rva < resourceSection.virtualAddress) {
      continue;
    }
    const auto section = sectionOf(d.rva);
    if (!section) return ImageProblem::kDamagedHeaders;
    if (*section == *resourceIndex) return ImageProblem::kSharedResourceSection;
    if (index != kRelocationDirectory) return ImageProblem::kImmovableSection;
  }
  if (U32LittleEndianAt(bytes, image.optionalHeader_ + kEntryPointField) >= resourceSection.virtualAddress) {
    return ImageProblem::kImmovableSection;
  }
  for (std::size_t i = *resourceIndex + 1; i < image.sections_.size(); ++i) {
    if ((image.sections_[i].characteristics & kDiscardable) == 0) {
      return ImageProblem::kImmovableSection;
    }
  }
  // No relocation fixes up a place in the sections that move, and no debug
  // data lies in them by file offset.
  if (const Directory relocations = directory(kRelocationDirectory); relocations.size != 0) {
    const auto blocks = map.At(relocations.rva, relocations.size);
    if (!blocks) return ImageProblem::kDamagedHeaders;
    SpanReader reader(*blocks);
    while (reader.remaining() >= 8) {
      const std::uint32_t page = *reader.ReadU32LittleEndian();
      const std::uint32_t blockSize = *reader.ReadU32LittleEndian();
      if (blockSize < 8 || !reader.ReadBytes(blockSize - 8)) return ImageProblem::kDamagedHeaders;
      if (page >= resourceSection.virtualAddress) {
        return sectionOf(page) == resourceIndex ? ImageProblem::kSharedResourceSection
                                                : ImageProblem::kImmovableSection;
      }
    }
  }
  if (const Directory debug = directory(kDebugDirectory); debug.size != 0) {
    const auto entries = map.At(debug.rva, debug.size);
    if (!entries) return ImageProblem::kDamagedHeaders;
    for (std::size_t at = 0; at + kDebugEntryBytes <= entries->size(); at += kDebugEntryBytes) {
      if (*U32LittleEndianAt(*entries, at + kDebugRawOffsetField) >= resourceSection.rawOffset) {
        return ImageProblem::kImmovableSection;
      }
    }
  }

  // The tree, within the section's mapped bytes.
  const std::uint32_t treeSize = resourceSection.virtualSize != 0
                                     ? std::min(resourceSection.virtualSize, resourceSection.rawSize)
                                     : resourceSection.rawSize;
  TreeReader tree(bytes.subspan(resourceSection.rawOffset, treeSize), map);
  if (!tree.Read(image.resources_)) return ImageProblem::kDamagedResources;
  std::sort(image.resources_.begin(), image.resources_.end(), ResourceLess);
  for (std::size_t i = 1; i < image.resources_.size(); ++i) {
    if (!ResourceLess(image.resources_[i - 1], image.resources_[i])) {
      return ImageProblem::kDamagedResources;
    }
  }
  image.image_.assign(bytes.begin(), bytes.end());
  return image;
}

const Resource* ResourceImage::Find(const ResourceId& type, const ResourceId& name,
                                    std::uint16_t language) const {
  for (const Resource& resource : resources_) {
    if (resource.type == type && resource.name == name && resource.language == language) {
      return &resource;
    }
  }
  return nullptr;
}

void ResourceImage::Set(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                        std::vector<unsigned char> data) {
  Resource resource{type, name, language, 0, std::move(data)};
  const auto at =
      std::lower_bound(resources_.begin(), resources_.end(), resource, ResourceLess);
  if (at != resources_.end() && !ResourceLess(resource, *at)) {
    at->data = std::move(resource.data);
  } else {
    resources_.insert(at, std::move(resource));
  }
}

std::variant<std::vector<unsigned char>, ImageProblem> ResourceImage::Write() const {
  // The tables: one for the types, one per type for its names, one per
  // name for its languages, in breadth-first order. Each table below the
  // root covers a run of resources (sorted, so every run is contiguous); a
  // type's name tables are a run of nameTables.
  struct Table {
    std::size_t first = 0;      // its first resource
    std::size_t count = 0;      // its resources
    std::size_t firstName = 0;  // a type's first name table
    std::size_t names = 0;      // a type's name tables
    std::uint64_t at = 0;       // where the table lies in the section
    std::uint64_t stringAt = 0; // where its named id's string lies
  };
  std::vector<Table> typeTables;
  std::vector<Table> nameTables;
  for (std::size_t i = 0; i < resources_.size(); ++i) {
    const Resource& r = resources_[i];
    const bool newType = i == 0 || !(resources_[i - 1].type == r.type);
    if (newType) typeTables.push_back({i, 0, nameTables.size(), 0, 0, 0});
    ++typeTables.back().count;
    if (newType || !(resources_[i - 1].name == r.name)) {
      nameTables.push_back({i, 0, 0, 0, 0, 0});
      ++typeTables.back().names;
    }
    ++nameTables.back().count;
  }
  auto tableBytes = [](std::size_t entries) {
    return kTableHeaderBytes + kTableEntryBytes * entries;
  };
  std::uint64_t size = tableBytes(typeTables.size());
  for (Table& type : typeTables) {
    type.at = size;
    size += tableBytes(type.names);
  }
  for (Table& name : nameTables) {
    name.at = size;
    size += tableBytes(name.count);
  }
  const std::uint64_t dataEntries = size;
  size += kDataEntryBytes * resources_.size();
  // Named ids' strings, one per table entry that names one.
  auto placeString = [&size](const ResourceId& id, std::uint64_t& at) {
    if (!id.IsNamed()) return;
    at = size;
    size += 2 + 2 * std::uint64_t{id.name.size()};
  };
  for (Table& type : typeTables) placeString(resources_[type.first].type, type.stringAt);
  for (Table& name : nameTables) placeString(resources_[name.first].name, name.stringAt);
  std::vector<std::uint64_t> dataAt;
  for (const Resource& r : resources_) {
    size = AlignUp(size, kDataAlignment);
    dataAt.push_back(size);
    size += r.data.size();
  }

  // The new places of the resource section and the sections behind it.
  const Section& old = sections_[resourceSection_];
  const std::uint64_t rawSize = AlignUp(size, fileAlignment_);
  std::uint64_t fileEnd = std::uint64_t{old.rawOffset} + rawSize;
  std::uint64_t imageEnd = AlignUp(old.virtualAddress + size, sectionAlignment_);
  std::vector<std::uint64_t> movedTo;  // each moved section's new address
  for (std::size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    movedTo.push_back(imageEnd);
    imageEnd = AlignUp(imageEnd + SectionMap::Mapped(sections_[i]), sectionAlignment_);
    fileEnd += sections_[i].rawSize;
  }
  if (size > kMaxImageBytes || fileEnd > kMaxImageBytes || imageEnd > kMaxImageBytes) {
    return ImageProblem::kTooLarge;
  }

  // The section's bytes.
  std::vector<unsigned char> out(image_.begin(), image_.begin() + old.rawOffset);
  out.resize(static_cast<std::size_t>(old.rawOffset + rawSize), 0);
  unsigned char* const section = out.data() + old.rawOffset;
  // One entry of a table of types or names: its id and its child table.
  auto putEntry = [section](unsigned char* entry, const ResourceId& id, const Table& child,
                            std::uint64_t stringAt) {
    PutU32(entry + 4, static_cast<std::uint32_t>(child.at) | kHighBit);
    if (!id.IsNamed()) {
      PutU32(entry, id.number);
      return;
    }
    PutU32(entry, static_cast<std::uint32_t>(stringAt) | kHighBit);
    PutU16(section + stringAt, static_cast<std::uint16_t>(id.name.size()));
    for (std::size_t i = 0; i < id.name.size(); ++i) {
      PutU16(section + stringAt + 2 + 2 * i, id.name[i]);
    }
  };
  // A table's counts of named and numbered entries; named ones sort first.
  auto putCounts = [section](std::uint64_t at, std::size_t named, std::size_t entries) {
    PutU16(section + at + 12, static_cast<std::uint16_t>(named));
    PutU16(section + at + 14, static_cast<std::uint16_t>(entries - named));
  };
  const auto namedTypes = std::count_if(typeTables.begin(), typeTables.end(), [&](const Table& t) {
    return resources_[t.first].type.IsNamed();
  });
  putCounts(0, static_cast<std::size_t>(namedTypes), typeTables.size());
  for (std::size_t t = 0; t < typeTables.size(); ++t) {
    const Table& type = typeTables[t];
    putEntry(section + kTableHeaderBytes + kTableEntryBytes * t, resources_[type.first].type, type,
             type.stringAt);
    std::size_t named = 0;
    for (std::size_t k = 0; k < type.names; ++k) {
      const Table& name = nameTables[type.firstName + k];
      const ResourceId& id = resources_[name.first].name;
      if (id.IsNamed()) ++named;
      putEntry(section + type.at + kTableHeaderBytes + kTableEntryBytes * k, id, name,
               name.stringAt);
    }
    putCounts(type.at, named, type.names);
  }
  for (const Table& name : nameTables) {
    putCounts(name.at, 0, name.count);
    for (std::size_t k = 0; k < name.count; ++k) {
      const std::size_t index = name.first + k;
      unsigned char* entry = section + name.at + kTableHeaderBytes + kTableEntryBytes * k;
      PutU32(entry, resources_[index].language);
      PutU32(entry + 4, static_cast<std::uint32_t>(dataEntries + kDataEntryBytes * index));
    }
  }
  for (std::size_t i = 0; i < resources_.size(); ++i) {
    const Resource& r = resources_[i];
    unsigned char* entry = section + dataEntries + kDataEntryBytes * i;
    PutU32(entry, old.virtualAddress + static_cast<std::uint32_t>(dataAt[i]));
    PutU32(entry + 4, static_cast<std::uint32_t>(r.data.size()));
    PutU32(entry + 8, r.codePage);
    std::copy(r.data.begin(), r.data.end(), section + dataAt[i]);
  }

  // The section's header, and the sections behind it moved along.
  auto put32 = [&out](std::size_t at, std::uint64_t value) {
    PutU32(out.data() + at, static_cast<std::uint32_t>(value));
  };
  put32(old.header + kVirtualSizeField, size);
  put32(old.header + kRawSizeField, rawSize);
  const SectionMap map{image_, &sections_, sectionAlignment_};
  const auto relocationsField = directories_ + 8 * kRelocationDirectory;
  const std::uint32_t relocations =
      kRelocationDirectory < directoryCount_ ? *U32LittleEndianAt(image_, relocationsField) : 0;
  const auto relocationSection = map.SectionOf(relocations);
  for (std::size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    const std::uint64_t address = movedTo[i - resourceSection_ - 1];
    if (relocations != 0 && relocationSection == i) {
      put32(relocationsField, relocations - s.virtualAddress + address);
    }
    put32(s.header + kVirtualAddressField, address);
    if (s.rawSize != 0) {
      put32(s.header + kRawOffsetField, out.size());
      out.insert(out.end(), image_.begin() + s.rawOffset,
                 image_.begin() + s.rawOffset + s.rawSize);
    }
  }
  put32(optionalHeader_ + kImageSizeField, imageEnd);
  put32(directories_ + 8 * kResourceDirectory + 4, size);
  if ((old.characteristics & kInitializedData) != 0) {
    const std::uint32_t initialized = *U32LittleEndianAt(image_, optionalHeader_ + kInitializedDataField);
    put32(optionalHeader_ + kInitializedDataField, initialized - old.rawSize + rawSize);
  }
  put32(optionalHeader_ + kChecksumField, ImageChecksum(out, optionalHeader_ + kChecksumField));
  return out;
}

}  // namespace package::pe
