// BCP 47 (RFC 5646) language tags.
//
// Contract: is_well_formed_language_tag(tag) tells whether `tag` matches the
// RFC 5646 "Language-Tag" production (langtag, privateuse or grandfathered),
// compared case-insensitively. It checks form only, not registry validity.
#pragma once

#include <string_view>

namespace qg::rdf {

bool is_well_formed_language_tag(std::string_view tag);

}  // namespace qg::rdf
