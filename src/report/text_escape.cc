#include "report/text_escape.h"

#include <cstddef>

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The range the second byte of a sequence must lie in, given its first byte;
// the third and fourth bytes are always 0x80..0xBF. These bounds exclude
// overlong forms, surrogates and code points above U+10FFFF.
struct TLead {
  std::size_t length;
  unsigned char second_low;
  unsigned char second_high;
};

TLead LeadOf(unsigned char byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};  // never the first byte of a sequence
}

// The sequence at the start of some bytes: its length, and whether it is a
// well-formed character or the maximal ill-formed part that stands for one.
struct TSequence {
  std::size_t length;
  bool valid;
};

TSequence SequenceAt(std::string_view bytes) {
  const TLead lead = LeadOf(static_cast<unsigned char>(bytes[0]));
  if (lead.length == 0) return {1, false};
  for (std::size_t i = 1; i < lead.length; ++i) {
    if (i == bytes.size()) return {i, false};
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const unsigned char low = i == 1 ? lead.second_low : 0x80;
    const unsigned char high = i == 1 ? lead.second_high : 0xBF;
    if (byte < low || byte > high) return {i, false};
  }
  return {lead.length, true};
}

// Calls put(sequence) for each valid sequence of the bytes in turn, with
// U+FFFD in place of each ill-formed part.
template <typename TPut>
void ForEachCharacter(std::string_view bytes, TPut put) {
  while (!bytes.empty()) {
    const TSequence sequence = SequenceAt(bytes);
    put(sequence.valid ? bytes.substr(0, sequence.length) : std::string_view(kReplacement));
    bytes.remove_prefix(sequence.length);
  }
}

// Two hexadecimal digits of a byte.
std::string Hex(unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  return {kHex[byte >> 4], kHex[byte & 0xF]};
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  ForEachCharacter(bytes, [&text](std::string_view character) { text += character; });
  return text;
}

std::string JsonString(std::string_view bytes) {
  std::string text = "\"";
  ForEachCharacter(bytes, [&text](std::string_view character) {
    const auto byte = static_cast<unsigned char>(character[0]);
    switch (byte) {
      case '"': text += "\\\""; break;
      case '\\': text += "\\\\"; break;
      case '\b': text += "\\b"; break;
      case '\f': text += "\\f"; break;
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\t': text += "\\t"; break;
      default:
        if (byte < 0x20) {
          text += "\\u00" + Hex(byte);
        } else {
          text += character;
        }
    }
  });
  text += '"';
  return text;
}

std::string LabelString(std::string_view bytes) {
  std::string text = "\"";
  ForEachCharacter(bytes, [&text](std::string_view character) {
    switch (character[0]) {
      case '"': text += "\\\""; break;
      case '\\': text += "\\\\"; break;
      case '\n': text += "\\n"; break;
      default: text += character;
    }
  });
  text += '"';
  return text;
}

std::string TerminalText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  ForEachCharacter(bytes, [&text](std::string_view character) {
    const auto byte = static_cast<unsigned char>(character[0]);
    if (byte < 0x20 || byte == 0x7F) {
      text += "\\x" + Hex(byte);
    } else if (byte == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0) {
      // The controls of U+0080 to U+009F.
      text += "\\u00" + Hex(static_cast<unsigned char>(character[1]));
    } else {
      text += character;
    }
  });
  return text;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (const char byte : text) width += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return width;
}
