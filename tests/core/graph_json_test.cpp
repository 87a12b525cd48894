// Graph JSON: the writer's exact forms (doubles, escapes, field order), the
// reader's error table with positions, number kinds and escapes, nesting,
// record forms, caps and their order, insertion errors, round trips, the
// pickle state's checks, and every cut and random edit of a document.
#include "core/graph/graph_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "core/graph/graph_record.h"
#include "core/graph/id_limit.h"
#include "core/graph/json_text.h"
#include "core/graph/pickle_state.h"
#include "test_support.h"

namespace qg {
namespace {

using tests::message;

constexpr uint64_t kBig = std::numeric_limits<uint64_t>::max();

Result<GraphRecord> read(std::string_view text) {
  return graph_from_json_checked(text, kBig, kBig, kBig);
}

std::string read_error(std::string_view text) {
  auto r = read(text);
  EXPECT_FALSE(r.has_value()) << text;
  return message(r);
}

std::string write(const GraphRecord& g) { return *graph_to_json(g); }

// A document of one node "n" whose property "v" is written as `value`.
const std::string kNode = R"({"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":)";
std::string node(const std::string& value) { return kNode + value + R"(}}],"edges":[]})"; }

PropertyValue read_value(const std::string& value) {
  auto r = read(node(value));
  EXPECT_TRUE(r.has_value()) << value << ": " << message(r);
  return r ? *node_properties(*r, "n")->find("v") : PropertyValue::null();
}

std::string double_text(double d) {
  TextOut b;
  put_json_double(b, d);
  return std::string(b.view());
}

std::string string_text(std::string_view s) {
  TextOut b;
  put_json_string(b, s);
  return std::string(b.view());
}

TEST(GraphJsonWriter, EmptyGraphIsExactText) {
  GraphRecord g;
  EXPECT_EQ(write(g), R"({"directed":true,"multi":false,"name":"","nodes":[],"edges":[]})");
}

TEST(GraphJsonWriter, LiveNodesInSlotOrderAndEdgesInStoredOrientation) {
  GraphRecord g(false, "n", true);
  for (const char* id : {"a", "b", "c"}) ASSERT_TRUE(add_node_core(g, id, {}));
  ASSERT_TRUE(add_edge_core(g, "c", "a", {}));
  ASSERT_TRUE(remove_node_core(g, "b"));
  PropertyMap p;
  p.set("w", PropertyValue::integer(1));
  ASSERT_TRUE(add_node_core(g, "d", std::move(p)));  // takes b's slot
  EXPECT_EQ(write(g),
            R"({"directed":false,"multi":true,"name":"n","nodes":[{"id":"a","properties":{}},)"
            R"({"id":"d","properties":{"w":1}},{"id":"c","properties":{}}],)"
            R"("edges":[{"source":"c","target":"a","properties":{}}]})");
}

// Shortest digits; fixed notation from 1e-5 up to below 1e16, else exponent.
TEST(GraphJsonWriter, DoublesTakeTheShortestTextAndReadBackExactly) {
  const std::pair<double, const char*> cases[] = {{1.0, "1.0"},
                                                  {100.0, "100.0"},
                                                  {0.5, "0.5"},
                                                  {0.00001, "0.00001"},
                                                  {1e-6, "1e-6"},
                                                  {1e16, "1e+16"},
                                                  {1.5e16, "1.5e+16"},
                                                  {1e15, "1000000000000000.0"},
                                                  {123456.789, "123456.789"},
                                                  {0.0, "0.0"},
                                                  {-0.0, "-0.0"},
                                                  {-2.5, "-2.5"},
                                                  {0.1 + 0.2, "0.30000000000000004"},
                                                  {1.2345e-7, "1.2345e-7"},
                                                  {5e-324, "5e-324"},
                                                  {1.7976931348623157e308,
                                                   "1.7976931348623157e+308"},
                                                  {std::numeric_limits<double>::quiet_NaN(),
                                                   "null"}};
  for (auto [value, text] : cases) {
    EXPECT_EQ(double_text(value), text);
    if (!std::isfinite(value)) continue;
    PropertyValue back = read_value(text);
    ASSERT_EQ(back.kind(), ValueKind::Float) << text;
    EXPECT_EQ(back.as_float(), value);
    EXPECT_EQ(std::signbit(back.as_float()), std::signbit(value)) << text;
  }
}

struct DoubleCase {
  double value;
  const char* text;
};

class DoubleForm : public testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleForm, WritesShortestDigitsInTheNotationRule) {
  EXPECT_EQ(double_text(GetParam().value), GetParam().text);
  if (std::isfinite(GetParam().value)) {
    PropertyValue back = read_value(GetParam().text);
    ASSERT_EQ(back.kind(), ValueKind::Float);
    EXPECT_EQ(std::signbit(back.as_float()), std::signbit(GetParam().value));
    EXPECT_EQ(back.as_float(), GetParam().value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Notation, DoubleForm,
    testing::Values(DoubleCase{1.0, "1.0"}, DoubleCase{100.0, "100.0"}, DoubleCase{0.5, "0.5"},
                    DoubleCase{0.00001, "0.00001"}, DoubleCase{1e-6, "1e-6"},
                    DoubleCase{1e16, "1e+16"}, DoubleCase{1.5e16, "1.5e+16"},
                    DoubleCase{1e15, "1000000000000000.0"}, DoubleCase{123456.789, "123456.789"},
                    DoubleCase{0.0, "0.0"}, DoubleCase{-0.0, "-0.0"}, DoubleCase{-2.5, "-2.5"},
                    DoubleCase{0.1 + 0.2, "0.30000000000000004"},
                    DoubleCase{1.2345e-7, "1.2345e-7"}, DoubleCase{5e-324, "5e-324"},
                    DoubleCase{1.7976931348623157e308, "1.7976931348623157e+308"},
                    DoubleCase{std::numeric_limits<double>::quiet_NaN(), "null"}));

TEST(GraphJsonWriter, StringsEscapeOnlyQuoteBackslashAndControlBytes) {
  EXPECT_EQ(string_text("q\"b\\t\t\u00e9"), "\"q\\\"b\\\\t\\t\u00e9\"");
  EXPECT_EQ(string_text(std::string("\b\f\n\r\x01\x1f\x7f/", 8)),
            "\"\\b\\f\\n\\r\\u0001\\u001f\x7f/\"");
  EXPECT_EQ(string_text(std::string("\0", 1)), "\"\\u0000\"");
  EXPECT_EQ(string_text("\xF0\x9F\x98\x80"), "\"\xF0\x9F\x98\x80\"");
}

// Integers keep their kind while they fit 64 bits; "-0", fractions and
// exponents are doubles.
TEST(GraphJsonReader, NumbersKeepTheKindOfTheirText) {
  const std::pair<const char*, PropertyValue> cases[] = {
      {"0", PropertyValue::pos_int(0)},
      {"18446744073709551615", PropertyValue::pos_int(UINT64_MAX)},
      {"18446744073709551616", PropertyValue::number(18446744073709551616.0)},
      {"-1", PropertyValue::integer(-1)},
      {"-9223372036854775808", PropertyValue::integer(INT64_MIN)},
      {"-9223372036854775809", PropertyValue::number(-9223372036854775808.0)},
      {"-0", PropertyValue::number(-0.0)},
      {"1.0", PropertyValue::number(1.0)},
      {"1E+2", PropertyValue::number(100.0)},
      {"1e-400", PropertyValue::number(0.0)},
      {"0.1", PropertyValue::number(0.1)},
      {"2.2250738585072014e-308", PropertyValue::number(2.2250738585072014e-308)},
      {"123456789012345678901234567890", PropertyValue::number(1.2345678901234568e29)}};
  for (const auto& [text, want] : cases) {
    const PropertyValue got = read_value(text);
    EXPECT_TRUE(got == want) << text;
    const bool is_float = got.kind() == ValueKind::Float;
    EXPECT_EQ(is_float && std::signbit(got.as_float()), is_float && text[0] == '-') << text;
  }
}

struct NumberCase {
  const char* text;
  ValueKind kind;
};

class NumberKind : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberKind, KeepsTheKindOfTheText) {
  EXPECT_EQ(read_value(GetParam().text).kind(), GetParam().kind) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NumberKind,
    testing::Values(NumberCase{"0", ValueKind::PosInt}, NumberCase{"1", ValueKind::PosInt},
                    NumberCase{"18446744073709551615", ValueKind::PosInt},
                    NumberCase{"18446744073709551616", ValueKind::Float},
                    NumberCase{"-1", ValueKind::NegInt},
                    NumberCase{"-9223372036854775808", ValueKind::NegInt},
                    NumberCase{"-9223372036854775809", ValueKind::Float},
                    NumberCase{"-0", ValueKind::Float}, NumberCase{"1.0", ValueKind::Float},
                    NumberCase{"1e2", ValueKind::Float}, NumberCase{"1E+2", ValueKind::Float},
                    NumberCase{"1e-400", ValueKind::Float},
                    NumberCase{"123456789012345678901234567890", ValueKind::Float}));

TEST(GraphJsonReader, NumberValuesAreExact) {
  EXPECT_EQ(read_value("18446744073709551615").as_pos_int(), UINT64_MAX);
  EXPECT_EQ(read_value("-9223372036854775808").as_neg_int(), INT64_MIN);
  EXPECT_EQ(read_value("18446744073709551616").as_float(), 18446744073709551616.0);
  EXPECT_TRUE(std::signbit(read_value("-0").as_float()));
  EXPECT_EQ(read_value("1e-400").as_float(), 0.0);
  EXPECT_EQ(read_value("0.1").as_float(), 0.1);
  EXPECT_EQ(read_value("2.2250738585072014e-308").as_float(), 2.2250738585072014e-308);
}

TEST(GraphJsonReader, StringEscapesDecode) {
  EXPECT_EQ(read_value(R"("a\"\\\/\b\f\n\r\t")").as_string(), "a\"\\/\b\f\n\r\t");
  EXPECT_EQ(read_value(R"("\u00e9\u20AC")").as_string(), "\u00e9\u20ac");
  EXPECT_EQ(read_value(R"("\ud83d\ude00")").as_string(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(read_value(R"("\u0000")").as_string(), std::string("\0", 1));
}

TEST(GraphJsonReader, NestedObjectsSortKeysAndLastDuplicateWins) {
  PropertyValue v = read_value(R"({"b":1,"a":[true,null],"b":2})");
  ASSERT_EQ(v.kind(), ValueKind::Object);
  auto entries = v.as_object();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first.view(), "a");
  EXPECT_EQ(entries[1].first.view(), "b");
  EXPECT_EQ(entries[1].second, PropertyValue::integer(2));
}

TEST(GraphJsonReader, RepeatedPropertyNameKeepsTheLastValue) {
  auto g = read(
      R"({"directed":true,"name":"","nodes":[{"id":"n","properties":{"k":1,"j":0,"k":2}}],"edges":[]})");
  ASSERT_TRUE(g);
  const PropertyMap& p = *node_properties(*g, "n");
  EXPECT_EQ(p.size(), 2u);
  EXPECT_EQ(*p.find("k"), PropertyValue::integer(2));
  // Same with a map large enough to take the hashed path.
  std::string props;
  for (int i = 0; i < 40; ++i)
    props += "\"k" + std::to_string(i % 20) + "\":" + std::to_string(i) + ",";
  props.pop_back();
  auto big = read(R"({"directed":true,"name":"","nodes":[{"id":"n","properties":{)" + props +
                  "}}],\"edges\":[]}");
  ASSERT_TRUE(big);
  const PropertyMap& q = *node_properties(*big, "n");
  EXPECT_EQ(q.size(), 20u);
  EXPECT_EQ(*q.find("k3"), PropertyValue::integer(23));
}

// Small property maps are searched, larger ones hashed: the same rule.
TEST(GraphJsonReader, RepeatedPropertyNameKeepsTheLastValueInSmallAndHashedMaps) {
  for (int n : {4, 40}) {
    std::string props;
    for (int i = 0; i < n; ++i)
      props += ",\"k" + std::to_string(i % (n / 2)) + "\":" + std::to_string(i);
    auto g = read(R"({"directed":true,"name":"","nodes":[{"id":"n","properties":{)" +
                  props.substr(1) + R"(}}],"edges":[]})");
    ASSERT_TRUE(g) << message(g);
    const PropertyMap& p = *node_properties(*g, "n");
    EXPECT_EQ(p.size(), static_cast<size_t>(n / 2));
    EXPECT_EQ(*p.find("k1"), PropertyValue::integer(n / 2 + 1));
  }
}

// A repeated name keeps the place of its first appearance, with the last
// value, whether the map is searched or hashed.
TEST(GraphJsonReader, RepeatedPropertyNameKeepsItsFirstPlace) {
  for (int n : {4, 40}) {
    std::string props;
    for (int i = 0; i < n; ++i) {
      const int k = i < n / 2 ? i : n - 1 - i;  // k0 .. k(n/2-1), then back down
      props += ",\"k" + std::to_string(k) + "\":" + std::to_string(i);
    }
    auto g = read(R"({"directed":true,"name":"","nodes":[{"id":"n","properties":{)" +
                  props.substr(1) + R"(}}],"edges":[]})");
    ASSERT_TRUE(g) << message(g);
    int k = 0;
    for (const auto& [name, value] : *node_properties(*g, "n")) {
      EXPECT_EQ(name.view(), "k" + std::to_string(k)) << n;
      EXPECT_EQ(value, PropertyValue::integer(n - 1 - k)) << n;
      ++k;
    }
    EXPECT_EQ(k, n / 2);
  }
}

struct ErrorCase {
  const char* text;
  const char* message;
};

class ReaderError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderError, ReportsTheMessageAndPosition) {
  EXPECT_EQ(read_error(GetParam().text), GetParam().message) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ReaderError,
    testing::Values(
        ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
        ErrorCase{"  \n ", "EOF while parsing a value at line 2 column 1"},
        ErrorCase{"\nx", "expected value at line 2 column 1"},
        ErrorCase{"x", "expected value at line 1 column 1"},
        ErrorCase{"{", "EOF while parsing an object at line 1 column 1"},
        ErrorCase{"{\"directed\" true", "expected `:` at line 1 column 13"},
        ErrorCase{"{\"directed\":true \"name\"", "expected `,` or `}` at line 1 column 18"},
        ErrorCase{"{\"directed\":true,}", "trailing comma at line 1 column 18"},
        ErrorCase{"{1:2}", "key must be a string at line 1 column 2"},
        ErrorCase{"{\"directed\":tru}", "expected ident at line 1 column 16"},
        ErrorCase{"{\"directed\":true,\"name\":\"a\nb\"",
                  "control character (\\u0000-\\u001F) found while parsing a string at line 2 "
                  "column 0"},
        ErrorCase{"{\"directed\":true,\"name\":\"\\q\"}", "invalid escape at line 1 column 27"},
        ErrorCase{"{\"directed\":true,\"name\":\"\xc3\xc3\"}",
                  "invalid unicode code point at line 1 column 28"},
        ErrorCase{"{\"directed\":true,\"name\":\"\\n\xc3\xc3\"}",  // no ASCII byte after the escape
                  "invalid unicode code point at line 1 column 30"},
        ErrorCase{"{\"directed\":true,\"name\":\"abc",
                  "EOF while parsing a string at line 1 column 28"},
        ErrorCase{"{\"directed\":true,\"name\":\"\\udc00\"}",
                  "lone leading surrogate in hex escape at line 1 column 31"},
        ErrorCase{"{\"directed\":true,\"name\":\"\\ud800x\"}",
                  "unexpected end of hex escape at line 1 column 32"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[],\"edges\":[]} x",
                  "trailing characters at line 1 column 51"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[1,],\"edges\":[]}",
                  "invalid type: integer `1`, expected struct NodeJson at line 1 column 37"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[,],\"edges\":[]}",
                  "expected value at line 1 column 37"}));

INSTANTIATE_TEST_SUITE_P(
    Records, ReaderError,
    testing::Values(
        ErrorCase{"{}", "missing field `directed` at line 1 column 2"},
        ErrorCase{"{\"directed\":true,\"nodes\":[],\"edges\":[]}",
                  "missing field `name` at line 1 column 39"},
        ErrorCase{"{\"directed\":true,\"directed\":true}",
                  "duplicate field `directed` at line 1 column 27"},
        ErrorCase{"{\"directed\":true,\"extra\":1,\"name\":\"\",\"nodes\":[],\"edges\":[]}",
                  "unknown field `extra`, expected one of `directed`, `multi`, `name`, `nodes`, "
                  "`edges` at line 1 column 24"},
        ErrorCase{
            "{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"a\",\"x\":1}],\"edges\":[]}",
            "unknown field `x`, expected `id` or `properties` at line 1 column 49"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[],\"edges\":[{\"from\":1}]}",
                  "unknown field `from`, expected one of `source`, `target`, `properties` at line "
                  "1 column 54"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"a\"}],\"edges\":[]}",
                  "missing field `properties` at line 1 column 46"},
        ErrorCase{"{\"directed\":1}",
                  "invalid type: integer `1`, expected a boolean at line 1 column 13"},
        ErrorCase{"{\"directed\":null}",
                  "invalid type: null, expected a boolean at line 1 column 16"},
        ErrorCase{"{\"directed\":true,\"name\":null}",
                  "invalid type: null, expected a string at line 1 column 28"},
        ErrorCase{"{\"directed\":true,\"name\":1.5e3}",
                  "invalid type: floating point `1500.0`, expected a string at line 1 column 29"},
        ErrorCase{"{\"directed\":\"yes\"}",
                  "invalid type: string \"yes\", expected a boolean at line 1 column 17"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":{}}",
                  "invalid type: map, expected a sequence at line 1 column 35"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"a\",\"properties\":[]}]}",
                  "invalid type: sequence, expected a map at line 1 column 59"},
        ErrorCase{"true",
                  "invalid type: boolean `true`, expected struct GraphJson at line 1 column 4"},
        ErrorCase{"\"g\"",
                  "invalid type: string \"g\", expected struct GraphJson at line 1 column 3"},
        ErrorCase{"[]",
                  "invalid length 0, expected struct GraphJson with 5 elements at line 1 column 2"},
        ErrorCase{"[true]",
                  "invalid length 2, expected struct GraphJson with 5 elements at line 1 column 6"},
        ErrorCase{"[true,false,\"\",[],[],1]", "trailing characters at line 1 column 22"},
        ErrorCase{"[true,false,\"\",[],[],]", "trailing comma at line 1 column 22"},
        ErrorCase{"[true,false,\"\",[[\"a\"]],[]]",
                  "invalid length 1, expected struct NodeJson with 2 elements at line 1 column 21"},
        ErrorCase{"[true,false,\"\",[],[[\"a\",\"b\"]]]",
                  "invalid length 2, expected struct EdgeJson with 3 elements at line 1 column 28"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[],\"edges\":[],\"v\":1e999}",
                  "unknown field `v`, expected one of `directed`, `multi`, `name`, `nodes`, "
                  "`edges` at line 1 column 52"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"n\",\"properties\":{\"v\":"
                  "1e999}}],\"edges\":[]}",
                  "number out of range at line 1 column 69"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"n\",\"properties\":{\"v\":"
                  "01}}],\"edges\":[]}",
                  "invalid number at line 1 column 66"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"n\",\"properties\":{\"v\":"
                  "1.}}],\"edges\":[]}",
                  "invalid number at line 1 column 67"},
        ErrorCase{"{\"directed\":true,\"name\":\"\",\"nodes\":[{\"id\":\"n\",\"properties\":{\"v\":"
                  "-}}],\"edges\":[]}",
                  "invalid number at line 1 column 66"}));

TEST(GraphJsonReader, ReportsTheMessageAndPosition) {
  const std::pair<std::string, const char*> cases[] = {
      // Syntax.
      {"", "EOF while parsing a value at line 1 column 0"},
      {"  \n ", "EOF while parsing a value at line 2 column 1"},
      {"x", "expected value at line 1 column 1"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {R"({"directed" true)", "expected `:` at line 1 column 13"},
      {R"({"directed":true "name")", "expected `,` or `}` at line 1 column 18"},
      {R"({"directed":true,})", "trailing comma at line 1 column 18"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {R"({"directed":tru})", "expected ident at line 1 column 16"},
      {"{\"directed\":true,\"name\":\"a\nb\"",
       "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
      {R"({"directed":true,"name":"\q"})", "invalid escape at line 1 column 27"},
      {R"({"directed":true,"name":"abc)", "EOF while parsing a string at line 1 column 28"},
      {R"({"directed":true,"name":"\udc00"})",
       "lone leading surrogate in hex escape at line 1 column 31"},
      {R"({"directed":true,"name":"\ud800x"})", "unexpected end of hex escape at line 1 column 32"},
      {R"({"directed":true,"name":"","nodes":[],"edges":[]} x)",
       "trailing characters at line 1 column 51"},
      {R"({"directed":true,"name":"","nodes":[,],"edges":[]})",
       "expected value at line 1 column 37"},
      // Numbers.
      {node("1e999"), "number out of range at line 1 column 69"},
      {node("01"), "invalid number at line 1 column 66"},
      {node("1."), "invalid number at line 1 column 67"},
      {node("-"), "invalid number at line 1 column 66"},
      {kNode + "1.", "EOF while parsing a value at line 1 column 66"},
      // Records.
      {"{}", "missing field `directed` at line 1 column 2"},
      {R"({"directed":true,"nodes":[],"edges":[]})", "missing field `name` at line 1 column 39"},
      {R"({"directed":true,"directed":true})", "duplicate field `directed` at line 1 column 27"},
      {R"({"directed":true,"extra":1,"name":"","nodes":[],"edges":[]})",
       "unknown field `extra`, expected one of `directed`, `multi`, `name`, `nodes`, `edges` at "
       "line 1 column 24"},
      {R"({"directed":true,"name":"","nodes":[],"edges":[],"v":1e999})",
       "unknown field `v`, expected one of `directed`, `multi`, `name`, `nodes`, `edges` at line 1 "
       "column 52"},
      {R"({"directed":true,"name":"","nodes":[{"id":"a","x":1}],"edges":[]})",
       "unknown field `x`, expected `id` or `properties` at line 1 column 49"},
      {R"({"directed":true,"name":"","nodes":[],"edges":[{"from":1}]})",
       "unknown field `from`, expected one of `source`, `target`, `properties` at line 1 column "
       "54"},
      {R"({"directed":true,"name":"","nodes":[{"id":"a"}],"edges":[]})",
       "missing field `properties` at line 1 column 46"},
      {R"({"directed":true,"name":"","nodes":[1,],"edges":[]})",
       "invalid type: integer `1`, expected struct NodeJson at line 1 column 37"},
      {R"({"directed":1})", "invalid type: integer `1`, expected a boolean at line 1 column 13"},
      {R"({"directed":null})", "invalid type: null, expected a boolean at line 1 column 16"},
      {R"({"directed":"yes"})",
       "invalid type: string \"yes\", expected a boolean at line 1 column 17"},
      {R"({"directed":true,"name":null})",
       "invalid type: null, expected a string at line 1 column 28"},
      {R"({"directed":true,"name":1.5e3})",
       "invalid type: floating point `1500.0`, expected a string at line 1 column 29"},
      {R"({"directed":true,"name":"","nodes":{}})",
       "invalid type: map, expected a sequence at line 1 column 35"},
      {R"({"directed":true,"name":"","nodes":[{"id":"a","properties":[]}]})",
       "invalid type: sequence, expected a map at line 1 column 59"},
      {"true", "invalid type: boolean `true`, expected struct GraphJson at line 1 column 4"},
      {"\"g\"", "invalid type: string \"g\", expected struct GraphJson at line 1 column 3"},
      {"[]", "invalid length 0, expected struct GraphJson with 5 elements at line 1 column 2"},
      {"[true]", "invalid length 2, expected struct GraphJson with 5 elements at line 1 column 6"},
      {R"([true,false,"",[],[],1])", "trailing characters at line 1 column 22"},
      {R"([true,false,"",[],[],])", "trailing comma at line 1 column 22"},
      {R"([true,false,"",[["a"]],[]])",
       "invalid length 1, expected struct NodeJson with 2 elements at line 1 column 21"},
      {R"([true,false,"",[],[["a","b"]]])",
       "invalid length 2, expected struct EdgeJson with 3 elements at line 1 column 28"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(read_error(text), error) << text;
}

// A mantissa of 700 digits is 1e699: scaled by 1e-300 it is still out of
// range, by 1e-1100 it rounds to zero.
TEST(GraphJsonReader, LongMantissasAreScaledBeforeTheRangeCheck) {
  const std::string big = "1" + std::string(699, '0'), small = "0." + std::string(700, '0') + "1";
  EXPECT_EQ(read_error(node(big + "e-300")), "number out of range at line 1 column 769");
  EXPECT_EQ(read_value(big + "e-1100").as_float(), 0.0);
  EXPECT_EQ(read_value(small + "e700").as_float(), 0.1);
  EXPECT_EQ(read_value(small + "e300").as_float(), 0.0);  // a positive exponent, still too small
  EXPECT_EQ(read_error(node(small + "e1010")), "number out of range at line 1 column 772");
}

TEST(GraphJsonReader, NestingLimitIs127Levels) {
  // The outer object, "nodes", the node, "properties" = 4 levels.
  auto doc = [](size_t extra) { return node(std::string(extra, '[') + std::string(extra, ']')); };
  EXPECT_TRUE(read(doc(123)));
  EXPECT_EQ(read_error(doc(124)), "recursion limit exceeded at line 1 column 188");
  // Deep garbage is refused without exhausting the stack.
  EXPECT_EQ(read_error(doc(1000000)), "recursion limit exceeded at line 1 column 188");
  EXPECT_EQ(read_error(std::string(1000000, '[')),
            "invalid type: sequence, expected a boolean at line 1 column 1");
}

TEST(GraphJsonReader, RecordsInArrayFormAndFieldsInAnyOrder) {
  auto g = read(
      R"([false,true,"x",[["a",{}],{"id":"b","properties":{"k":"v"}}],[["a","b",{}],["b","a",{}]]])");
  ASSERT_TRUE(g) << message(g);
  EXPECT_FALSE(g->directed());
  EXPECT_TRUE(g->multi());
  EXPECT_EQ(g->name(), "x");
  EXPECT_EQ(g->edge_count(), 2u);
  // Edges before the nodes and flags: kept aside and inserted at the end.
  auto h = read(
      R"({"edges":[{"properties":{},"target":"b","source":"a"}],"nodes":[{"properties":{},"id":"a"},{"id":"b","properties":{}}],"name":"n","directed":false})");
  ASSERT_TRUE(h) << message(h);
  EXPECT_FALSE(h->multi());
  EXPECT_TRUE(has_edge_core(*h, "b", "a"));
}

TEST(GraphJsonReader, CapsComeAfterTheSyntaxAndBeforeInsertion) {
  const std::string twice = R"({"directed":true,"name":"","nodes":[["a",{}],["a",{}]],"edges":[]})";
  EXPECT_EQ(graph_from_json_checked(twice, kBig, kBig, kBig).error(), "Node 'a' already exists");
  EXPECT_EQ(graph_from_json_checked(twice, kBig, 1, kBig).error(),
            "Graph JSON declares 2 nodes; refusing above max_nodes=1 (raise "
            "QuorGraphSettings.max_nodes if intended).");
  EXPECT_EQ(graph_from_json_checked(twice + "x", kBig, 0, 0).error(),
            "trailing characters at line 1 column 67");
}

// Graph JSON enters the edges in one pass after reading them: the lists of
// hubs, self-loops and parallel edges come out as add_edge made them.
// The id index keeps id lengths in 32 bits: a document naming a longer id
// is refused (the text is some 4 GiB of mapped-over pages, not memory).
TEST(GraphJsonReader, IdsOverTheLengthLimitAreRefused) {
  const std::string_view head = R"({"directed":true,"multi":false,"name":"","nodes":[{"id":")";
  const std::string_view tail = R"(","properties":{}}],"edges":[]})";
  tests::RepeatedText doc(head, 'a', head.size() + kMaxIdBytes + 1 + tail.size(), tail);
  ASSERT_TRUE(doc.ok());
  auto g = graph_from_json_checked(doc.view(), UINT64_MAX, UINT64_MAX, UINT64_MAX);
  ASSERT_FALSE(g);
  EXPECT_EQ(g.error().kind, ErrorKind::Refused);
  EXPECT_EQ(g.error(), msg::id_too_long(kMaxIdBytes + 1));
}

TEST(GraphJsonReader, ReadGraphHasTheWrittenNeighbourOrders) {
  for (bool directed : {true, false}) {
    GraphRecord g(directed, "", true);
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(add_node_core(g, std::to_string(i), {}));
    for (int i = 0; i < 2000; ++i) {
      const int s = i % 3 == 0 ? 0 : static_cast<int>(rng() % 300);  // 0 sends many,
      const int t = i % 3 == 1 ? 1 : static_cast<int>(rng() % 300);  // 1 receives many
      ASSERT_TRUE(add_edge_core(g, std::to_string(s), std::to_string(t), {}));
    }
    auto back = read(write(g));
    ASSERT_TRUE(back) << message(back);
    const GraphStorage &a = g.storage(), &b = back->storage();
    for (NodeIndex n = 0; n < a.node_bound(); ++n) {
      auto same = [](auto x, auto y) {
        return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                          [](const AdjEntry& p, const AdjEntry& q) {
                            return p.other == q.other && p.edge == q.edge;
                          });
      };
      ASSERT_TRUE(same(a.newest_out(n), b.newest_out(n))) << n;
      ASSERT_TRUE(same(a.newest_in(n), b.newest_in(n))) << n;
    }
  }
}

// Any cut or random edit of a document gives a graph or an error, never a
// crash; an accepted text writes back to a text that reads back the same.
TEST(GraphJsonReader, CutAndEditedDocumentsAreReadOrRefused) {
  GraphRecord g(false, "f", true);
  PropertyMap p;
  p.set("x",
        PropertyValue::array({PropertyValue::integer(1), PropertyValue::number(2.5),
                              PropertyValue::object({{Str::make("k"), PropertyValue::null()}})}));
  p.set("s", PropertyValue::string("t\u00e9\n"));
  ASSERT_TRUE(add_node_core(g, "a", p));
  ASSERT_TRUE(add_node_core(g, "b", {}));
  ASSERT_TRUE(add_edge_core(g, "a", "b", p));
  ASSERT_TRUE(add_edge_core(g, "b", "b", {}));
  auto check = [](const std::string& text) {
    auto r = read(text);
    if (!r) {
      ASSERT_FALSE(message(r).empty());
      return;
    }
    const std::string again = write(*r);
    auto back = read(again);
    ASSERT_TRUE(back) << again;
    ASSERT_EQ(write(*back), again);
  };
  const std::string alphabet = "{}[]\":,\\ntrufalse0123456789-+.eE \x01\xc3\xa9";
  std::mt19937 rng(1234);
  for (const std::string& text :
       {write(g), std::string(R"([true,false,"",[["a",{}]],[["a","a",{}]]])")}) {
    for (size_t cut = 0; cut <= text.size(); ++cut) check(text.substr(0, cut));
    for (int round = 0; round < 2000; ++round) {
      std::string m = text;
      for (int e = 0, edits = 1 + static_cast<int>(rng() % 4); e < edits; ++e) {
        const size_t at = rng() % m.size();
        const char c = alphabet[rng() % alphabet.size()];
        switch (rng() % 3) {
          case 0: m[at] = c; break;
          case 1: m.insert(m.begin() + static_cast<long>(at), c); break;
          default: m.erase(at, 1); break;
        }
      }
      check(m);
    }
  }
}

TEST(PickleState, NamesTheFirstBadUtf8Sequence) {
  const std::string prefix = "quor-graph pickle payload after magic header is not UTF-8: ";
  const std::pair<std::string, std::string> cases[] = {
      {"QGR1a\xe2\x82", "incomplete utf-8 byte sequence from index 1"},
      {"QGR1\xe2\x82x", "invalid utf-8 sequence of 2 bytes from index 0"},
      {"QGR1\xed\xa0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
      {"QGR1\xf0\x9f\x98x", "invalid utf-8 sequence of 3 bytes from index 0"},
  };
  for (const auto& [state, text] : cases)
    EXPECT_EQ(graph_from_pickle_state(state).error(), prefix + text);
}

TEST(GraphJsonReader, ArrayFormsOfTheRecords) {
  auto g = read(
      R"([false,true,"x",[["a",{}],{"id":"b","properties":{"k":"v"}}],[["a","b",{}],["b","a",{}]]])");
  ASSERT_TRUE(g) << message(g);
  EXPECT_FALSE(g->directed());
  EXPECT_TRUE(g->multi());
  EXPECT_EQ(g->name(), "x");
  EXPECT_EQ(g->edge_count(), 2u);
}

TEST(GraphJsonReader, FieldOrderDoesNotMatterAndMultiDefaultsToFalse) {
  // Edges before nodes and flags: kept aside and inserted at the end.
  auto g = read(
      R"({"edges":[{"properties":{},"target":"b","source":"a"}],"nodes":[{"properties":{},"id":"a"},{"id":"b","properties":{}}],"name":"n","directed":false})");
  ASSERT_TRUE(g) << message(g);
  EXPECT_FALSE(g->multi());
  EXPECT_FALSE(g->directed());
  EXPECT_TRUE(has_edge_core(*g, "b", "a"));
  // The flags seen after the edges still govern the duplicate test.
  auto dup = read(
      R"({"edges":[{"source":"a","target":"b","properties":{}},{"source":"b","target":"a","properties":{}}],"nodes":[["a",{}],["b",{}]],"name":"","directed":false})");
  ASSERT_FALSE(dup);
  EXPECT_EQ(dup.error(), "Edge 'b' -> 'a' already exists");
  auto multi = read(
      R"({"edges":[{"source":"a","target":"b","properties":{}},{"source":"b","target":"a","properties":{}}],"nodes":[["a",{}],["b",{}]],"name":"","directed":false,"multi":true})");
  ASSERT_TRUE(multi) << message(multi);
  EXPECT_EQ(multi->edge_count(), 2u);
}

TEST(GraphJsonReader, CapsAndTheirOrder) {
  std::string doc =
      R"({"directed":true,"name":"","nodes":[["a",{}],["b",{}]],"edges":[["a","b",{}]]})";
  EXPECT_TRUE(graph_from_json_checked(doc, doc.size(), 2, 1));
  EXPECT_EQ(graph_from_json_checked(doc, doc.size() - 1, 2, 1).error(),
            "Graph JSON is " + std::to_string(doc.size()) + " bytes; refusing to parse above " +
                std::to_string(doc.size() - 1) +
                " bytes (raise QuorGraphSettings.max_bytes if intended).");
  EXPECT_EQ(graph_from_json_checked(doc, kBig, 1, 0).error(),
            "Graph JSON declares 2 nodes; refusing above max_nodes=1 (raise "
            "QuorGraphSettings.max_nodes if intended).");
  EXPECT_EQ(graph_from_json_checked(doc, kBig, 2, 0).error(),
            "Graph JSON declares 1 edges; refusing above max_edges=0 (raise "
            "QuorGraphSettings.max_edges if intended).");
  // The byte cap comes before any parsing; a parse error before the node cap.
  EXPECT_EQ(message(graph_from_json_checked("not json", 3, 0, 0)).rfind("Graph JSON is 8 bytes", 0),
            0u);
  EXPECT_EQ(message(graph_from_json_checked(doc + "x", kBig, 0, 0)).rfind("trailing characters", 0),
            0u);
  // The node cap wins over an insertion error.
  std::string twice = R"({"directed":true,"name":"","nodes":[["a",{}],["a",{}]],"edges":[]})";
  EXPECT_EQ(graph_from_json_checked(twice, kBig, kBig, kBig).error(), "Node 'a' already exists");
  EXPECT_EQ(message(graph_from_json_checked(twice, kBig, 1, kBig))
                .rfind("Graph JSON declares 2 nodes", 0),
            0u);
}

TEST(GraphJsonReader, InsertionErrors) {
  EXPECT_EQ(read_error(R"({"directed":true,"name":"","nodes":[["a",{}]],"edges":[["a","z",{}]]})"),
            "Target node 'z' not found");
  EXPECT_EQ(read_error(R"({"directed":true,"name":"","nodes":[["a",{}]],"edges":[["y","z",{}]]})"),
            "Source node 'y' not found");
  EXPECT_EQ(
      read_error(
          R"({"directed":true,"multi":false,"name":"","nodes":[["a",{}],["b",{}]],"edges":[["a","b",{}],["a","b",{}]]})"),
      "Edge 'a' -> 'b' already exists");
  EXPECT_TRUE(read(
      R"({"directed":true,"multi":false,"name":"","nodes":[["a",{}],["b",{}]],"edges":[["a","b",{}],["b","a",{}],["a","a",{}]]})"));
  EXPECT_EQ(
      read_error(
          R"({"directed":false,"multi":false,"name":"","nodes":[["a",{}],["b",{}]],"edges":[["a","b",{}],["b","a",{}]]})"),
      "Edge 'b' -> 'a' already exists");
}

TEST(GraphJsonRoundTrip, SameNodesEdgesOrderAndKinds) {
  GraphRecord g(true, "r\u00e9seau \"x\"", true);
  PropertyMap p;
  p.set("i", PropertyValue::integer(-3));
  p.set("u", PropertyValue::pos_int(UINT64_MAX));
  p.set("f", PropertyValue::number(1.0));
  p.set("s", PropertyValue::string("tab\there"));
  p.set("a", PropertyValue::array({PropertyValue::null(), PropertyValue::boolean(false)}));
  p.set("o", PropertyValue::object({{Str::make("z"), PropertyValue::number(-0.0)},
                                    {Str::make("y"), PropertyValue::integer(7)}}));
  for (const char* id : {"x", "y", "z"}) ASSERT_TRUE(add_node_core(g, id, p));
  ASSERT_TRUE(add_edge_core(g, "x", "y", p));
  ASSERT_TRUE(add_edge_core(g, "x", "y", {}));
  ASSERT_TRUE(add_edge_core(g, "z", "z", {}));
  ASSERT_TRUE(remove_node_core(g, "y"));
  ASSERT_TRUE(add_node_core(g, "w", {}));
  ASSERT_TRUE(add_edge_core(g, "w", "x", p));
  std::string text = write(g);
  auto back = read(text);
  ASSERT_TRUE(back) << message(back);
  EXPECT_EQ(write(*back), text);
  EXPECT_EQ(back->name(), g.name());
  EXPECT_EQ(*node_properties(*back, "x"), p);
  EXPECT_EQ(back->edge_count(), 2u);
}

TEST(PickleState, MagicSizeAndUtf8Checks) {
  GraphRecord g;
  ASSERT_TRUE(add_node_core(g, "a", {}));
  std::string state = *pickle_state_bytes(g);
  EXPECT_EQ(state.substr(0, 4), "QGR1");
  ASSERT_TRUE(graph_from_pickle_state(state));
  EXPECT_EQ(graph_from_pickle_state("QGR").error(),
            "quor-graph pickle payload too short to contain magic header.");
  EXPECT_EQ(graph_from_pickle_state("QGR2{}").error(),
            "quor-graph pickle magic mismatch: expected b'QGR1', got [81, 71, 82, 50]. Pickled "
            "state from a different quor-graph release or format.");
  EXPECT_EQ(graph_from_pickle_state("QGR1").error(),
            "EOF while parsing a value at line 1 column 0");
  const char* prefix = "quor-graph pickle payload after magic header is not UTF-8: ";
  EXPECT_EQ(graph_from_pickle_state("QGR1ab\xff").error(),
            std::string(prefix) + "invalid utf-8 sequence of 1 bytes from index 2");
  EXPECT_EQ(graph_from_pickle_state("QGR1a\xe2\x82").error(),
            std::string(prefix) + "incomplete utf-8 byte sequence from index 1");
  EXPECT_EQ(graph_from_pickle_state("QGR1\xe2\x82x").error(),
            std::string(prefix) + "invalid utf-8 sequence of 2 bytes from index 0");
  EXPECT_EQ(graph_from_pickle_state("QGR1\xed\xa0\x80").error(),
            std::string(prefix) + "invalid utf-8 sequence of 1 bytes from index 0");
  EXPECT_EQ(graph_from_pickle_state("QGR1\xf0\x9f\x98x").error(),
            std::string(prefix) + "invalid utf-8 sequence of 3 bytes from index 0");
  std::string huge(kPickleStateCap + 1, ' ');
  EXPECT_EQ(message(graph_from_pickle_state(huge))
                .rfind("quor-graph pickle payload is 67108865 bytes; "
                       "refusing to deserialize above 67108864 bytes",
                       0),
            0u);
  huge.resize(kPickleStateCap);
  huge.replace(0, 4, "QGR1");
  // Exactly the cap passes the size check and reaches the reader.
  EXPECT_EQ(message(graph_from_pickle_state(huge)).rfind("EOF while parsing a value", 0), 0u);
}

}  // namespace
}  // namespace qg
