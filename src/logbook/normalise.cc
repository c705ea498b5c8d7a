#include "logbook/normalise.h"

#include <array>
#include <cstring>

#include "base/byte_scan.h"

namespace logbook {
namespace {

constexpr std::string_view kEor = "<eor>";

// Bytes that need a look of their own; every other byte passes through unchanged while
// nothing is pending.
constexpr std::array<bool, 256> SpecialBytes() {
  std::array<bool, 256> special{};
  special['\n'] = true;
  special['&'] = true;
  special['<'] = true;
  return special;
}
constexpr std::array<bool, 256> kSpecial = SpecialBytes();

bool IsEntityStart(const char* text, int length) {
  return std::string_view("&lt;").starts_with(std::string_view(text, length)) ||
         std::string_view("&gt;").starts_with(std::string_view(text, length));
}

}  // namespace

// Step 4, on the text that steps 1 to 3 have made; the records are counted either way.
void Normaliser::Decoded(char c, std::string& out) {
  out += c;
  if (c == kEor[eor_matched_]) {
    if (++eor_matched_ == static_cast<int>(kEor.size())) {
      if (mark_record_ends_) out += '\r';
      eor_matched_ = 0;
      ++records_;
    }
  } else {
    eor_matched_ = c == '<' ? 1 : 0;
  }
}

// Steps 2 and 3 in one pass: "&lt;" and "&gt;" cannot overlap each other or themselves,
// so replacing both in one left-to-right scan gives what the two scans in turn give.
void Normaliser::Entity(char c, std::string& out) {
  if (pending_length_ == 0) {
    if (c == '&') {
      pending_[pending_length_++] = c;
    } else {
      Decoded(c, out);
    }
    return;
  }
  pending_[pending_length_++] = c;
  if (pending_length_ == 4 && IsEntityStart(pending_, 4)) {
    Decoded(pending_[1] == 'l' ? '<' : '>', out);
    pending_length_ = 0;
    return;
  }
  if (IsEntityStart(pending_, pending_length_)) return;
  // Not an entity: its "&" is plain text, and the bytes after it are looked at again.
  char rest[3];
  const int rest_length = pending_length_ - 1;
  std::memcpy(rest, pending_ + 1, static_cast<size_t>(rest_length));
  pending_length_ = 0;
  Decoded('&', out);
  for (int i = 0; i < rest_length; ++i) Entity(rest[i], out);
}

void Normaliser::Feed(std::string_view chunk, std::string& out) {
  const char* p = chunk.data();
  const char* const end = p + chunk.size();
  while (p < end) {
    if (pending_length_ == 0) {
      if (eor_matched_ == 0) {
        // The common case: copy the run of ordinary bytes in one go.
        const char* run = base::FindFirstOf<'\n', '&', '<'>(p, end);
        out.append(p, static_cast<size_t>(run - p));
        p = run;
        if (p == end) break;
      }
      // An entity written out whole, as nearly all are, and a whole record end.
      if (*p == '&' && end - p >= 4 && (p[1] == 'l' || p[1] == 'g') && p[2] == 't' && p[3] == ';') {
        if (p[1] == 'g') {
          Decoded('>', out);
          p += 4;
        } else if (end - p >= 11 && std::memcmp(p, "&lt;eor&gt;", 11) == 0) {
          out.append(kEor);  // whatever came before, this "<" starts a new match
          if (mark_record_ends_) out += '\r';
          eor_matched_ = 0;
          ++records_;
          p += 11;
        } else if (end - p > 4 && !kSpecial[static_cast<unsigned char>(p[4])] && p[4] != 'e') {
          // The byte after this "<" cannot go on with "<eor>".
          out += '<';
          eor_matched_ = 0;
          p += 4;
        } else {
          Decoded('<', out);
          p += 4;
        }
        continue;
      }
    }
    const char c = *p++;
    if (c != '\n') Entity(c, out);  // step 1
  }
}

void Normaliser::Finish(std::string& out) {
  const int length = pending_length_;
  char held[4];
  std::memcpy(held, pending_, static_cast<size_t>(length));
  pending_length_ = 0;
  // What is held back is the start of an entity that never finished: plain text.
  for (int i = 0; i < length; ++i) Decoded(held[i], out);
}

bool DataStartFinder::Look(std::string_view text) {
  if (found_) return true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (last_was_equals_ && c == '<') {
      found_ = true;
      drop_ = seen_ + i;  // everything before this "<"
      // The "=" belongs to neither side.
      if (drop_ - 1 < kFrontLimit) front_.pop_back();
      return true;
    }
    last_was_equals_ = c == '=';
    if (front_.size() < kFrontLimit) front_ += c;
  }
  seen_ += text.size();
  return false;
}

std::string DecodeReply(std::string_view raw) {
  Normaliser decoder(Steps::kDecode);
  std::string text;
  text.reserve(raw.size());
  decoder.Feed(raw, text);
  decoder.Finish(text);
  return text;
}

}  // namespace logbook
