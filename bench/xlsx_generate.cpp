// Writes the .xlsx workbooks of the benchmarks:
//   numeric_1m_x10.xlsx  1,000,000 rows x 10 columns of numbers
//   mixed_300k_x12.xlsx  300,000 rows x 12 columns: shared strings, dates,
//                        custom number formats, booleans and numbers
//   many_sheets_50x5k.xlsx  50 sheets of 5,000 such mixed rows each
// laid out as Excel writes them (r attributes, spans, deflated parts,
// numbers in their shortest round-trip form up to 17 digits).
//
//   xlsx_generate <output folder> [--rows N]
#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct Part {
  std::string name, data;
};

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bool WriteZip(const std::string& path, const std::vector<Part>& parts) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string central;
  uint64_t offset = 0;
  for (const Part& p : parts) {
    std::string packed = Deflate(p.data);
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(p.data.data()), static_cast<uInt>(p.data.size())));
    std::string h;
    Put32(h, 0x04034b50);
    Put16(h, 20);
    Put16(h, 0);
    Put16(h, 8);
    Put16(h, 0);
    Put16(h, 0x21);
    Put32(h, crc);
    Put32(h, static_cast<uint32_t>(packed.size()));
    Put32(h, static_cast<uint32_t>(p.data.size()));
    Put16(h, static_cast<uint32_t>(p.name.size()));
    Put16(h, 0);
    h += p.name;
    std::fwrite(h.data(), 1, h.size(), f);
    std::fwrite(packed.data(), 1, packed.size(), f);
    Put32(central, 0x02014b50);
    Put16(central, 20);
    Put16(central, 20);
    Put16(central, 0);
    Put16(central, 8);
    Put16(central, 0);
    Put16(central, 0x21);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(packed.size()));
    Put32(central, static_cast<uint32_t>(p.data.size()));
    Put16(central, static_cast<uint32_t>(p.name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, static_cast<uint32_t>(offset));
    central += p.name;
    offset += h.size() + packed.size();
  }
  std::string end;
  Put32(end, 0x06054b50);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, static_cast<uint32_t>(parts.size()));
  Put16(end, static_cast<uint32_t>(parts.size()));
  Put32(end, static_cast<uint32_t>(central.size()));
  Put32(end, static_cast<uint32_t>(offset));
  Put16(end, 0);
  std::fwrite(central.data(), 1, central.size(), f);
  std::fwrite(end.data(), 1, end.size(), f);
  return std::fclose(f) == 0;
}

std::string ColumnName(int c) {
  std::string s;
  for (++c; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

void AppendNumber(std::string& out, double v) {
  char buf[32];
  // Whole numbers as integers (Excel never writes "3e+05" for 300000).
  if (v == static_cast<double>(static_cast<int64_t>(v)) && v > -1e15 && v < 1e15) {
    out += std::to_string(static_cast<int64_t>(v));
    return;
  }
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void Cell(std::string& out, int col, int row, const char* attrs, double v) {
  out += "<c r=\"";
  out += ColumnName(col);
  out += std::to_string(row);
  out += '"';
  out += attrs;
  out += "><v>";
  AppendNumber(out, v);
  out += "</v></c>";
}

std::string Escape(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '&')
      o += "&amp;";
    else if (c == '<')
      o += "&lt;";
    else if (c == '>')
      o += "&gt;";
    else
      o += c;
  }
  return o;
}

// The package of a workbook whose sheets are named Data (one) or Sheet1,
// Sheet2, ... (several).
std::vector<Part> Package(std::vector<std::string> sheets, std::string strings, std::string styles) {
  const size_t n = sheets.size();
  auto sheetName = [&](size_t i) { return n == 1 ? std::string("Data") : "Sheet" + std::to_string(i + 1); };
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
      "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
  std::string list, rels;
  for (size_t i = 0; i < n; ++i) {
    std::string id = std::to_string(i + 1);
    types += "<Override PartName=\"/xl/worksheets/sheet" + id +
             ".xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    list += "<sheet name=\"" + sheetName(i) + "\" sheetId=\"" + id + "\" r:id=\"rId" + id + "\"/>";
    rels += "<Relationship Id=\"rId" + id +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
            "Target=\"worksheets/sheet" +
            id + ".xml\"/>";
  }
  types +=
      "<Override PartName=\"/xl/sharedStrings.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
      "</Types>";
  rels += "<Relationship Id=\"rId" + std::to_string(n + 1) +
          "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
          "Target=\"sharedStrings.xml\"/><Relationship Id=\"rId" +
          std::to_string(n + 2) +
          "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
          "Target=\"styles.xml\"/>";
  std::vector<Part> parts;
  parts.push_back({"[Content_Types].xml", std::move(types)});
  parts.push_back(
      {"_rels/.rels",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
       "Target=\"xl/workbook.xml\"/></Relationships>"});
  parts.push_back(
      {"xl/workbook.xml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<workbook "
       "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><workbookPr/>"
       "<sheets>" +
           list + "</sheets></workbook>"});
  parts.push_back({"xl/_rels/workbook.xml.rels",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
                   "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                       rels + "</Relationships>"});
  parts.push_back({"xl/styles.xml", std::move(styles)});
  parts.push_back({"xl/sharedStrings.xml", std::move(strings)});
  for (size_t i = 0; i < n; ++i)
    parts.push_back({"xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", std::move(sheets[i])});
  return parts;
}

const char* kSheetHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
const char* kSheetTail =
    "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
    "footer=\"0.3\"/></worksheet>";

std::string Styles() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<styleSheet "
         "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts count=\"3\">"
         "<numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd\"/><numFmt numFmtId=\"165\" "
         "formatCode=\"#,##0.00;[Red]\\-#,##0.00\"/><numFmt numFmtId=\"166\" formatCode=\"yyyy\\-mm\\-dd "
         "hh:mm\"/></numFmts><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
         "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills><borders "
         "count=\"1\"><border/>"
         "</borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
         "</cellStyleXfs><cellXfs count=\"6\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
         "xfId=\"0\"/>"
         "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "<xf numFmtId=\"165\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "<xf numFmtId=\"10\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "<xf numFmtId=\"166\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "<xf numFmtId=\"3\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "</cellXfs></styleSheet>";
}

std::vector<Part> NumericSheet(int rows) {
  std::mt19937_64 rng(1);
  std::string sheet = kSheetHead;
  sheet += "<dimension ref=\"A1:J" + std::to_string(rows) + "\"/><sheetData>";
  for (int r = 1; r <= rows; ++r) {
    sheet += "<row r=\"" + std::to_string(r) + "\" spans=\"1:10\">";
    Cell(sheet, 0, r, "", r);
    for (int c = 1; c < 4; ++c) Cell(sheet, c, r, "", static_cast<double>(rng() % 10000000) / 100.0);
    for (int c = 4; c < 7; ++c)
      Cell(sheet, c, r, "", static_cast<double>(rng() >> 11) / 9007199254740992.0 * 1000);
    for (int c = 7; c < 10; ++c) Cell(sheet, c, r, "", static_cast<double>(rng() % 100000));
    sheet += "</row>";
  }
  sheet += kSheetTail;
  std::string sst =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" uniqueCount=\"0\"/>";
  return Package({std::move(sheet)}, std::move(sst), Styles());
}

// Shared strings of the mixed sheets: 60 categories, 20,000 names, and one
// comment per row (`notes` of them).
std::vector<std::string> MixedStrings(int notes) {
  std::vector<std::string> strings;
  const char* words[] = {"North",  "South",     "East",   "West",     "Central", "Retail",
                         "Online", "Wholesale", "Export", "Services", "Parts",   "Repairs"};
  for (int i = 0; i < 60; ++i) strings.push_back(std::string(words[i % 12]) + " " + words[(i * 7 + 3) % 12]);
  for (int i = 0; i < 20000; ++i)
    strings.push_back("Customer " + std::to_string(100000 + i) + " " + words[i % 12] + " & Sons");
  for (int i = 0; i < notes; ++i)
    strings.push_back("Order note " + std::to_string(i) + ": deliver to " + words[(i * 5) % 12] + " depot <" +
                      std::to_string(i % 97) + ">");
  return strings;
}

std::string SharedStrings(const std::vector<std::string>& strings, size_t count) {
  std::string sst =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"" +
      std::to_string(count) + "\" uniqueCount=\"" + std::to_string(strings.size()) + "\">";
  for (const std::string& s : strings) sst += "<si><t>" + Escape(s) + "</t></si>";
  sst += "</sst>";
  return sst;
}

// `rows` mixed rows whose comments are the strings from `firstNote` on.
std::string MixedRows(std::mt19937_64& rng, int rows, size_t firstNote) {
  std::string sheet = kSheetHead;
  sheet += "<dimension ref=\"A1:L" + std::to_string(rows) + "\"/><sheetData>";
  for (int r = 1; r <= rows; ++r) {
    sheet += "<row r=\"" + std::to_string(r) + "\" spans=\"1:12\">";
    Cell(sheet, 0, r, "", r);                                                                // id
    Cell(sheet, 1, r, " t=\"s\"", static_cast<double>(rng() % 60));                          // category
    Cell(sheet, 2, r, " t=\"s\"", static_cast<double>(60 + rng() % 20000));                  // customer
    Cell(sheet, 3, r, " s=\"1\"", 40000 + static_cast<double>(rng() % 5000));                // date
    Cell(sheet, 4, r, " s=\"4\"", 40000 + static_cast<double>(rng() % 50000000) / 10000.0);  // date-time
    Cell(sheet, 5, r, " s=\"2\"", static_cast<double>(rng() % 100000000) / 100.0 - 100000);  // amount
    Cell(sheet, 6, r, " s=\"3\"", static_cast<double>(rng() % 10000) / 10000.0);             // percent
    sheet += "<c r=\"H" + std::to_string(r) + "\" t=\"b\"><v>" + std::to_string(rng() % 2) + "</v></c>";
    Cell(sheet, 8, r, " s=\"5\"", static_cast<double>(rng() % 1000000));                          // #,##0
    Cell(sheet, 9, r, "", static_cast<double>(rng() >> 11) / 9007199254740992.0);                 // general
    Cell(sheet, 10, r, " t=\"s\"", static_cast<double>(firstNote + static_cast<size_t>(r - 1)));  // note
    sheet += "<c r=\"L" + std::to_string(r) + "\" s=\"2\"><f>F" + std::to_string(r) + "*1.2</f><v>";
    AppendNumber(sheet, static_cast<double>(rng() % 1000000) / 100.0);
    sheet += "</v></c></row>";
  }
  sheet += kSheetTail;
  return sheet;
}

std::vector<Part> MixedSheet() {
  std::mt19937_64 rng(2);
  std::vector<std::string> strings = MixedStrings(300000);
  std::string sheet = MixedRows(rng, 300000, strings.size() - 300000);
  return Package({std::move(sheet)}, SharedStrings(strings, 1200000), Styles());
}

// Many sheets of a workbook, each converted to its own file.
std::vector<Part> ManySheets() {
  std::mt19937_64 rng(3);
  const int sheets = 50, rows = 5000;
  std::vector<std::string> strings = MixedStrings(sheets * rows);
  size_t firstNote = strings.size() - static_cast<size_t>(sheets * rows);
  std::vector<std::string> parts;
  for (int i = 0; i < sheets; ++i)
    parts.push_back(MixedRows(rng, rows, firstNote + static_cast<size_t>(i * rows)));
  return Package(std::move(parts), SharedStrings(strings, static_cast<size_t>(sheets * rows) * 4), Styles());
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  // xlsx_generate DIR --rows N: only numeric_<N>_x10.xlsx, the first N rows
  // of the numeric sheet (the memory benchmark's series over sheet sizes).
  if (argc > 3 && std::string(argv[2]) == "--rows") {
    int rows = std::atoi(argv[3]);
    if (rows < 1 || rows > 1048576) return 2;
    std::string path = dir + "/numeric_" + std::to_string(rows) + "_x10.xlsx";
    if (!WriteZip(path, NumericSheet(rows))) return 1;
    std::printf("wrote %s\n", path.c_str());
    return 0;
  }
  if (!WriteZip(dir + "/numeric_1m_x10.xlsx", NumericSheet(1000000))) return 1;
  std::printf("wrote %s/numeric_1m_x10.xlsx\n", dir.c_str());
  if (!WriteZip(dir + "/mixed_300k_x12.xlsx", MixedSheet())) return 1;
  std::printf("wrote %s/mixed_300k_x12.xlsx\n", dir.c_str());
  if (!WriteZip(dir + "/many_sheets_50x5k.xlsx", ManySheets())) return 1;
  std::printf("wrote %s/many_sheets_50x5k.xlsx\n", dir.c_str());
  return 0;
}
