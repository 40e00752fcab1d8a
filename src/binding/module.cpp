// The Python module vorlen: read, read_bytes and the Pattern type.
#include "binding/compat.hpp"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "vorlen/vorlen.hpp"

namespace {

using vorlen::Error;
using vorlen::ErrorKind;

struct PatternObject {
  PyObject_HEAD
  vorlen::Pattern* pattern;
};

// --- error mapping --------------------------------------------------------------------------

void raise_error(const Error& error) {
  if (error.kind() == ErrorKind::Io) {
    PyErr_SetString(PyExc_OSError, error.detail().c_str());
  } else {
    PyErr_SetString(PyExc_ValueError, error.display().c_str());
  }
}

// A defect inside the library must surface as a Python exception, never end the interpreter.
template <class Body>
PyObject* guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_Format(PyExc_RuntimeError, "internal error in vorlen: %s", e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "internal error in vorlen");
  }
  return nullptr;
}

PyObject* wrap(PyTypeObject* type, vorlen::Result<vorlen::Pattern> result) {
  if (!result) {
    raise_error(result.error());
    return nullptr;
  }
  auto* self = reinterpret_cast<PatternObject*>(type->tp_alloc(type, 0));
  if (self == nullptr) return nullptr;
  self->pattern = new vorlen::Pattern(std::move(result).value());
  return reinterpret_cast<PyObject*>(self);
}

// --- argument conversion --------------------------------------------------------------------

int type_error(const char* function, const char* argument, const char* expected, PyObject* got) {
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %.200s", function, argument,
               expected, Py_TYPE(got)->tp_name);
  return -1;
}

int as_utf8(const char* function, const char* argument, PyObject* object, std::string_view* out) {
  if (!PyUnicode_Check(object)) return type_error(function, argument, "str", object);
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return -1;
  *out = std::string_view(utf8, static_cast<std::size_t>(size));
  return 0;
}

// index (keyword-only, default 0) and block (keyword-only, None or str), in that order.
int as_options(const char* function, PyObject* index, PyObject* block, vorlen::ReadOptions* options) {
  if (index != nullptr) {
    if (!PyIndex_Check(index)) return type_error(function, "index", "an integer", index);
    if (vorlen::binding::as_uint64(index, &options->index) < 0) return -1;
  }
  if (block != nullptr && block != Py_None) {
    std::string_view text;
    if (as_utf8(function, "block", block, &text) < 0) return -1;
    options->block = std::string(text);
  }
  return 0;
}

void pattern_dealloc(PyObject* self);

// The type results are made of. It is looked up on the module (which has no state of its own),
// so make sure it still is ours: an object of another layout would be written out of bounds.
PyTypeObject* pattern_type_of(PyObject* module) {
  PyObject* found = PyObject_GetAttrString(module, "Pattern");
  if (found == nullptr) return nullptr;
  auto* type = reinterpret_cast<PyTypeObject*>(found);
  if (!PyType_Check(found) || !PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE) ||
      PyType_GetSlot(type, Py_tp_dealloc) != reinterpret_cast<void*>(pattern_dealloc)) {
    Py_DECREF(found);
    PyErr_SetString(PyExc_TypeError, "vorlen.Pattern has been replaced by another object");
    return nullptr;
  }
  return type;
}

PyObject* call_with_type(PyObject* module, auto read) {
  PyTypeObject* type = pattern_type_of(module);
  if (type == nullptr) return nullptr;
  PyObject* result = guarded([&] { return wrap(type, read()); });
  Py_DECREF(type);
  return result;
}

PyObject* read(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"path", "index", "block", nullptr};
  PyObject *path = nullptr, *index = nullptr, *block = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OO:read", const_cast<char**>(keywords), &path,
                                   &index, &block)) {
    return nullptr;
  }
  std::string_view path_text;
  vorlen::ReadOptions options;
  if (as_utf8("read", "path", path, &path_text) < 0) return nullptr;
  if (as_options("read", index, block, &options) < 0) return nullptr;
  return call_with_type(module, [&] { return vorlen::read_with_options(path_text, options); });
}

PyObject* read_bytes(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"data", "filename", "index", "block", nullptr};
  PyObject *data = nullptr, *filename = nullptr, *index = nullptr, *block = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OO:read_bytes", const_cast<char**>(keywords),
                                   &data, &filename, &index, &block)) {
    return nullptr;
  }
  if (!PyBytes_Check(data)) return type_error("read_bytes", "data", "bytes", data), nullptr;
  std::string_view name;
  vorlen::ReadOptions options;
  if (as_utf8("read_bytes", "filename", filename, &name) < 0) return nullptr;
  if (as_options("read_bytes", index, block, &options) < 0) return nullptr;
  // The bytes object is immutable and stays referenced by the call: parsed in place.
  vorlen::Bytes view(reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(data)),
                     static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
  return call_with_type(module, [&] { return vorlen::read_bytes_with_options(view, name, options); });
}

// --- Pattern --------------------------------------------------------------------------------

bool is_abc_sequence(PyObject* object) {
  PyObject* abc = PyImport_ImportModule("collections.abc");
  if (abc == nullptr) return false;
  PyObject* sequence = PyObject_GetAttrString(abc, "Sequence");
  Py_DECREF(abc);
  if (sequence == nullptr) return false;
  int is_instance = PyObject_IsInstance(object, sequence);
  Py_DECREF(sequence);
  if (is_instance < 0) PyErr_Clear();
  return is_instance > 0;
}

int as_floats(const char* argument, PyObject* object, std::vector<double>* out) {
  if (PyUnicode_Check(object)) return type_error("Pattern", argument, "a sequence of numbers", object);
  if (!PySequence_Check(object) && !is_abc_sequence(object)) {
    if (PyErr_Occurred()) return -1;
    return type_error("Pattern", argument, "a sequence of numbers", object);
  }
  PyObject* items = PySequence_Fast(object, "");
  if (items == nullptr) {
    PyErr_Clear();
    return type_error("Pattern", argument, "a sequence of numbers", object);
  }
  Py_ssize_t n = PySequence_Fast_GET_SIZE(items);
  PyObject** item = PySequence_Fast_ITEMS(items);
  out->reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    double value = PyFloat_AsDouble(item[i]);
    if (value == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "Pattern() argument '%s' must contain only numbers, not %.200s",
                   argument, Py_TYPE(item[i])->tp_name);
      Py_DECREF(items);
      return -1;
    }
    out->push_back(value);
  }
  Py_DECREF(items);
  return 0;
}

PyObject* pattern_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"x", "y", nullptr};
  PyObject *x = nullptr, *y = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:Pattern", const_cast<char**>(keywords), &x, &y)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::vector<double> xs, ys;
    if (as_floats("x", x, &xs) < 0 || as_floats("y", y, &ys) < 0) return nullptr;
    return wrap(type, vorlen::Pattern::create(std::move(xs), std::move(ys)));
  });
}

void pattern_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<PatternObject*>(self)->pattern;
  type->tp_free(self);
  Py_DECREF(type);
}

// A new list on every access: the pattern itself never changes.
PyObject* to_list(const std::vector<double>& values) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
  if (list == nullptr) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

PyObject* get_x(PyObject* self, void*) { return to_list(reinterpret_cast<PatternObject*>(self)->pattern->x()); }
PyObject* get_y(PyObject* self, void*) { return to_list(reinterpret_cast<PatternObject*>(self)->pattern->y()); }

PyGetSetDef pattern_getset[] = {
    {"x", get_x, nullptr, "Diffraction angle 2\xCE\xB8, in degrees, strictly increasing.", nullptr},
    {"y", get_y, nullptr, "Intensity in the file's units (counts or counts per second).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot pattern_slots[] = {
    {Py_tp_doc, const_cast<char*>("Pattern(x, y)\n--\n\n"
                                  "One diffraction pattern. Extra file columns are deliberately not returned.")},
    {Py_tp_new, reinterpret_cast<void*>(pattern_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(pattern_dealloc)},
    {Py_tp_getset, pattern_getset},
    {0, nullptr},
};

PyType_Spec pattern_spec = {
    "vorlen.Pattern", sizeof(PatternObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,  // no BASETYPE: cannot be subclassed
    pattern_slots,
};

// --- module ---------------------------------------------------------------------------------

PyMethodDef read_def = {
    "read", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(read)),
    METH_VARARGS | METH_KEYWORDS,
    "read(path, *, index=0, block=None)\n--\n\n"
    "Load one XRD pattern as x (2theta degrees) and y (intensity)."};

PyMethodDef read_bytes_def = {
    "read_bytes", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(read_bytes)),
    METH_VARARGS | METH_KEYWORDS,
    "read_bytes(data, filename, *, index=0, block=None)\n--\n\n"
    "Load bytes using content detection and a filename hint."};

// Adds a public attribute and records its name in __all__ (created by the first addition).
int add_public(PyObject* module, const char* name, PyObject* value) {
  if (value == nullptr) return -1;
  int status = vorlen::binding::add_object_ref(module, name, value);
  Py_DECREF(value);
  if (status < 0) return -1;
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr || vorlen::binding::add_object_ref(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return -1;
    }
  }
  PyObject* text = PyUnicode_FromString(name);
  status = text == nullptr ? -1 : PyList_Append(all, text);
  Py_XDECREF(text);
  Py_DECREF(all);
  return status;
}

PyObject* new_function(PyMethodDef* def, PyObject* module) {
  PyObject* module_name = PyModule_GetNameObject(module);
  if (module_name == nullptr) return nullptr;
  PyObject* function = PyCFunction_NewEx(def, module, module_name);
  Py_DECREF(module_name);
  return function;
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "vorlen can only be executed on a module object");
    return -1;
  }
  if (add_public(module, "Pattern", PyType_FromModuleAndSpec(module, &pattern_spec, nullptr)) < 0 ||
      add_public(module, "__version__", PyUnicode_FromString("1.0.0")) < 0 ||
      add_public(module, "read", new_function(&read_def, module)) < 0 ||
      add_public(module, "read_bytes", new_function(&read_bytes_def, module)) < 0) {
    return -1;
  }
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "vorlen", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_vorlen(void) { return PyModuleDef_Init(&module_def); }
