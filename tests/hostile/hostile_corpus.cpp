#include "hostile/hostile_corpus.h"

#include <functional>
#include <string_view>
#include <utility>

#include "support/pe_builder.h"

namespace resgraft::testing {
namespace {

using Make = std::function<std::vector<uint8_t>(uint32_t section_rva)>;

constexpr uint32_t kHigh = 0x80000000u;  // name string / subdirectory flag

// A resource section written field by field, growing as fields are placed.
struct RawSection {
  std::vector<uint8_t> b;

  void Grow(size_t end) {
    if (b.size() < end) b.resize(end, 0);
  }
  void Put16(uint32_t at, uint16_t v) {
    Grow(size_t{at} + 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void Put32(uint32_t at, uint32_t v) {
    Grow(size_t{at} + 4);
    for (uint32_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  // A directory header (version 4.0) with its two counts.
  void Table(uint32_t at, uint16_t named, uint16_t ids) {
    Put32(at, 0);
    Put32(at + 4, 0);
    Put16(at + 8, 4);
    Put16(at + 10, 0);
    Put16(at + 12, named);
    Put16(at + 14, ids);
  }
  void Entry(uint32_t table, uint32_t index, uint32_t name, uint32_t offset_to_data) {
    Put32(table + 16 + 8 * index, name);
    Put32(table + 20 + 8 * index, offset_to_data);
  }
  void Record(uint32_t at, uint32_t rva, uint32_t size, uint32_t reserved = 0) {
    Put32(at, rva);
    Put32(at + 4, size);
    Put32(at + 8, 0);
    Put32(at + 12, reserved);
  }
  void Name(uint32_t at, std::u16string_view text) {
    Put16(at, static_cast<uint16_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
      Put16(static_cast<uint32_t>(at + 2 + 2 * i), static_cast<uint16_t>(text[i]));
    }
  }
  void Data(uint32_t at, const std::vector<uint8_t>& bytes) {
    Grow(size_t{at} + bytes.size());
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
  }
};

// The smallest clean tree: type 3, name 1, language 1041 with four data bytes.
struct Minimal {
  static constexpr uint32_t kRoot = 0x00, kRootEntry = 0x10;
  static constexpr uint32_t kType = 0x18, kTypeEntry = 0x28;
  static constexpr uint32_t kName = 0x30, kNameEntry = 0x40;
  static constexpr uint32_t kRecord = 0x48, kData = 0x58, kEnd = 0x5C;

  static RawSection At(uint32_t rva) {
    RawSection s;
    s.Table(kRoot, 0, 1);
    s.Entry(kRoot, 0, 3, kType | kHigh);
    s.Table(kType, 0, 1);
    s.Entry(kType, 0, 1, kName | kHigh);
    s.Table(kName, 0, 1);
    s.Entry(kName, 0, 1041, kRecord);
    s.Record(kRecord, rva + kData, 4);
    s.Data(kData, Bytes("DATA"));
    return s;
  }
};

// The minimal tree changed by `edit` (given the section and its RVA).
Make MinimalWith(std::function<void(RawSection&, uint32_t)> edit) {
  return [edit = std::move(edit)](uint32_t rva) {
    RawSection s = Minimal::At(rva);
    edit(s, rva);
    return s.b;
  };
}

// Three levels of one table each, with `n` entries per table all leading to the
// same table below, and at the bottom to one data entry: n + n² + n³ entries read.
Make SharedTables(uint32_t n, uint32_t data_size, bool named) {
  return [=](uint32_t rva) {
    RawSection s;
    const uint32_t level1 = 0x1000, level2 = 0x2000, record = 0x3000, name = 0x5000;
    const uint32_t data = 0x4000;
    const uint32_t tables[3] = {0, level1, level2};
    const uint32_t targets[3] = {level1 | kHigh, level2 | kHigh, record};
    for (int level = 0; level < 3; ++level) {
      s.Table(tables[level], named ? static_cast<uint16_t>(n) : 0,
              named ? 0 : static_cast<uint16_t>(n));
      for (uint32_t i = 0; i < n; ++i) {
        s.Entry(tables[level], i, named ? name | kHigh : i + 1, targets[level]);
      }
    }
    s.Record(record, rva + data, data_size);
    if (named) s.Name(name, std::u16string(0xFFFF, u'N'));
    s.Data(data, Pattern(data_size, 9));
    return s.b;
  };
}

ResNode BaseTree() {
  return Dir(0, {Dir(3, {Dir(1, {Leaf(1041, Pattern(40, 3))}), Dir(2, {Leaf(1041, Pattern(1, 4))})}),
                 Dir(u"AVI", {Dir(u"CLIP", {Leaf(1041, Pattern(100, 5))})}),
                 Dir(14, {Dir(u"MAINICON", {Leaf(1041, Pattern(20, 6)), Leaf(1033, {})})})});
}

// Code, resources, data, relocations: the shape of an ordinary program.
PeBuilder BaseBuilder() {
  PeBuilder b;
  b.Section(".text", kCodeSection, Pattern(0x300, 1))
      .Resources(BaseTree())
      .Section(".data", kDataSection, Pattern(0x180, 2))
      .Relocations();
  return b;
}

// A small code section, then the hand-made resource section as the last one, so that
// its raw data ends at the end of the file. `.text` lies at RVA 0x1000, file 0x200.
Image HandMade(Make make) {
  return PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1)).RawResources(std::move(make)).Build();
}
constexpr uint32_t kHandMadeTextRva = 0x1000;

uint32_t SectionField(const Image& image, size_t section, uint32_t field) {
  return image.Le32(image.SectionHeader(section) + field);
}

}  // namespace

std::vector<HostileCase> HostileCorpus() {
  using L = LoadOutcome;
  std::vector<HostileCase> cases;
  auto add = [&](std::string name, std::vector<uint8_t> bytes, L load,
                 SaveOutcome save = SaveOutcome::kSaves) {
    cases.push_back({std::move(name) + ".exe", std::move(bytes), load, "", save});
  };
  auto packed = [&](std::string name, std::vector<uint8_t> bytes, std::string packer) {
    cases.push_back({std::move(name) + ".exe", std::move(bytes), L::kPacked, std::move(packer)});
  };
  // The base image with one change.
  auto edited = [](std::function<void(Image&)> edit) {
    Image image = BaseBuilder().Build();
    edit(image);
    return image.bytes;
  };

  const Image base = BaseBuilder().Build();
  add("base", base.bytes, L::kLoads);

  // Truncation at every boundary of the headers and of the resource section.
  {
    const uint32_t nt = base.e_lfanew;
    const uint32_t size_of_headers =
        base.Le32(base.optional_header + OptionalHeaderField::kSizeOfHeaders);
    const uint32_t resource_end = SectionField(base, 1, SectionHeaderField::kPointerToRawData) +
                                  SectionField(base, 1, SectionHeaderField::kSizeOfRawData);
    const struct {
      const char* name;
      size_t size;
      L load;
    } cuts[] = {
        {"empty", 0, L::kNotWin32Pe},
        {"in-dos-magic", 1, L::kNotWin32Pe},
        {"before-lfanew", 60, L::kNotWin32Pe},
        {"in-lfanew", 63, L::kNotWin32Pe},
        {"dos-header-end", 64, L::kNotWin32Pe},
        {"nt-signature", nt, L::kNotWin32Pe},
        {"file-header", base.file_header, L::kNotWin32Pe},
        {"optional-header", base.optional_header, L::kNotWin32Pe},
        {"in-data-directory", base.section_table - 1, L::kNotWin32Pe},
        {"section-table", base.section_table, L::kBadHeader},
        {"second-section-header", base.SectionHeader(1), L::kBadHeader},
        {"in-last-section-header", base.SectionHeader(4) - 1, L::kBadHeader},
        {"section-table-end", base.SectionHeader(4), L::kBadHeader},
        {"in-header-padding", size_of_headers - 1, L::kBadHeader},
        {"size-of-headers", size_of_headers, L::kBadResources},
        {"resource-root", base.resource_offset, L::kBadResources},
        {"in-root-header", base.resource_offset + 15, L::kBadResources},
        {"root-entries", base.resource_offset + 16, L::kBadResources},
        {"in-type-table", base.directory_offsets[1] + 20, L::kBadResources},
        {"in-name-string", base.name_offsets[0] + 3, L::kBadResources},
        {"in-data-entry", base.data_entry_offsets[0] + 8, L::kBadResources},
        {"in-first-data", base.data_entry_offsets[0] + 20, L::kBadResources},
        {"in-resource-padding", resource_end - 1, L::kBadResources},
        {"resource-section-end", resource_end, L::kLoads},
        {"last-byte", base.bytes.size() - 1, L::kLoads},
    };
    for (const auto& cut : cuts) {
      Image image = base;
      image.Truncate(cut.size);
      add(std::string("truncated-") + cut.name, image.bytes, cut.load);
    }
  }

  // e_lfanew.
  for (const auto& [name, value] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"0", 0}, {"63", 63}, {"negative", 0xFFFFFFFFu}, {"most-negative", 0x80000000u},
           {"huge", 0x7FFFFFFFu},
           {"nt-headers-one-byte-short", static_cast<uint32_t>(base.bytes.size() - 247)}}) {
    add(std::string("lfanew-") + name,
        edited([value = value](Image& i) { i.SetLe32(DosHeaderField::kLfanew, value); }),
        L::kNotWin32Pe);
  }
  add("lfanew-64", BaseBuilder().Lfanew(64).Build().bytes, L::kLoads);
  // An odd e_lfanew puts the CheckSum field at an odd offset.
  add("lfanew-odd-with-checksum", BaseBuilder().Lfanew(0x81).WithChecksum(true).Build().bytes,
      L::kLoads);

  // Signatures, processor and optional-header kind.
  add("dos-magic-zm", edited([](Image& i) { i.SetLe16(DosHeaderField::kMagic, 0x4D5A); }),
      L::kNotWin32Pe);
  add("nt-signature-pe01", edited([](Image& i) { i.SetLe32(i.e_lfanew, 0x01004550); }),
      L::kNotWin32Pe);
  add("machine-amd64", BaseBuilder().Machine(0x8664).Build().bytes, L::kNotWin32Pe);
  add("machine-arm", BaseBuilder().Machine(0x01C0).Build().bytes, L::kNotWin32Pe);
  add("machine-i486", BaseBuilder().Machine(0x014D).Build().bytes, L::kNotWin32Pe);
  add("pe32-plus", BaseBuilder().Magic(0x020B).Build().bytes, L::kNotWin32Pe);
  add("rom-image", BaseBuilder().Magic(0x0107).Build().bytes, L::kNotWin32Pe);

  // The section table and the header area.
  auto set_sections = [](uint16_t count) {
    return [count](Image& i) { i.SetLe16(i.file_header + FileHeaderField::kNumberOfSections, count); };
  };
  add("sections-0", edited(set_sections(0)), L::kNotWin32Pe);
  add("sections-65535", edited(set_sections(0xFFFF)), L::kBadHeader);
  add("section-table-past-end-of-file",
      edited(set_sections(static_cast<uint16_t>((base.bytes.size() - base.section_table) / 40 + 1))),
      L::kBadHeader);
  auto set_optional = [](uint32_t field, uint32_t value) {
    return [=](Image& i) { i.SetLe32(i.optional_header + field, value); };
  };
  add("size-of-optional-header-240",
      edited([](Image& i) { i.SetLe16(i.file_header + FileHeaderField::kSizeOfOptionalHeader, 240); }),
      L::kBadHeader);
  add("size-of-optional-header-0",
      edited([](Image& i) { i.SetLe16(i.file_header + FileHeaderField::kSizeOfOptionalHeader, 0); }),
      L::kBadHeader);
  add("size-of-headers-ffffffff",
      edited(set_optional(OptionalHeaderField::kSizeOfHeaders, 0xFFFFFFFFu)), L::kBadHeader);
  add("size-of-headers-past-end-of-file",
      edited(set_optional(OptionalHeaderField::kSizeOfHeaders,
                          static_cast<uint32_t>(base.bytes.size() + 1))),
      L::kBadHeader);
  add("size-of-headers-0", edited(set_optional(OptionalHeaderField::kSizeOfHeaders, 0)), L::kLoads);
  add("size-of-headers-below-first-section", BaseBuilder().SizeOfHeaders(0x200).Build().bytes,
      L::kLoads);
  add("first-raw-pointer-ffffffff", edited([](Image& i) {
        i.SetLe32(i.SectionHeader(0) + SectionHeaderField::kPointerToRawData, 0xFFFFFFF0u);
      }),
      L::kBadHeader);

  // Sections must follow one another in memory and in the file.
  auto shift_section = [](size_t section, uint32_t field, uint32_t by) {
    return [=](Image& i) {
      const uint32_t at = i.SectionHeader(section) + field;
      i.SetLe32(at, i.Le32(at) + by);
    };
  };
  add("gap-in-memory", edited(shift_section(2, SectionHeaderField::kVirtualAddress, 0x1000)),
      L::kBadHeader);
  add("overlap-in-memory",
      edited(shift_section(2, SectionHeaderField::kVirtualAddress, 0u - 0x1000)), L::kBadHeader);
  add("gap-in-file", edited(shift_section(2, SectionHeaderField::kPointerToRawData, 0x200)),
      L::kBadHeader);
  add("overlap-in-file",
      edited(shift_section(2, SectionHeaderField::kPointerToRawData, 0u - 0x200)), L::kBadHeader);
  add("virtual-size-wraps",
      edited([](Image& i) {
        i.SetLe32(i.SectionHeader(2) + SectionHeaderField::kVirtualSize, 0xFFFFFFFFu);
      }),
      L::kBadHeader);
  add("data-less-section-between",
      PeBuilder()
          .Section(".text", kCodeSection, Pattern(0x300, 1))
          .Section(".bss", kBssSection, {}, 0x800)
          .Section(".empty", kDataSection, {}, 0)
          .Resources(BaseTree())
          .Relocations()
          .Build()
          .bytes,
      L::kLoads);
  add("section-alignment-0-two-sections", BaseBuilder().SectionAlignment(0).Build().bytes,
      L::kBadHeader);
  add("section-alignment-0-one-section",
      PeBuilder().SectionAlignment(0).RawResources(MinimalWith([](RawSection&, uint32_t) {})).Build().bytes,
      L::kLoads);
  // The rebuilt section is smaller, so its raw size changes and needs the alignment.
  add("section-alignment-0-one-section-shrinks",
      PeBuilder()
          .SectionAlignment(0)
          .RawResources(MinimalWith([](RawSection& s, uint32_t) { s.Grow(0x800); }))
          .Build()
          .bytes,
      L::kLoads, SaveOutcome::kCannotSave);
  add("file-alignment-0", BaseBuilder().FileAlignment(0).Build().bytes, L::kLoads,
      SaveOutcome::kCannotSave);
  // Rebuilt, the section would end past 2 GiB, where no load can reach it.
  add("file-alignment-2gib",
      edited(set_optional(OptionalHeaderField::kFileAlignment, 0x80000000u)), L::kLoads,
      SaveOutcome::kCannotSave);

  // Packers, by section name; only images with sound headers get that far.
  packed("packer-upx", PeBuilder().Section("UPX0", kCodeSection, Pattern(0x10, 1)).Resources(BaseTree()).Build().bytes, "UPX");
  packed("packer-pecompress", PeBuilder().Section("pec1", kCodeSection, Pattern(0x10, 1)).Resources(BaseTree()).Build().bytes, "PECompress");
  packed("packer-wwpack32", PeBuilder().Resources(BaseTree()).Section(".WWP32", kCodeSection, Pattern(0x10, 1)).Build().bytes, "WWPack32");
  packed("packer-aspack", PeBuilder().Resources(BaseTree()).Section(".aspack", kCodeSection, Pattern(0x10, 1)).Section(".adata", kDataSection, Pattern(0x10, 2)).Build().bytes, "ASPack");
  packed("packer-upx-single-section", PeBuilder().Resources(BaseTree(), "UPX!").Build().bytes, "UPX");
  packed("packer-wwpack32-single-section", PeBuilder().Resources(BaseTree(), "xWWP").Build().bytes, "WWPack32");
  packed("packer-upx-before-wwpack32", PeBuilder().Section("UPX0", kCodeSection, Pattern(0x10, 1)).Resources(BaseTree(), ".WWP").Build().bytes, "UPX");
  add("packer-names-lower-case", PeBuilder().Section("upx0", kCodeSection, Pattern(0x10, 1)).Resources(BaseTree()).Section(".wwp32", kDataSection, Pattern(0x10, 2)).Build().bytes, L::kLoads);
  add("packer-aspack-needs-two-sections", PeBuilder().Resources(BaseTree(), ".aspack").Build().bytes, L::kLoads);
  add("packer-with-bad-headers", [] {
        Image i = PeBuilder().Section("UPX0", kCodeSection, Pattern(0x10, 1)).Resources(BaseTree()).Build();
        i.SetLe32(i.SectionHeader(1) + SectionHeaderField::kVirtualAddress, 0x9000);
        return i.bytes;
      }(), L::kBadHeader);

  // Where the resource root is.
  auto resource_rva = [](uint32_t rva) {
    return [rva](Image& i) { i.SetLe32(i.DataDirectory(2), rva); };
  };
  add("resource-rva-0", edited(resource_rva(0)), L::kBadResources);
  add("resource-rva-in-headers", edited(resource_rva(0x10)), L::kBadResources);
  add("resource-rva-past-every-section", edited(resource_rva(0x7FFF0000)), L::kBadResources);
  add("resource-rva-ffffffff", edited(resource_rva(0xFFFFFFFFu)), L::kBadResources);
  add("resource-rva-in-virtual-tail", [] {
        Image i = PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1))
                      .Section(".data", kDataSection, Pattern(0x200, 2), 0x3000)
                      .Build();
        i.SetLe32(i.DataDirectory(2), SectionField(i, 1, SectionHeaderField::kVirtualAddress) + 0x1000);
        return i.bytes;
      }(), L::kBadResources);
  add("resource-root-not-at-section-start", [] {
        Image i = PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1))
                      .RawResources([](uint32_t rva) {
                        RawSection s = Minimal::At(rva + 0x20);
                        s.b.insert(s.b.begin(), 0x20, 0);
                        return s.b;
                      })
                      .Build();
        i.SetLe32(i.DataDirectory(2), i.resource_rva + 0x20);
        return i.bytes;
      }(), L::kBadResources);

  // Hand-made trees: the shape the reader demands.
  auto tree = [&](std::string name, Make make, L load, SaveOutcome save = SaveOutcome::kSaves) {
    add(std::move(name), HandMade(std::move(make)).bytes, load, save);
  };
  using M = Minimal;
  tree("tree-minimal", MinimalWith([](RawSection&, uint32_t) {}), L::kLoads);
  tree("tree-root-without-entries", [](uint32_t) { RawSection s; s.Table(0, 0, 0); return s.b; },
       L::kBadResources);
  tree("tree-type-without-entries", MinimalWith([](RawSection& s, uint32_t) { s.Table(M::kType, 0, 0); }),
       L::kBadResources);
  tree("tree-language-without-entries",
       MinimalWith([](RawSection& s, uint32_t) { s.Table(M::kName, 0, 0); }), L::kBadResources);
  tree("tree-root-counts-65535-each",
       MinimalWith([](RawSection& s, uint32_t) { s.Table(M::kRoot, 0xFFFF, 0xFFFF); }), L::kBadResources);
  tree("tree-root-count-beyond-file",
       MinimalWith([](RawSection& s, uint32_t) { s.Table(M::kRoot, 0, 0x1000); }), L::kBadResources);
  tree("tree-subdirectory-back-to-root",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kType, 0, 1, M::kRoot | kHigh); }),
       L::kBadResources);
  tree("tree-root-entry-to-itself",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kRoot, 0, 3, M::kRoot | kHigh); }),
       L::kBadResources);
  tree("tree-data-entry-at-level-0",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kRoot, 0, 3, M::kRecord); }), L::kBadResources);
  tree("tree-data-entry-at-level-1",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kType, 0, 1, M::kRecord); }), L::kBadResources);
  tree("tree-subdirectory-at-level-2",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kName, 0, 1041, M::kName | kHigh); }),
       L::kBadResources);
  tree("tree-reserved-1",
       MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + M::kData, 4, 1); }),
       L::kBadResources);
  tree("tree-reserved-ffffffff",
       MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + M::kData, 4, 0xFFFFFFFFu); }),
       L::kBadResources);
  tree("tree-subdirectory-offset-past-2gib",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kRoot, 0, 3, 0x7FFFFFF0u | kHigh); }),
       L::kBadResources);
  tree("tree-data-entry-offset-past-2gib",
       MinimalWith([](RawSection& s, uint32_t) { s.Entry(M::kName, 0, 1041, 0x7FFFFFF0u); }),
       L::kBadResources);
  tree("tree-tables-at-odd-offsets", [](uint32_t rva) {
         RawSection s;
         s.Table(0, 0, 1);
         s.Entry(0, 0, 3, 0x19 | kHigh);
         s.Table(0x19, 0, 1);
         s.Entry(0x19, 0, 1, 0x33 | kHigh);
         s.Table(0x33, 0, 1);
         s.Entry(0x33, 0, 1041, 0x4B);
         s.Record(0x4B, rva + 0x5D, 3);
         s.Data(0x5D, Bytes("odd"));
         return s.b;
       }, L::kLoads);

  // Names.
  tree("name-length-0", MinimalWith([](RawSection& s, uint32_t) {
         s.Entry(M::kRoot, 0, 0x60 | kHigh, M::kType | kHigh);
         s.Name(0x60, u"");
       }), L::kBadResources);
  tree("name-past-end-of-file", MinimalWith([](RawSection& s, uint32_t) {
         // The section is the last one and ends at the end of the file.
         s.Entry(M::kRoot, 0, 0x1FE | kHigh, M::kType | kHigh);
         s.Put16(0x1FE, 8);
       }), L::kBadResources);
  tree("name-offset-past-2gib", MinimalWith([](RawSection& s, uint32_t) {
         s.Entry(M::kRoot, 0, 0xFFFFFFF0u, M::kType | kHigh);
       }), L::kBadResources);
  tree("name-longest", MinimalWith([](RawSection& s, uint32_t) {
         s.Entry(M::kRoot, 0, 0x60 | kHigh, M::kType | kHigh);
         s.Name(0x60, std::u16string(0xFFFF, u'\xFFFF'));
       }), L::kLoads);
  tree("names-at-every-level-counts-wrong", MinimalWith([](RawSection& s, uint32_t) {
         s.Table(M::kRoot, 0, 1);  // counts say id, the entries are named
         s.Entry(M::kRoot, 0, 0x60 | kHigh, M::kType | kHigh);
         s.Entry(M::kType, 0, 0x70 | kHigh, M::kName | kHigh);
         s.Entry(M::kName, 0, 0x80 | kHigh, M::kRecord);
         s.Name(0x60, u"AVI");
         s.Name(0x70, u"CLIP");
         s.Name(0x80, u"\x65E5\x672C");
       }), L::kLoads);
  tree("named-after-id", MinimalWith([](RawSection& s, uint32_t) {
         s.Table(0x60, 1, 1);
         s.Entry(0x60, 0, 1, M::kName | kHigh);
         s.Entry(0x60, 1, 0x80 | kHigh, M::kName | kHigh);
         s.Name(0x80, u"ZZ");
         s.Entry(M::kRoot, 0, 3, 0x60 | kHigh);
       }), L::kLoads);

  // Data entries.
  tree("data-size-ffffffff",
       MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + M::kData, 0xFFFFFFFFu); }),
       L::kBadResources);
  tree("data-size-0-rva-0", MinimalWith([](RawSection& s, uint32_t) { s.Record(M::kRecord, 0, 0); }),
       L::kLoads);
  tree("data-rva-0", MinimalWith([](RawSection& s, uint32_t) { s.Record(M::kRecord, 0, 4); }),
       L::kBadResources);
  tree("data-rva-in-headers", MinimalWith([](RawSection& s, uint32_t) { s.Record(M::kRecord, 0x10, 4); }),
       L::kBadResources);
  tree("data-rva-past-every-section",
       MinimalWith([](RawSection& s, uint32_t) { s.Record(M::kRecord, 0x7FFF0000, 4); }), L::kBadResources);
  add("data-rva-in-virtual-tail-of-resources", [] {
        Image i = HandMade(
            MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + 0x800, 4); }));
        i.SetLe32(i.SectionHeader(1) + SectionHeaderField::kVirtualSize, 0x3000);
        return i.bytes;
      }(), L::kBadResources);
  tree("data-in-code-section",
       MinimalWith([](RawSection& s, uint32_t) { s.Record(M::kRecord, kHandMadeTextRva + 0x10, 0x20); }),
       L::kLoads);
  tree("data-past-end-of-file",
       MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + 0x1F0, 0x20); }),
       L::kBadResources);
  add("data-runs-into-next-section",
      PeBuilder()
          .Section(".text", kCodeSection, Pattern(0x100, 1))
          .RawResources(MinimalWith([](RawSection& s, uint32_t rva) { s.Record(M::kRecord, rva + 0x1F0, 0x20); }))
          .Relocations()
          .Build()
          .bytes,
      L::kLoads);
  tree("two-languages-share-one-data-entry", MinimalWith([](RawSection& s, uint32_t) {
         s.Table(0x60, 0, 2);
         s.Entry(0x60, 0, 1041, M::kRecord);
         s.Entry(0x60, 1, 1033, M::kRecord);
         s.Entry(M::kType, 0, 1, 0x60 | kHigh);
       }), L::kLoads);
  tree("two-names-share-one-directory", MinimalWith([](RawSection& s, uint32_t) {
         s.Table(0x60, 0, 2);
         s.Entry(0x60, 0, 1, M::kName | kHigh);
         s.Entry(0x60, 1, 2, M::kName | kHigh);
         s.Entry(M::kRoot, 0, 3, 0x60 | kHigh);
       }), L::kLoads);

  // Sharing that would make a small file expand into a huge tree.
  tree("shared-table-amplification", SharedTables(64, 4, false), L::kBadResources);
  tree("shared-data-amplification", SharedTables(8, 0x40000, false), L::kBadResources);
  tree("shared-name-amplification", SharedTables(8, 4, true), L::kBadResources);
  tree("shared-within-bounds", SharedTables(3, 0x10, false), L::kLoads);

  // Saving: what a rebuilt section may and may not move.
  auto padded = [](uint32_t size) {
    return MinimalWith([size](RawSection& s, uint32_t) { s.Grow(size); });
  };
  add("shrink-moves-data-in-memory",
      PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1)).RawResources(padded(0x1400))
          .Section(".data", kDataSection, Pattern(0x100, 2)).Build().bytes,
      L::kLoads, SaveOutcome::kCannotSave);
  add("shrink-moves-relocations-in-memory",
      PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1)).RawResources(padded(0x1400))
          .Relocations().Build().bytes,
      L::kLoads);
  add("shrink-in-file-only",
      PeBuilder().Section(".text", kCodeSection, Pattern(0x100, 1)).RawResources(padded(0x600))
          .Section(".data", kDataSection, Pattern(0x100, 2)).Build().bytes,
      L::kLoads);
  add("overlay-symbols-certificates", [] {
        PeBuilder b = BaseBuilder();
        b.SymbolTable(Pattern(36, 7)).Overlay(Pattern(0x300, 8));
        Image i = b.Build();
        const uint32_t overlay = static_cast<uint32_t>(i.bytes.size() - 0x300);
        i.SetLe32(i.DataDirectory(4), overlay);
        i.SetLe32(i.DataDirectory(4) + 4, 0x300);
        return i.bytes;
      }(), L::kLoads);
  add("checksum", BaseBuilder().WithChecksum(true).Build().bytes, L::kLoads);
  return cases;
}

std::string ExpectedLoadMessage(const HostileCase& c, const std::string& path) {
  const std::string tail = path + " ";
  switch (c.load) {
    case LoadOutcome::kLoads:
      return "";
    case LoadOutcome::kNotWin32Pe:
      return "Win32 PEファイル形式ではありません。\r\n" + tail;
    case LoadOutcome::kBadHeader:
      return "PEヘッダが正しくありません。\r\n" + tail;
    case LoadOutcome::kPacked:
      return "\"" + c.packer + "\"で圧縮されています。 \r\n" + tail;
    case LoadOutcome::kBadResources:
      return "リソース構造が正しくありません。 \r\n" + tail;
  }
  return "?";
}

std::string CannotSaveMessage(const std::string& path) {
  return "ファイルを保存できません。 \r\n" + path + " ";
}

std::string CannotWriteMessage(const std::string& path) {
  return "リソースを書き込むことができません。 \r\n" + path + " ";
}

}  // namespace resgraft::testing
