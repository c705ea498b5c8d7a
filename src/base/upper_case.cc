#include "base/upper_case.h"

namespace base {

void UpperCaseInPlace(std::string& text) {
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

std::string UpperCase(std::string_view text) {
  std::string result(text);
  UpperCaseInPlace(result);
  return result;
}

}  // namespace base
