// IRIs: RFC 3987 validation and RFC 3986 reference resolution.
//
// Contract:
//  - validate_absolute_iri(text) succeeds when `text` is an absolute IRI
//    (scheme ":" ihier-part ["?" iquery] ["#" ifragment]) and otherwise
//    returns one fixed description of the first fault, e.g.
//    "No scheme found in an absolute IRI". It never allocates on success.
//  - BaseIri holds an absolute IRI and resolves references against it
//    (RFC 3986 section 5.2, strict, with remove_dot_segments). The result of
//    a resolution is validated before it is returned.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/common/result.h"

namespace qg::rdf {

// Checks that `iri` is an absolute IRI without a base.
qg::Status validate_absolute_iri(std::string_view iri);

// True when `ref` starts with a syntactically valid scheme and ":" (so it is
// not a relative reference).
bool has_iri_scheme(std::string_view ref);

// The five components of an IRI reference (RFC 3986 appendix B split).
struct IriComponents {
  std::string_view scheme;  // without ":"
  std::string_view authority;
  std::string_view path;
  std::string_view query;     // without "?"
  std::string_view fragment;  // without "#"
  bool has_scheme = false;
  bool has_authority = false;
  bool has_query = false;
  bool has_fragment = false;
};

IriComponents split_iri_reference(std::string_view ref);

// RFC 3986 section 5.2.4, appended to `out`.
void remove_dot_segments(std::string_view path, std::string& out);

class BaseIri {
 public:
  BaseIri() = default;

  // Fails with the validator's description when `iri` is not absolute.
  static qg::Result<BaseIri> parse(std::string_view iri);

  bool empty() const { return text_.empty(); }
  std::string_view text() const { return text_; }

  // Resolves `ref` against this base into `out` (replacing its content) and
  // validates the result.
  qg::Status resolve(std::string_view ref, std::string& out) const;

 private:
  std::string text_;
  // Component offsets into text_ (the path is always present, maybe empty).
  size_t scheme_end_ = 0;  // position of ':'
  bool has_authority_ = false;
  size_t authority_begin_ = 0, authority_end_ = 0;
  size_t path_begin_ = 0, path_end_ = 0;
  bool has_query_ = false;
  size_t query_begin_ = 0, query_end_ = 0;
};

}  // namespace qg::rdf
