#include "core/rdf/blank_ids.h"

#include <charconv>
#include <random>

namespace qg::rdf {

BlankIdGenerator::BlankIdGenerator() {
  std::random_device rd;
  const uint64_t r = (static_cast<uint64_t>(rd()) << 32) ^ static_cast<uint64_t>(rd());
  static constexpr char kHex[] = "0123456789abcdef";
  prefix_[0] = 'q';
  for (int i = 0; i < 16; ++i) prefix_[1 + i] = kHex[(r >> (60 - 4 * i)) & 0xF];
  prefix_[17] = '_';
}

void BlankIdGenerator::next(std::string& out) {
  char digits[24];
  const auto res = std::to_chars(digits, digits + sizeof digits, counter_++);
  out.assign(prefix_, sizeof prefix_);
  out.append(digits, res.ptr);
}

}  // namespace qg::rdf
