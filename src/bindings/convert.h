// Conversions between host objects and property values.
//
// Host to value tests, in order: None; bool (numpy bool too); an integer in
// the signed 64-bit range; anything the float conversion takes (NaN and the
// infinities become null); a UTF-8-encodable str; list; dict with str keys;
// else the object's str() text (lone surrogates become U+FFFD x3). A number
// test moves on only when its conversion fails with TypeError, ValueError or
// OverflowError; any other exception fails the conversion. Lists and
// dicts nest at most kMaxNesting levels, the deepest value that graph JSON
// can hold (so whatever is read back can be stored again); a list or dict
// that contains itself fails with ValueError instead of exhausting the stack.
// Value to host: PosInt above the signed 64-bit range comes back as a float;
// objects come back with their keys in sorted order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "core/graph/graph_json.h"
#include "core/graph/property_value.h"

namespace qgpy {

inline constexpr int kMaxNesting = qg::kMaxValueNesting;

// False with a host exception set on failure; `out` is then unspecified.
bool py_to_property_value(PyObject* o, qg::PropertyValue& out);
// The number tests alone (an integer in the signed 64-bit range, then the
// float conversion): 1 with `out` set; 0 when o is no such number (the
// conversions' own failures cleared); -1 with any other exception pending.
int py_number_value(PyObject* o, qg::PropertyValue& out);
bool py_list_to_property_values(PyObject* list, std::vector<qg::PropertyValue>& out);
PyObject* property_value_to_py(const qg::PropertyValue& v);
PyObject* properties_to_pydict(const qg::PropertyMap& m);
// dict or nullptr/None. The caller has checked the type. Property names are
// taken from `keys` when given (one Str per name per graph).
bool pydict_to_properties(PyObject* dict, qg::PropertyMap& out, qg::StrInterner* keys = nullptr);

}  // namespace qgpy
