#include "bindings/convert.h"

#include <cmath>
#include <limits>
#include <string>

#include "bindings/frame.h"
#include "bindings/pyref.h"
#include "core/common/result.h"

namespace qgpy {

namespace {

// `depth`: the lists and dicts around o.
bool to_value(PyObject* o, qg::PropertyValue& out, int depth);

bool too_deep() {
  PyErr_Format(PyExc_ValueError,
               "Property value is nested more than %d levels deep (or contains itself)",
               kMaxNesting);
  return false;
}

// The text of a str holding lone surrogates: each surrogate's three UTF-8
// bytes become three U+FFFD characters.
bool lossy_text(PyObject* text, qg::PropertyValue& out) {
  Ref bytes(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!bytes) return false;
  char* data = nullptr;
  Py_ssize_t len = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &data, &len) < 0) return false;
  std::string s;
  s.reserve(static_cast<size_t>(len));
  for (Py_ssize_t i = 0; i < len; ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    if (b == 0xED && i + 2 < len && (static_cast<unsigned char>(data[i + 1]) & 0xE0) == 0xA0) {
      for (int k = 0; k < 3; ++k) s += "\xEF\xBF\xBD";
      i += 2;
    } else {
      s += static_cast<char>(b);
    }
  }
  out = qg::PropertyValue::string(s);
  return true;
}

bool str_fallback(PyObject* o, qg::PropertyValue& out) {
  Ref text(PyObject_Str(o));
  if (!text) return false;
  Py_ssize_t len = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &len);
  if (utf8) {
    out = qg::PropertyValue::string(std::string_view(utf8, static_cast<size_t>(len)));
    return true;
  }
  PyErr_Clear();
  return lossy_text(text.get(), out);
}

bool from_str(PyObject* o, qg::PropertyValue& out) {
  Py_ssize_t len = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &len);
  if (utf8) {
    out = qg::PropertyValue::string(std::string_view(utf8, static_cast<size_t>(len)));
    return true;
  }
  PyErr_Clear();
  return str_fallback(o, out);
}

bool from_double(double d, qg::PropertyValue& out) {
  out = std::isfinite(d) ? qg::PropertyValue::number(d) : qg::PropertyValue::null();
  return true;
}

bool from_list(PyObject* o, qg::PropertyValue& out, int depth) {
  std::vector<qg::PropertyValue> items;
  Py_ssize_t n = PyList_Size(o);
  if (n > 0) items.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < PyList_Size(o); ++i) {
    Ref item(PyList_GetItemRef(o, i));
    if (!item) return false;
    qg::PropertyValue v;
    if (!to_value(item.get(), v, depth + 1)) return false;
    items.push_back(std::move(v));
  }
  out = qg::PropertyValue::array(std::move(items));
  return true;
}

// Visits a dict's entries in order with strong references, faulting if the
// dict changes size underneath (the visit runs host code).
template <class Visit>
bool for_each_entry(PyObject* dict, Visit&& visit) {
  const Py_ssize_t size = PyDict_Size(dict);
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  Py_ssize_t seen = 0;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    Ref k = Ref::borrowed(key);
    Ref v = Ref::borrowed(value);
    if (!visit(k.get(), v.get())) return false;
    ++seen;
    if (PyDict_Size(dict) != size)
      throw qg::InternalFault("dictionary changed size during iteration");
  }
  if (seen != size) throw qg::InternalFault("dictionary keys changed during iteration");
  return true;
}

bool dict_key(PyObject* key, std::string_view& out) {
  if (!PyUnicode_Check(key)) {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'str'",
                 type_qualname(key).c_str());
    return false;
  }
  Py_ssize_t len = 0;
  const char* text = PyUnicode_AsUTF8AndSize(key, &len);
  if (!text) return false;
  out = std::string_view(text, static_cast<size_t>(len));
  return true;
}

bool from_dict(PyObject* o, qg::PropertyValue& out, int depth) {
  std::vector<qg::ObjectEntry> entries;
  entries.reserve(static_cast<size_t>(PyDict_Size(o)));
  bool ok = for_each_entry(o, [&](PyObject* key, PyObject* value) {
    std::string_view k;
    if (!dict_key(key, k)) return false;
    qg::PropertyValue v;
    if (!to_value(value, v, depth + 1)) return false;
    entries.emplace_back(qg::Str::make(k), std::move(v));
    return true;
  });
  if (!ok) return false;
  out = qg::PropertyValue::object(std::move(entries));
  return true;
}

// Keeps the interpreter's recursion count balanced even if a fault unwinds.
struct RecursionGuard {
  bool entered;
  RecursionGuard() : entered(Py_EnterRecursiveCall(" while converting a property value") == 0) {}
  ~RecursionGuard() {
    if (entered) Py_LeaveRecursiveCall();
  }
};

bool to_value(PyObject* o, qg::PropertyValue& out, int depth) {
  if (o == Py_None) {
    out = qg::PropertyValue::null();
    return true;
  }
  // Fast paths for the common exact types; they take the same branch as the
  // full sequence of tests would.
  if (PyUnicode_CheckExact(o)) return from_str(o, out);
  if (PyFloat_CheckExact(o)) return from_double(PyFloat_AsDouble(o), out);
  if (PyBool_Check(o)) {
    out = qg::PropertyValue::boolean(o == Py_True);
    return true;
  }
  if (!PyLong_CheckExact(o) && is_numpy_bool(o)) {
    int truth = PyObject_IsTrue(o);
    if (truth < 0) return false;
    out = qg::PropertyValue::boolean(truth != 0);
    return true;
  }
  if (int found = py_number_value(o, out)) return found > 0;
  if (PyUnicode_Check(o)) return from_str(o, out);
  if (PyList_Check(o) || PyDict_Check(o)) {
    if (depth >= kMaxNesting) return too_deep();
    RecursionGuard guard;
    if (!guard.entered) return false;
    return PyList_Check(o) ? from_list(o, out, depth) : from_dict(o, out, depth);
  }
  return str_fallback(o, out);
}

}  // namespace

int py_number_value(PyObject* o, qg::PropertyValue& out) {
  long long i = PyLong_AsLongLong(o);
  if (!(i == -1 && PyErr_Occurred())) {
    out = qg::PropertyValue::integer(i);
    return 1;
  }
  if (!clear_conversion_failure()) return -1;
  double d = PyFloat_AsDouble(o);
  if (!(d == -1.0 && PyErr_Occurred())) {
    from_double(d, out);
    return 1;
  }
  return clear_conversion_failure() ? 0 : -1;
}

bool py_to_property_value(PyObject* o, qg::PropertyValue& out) { return to_value(o, out, 0); }

bool py_list_to_property_values(PyObject* list, std::vector<qg::PropertyValue>& out) {
  qg::PropertyValue v;
  if (!from_list(list, v, 0)) return false;
  out.assign(v.as_array().begin(), v.as_array().end());
  return true;
}

PyObject* property_value_to_py(const qg::PropertyValue& v) {
  using qg::ValueKind;
  switch (v.kind()) {
    case ValueKind::Null: return Py_NewRef(Py_None);
    case ValueKind::Bool: return py_bool(v.as_bool());
    case ValueKind::PosInt:
      if (v.as_pos_int() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return PyFloat_FromDouble(static_cast<double>(v.as_pos_int()));
      return PyLong_FromUnsignedLongLong(v.as_pos_int());
    case ValueKind::NegInt: return PyLong_FromLongLong(v.as_neg_int());
    case ValueKind::Float: return PyFloat_FromDouble(v.as_float());
    case ValueKind::String: return py_str(v.as_string());
    case ValueKind::Array: {
      auto items = v.as_array();
      Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
      if (!list) return nullptr;
      for (size_t i = 0; i < items.size(); ++i) {
        PyObject* item = property_value_to_py(items[i]);
        if (!item) return nullptr;
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
      }
      return list.release();
    }
    case ValueKind::Object: {
      Ref dict(PyDict_New());
      if (!dict) return nullptr;
      for (const auto& [key, value] : v.as_object()) {
        Ref item(property_value_to_py(value));
        if (!item) return nullptr;
        Ref k(py_str(key.view()));
        if (!k || PyDict_SetItem(dict.get(), k.get(), item.get()) < 0) return nullptr;
      }
      return dict.release();
    }
  }
  return Py_NewRef(Py_None);
}

PyObject* properties_to_pydict(const qg::PropertyMap& m) {
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : m) {
    Ref item(property_value_to_py(value));
    if (!item) return nullptr;
    Ref k(py_str(key.view()));
    if (!k || PyDict_SetItem(dict.get(), k.get(), item.get()) < 0) return nullptr;
  }
  return dict.release();
}

bool pydict_to_properties(PyObject* dict, qg::PropertyMap& out, qg::StrInterner* keys) {
  out = qg::PropertyMap();
  if (!dict || dict == Py_None) return true;
  qg::PropertyMap map;
  map.reserve(static_cast<size_t>(PyDict_Size(dict)));
  bool ok = for_each_entry(dict, [&](PyObject* key, PyObject* value) {
    std::string_view k;
    if (!dict_key(key, k)) return false;
    qg::PropertyValue v;
    if (!to_value(value, v, 0)) return false;
    // Keys of a dict are distinct, unless host code changed the dict while
    // we were reading it (which faults above).
    map.append_new(keys ? keys->get(k) : qg::Str::make(k), std::move(v));
    return true;
  });
  if (!ok) return false;
  out = std::move(map);
  return true;
}

}  // namespace qgpy
