// Subgraphs selected by string type and by kind-exact property value.

#include "core/knowledge/extract.h"

#include "knowledge_fixture.h"

namespace qg {
namespace {

using namespace knowledge_test;

GraphRecord typed() {
  GraphRecord g(true, "kg", true);
  EXPECT_TRUE(add_node_core(g, "x", props({{"type", S("t")}})));
  EXPECT_TRUE(add_node_core(g, "a", props({{"type", S("t")}, {"age", I(30)}})));
  EXPECT_TRUE(
      add_node_core(g, "b", props({{"type", S("u")}, {"age", PropertyValue::number(30.0)}})));
  EXPECT_TRUE(add_node_core(g, "c", props({{"type", S("v")}, {"age", S("30")}})));
  EXPECT_TRUE(add_node_core(
      g, "l", props({{"type", PropertyValue::array({S("t")})}, {"age", PropertyValue::null()}})));
  EXPECT_TRUE(add_node_core(g, "n", {}));
  EXPECT_TRUE(add_edge_core(g, "a", "b", {}));
  EXPECT_TRUE(add_edge_core(g, "b", "c", {}));
  EXPECT_TRUE(add_edge_core(g, "b", "a", {}));
  EXPECT_TRUE(add_edge_core(g, "a", "b", {}));
  EXPECT_TRUE(remove_node_core(g, "x"));
  return g;
}

struct TypesCase {
  std::vector<std::string> types;
  Ids nodes;
  Pairs edges;
};

class ByTypes : public ::testing::TestWithParam<TypesCase> {};

TEST_P(ByTypes, SelectsByStringType) {
  GraphRecord g = typed();
  GraphRecord s = extract_by_types_core(g, GetParam().types);
  EXPECT_EQ(ids(s), GetParam().nodes);
  EXPECT_EQ(pairs(s), GetParam().edges);
  EXPECT_EQ(s.name(), "kg");
  EXPECT_TRUE(s.directed());
  EXPECT_TRUE(s.multi());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ByTypes,
    ::testing::Values(TypesCase{{}, {}, {}}, TypesCase{{"t"}, {"a"}, {}},
                      TypesCase{{"u", "t", "t"}, {"a", "b"}, {{"a", "b"}, {"b", "a"}, {"a", "b"}}},
                      TypesCase{{"v", "u"}, {"b", "c"}, {{"b", "c"}}}, TypesCase{{"T"}, {}, {}}));

struct PropertyCase {
  const char* key;
  PropertyValue value;
  Ids nodes;
};

class ByProperty : public ::testing::TestWithParam<PropertyCase> {};

TEST_P(ByProperty, KindExactEquality) {
  GraphRecord g = typed();
  EXPECT_EQ(ids(extract_by_property_core(g, GetParam().key, GetParam().value)), GetParam().nodes);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ByProperty,
    ::testing::Values(PropertyCase{"age", I(30), {"a"}},
                      PropertyCase{"age", PropertyValue::number(30.0), {"b"}},
                      PropertyCase{"age", S("30"), {"c"}},
                      PropertyCase{"age", PropertyValue::null(), {"l"}},
                      PropertyCase{"type", PropertyValue::array({S("t")}), {"l"}},
                      PropertyCase{"missing", PropertyValue::null(), {}},
                      PropertyCase{"age", PropertyValue::boolean(true), {}}));

TEST(ByProperty, SelectedEdgesOnly) {
  GraphRecord h(true, "", false);
  ASSERT_TRUE(add_node_core(h, "a", props({{"k", I(1)}})));
  ASSERT_TRUE(add_node_core(h, "b", props({{"k", I(1)}})));
  ASSERT_TRUE(add_node_core(h, "c", props({{"k", I(2)}})));
  ASSERT_TRUE(add_edge_core(h, "a", "b", {}));
  ASSERT_TRUE(add_edge_core(h, "b", "c", {}));
  GraphRecord s = extract_by_property_core(h, "k", I(1));
  EXPECT_EQ(ids(s), (Ids{"a", "b"}));
  EXPECT_EQ(pairs(s), (Pairs{{"a", "b"}}));
  EXPECT_EQ(node_props(s, "a"), props({{"k", I(1)}}));
}

}  // namespace
}  // namespace qg
