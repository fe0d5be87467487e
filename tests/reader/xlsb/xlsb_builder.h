// Builds .xlsb parts record by record for the reader tests and fuzz seeds:
// records with their variable-length headers, the fields of cells, and a
// whole package around a sheet.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "tests/reader/container/zip_builder.h"

namespace testing_support::xlsb {

inline std::string U16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
inline std::string U32(uint32_t v) {
  return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}
inline std::string F64(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return U32(static_cast<uint32_t>(bits)) + U32(static_cast<uint32_t>(bits >> 32));
}
// A count of UTF-16 code units, then the units (`text` is UTF-16LE already
// when `utf16` is set, else ASCII).
inline std::string Wide(const std::string& text, bool utf16 = false) {
  std::string out = U32(static_cast<uint32_t>(utf16 ? text.size() / 2 : text.size()));
  if (utf16) return out + text;
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

// A record: type and size 7 bits a byte, low bits first, then the payload.
inline std::string Rec(uint32_t type, const std::string& payload = {}) {
  std::string out;
  do {
    uint8_t b = type & 0x7F;
    type >>= 7;
    out.push_back(static_cast<char>(type ? b | 0x80 : b));
  } while (type);
  uint32_t size = static_cast<uint32_t>(payload.size());
  do {
    uint8_t b = size & 0x7F;
    size >>= 7;
    out.push_back(static_cast<char>(size ? b | 0x80 : b));
  } while (size);
  return out + payload;
}

// A row header (row number, then fields the reader does not need).
inline std::string Row(uint32_t row) { return Rec(0, U32(row) + std::string(21, '\0')); }
// The start of a long cell record: column, then style and flags.
inline std::string Cell(uint32_t col, uint32_t style = 0) { return U32(col) + U32(style); }

// A sheet part around its cell records.
inline std::string SheetBin(const std::string& cellRecords) { return Rec(145) + cellRecords + Rec(146); }

// A sheet entry of the workbook part: visibility, tab id, relationship id, name.
inline std::string BundleSh(uint32_t state, const std::string& relId, const std::string& name) {
  return Rec(156, U32(state) + U32(1) + Wide(relId) + Wide(name));
}

inline const char* kRelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
inline std::string BinRel(const std::string& id, const std::string& type, const std::string& target) {
  return "<Relationship Id=\"" + id + "\" Type=\"" + kRelTypes + type + "\" Target=\"" + target + "\"/>";
}

// A minimal .xlsb package: the given parts over defaults for the package
// relationships, a one-sheet workbook, its relationships and an empty
// sheet. A part given as an empty string is left out.
inline std::string XlsbPackageOf(std::map<std::string, std::string> parts) {
  std::map<std::string, std::string> all = {
      {"[Content_Types].xml", "<Types/>"},
      {"_rels/.rels",
       "<Relationships>" + BinRel("rId1", "officeDocument", "xl/workbook.bin") + "</Relationships>"},
      {"xl/workbook.bin", Rec(131) + Rec(143) + BundleSh(0, "rId1", "Sheet1") + Rec(144) + Rec(132)},
      {"xl/_rels/workbook.bin.rels", "<Relationships>" +
                                         BinRel("rId1", "worksheet", "worksheets/sheet1.bin") +
                                         BinRel("rId2", "sharedStrings", "sharedStrings.bin") +
                                         BinRel("rId3", "styles", "styles.bin") + "</Relationships>"},
      {"xl/worksheets/sheet1.bin", SheetBin("")},
  };
  for (auto& p : parts) all[p.first] = p.second;
  ZipBuilder zip;
  for (auto& p : all)
    if (!p.second.empty()) zip.Add(p.first, p.second);
  return zip.Build();
}

}  // namespace testing_support::xlsb
