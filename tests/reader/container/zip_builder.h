// Builds ZIP archives byte by byte for the container and package tests:
// stored or deflated entries, data descriptors, zip64 records, archive
// comments, a prefix before the archive, and deliberate damage.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "reader/container/file_source.h"
#include "reader/core/book.h"

namespace testing_support {

struct ZipEntryOptions {
  bool deflate = true;
  bool dataDescriptor = false;  // sizes and CRC after the data (general flag bit 3)
  bool zip64 = false;           // sizes and offset in zip64 extra fields
  uint16_t extraFlags = 0;      // e.g. 1: encrypted
  int method = -1;              // override the method field
  bool badCrc = false;
  int64_t declaredSizeDelta = 0;  // declare this much more (or less) than the real size
  size_t truncateData = 0;        // drop this many bytes from the end of the data
  int level = 6;                  // zlib's deflate level (0: stored blocks only)
  int strategy = Z_DEFAULT_STRATEGY;
};

class ZipBuilder {
 public:
  void Add(const std::string& name, const std::string& data, ZipEntryOptions o = {}) {
    entries_.push_back({name, data, o});
  }
  std::string comment;
  std::string prefix;     // bytes before the archive (offsets stay relative to the archive)
  bool zip64End = false;  // write the zip64 end record and locator

  std::string Build() const {
    std::string out;
    std::string central;
    for (const Entry& e : entries_) {
      const ZipEntryOptions& o = e.options;
      std::string data = o.deflate ? Deflate(e.data, o.level, o.strategy) : e.data;
      if (o.truncateData && o.truncateData < data.size()) data.resize(data.size() - o.truncateData);
      uint32_t crc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
      if (o.badCrc) crc ^= 0x5A5A5A5Au;
      uint64_t usize = static_cast<uint64_t>(static_cast<int64_t>(e.data.size()) + o.declaredSizeDelta);
      uint64_t csize = data.size();
      uint16_t method = static_cast<uint16_t>(o.method >= 0 ? o.method : (o.deflate ? 8 : 0));
      uint16_t flags = static_cast<uint16_t>(o.extraFlags | (o.dataDescriptor ? 8 : 0));
      uint64_t offset = out.size();

      std::string local;
      U32(local, 0x04034b50);
      U16(local, o.zip64 ? 45 : 20);
      U16(local, flags);
      U16(local, method);
      U16(local, 0);
      U16(local, 0x21);
      std::string localExtra;
      if (o.zip64) {
        U16(localExtra, 1);
        U16(localExtra, 16);
        U64(localExtra, o.dataDescriptor ? 0 : usize);
        U64(localExtra, o.dataDescriptor ? 0 : csize);
      }
      U32(local, o.dataDescriptor ? 0 : crc);
      U32(local, o.zip64 ? 0xFFFFFFFFu : (o.dataDescriptor ? 0 : static_cast<uint32_t>(csize)));
      U32(local, o.zip64 ? 0xFFFFFFFFu : (o.dataDescriptor ? 0 : static_cast<uint32_t>(usize)));
      U16(local, static_cast<uint16_t>(e.name.size()));
      U16(local, static_cast<uint16_t>(localExtra.size()));
      local += e.name;
      local += localExtra;
      out += local;
      out += data;
      if (o.dataDescriptor) {
        U32(out, 0x08074b50);
        U32(out, crc);
        if (o.zip64) {
          U64(out, csize);
          U64(out, usize);
        } else {
          U32(out, static_cast<uint32_t>(csize));
          U32(out, static_cast<uint32_t>(usize));
        }
      }

      std::string extra;
      if (o.zip64) {
        U16(extra, 1);
        U16(extra, 24);
        U64(extra, usize);
        U64(extra, csize);
        U64(extra, offset);
      }
      U32(central, 0x02014b50);
      U16(central, 45);
      U16(central, o.zip64 ? 45 : 20);
      U16(central, flags);
      U16(central, method);
      U16(central, 0);
      U16(central, 0x21);
      U32(central, crc);
      U32(central, o.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(csize));
      U32(central, o.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(usize));
      U16(central, static_cast<uint16_t>(e.name.size()));
      U16(central, static_cast<uint16_t>(extra.size()));
      U16(central, 0);
      U16(central, 0);
      U16(central, 0);
      U32(central, 0);
      U32(central, o.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(offset));
      central += e.name;
      central += extra;
    }
    uint64_t dirOffset = out.size();
    out += central;
    if (zip64End) {
      uint64_t recordOffset = out.size();
      U32(out, 0x06064b50);
      U64(out, 44);
      U16(out, 45);
      U16(out, 45);
      U32(out, 0);
      U32(out, 0);
      U64(out, entries_.size());
      U64(out, entries_.size());
      U64(out, central.size());
      U64(out, dirOffset);
      U32(out, 0x07064b50);
      U32(out, 0);
      U64(out, recordOffset);
      U32(out, 1);
    }
    U32(out, 0x06054b50);
    U16(out, 0);
    U16(out, 0);
    U16(out, zip64End ? 0xFFFF : static_cast<uint16_t>(entries_.size()));
    U16(out, zip64End ? 0xFFFF : static_cast<uint16_t>(entries_.size()));
    U32(out, zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(central.size()));
    U32(out, zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(dirOffset));
    U16(out, static_cast<uint16_t>(comment.size()));
    out += comment;
    return prefix + out;
  }

  static std::string Deflate(const std::string& data, int level = 6, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
  }

 private:
  struct Entry {
    std::string name, data;
    ZipEntryOptions options;
  };
  static void U16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
  }
  static void U32(std::string& s, uint32_t v) {
    U16(s, static_cast<uint16_t>(v & 0xFFFF));
    U16(s, static_cast<uint16_t>(v >> 16));
  }
  static void U64(std::string& s, uint64_t v) {
    U32(s, static_cast<uint32_t>(v & 0xFFFFFFFFu));
    U32(s, static_cast<uint32_t>(v >> 32));
  }
  std::vector<Entry> entries_;
};

inline std::unique_ptr<reader::MemorySource> SourceOf(const std::string& bytes,
                                                      const char* name = "test.xlsx") {
  return std::make_unique<reader::MemorySource>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                                name);
}

// A minimal .xlsx package: the given parts over defaults for the package
// relationships, a one-sheet workbook and its relationships. A part given
// as an empty string is left out.
inline std::string XlsxPackageOf(std::map<std::string, std::string> parts) {
  std::map<std::string, std::string> all = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml",
       "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet "
       "name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet1.xml\"/>"
       "<Relationship Id=\"rId2\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
       "Target=\"sharedStrings.xml\"/>"
       "<Relationship Id=\"rId3\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
       "Target=\"styles.xml\"/></Relationships>"},
      {"xl/worksheets/sheet1.xml", "<worksheet><sheetData/></worksheet>"},
  };
  for (auto& [name, text] : parts) all[name] = text;
  ZipBuilder zip;
  for (auto& [name, text] : all)
    if (!text.empty()) zip.Add(name, text);
  return zip.Build();
}

// A worksheet part around the given <sheetData> content.
inline std::string SheetXml(const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension "
         "ref=\"A1\"/><sheetData>" +
         rows + "</sheetData><pageMargins left=\"0.7\"/></worksheet>";
}

}  // namespace testing_support
