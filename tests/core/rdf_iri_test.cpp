// IRI validation, reference resolution and language tags.

#include <gtest/gtest.h>

#include <string>

#include "core/rdf/iri.h"
#include "core/rdf/lang_tag.h"
#include "test_support.h"

namespace {

using qg::rdf::BaseIri;
using qg::rdf::is_well_formed_language_tag;
using qg::rdf::validate_absolute_iri;
using qg::tests::message;

std::string fault(std::string_view iri) { return message(validate_absolute_iri(iri)); }

TEST(RdfIri, AcceptsAbsoluteIris) {
  for (const char* iri : {
           "http://example.org/",
           "urn:isbn:123",
           "http://a/b/c/d;p?q",
           "https://user:pw@host.example:8080/p/a/t/h?query=1&x#frag",
           "http://[::1]:80/",
           "http://[::ffff:192.0.2.255]/",
           "http://[2001:db8::7]/c=GB?objectClass?one",
           "http://[v7.fe80::a+en1]/",
           "http://192.168.0.1/",
           "file:///etc/hosts",
           "mailto:a@b.example",
           "tag:x",
           "scheme:!$%25&'()*+,-./0123456789:/"
           "@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz~?#",
           "http://例え.jp/パス?クエリ#断片",
           "http://example.org/?\xee\x80\x80",  // iprivate in the query
           "http://example.org/#",
           "x:",
       }) {
    EXPECT_EQ(fault(iri), "") << iri;
  }
}

TEST(RdfIri, RefusesWithFixedDescriptions) {
  const std::pair<std::string, const char*> cases[] = {
      {"alice", "No scheme found in an absolute IRI"},
      {"", "No scheme found in an absolute IRI"},
      {"/relative/path", "No scheme found in an absolute IRI"},
      {"1http://x", "No scheme found in an absolute IRI"},
      {"_:b0", "No scheme found in an absolute IRI"},
      {"http://a b/", "Invalid IRI code point U+0020"},
      {"http://example.org/a b", "Invalid IRI code point U+0020"},
      {"http://example.org/<", "Invalid IRI character '<'"},
      {"http://example.org/a{b}", "Invalid IRI character '{'"},
      {"http://example.org/%zz", "Invalid IRI percent encoding '%zz'"},
      {"http://example.org/%4", "Invalid IRI percent encoding '%4'"},
      {"http://example.org/%4z", "Invalid IRI percent encoding '%4z'"},
      {"http://h%4z/", "Invalid IRI percent encoding '%4z'"},
      {"http://example.org/#a#b", "Invalid IRI character '#'"},
      {"http://example.org/?q#%zz", "Invalid IRI percent encoding '%zz'"},
      {"http://host:8x/", "Invalid IRI port character 'x'"},
      {"http://[::1/", "Invalid IRI host: unterminated IP literal"},
      {"http://[::ffff:192.0.2.256]/", "Invalid host IP '::ffff:192.0.2.256'"},
      {"http://[1:2:3]/", "Invalid host IP '1:2:3'"},
      {"http://example.org/\xff", "Invalid UTF-8 byte sequence in an IRI"},
      {"http://example.org/\xed\xa0\x80", "Invalid UTF-8 byte sequence in an IRI"},
      {"http://example.org/\xef\xbf\xbe", "Invalid IRI code point U+FFFE"},
      {"http://example.org/\xee\x80\x80", "Invalid IRI code point U+E000"},
      {"http://\xee\x80\x80/", "Invalid IRI code point U+E000"},  // iprivate: query only
      {"http://u\xef\xbf\xbe@h/", "Invalid IRI code point U+FFFE"},
      {std::string("http://example.org/\0", 20), "Invalid IRI code point U+0000"},
  };
  for (const auto& [iri, description] : cases) EXPECT_EQ(fault(iri), description) << iri;
}

// RFC 3986 section 5.4.
TEST(RdfIri, ResolvesTheRfc3986Examples) {
  auto base = BaseIri::parse("http://a/b/c/d;p?q");
  ASSERT_TRUE(base.has_value());
  const std::pair<const char*, const char*> cases[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  std::string out;
  for (const auto& [ref, want] : cases) {
    auto st = base->resolve(ref, out);
    ASSERT_TRUE(st.has_value()) << ref << ": " << message(st);
    EXPECT_EQ(out, want) << ref;
  }
}

TEST(RdfIri, ResolutionEdgeCases) {
  std::string out;
  auto authority_only = BaseIri::parse("http://example.org");
  ASSERT_TRUE(authority_only.has_value());
  ASSERT_TRUE(authority_only->resolve("a", out).has_value());
  EXPECT_EQ(out, "http://example.org/a");
  auto urn = BaseIri::parse("urn:x:y");
  ASSERT_TRUE(urn.has_value());
  ASSERT_TRUE(urn->resolve("#f", out).has_value());
  EXPECT_EQ(out, "urn:x:y#f");
  // A result whose path would read as an authority is refused.
  auto opaque = BaseIri::parse("tag:a/b");
  ASSERT_TRUE(opaque.has_value());
  auto st = opaque->resolve("..//x", out);
  ASSERT_FALSE(st.has_value());
  EXPECT_EQ(st.error(), "An IRI path is not allowed to start with //");
  // The resolved IRI is validated.
  auto http = BaseIri::parse("http://a/");
  ASSERT_TRUE(http.has_value());
  EXPECT_FALSE(http->resolve("b c", out).has_value());
  EXPECT_FALSE(BaseIri::parse("relative/base").has_value());
}

TEST(RdfLangTag, WellFormedness) {
  for (const char* tag :
       {"en", "EN", "en-US", "en-us", "zh-Hant-TW", "sr-Latn-RS", "de-CH-1901", "sl-rozaj-biske",
        "es-419", "x-private", "en-x-foo-bar", "i-klingon", "en-GB-oed", "zh-yue-HK",
        "en-a-bbb-x-a-ccc", "fr-1694acad", "hy-Latn-IT-arevela", "abcdefgh"}) {
    EXPECT_TRUE(is_well_formed_language_tag(tag)) << tag;
  }
  for (const char* tag :
       {"", "e", "en-", "-en", "en--us", "1en", "en-a", "en-a-x", "x", "toolongtag", "en-US-x",
        "abcdefghi", "en_US", "de-419-DE-x-", "en-a1b"}) {
    EXPECT_FALSE(is_well_formed_language_tag(tag)) << tag;
  }
}

}  // namespace
