// The XML pull scanner: tokens, references, skipped markup, encodings,
// tokens split across reads, and malformed input.
#include "reader/xlsx/xml_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using reader::MemoryStream;
using reader::XmlScanner;

namespace {

// The tokens of a document as text: "<name a=v>", "</name>", "'text'".
// With `aheadBlock`, the bytes come through a read-ahead stream of blocks
// of that size, which lends its blocks to the scanner.
std::string Tokens(const std::string& xml, size_t chunk = SIZE_MAX, std::string* error = nullptr,
                   size_t aheadBlock = 0) {
  MemoryStream direct(xml, chunk);
  reader::ReadAheadStream ahead(std::make_unique<MemoryStream>(xml, chunk), aheadBlock);
  XmlScanner sc(aheadBlock ? static_cast<reader::ByteStream&>(ahead) : direct, "part.xml");
  std::string out, scratch;
  for (;;) {
    reader::Status s = sc.Next();
    if (!s.ok()) {
      if (error) *error = s.message();
      return out + "!";
    }
    switch (sc.token()) {
      case XmlScanner::Token::StartElement:
        out += "<" + std::string(sc.name());
        for (const auto& a : sc.attributes())
          out += " " + std::string(a.name) + "=" + std::string(XmlScanner::Value(a, &scratch));
        out += ">";
        break;
      case XmlScanner::Token::EndElement: out += "</" + std::string(sc.name()) + ">"; break;
      case XmlScanner::Token::Text: out += "'" + std::string(sc.text()) + "'"; break;
      case XmlScanner::Token::End: return out;
      default: break;
    }
  }
}

TEST(XmlScanner, ElementsAttributesAndDepth) {
  EXPECT_EQ(Tokens("<?xml version=\"1.0\"?>\n<x:a xmlns:x=\"urn:x\" x:b='1' c = \"[>=100]0\"><d/>t</x:a>"),
            "'\n'<a b=1 c=[>=100]0><d></d>'t'</a>");
  MemoryStream in("<a><b><c/></b></a>");
  XmlScanner sc(in, "p");
  std::vector<int> depths;
  while (sc.Next().ok() && sc.token() != XmlScanner::Token::End) depths.push_back(sc.depth());
  EXPECT_EQ(depths, (std::vector<int>{1, 2, 3, 2, 1, 0}));
}

TEST(XmlScanner, ReferencesLineEndsAndAttributeWhitespace) {
  EXPECT_EQ(Tokens("<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x1F600;&#xe9;</a>"),
            "<a>'<>&\"'A\xF0\x9F\x98\x80\xC3\xA9'</a>");
  // Unknown and malformed references stay as written; so do those naming
  // no character (0, surrogates, beyond U+10FFFF).
  EXPECT_EQ(Tokens("<a>&bogus; &#0; &#xD800; &#x110000; & a&b &#;</a>"),
            "<a>'&bogus; &#0; &#xD800; &#x110000; & a&b &#;'</a>");
  EXPECT_EQ(Tokens("<a>one\r\ntwo\rthree\n</a>"), "<a>'one\ntwo\nthree\n'</a>");
  EXPECT_EQ(Tokens("<a v=\"x\ty\r\nz&#10;&amp;\"/>"), "<a v=x y z\n&></a>");
}

// Values and texts are searched for references eight bytes at a time: a
// reference or line end at any offset, in words full of blanks and bytes
// above 0x7F, must still be found.
TEST(XmlScanner, ReferencesAndLineEndsFoundAtEveryOffset) {
  for (size_t at = 0; at < 24; ++at) {
    std::string pad(at, ' ');
    for (size_t k = 0; k < at; k += 3) pad[k] = k % 2 ? '\xC3' : 'x';
    if (at % 2) pad += "\xA9";  // keep the UTF-8 pairs whole when the last lead byte is unpaired
    std::string tail(at % 9, '7');
    EXPECT_EQ(Tokens("<a>" + pad + "&amp;" + tail + "</a>"), "<a>'" + pad + "&" + tail + "'</a>") << at;
    EXPECT_EQ(Tokens("<a>" + pad + "\r" + tail + "</a>"), "<a>'" + pad + "\n" + tail + "'</a>") << at;
    EXPECT_EQ(Tokens("<a v=\"" + pad + "\t" + tail + "\"/>"), "<a v=" + pad + " " + tail + "></a>") << at;
    EXPECT_EQ(Tokens("<a v=\"" + pad + "&lt;" + tail + "\"/>"), "<a v=" + pad + "<" + tail + "></a>") << at;
    EXPECT_EQ(Tokens("<a v=\"" + pad + "\n" + tail + "\"/>"), "<a v=" + pad + " " + tail + "></a>") << at;
    // After one, the next is found as well, however far on.
    EXPECT_EQ(Tokens("<a>" + pad + "&amp;" + pad + "\r\n" + tail + "&gt;</a>"),
              "<a>'" + pad + "&" + pad + "\n" + tail + ">'</a>")
        << at;
    if (at > 0) {  // nothing to decode: the bytes as they are
      EXPECT_EQ(Tokens("<a v=\"" + pad + tail + "\">" + pad + "</a>"),
                "<a v=" + pad + tail + ">'" + pad + "'</a>")
          << at;
    }
  }
}

TEST(XmlScanner, CommentsInstructionsDoctypeAndCdata) {
  // Entities declared in the document type stay unexpanded: a billion
  // laughs is inert text.
  std::string bomb =
      "<!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;\"> <!-- ] > -->]>"
      "<a><!-- <b> --><?pi stuff > ?>&lol2;<![CDATA[<raw> &amp; ]]]></a>";
  EXPECT_EQ(Tokens(bomb), "<a>'&lol2;''<raw> &amp; ]'</a>");
}

TEST(XmlScanner, TokensSplitAtEveryReadBoundaryReadTheSame) {
  std::string doc =
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- c --><sst count=\"2\"><si><t xml:space=\"preserve\"> a &amp; "
      "b "
      "</t></si><si><r><rPr/><t>\xE6\x97\xA5\xE6\x9C\xAC</t></r><![CDATA[x]]></si><e  a='1'  b=\"2\" "
      "/></sst>";
  std::string whole = Tokens(doc);
  EXPECT_EQ(whole.find('!'), std::string::npos) << whole;
  for (size_t chunk = 1; chunk <= 13; ++chunk) EXPECT_EQ(Tokens(doc, chunk), whole) << "chunk " << chunk;
}

// Blocks lent in place: tokens across block ends, unread bytes that fit
// the room in front of a block and those that do not (long texts, a long
// comment and CDATA), a part that ends on a block end.
TEST(XmlScanner, TokensReadTheSameFromLentBlocks) {
  std::string doc = "<?xml version=\"1.0\"?><root>";
  const size_t lengths[] = {1, 10, 4000, 4096, 5000, 65000, 65536, 65537, 70000, 200000, 3};
  for (size_t i = 0; i < 200; ++i) {
    const size_t n = lengths[i % 11] + i;
    doc += "<c r=\"A" + std::to_string(i) + "\"><v>" + std::string(n, static_cast<char>('a' + i % 26)) + "</v></c>";
    if (i % 17 == 0) doc += "<!--" + std::string(n, '-' + 1) + "-->";
    if (i % 23 == 0) doc += "<t><![CDATA[" + std::string(n, 'x') + "]]></t>";
  }
  doc += "</root>";
  const std::string whole = Tokens(doc);
  ASSERT_EQ(whole.find('!'), std::string::npos);
  for (size_t block : {size_t(4096), size_t(4099), size_t(65536), size_t(300000)})
    for (size_t chunk : {size_t(977), SIZE_MAX})
      EXPECT_TRUE(Tokens(doc, chunk, nullptr, block) == whole) << block << " " << chunk;
  // Ends exactly on a block end.
  const std::string even = doc + std::string(8192 - doc.size() % 8192, ' ');
  EXPECT_TRUE(Tokens(even, SIZE_MAX, nullptr, 4096) == Tokens(even));
}

// A stream that fails after its first `good` bytes.
class FailingStream final : public reader::ByteStream {
 public:
  FailingStream(std::string bytes, size_t good) : bytes_(std::move(bytes)), good_(good) {}
  reader::Status Read(char* buffer, size_t capacity, size_t* got) override {
    *got = std::min({capacity, good_ - pos_, size_t(5000)});
    std::memcpy(buffer, bytes_.data() + pos_, *got);
    pos_ += *got;
    return pos_ == good_ ? reader::Status::Error("damaged after " + std::to_string(good_)) : reader::Status::Ok();
  }

 private:
  std::string bytes_;
  size_t good_, pos_ = 0;
};

TEST(XmlScanner, DamageAfterLentBlocksIsReported) {
  std::string doc = "<root>";
  while (doc.size() < 300000) doc += "<c><v>12345</v></c>";
  doc += "</root>";
  reader::ReadAheadStream ahead(std::make_unique<FailingStream>(doc, 250000), 4096);
  XmlScanner sc(ahead, "part.xml");
  reader::Status s;
  int cells = 0;
  while ((s = sc.Next()).ok() && sc.token() != XmlScanner::Token::End)
    if (sc.IsStart("c")) ++cells;
  EXPECT_NE(s.message().find("damaged after 250000"), std::string::npos) << s.message();
  EXPECT_GT(cells, 12000);
}

std::string Utf16(const std::string& ascii, bool little, bool bom) {
  std::string out;
  if (bom) out += little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
  for (char c : ascii) {
    if (little) {
      out.push_back(c);
      out.push_back('\0');
    } else {
      out.push_back('\0');
      out.push_back(c);
    }
  }
  return out;
}

TEST(XmlScanner, Utf16PartsReadAsUtf8) {
  std::string ascii = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a n=\"v\">text</a>";
  for (int little = 0; little < 2; ++little)
    for (int bom = 0; bom < 2; ++bom)
      for (size_t chunk : {size_t(1), size_t(3), SIZE_MAX})
        EXPECT_EQ(Tokens(Utf16(ascii, little, bom), chunk), "<a n=v>'text'</a>") << little << bom << chunk;
  // A surrogate pair (U+1F600), an e-acute, and a lone low surrogate.
  std::string le = Utf16("<a>", true, true) + std::string("\x3D\xD8\x00\xDE\xE9\x00\x00\xDC", 8) +
                   Utf16("</a>", true, false);
  EXPECT_EQ(Tokens(le, 1), "<a>'\xF0\x9F\x98\x80\xC3\xA9\xEF\xBF\xBD'</a>");
}

TEST(XmlScanner, MalformedMarkupFailsWithPartAndOffset) {
  std::string error;
  EXPECT_EQ(Tokens("<a><b c=\"1></a>", SIZE_MAX, &error), "<a>!");
  EXPECT_NE(error.find("part.xml: offset 3: the part ends inside a start tag"), std::string::npos) << error;
  EXPECT_EQ(Tokens("<a></a></b>", SIZE_MAX, &error), "<a></a>!");
  EXPECT_NE(error.find("offset 7: an end tag without a start tag"), std::string::npos) << error;
  EXPECT_EQ(Tokens("<a b></a>", SIZE_MAX, &error), "!");
  EXPECT_NE(error.find("malformed start tag"), std::string::npos) << error;
  EXPECT_EQ(Tokens("<a><!-- never closed", SIZE_MAX, &error), "<a>!");
  EXPECT_EQ(Tokens("<a><![CDATA[ never closed", SIZE_MAX, &error), "<a>!");
  EXPECT_EQ(Tokens("<!DOCTYPE a [ <!ENTITY", SIZE_MAX, &error), "!");
}

TEST(XmlScanner, ElementTextAndSkipping) {
  MemoryStream in("<c><f>SUM(A1)</f><v>1<x>2</x>3</v><is/></c>");
  XmlScanner sc(in, "p");
  std::string text;
  ASSERT_TRUE(sc.Next().ok());  // <c>
  ASSERT_TRUE(sc.Next().ok());  // <f>
  ASSERT_TRUE(sc.SkipElement().ok());
  ASSERT_TRUE(sc.Next().ok());  // <v>
  ASSERT_TRUE(sc.AppendElementText(&text).ok());
  EXPECT_EQ(text, "123");
  ASSERT_TRUE(sc.Next().ok());  // <is/>
  EXPECT_TRUE(sc.selfClosing());
  ASSERT_TRUE(sc.AppendElementText(&text).ok());
  EXPECT_EQ(text, "123");
  ASSERT_TRUE(sc.Next().ok());
  EXPECT_TRUE(sc.IsEnd());
  EXPECT_EQ(sc.name(), "c");
}

TEST(XEscapes, DecodeCodeUnitsPairsAndLiteralUnderscores) {
  auto decode = [](std::string_view s) {
    std::string out;
    reader::AppendXEscapesDecoded(s, &out);
    return out;
  };
  EXPECT_EQ(decode("a_x000D_b_x000d__x0009_"), "a\rb\r\t");
  EXPECT_EQ(decode("_x005F_x0041_"), "_x0041_");
  EXPECT_EQ(decode("_xD83D__xDE00_"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(decode("_xD83D_ alone _xDE00_"), "_xD83D_ alone _xDE00_");
  EXPECT_EQ(decode("_x12_ _xZZZZ_ _x0041 x0041_ __x0041_"), "_x12_ _xZZZZ_ _x0041 x0041_ _A");
}

}  // namespace
