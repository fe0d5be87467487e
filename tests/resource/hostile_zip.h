// ZIP packages for the resource tests, built in memory: parts given whole,
// parts made of one unit repeated up to gigabytes (deflated without ever
// holding the inflated text), and central directories that name one
// compressed stream many times.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "reader/core/book.h"

namespace resource_test {

// A part's deflated bytes with its inflated size and CRC-32.
struct Deflated {
  std::string data;
  uint64_t size = 0;
  uint32_t crc = 0;
};

class Deflater {
 public:
  Deflater() {
    if (deflateInit2(&z_, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::runtime_error("deflateInit2");
  }
  ~Deflater() { deflateEnd(&z_); }
  std::string Take(const std::string& text, int flush) {
    std::string out;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z_.avail_in = static_cast<uInt>(text.size());
    char buffer[1 << 16];
    do {
      z_.next_out = reinterpret_cast<Bytef*>(buffer);
      z_.avail_out = sizeof buffer;
      deflate(&z_, flush);
      out.append(buffer, sizeof buffer - z_.avail_out);
    } while (z_.avail_out == 0);
    return out;
  }

 private:
  z_stream z_{};
};

inline uint32_t Crc(const std::string& text, uint32_t crc = 0) {
  return static_cast<uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

inline Deflated DeflateWhole(const std::string& text) {
  Deflater z;
  return {z.Take(text, Z_FINISH), text.size(), Crc(text)};
}

// CRC-32 of `text` repeated n times: doubling with crc32_combine.
inline uint32_t CrcRepeated(const std::string& text, uint64_t n) {
  uint32_t crc = 0;
  uint32_t power = Crc(text);  // CRC of text * 2^k
  uint64_t powerBytes = text.size();
  for (; n; n >>= 1) {
    if (n & 1) crc = static_cast<uint32_t>(crc32_combine(crc, power, static_cast<z_off_t>(powerBytes)));
    power = static_cast<uint32_t>(crc32_combine(power, power, static_cast<z_off_t>(powerBytes)));
    powerBytes *= 2;
  }
  return crc;
}

// A part made of segments, each a text repeated `count` times, deflated.
// A long run of one unit is deflated as a chunk of whole units (at least
// 1 MiB, beyond deflate's 32 KiB window) once after what came before and
// once after itself: that second encoding depends only on the window before
// it, which is the same chunk every time, so it is repeated as it is.
// Gigabytes of text cost milliseconds and a few megabytes.
struct Segment {
  std::string text;
  uint64_t count = 1;
};
inline Deflated DeflateSegments(const std::vector<Segment>& segments) {
  Deflater z;
  Deflated d;
  std::string pending;
  for (const Segment& seg : segments) {
    const uint64_t chunkUnits = std::max<uint64_t>(1, (uint64_t(1) << 20) / seg.text.size());
    uint64_t literal = seg.count;
    if (seg.count >= 3 * chunkUnits) {
      std::string chunk;
      for (uint64_t i = 0; i < chunkUnits; ++i) chunk += seg.text;
      const uint64_t chunks = seg.count / chunkUnits;
      d.data += z.Take(pending + chunk, Z_SYNC_FLUSH);
      d.crc = Crc(pending, d.crc);
      pending.clear();
      const std::string again = z.Take(chunk, Z_SYNC_FLUSH);
      d.data.reserve(d.data.size() + again.size() * (chunks - 1) + 4096);
      for (uint64_t i = 2; i < chunks; ++i) d.data += again;
      d.data += again;
      d.crc = static_cast<uint32_t>(
          crc32_combine(d.crc, CrcRepeated(chunk, chunks), static_cast<z_off_t>(chunk.size() * chunks)));
      d.size += chunk.size() * chunks;
      literal = seg.count % chunkUnits;
    }
    for (uint64_t i = 0; i < literal; ++i) {
      pending += seg.text;
      d.size += seg.text.size();
      if (pending.size() >= (size_t(1) << 20)) {
        d.data += z.Take(pending, Z_NO_FLUSH);
        d.crc = Crc(pending, d.crc);
        pending.clear();
      }
    }
  }
  d.data += z.Take(pending, Z_FINISH);
  d.crc = Crc(pending, d.crc);
  return d;
}

// head + unit * count + tail, deflated.
inline Deflated DeflateRepeated(const std::string& head, const std::string& unit, uint64_t count,
                                const std::string& tail) {
  return DeflateSegments({{head, 1}, {unit, count}, {tail, 1}});
}

// A ZIP archive of deflated parts. Alias() names an earlier part's data
// again under another name: the central directory points at the same
// local header.
class HostileZip {
 public:
  void Add(const std::string& name, const Deflated& part) {
    entries_.push_back({name, out_.size(), part.data.size(), part.size, part.crc});
    std::string h;
    U32(h, 0x04034b50);
    U16(h, 20);
    U16(h, 0);
    U16(h, 8);
    U32(h, 0);
    U32(h, part.crc);
    U32(h, static_cast<uint32_t>(part.data.size()));
    U32(h, static_cast<uint32_t>(std::min<uint64_t>(part.size, 0xFFFFFFFFu)));
    U16(h, static_cast<uint16_t>(name.size()));
    U16(h, 0);
    out_ += h + name;
    out_ += part.data;
  }
  void AddText(const std::string& name, const std::string& text) { Add(name, DeflateWhole(text)); }
  void Alias(const std::string& name, const std::string& of) {
    for (const Entry& e : entries_)
      if (e.name == of) {
        Entry copy = e;
        copy.name = name;
        entries_.push_back(copy);
        return;
      }
  }
  std::string Build() const {
    std::string out = out_;
    std::string dir;
    for (const Entry& e : entries_) {
      U32(dir, 0x02014b50);
      U16(dir, 20);
      U16(dir, 20);
      U16(dir, 0);
      U16(dir, 8);
      U32(dir, 0);
      U32(dir, e.crc);
      U32(dir, static_cast<uint32_t>(e.compressed));
      U32(dir, static_cast<uint32_t>(std::min<uint64_t>(e.size, 0xFFFFFFFFu)));
      U16(dir, static_cast<uint16_t>(e.name.size()));
      U16(dir, 0);
      U16(dir, 0);
      U16(dir, 0);
      U16(dir, 0);
      U32(dir, 0);
      U32(dir, static_cast<uint32_t>(e.offset));
      dir += e.name;
    }
    std::string end;
    U32(end, 0x06054b50);
    U16(end, 0);
    U16(end, 0);
    U16(end, static_cast<uint16_t>(std::min<size_t>(entries_.size(), 0xFFFF)));
    U16(end, static_cast<uint16_t>(std::min<size_t>(entries_.size(), 0xFFFF)));
    U32(end, static_cast<uint32_t>(dir.size()));
    U32(end, static_cast<uint32_t>(out.size()));
    U16(end, 0);
    return out + dir + end;
  }

 private:
  struct Entry {
    std::string name;
    uint64_t offset, compressed, size;
    uint32_t crc;
  };
  static void U16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  }
  static void U32(std::string& s, uint32_t v) {
    U16(s, static_cast<uint16_t>(v & 0xFFFF));
    U16(s, static_cast<uint16_t>(v >> 16));
  }
  std::string out_;
  std::vector<Entry> entries_;
};

// The package parts of a minimal .xlsx around the given sheets' XML
// (sheet1.xml, sheet2.xml, ...), strings and workbook additions.
inline const char* kWorkbookRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
inline std::string Rel(const std::string& id, const std::string& type, const std::string& target) {
  return "<Relationship Id=\"" + id +
         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
         "\" Target=\"" + target + "\"/>";
}
inline void AddPackageFrame(HostileZip& zip, int sheets, bool sharedStrings) {
  zip.AddText("_rels/.rels", std::string(kWorkbookRels) + Rel("rId1", "officeDocument", "xl/workbook.xml") +
                                 "</Relationships>");
  std::string wb =
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
  std::string rels = kWorkbookRels;
  for (int i = 1; i <= sheets; ++i) {
    std::string n = std::to_string(i);
    wb += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += Rel("rId" + n, "worksheet", "worksheets/sheet" + n + ".xml");
  }
  if (sharedStrings) rels += Rel("rIdS", "sharedStrings", "sharedStrings.xml");
  zip.AddText("xl/workbook.xml", wb + "</sheets></workbook>");
  zip.AddText("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
}

inline const char* kSheetHead =
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
inline const char* kSheetTail = "</sheetData></worksheet>";

}  // namespace resource_test
