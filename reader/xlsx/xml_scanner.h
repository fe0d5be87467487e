// A small pull scanner for the XML of OOXML packages.
//
// It reads a ByteStream in large chunks and hands out one token at a time:
// start tags with their attributes, end tags and text. Namespace prefixes
// are dropped (element and attribute names are local names), so the
// transitional and strict namespaces read alike. Comments, processing
// instructions and the document type declaration are skipped; entity
// references defined there are never expanded (an entity bomb stays inert
// text). CDATA sections arrive as text. UTF-16 parts (with or without a
// byte-order mark) are turned into UTF-8; a UTF-8 byte-order mark is dropped.
//
// Tokens point into the scanner's buffer and stay valid until the next call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reader/container/byte_stream.h"
#include "reader/core/status.h"

namespace reader {

class XmlScanner {
 public:
  enum class Token { None, StartElement, EndElement, Text, End };
  struct Attribute {
    std::string_view name;   // local name
    std::string_view value;  // as written, between the quotes (Value() decodes it)
  };

  // `partName` prefixes error messages.
  XmlScanner(ByteStream& in, std::string partName);
  ~XmlScanner();
  XmlScanner(const XmlScanner&) = delete;
  XmlScanner& operator=(const XmlScanner&) = delete;

  // Advances to the next token; Token::End once the part is used up.
  Status Next();

  Token token() const { return token_; }
  bool IsStart(std::string_view localName) const {
    return token_ == Token::StartElement && name_ == localName;
  }
  bool IsEnd() const { return token_ == Token::EndElement; }
  // The local name of the current start or end tag.
  std::string_view name() const { return name_; }
  // Open elements; a start tag counts its own element, an end tag no
  // longer does (after the root's end tag it is 0).
  int depth() const { return depth_; }
  bool selfClosing() const { return selfClosing_; }

  const std::vector<Attribute>& attributes() const { return attrs_; }
  // The raw attribute of a local name, or null.
  const Attribute* FindAttribute(std::string_view localName) const;
  // An attribute's value with entity references resolved and whitespace
  // normalised; `scratch` holds it when it had to be decoded.
  static std::string_view Value(const Attribute& attribute, std::string* scratch);
  // The decoded value of attribute `localName`; false when it is absent.
  bool GetAttribute(std::string_view localName, std::string* out) const;

  // The current text token with references resolved and line ends
  // normalised (CR LF and lone CR become LF).
  std::string_view text();

  // After a start tag: consumes the rest of the element. After any other
  // token: nothing.
  Status SkipElement();
  // After a start tag: appends the element's text (nested elements'
  // too) and consumes the element.
  Status AppendElementText(std::string* out);

  // A shortcut for the commonest element contents, <v>TEXT</v></c> of a
  // cell and <t>TEXT</t></si> of a string: when the bytes right after the
  // current start tag are exactly <inner>TEXT</inner></close>, optionally
  // after one <skippable>...</skippable> (a formula), with plain text (no
  // reference, no CR) and all of it already in the buffer, consumes them up
  // to and including the end tag of the current element and returns true
  // with the text in *text. Otherwise consumes nothing and returns false
  // (read the tokens instead). With `needsDecoding`, a text with references
  // or carriage returns is taken too, raw, and *needsDecoding says so (decode
  // it with AppendXmlDecoded, as text() would).
  bool TakeSimpleText(std::string_view inner, std::string_view close, std::string_view skippable,
                      std::string_view* text, bool* needsDecoding = nullptr);

  // The bytes already read past the current token, for a caller that reads
  // whole elements itself where they take the commonest form (the cells of
  // a row). Empty while a self-closing tag still owes its end token. More
  // of the part may follow: a caller that finds an element cut off at the
  // end of these bytes reads it through Next() instead.
  std::string_view Ahead() const {
    if (pendingEnd_ || token_ == Token::None || token_ == Token::End) return {};
    return std::string_view(base_ + pos_, end_ - pos_);
  }
  // Consumes the first `n` bytes of Ahead(), which hold whole elements that
  // are children of the current parent (or the parent's end tag and the
  // start tag of a sibling of the parent, whose children then follow); the
  // last of them is named `lastName` (a string that outlives the token), and
  // its end tag becomes the current token.
  void ConsumeElements(size_t n, std::string_view lastName) {
    tokenStart_ = pos_;
    pos_ += n;
    // depth_ stays: whether the parent's start tag or an earlier child's
    // end tag was current, the open elements are the parent's (or its
    // sibling's, at the same depth).
    token_ = Token::EndElement;
    selfClosing_ = false;
    name_ = lastName;
    attrs_.clear();
  }

  // Offset of the current token in the (UTF-8) text of the part.
  uint64_t offset() const { return consumed_ + tokenStart_; }
  const std::string& part() const { return part_; }
  // "part: offset N: what".
  Status Error(const std::string& what) const;

  // The largest single token accepted; a text or tag beyond it is damage.
  static constexpr size_t kMaxTokenBytes = size_t(64) << 20;

 private:
  enum class Encoding { Unknown, Utf8, Utf16LE, Utf16BE };
  enum class Parse { Done, NeedMore, Bad };

  Status More(bool* gotMore);
  Status ReadDecoded(char* dst, size_t capacity, size_t* got);
  Status DetectEncoding();
  Parse ParseStartTag(const char* p, size_t n, size_t* length);
  Status SkipPast(std::string_view terminator);
  Status SkipDeclaration();

  ByteStream& in_;
  std::string part_;
  std::unique_ptr<char[]> own_;  // the scanner's buffer, of cap_ bytes
  size_t cap_ = 0;
  char* base_ = nullptr;  // the bytes scanned: own_, or a block the stream lends
  bool lent_ = false;
  size_t pos_ = 0;  // next unread byte
  size_t end_ = 0;  // end of the valid bytes
  bool eof_ = false;
  uint64_t consumed_ = 0;  // bytes dropped from the front of the buffer so far
  size_t tokenStart_ = 0;

  Encoding encoding_ = Encoding::Unknown;
  std::string raw_;  // UTF-16 bytes read but not yet converted
  size_t rawPos_ = 0;

  Token token_ = Token::None;
  std::string_view name_;
  std::string nameCopy_;  // the name of a self-closing tag for its end token
  int depth_ = 0;
  bool selfClosing_ = false;
  bool pendingEnd_ = false;
  std::vector<Attribute> attrs_;
  std::string_view rawText_;
  bool textPlain_ = true;  // known to need no decoding (CDATA without CR)
  bool textIsCdata_ = false;
  std::string textScratch_;
};

// Resolves the five predefined entities and numeric character references
// of XML text; unknown or malformed references stay as written. For
// attribute values, literal tabs and line ends become spaces.
void AppendXmlDecoded(std::string_view raw, bool attribute, std::string* out);

// Resolves OOXML's _xHHHH_ escapes (ECMA-376 Part 1 22.9.2.19, ST_Xstring):
// each names one UTF-16 code unit; a surrogate pair is two escapes in a
// row; "_x005F_" is a literal underscore, so "_x005F_x0041_" reads as
// "_x0041_". Escapes that name no character stay as written.
void AppendXEscapesDecoded(std::string_view text, std::string* out);
inline bool MayHaveXEscapes(std::string_view text) {
  return text.size() >= 7 && text.find("_x") != std::string_view::npos;
}

// Appends the UTF-8 form of a code point (no checks beyond the range).
void AppendUtf8(uint32_t codePoint, std::string* out);

}  // namespace reader
