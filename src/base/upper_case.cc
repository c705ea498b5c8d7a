#include "base/upper_case.h"

namespace base {
namespace {

void UpperCaseUtf8(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 'a' && byte <= 'z') {
      text[i] = static_cast<char>(byte - 'a' + 'A');
      continue;
    }
    // The seven accented letters are two-byte UTF-8 sequences C3 xx; their capitals are
    // C3 (xx - 0x20). Only those seven change.
    if (byte == 0xC3 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      switch (next) {
        case 0xA4:  // ä
        case 0xB6:  // ö
        case 0xBC:  // ü
        case 0xA9:  // é
        case 0xB1:  // ñ
        case 0xA5:  // å
        case 0xA7:  // ç
          text[i + 1] = static_cast<char>(next - 0x20);
          break;
        default:
          break;
      }
      ++i;
    }
  }
}

unsigned char UpperCaseCodePage437(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return static_cast<unsigned char>(byte - 'a' + 'A');
  switch (byte) {
    case 0x84:
      return 0x8E;  // ä
    case 0x94:
      return 0x99;  // ö
    case 0x81:
      return 0x9A;  // ü
    case 0x82:
      return 0x90;  // é
    case 0xA4:
      return 0xA5;  // ñ
    case 0x86:
      return 0x8F;  // å
    case 0x87:
      return 0x80;  // ç
    default:
      return byte;
  }
}

}  // namespace

void UpperCaseInPlace(std::string& text, LetterEncoding encoding) {
  if (encoding == LetterEncoding::kUtf8) {
    UpperCaseUtf8(text);
    return;
  }
  for (char& character : text) {
    character = static_cast<char>(UpperCaseCodePage437(static_cast<unsigned char>(character)));
  }
}

std::string UpperCase(std::string_view text, LetterEncoding encoding) {
  std::string result(text);
  UpperCaseInPlace(result, encoding);
  return result;
}

}  // namespace base
