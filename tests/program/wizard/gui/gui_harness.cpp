#include "gui_harness.h"

#ifdef _WIN32
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "engine/activity_log.h"
#include "tests/reader/container/zip_builder.h"

#ifndef TABREVO_PROGRAM_FILE
#error "TABREVO_PROGRAM_FILE names the built program"
#endif

namespace fs = std::filesystem;
using testing_support::ReadFile;

namespace gui_test {

CleanRegistry::CleanRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kWizardKey, &key) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      char name[512];
      DWORD nameSize = sizeof name, type = 0, size = 0;
      if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
      std::string data(size, '\0');
      nameSize = sizeof name;
      if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &size) == ERROR_SUCCESS)
        saved_[name] = {type, data.substr(0, size)};
    }
    RegCloseKey(key);
  }
  RemoveAll();
}

CleanRegistry::~CleanRegistry() {
  RemoveAll();
  if (saved_.empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kWizardKey, &key) != ERROR_SUCCESS) return;
  for (const auto& [name, value] : saved_)
    RegSetValueExA(key, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                   static_cast<DWORD>(value.data.size()));
  RegCloseKey(key);
}

void CleanRegistry::RemoveAll() {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kWizardKey, &key) != ERROR_SUCCESS) return;
  for (;;) {
    char name[512];
    DWORD nameSize = sizeof name;
    if (RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (RegDeleteValueA(key, name) != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
}

std::string CleanRegistry::Value(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kWizardKey, &key) != ERROR_SUCCESS) return "<missing>";
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  return std::string(data);
}

void CleanRegistry::Set(const std::string& name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kWizardKey, &key), ERROR_SUCCESS);
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

ProgramFolder::ProgramFolder() {
  program_ = File("tabrevo.exe");
  std::error_code ec;
  fs::copy_file(TABREVO_PROGRAM_FILE, program_, ec);
  EXPECT_FALSE(ec) << "copy of " << TABREVO_PROGRAM_FILE << ": " << ec.message();
}

std::string ProgramFolder::File(const std::string& name) const {
  std::string path = dir_.File(name);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string ProgramFolder::Folder(const std::string& name) const {
  std::string path = File(name);
  std::error_code ec;
  fs::create_directories(path, ec);
  return path;
}

std::string StatusWord(const std::string& statusFile) {
  std::string text = ReadFile(statusFile);
  size_t at = text.find("Result=");
  if (at == std::string::npos) return "<none>";
  size_t end = text.find_first_of("\r\n", at);
  return text.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
}

std::string ActivityLog() { return ReadFile(ActivityLogPath()); }

bool StatusWatch::RunUntilExit(wizard_driver::Wizard& wizard, int timeoutMs) {
  auto look = [&] {
    std::string word = StatusWord(path_);
    if (word != "<none>" && (words_.empty() || words_.back() != word)) words_.push_back(word);
  };
  bool ended = wizard_driver::WaitUntil(
      [&] {
        look();
        return !wizard.Running();
      },
      timeoutMs);
  look();
  return ended;
}

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string SheetPart(const Rows& rows) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (size_t r = 0; r < rows.size(); ++r) {
    xml += "<row r=\"" + std::to_string(r + 1) + "\">";
    for (const Cell& c : rows[r]) {
      if (c.isNumber) {
        char number[64];
        std::snprintf(number, sizeof number, "%.17g", c.number);
        xml += std::string("<c><v>") + number + "</v></c>";
      } else {
        xml += "<c t=\"inlineStr\"><is><t xml:space=\"preserve\">" + Escaped(c.text) + "</t></is></c>";
      }
    }
    xml += "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

void WritePackage(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& sheetParts) {
  const std::string rels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string sheets, links;
  testing_support::ZipBuilder zip;
  for (size_t i = 0; i < sheetParts.size(); ++i) {
    std::string n = std::to_string(i + 1);
    sheets +=
        "<sheet name=\"" + Escaped(sheetParts[i].first) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    links += "<Relationship Id=\"rId" + n + "\" Type=\"" + rels + "/worksheet\" Target=\"worksheets/sheet" +
             n + ".xml\"/>";
    zip.Add("xl/worksheets/sheet" + n + ".xml", sheetParts[i].second);
  }
  zip.Add("[Content_Types].xml",
          "<?xml version=\"1.0\"?><Types "
          "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
  zip.Add("_rels/.rels",
          "<?xml version=\"1.0\"?><Relationships "
          "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
          "Type=\"" +
              rels + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
  zip.Add("xl/workbook.xml",
          "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"" + rels +
              "\"><sheets>" + sheets + "</sheets></workbook>");
  zip.Add("xl/_rels/workbook.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + links +
              "</Relationships>");
  testing_support::WriteFile(path, zip.Build());
}

}  // namespace

void WriteWorkbook(const std::string& path, const std::vector<std::pair<std::string, Rows>>& sheets) {
  std::vector<std::pair<std::string, std::string>> parts;
  for (const auto& [name, rows] : sheets) parts.emplace_back(name, SheetPart(rows));
  WritePackage(path, parts);
}

void WriteLargeWorkbook(const std::string& path, const std::string& sheet, uint32_t rows) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (uint32_t r = 1; r <= rows; ++r) {
    std::string n = std::to_string(r);
    xml += "<row r=\"" + n + "\"><c t=\"inlineStr\"><is><t>row " + n + "</t></is></c><c><v>" + n +
           "</v></c></row>";
  }
  xml += "</sheetData></worksheet>";
  WritePackage(path, {{sheet, xml}});
}

std::string LargeWorkbookRow(uint32_t n) {
  return "\"row " + std::to_string(n) + "\"," + std::to_string(n) + ".000000,\r\n";
}

}  // namespace gui_test

#endif
