// The Python module vorlen: read, read_bytes and the Pattern type.
#include "binding/compat.hpp"

#include <array>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vorlen/vorlen.hpp"

namespace {

using vorlen::Error;
using vorlen::ErrorKind;

struct PatternObject {
  PyObject_HEAD vorlen::Pattern* pattern;
};

// One strong reference, released on every way out of its scope, a C++ exception included.
class Ref {
 public:
  Ref() = default;
  static Ref steal(PyObject* object) { return Ref(object); }
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }
  Ref(Ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref& operator=(Ref&&) = delete;
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

// Strong references to the parsed arguments for the whole call. They are borrowed from the
// call's tuple and keyword dict; a caller may hand over a dict of its own, which code run during
// conversion (__index__, __float__) or another thread may empty.
template <class... Objects>
std::array<Ref, sizeof...(Objects)> hold(Objects*... objects) {
  return {Ref::borrow(objects)...};
}

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
  // The record first: if its allocation fails, no Python object is left behind.
  auto pattern = std::make_unique<vorlen::Pattern>(std::move(result).value());
  auto* self = reinterpret_cast<PatternObject*>(type->tp_alloc(type, 0));
  if (self == nullptr) return nullptr;
  self->pattern = pattern.release();
  return reinterpret_cast<PyObject*>(self);
}

// --- argument conversion --------------------------------------------------------------------

int type_error(const char* function, const char* argument, const char* expected, PyObject* got) {
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %.200s", function, argument,
               expected, Py_TYPE(got)->tp_name);
  return -1;
}

// Whether the pending exception is an ordinary failure, which argument conversion reports as
// its own type error; an interrupt, an exit or exhausted memory passes through unchanged.
bool ordinary_failure() {
  return PyErr_ExceptionMatches(PyExc_Exception) && !PyErr_ExceptionMatches(PyExc_MemoryError);
}

int as_utf8(const char* function, const char* argument, PyObject* object, std::string_view* out) {
  if (!PyUnicode_Check(object)) return type_error(function, argument, "str", object);
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return -1;
  *out = std::string_view(utf8, static_cast<std::size_t>(size));
  return 0;
}

// The contents of a bytes object, valid while it lives.
std::string_view text_of(PyObject* bytes) {
  return std::string_view(PyBytes_AS_STRING(bytes),
                          static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
}

// A file name as the operating system's own functions encode it: the file-system encoding with
// surrogate escapes, so every name os.listdir returns (a byte that is not UTF-8 arrives as a lone
// surrogate) names its file again; valid text comes out as plain UTF-8. The encoded bytes, or
// nothing with an exception set.
Ref as_file_name(const char* function, const char* argument, PyObject* object) {
  if (!PyUnicode_Check(object)) {
    type_error(function, argument, "str", object);
    return Ref();
  }
  return Ref::steal(PyUnicode_EncodeFSDefault(object));
}

// index (keyword-only, default 0) and block (keyword-only, None or str), in that order.
int as_options(const char* function, PyObject* index, PyObject* block,
               vorlen::ReadOptions* options) {
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
Ref pattern_type_of(PyObject* module) {
  Ref found = Ref::steal(PyObject_GetAttrString(module, "Pattern"));
  if (!found) return found;
  auto* type = reinterpret_cast<PyTypeObject*>(found.get());
  if (!PyType_Check(found.get()) || !PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE) ||
      PyType_GetSlot(type, Py_tp_dealloc) != reinterpret_cast<void*>(pattern_dealloc)) {
    PyErr_SetString(PyExc_TypeError, "vorlen.Pattern has been replaced by another object");
    return Ref();
  }
  return found;
}

PyObject* call_with_type(PyObject* module, auto read) {
  Ref type = pattern_type_of(module);
  if (!type) return nullptr;
  return wrap(reinterpret_cast<PyTypeObject*>(type.get()), read());
}

PyObject* read(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"path", "index", "block", nullptr};
  PyObject *path = nullptr, *index = nullptr, *block = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OO:read", const_cast<char**>(keywords), &path,
                                   &index, &block)) {
    return nullptr;
  }
  const auto held = hold(path, index, block);
  return guarded([&]() -> PyObject* {
    vorlen::ReadOptions options;
    Ref encoded = as_file_name("read", "path", path);
    if (!encoded || as_options("read", index, block, &options) < 0) return nullptr;
    const std::string_view name = text_of(encoded.get());
    return call_with_type(module, [&] { return vorlen::read_with_options(name, options); });
  });
}

PyObject* read_bytes(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"data", "filename", "index", "block", nullptr};
  PyObject *data = nullptr, *filename = nullptr, *index = nullptr, *block = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OO:read_bytes", const_cast<char**>(keywords),
                                   &data, &filename, &index, &block)) {
    return nullptr;
  }
  const auto held = hold(data, filename, index, block);
  return guarded([&]() -> PyObject* {
    if (!PyBytes_Check(data)) return type_error("read_bytes", "data", "bytes", data), nullptr;
    vorlen::ReadOptions options;
    Ref encoded = as_file_name("read_bytes", "filename", filename);
    if (!encoded || as_options("read_bytes", index, block, &options) < 0) return nullptr;
    // The bytes object is immutable and held for the call: parsed in place.
    const std::string_view content = text_of(data);
    const vorlen::Bytes view(reinterpret_cast<const unsigned char*>(content.data()),
                             content.size());
    const std::string_view name = text_of(encoded.get());
    return call_with_type(module,
                          [&] { return vorlen::read_bytes_with_options(view, name, options); });
  });
}

// --- Pattern --------------------------------------------------------------------------------

int not_a_sequence(const char* argument, PyObject* object) {
  return type_error("Pattern", argument, "a sequence of numbers", object);
}

// 1 when `object` is registered as a collections.abc.Sequence, 0 when not, -1 with an exception
// set when the check itself failed otherwise than by an ordinary exception.
int is_abc_sequence(PyObject* object) {
  Ref abc = Ref::steal(PyImport_ImportModule("collections.abc"));
  if (!abc) return -1;
  Ref sequence = Ref::steal(PyObject_GetAttrString(abc.get(), "Sequence"));
  if (!sequence) return -1;
  int is_instance = PyObject_IsInstance(object, sequence.get());
  if (is_instance < 0 && ordinary_failure()) {
    PyErr_Clear();
    return 0;
  }
  return is_instance;
}

// The elements as a tuple no Python code can change while they are converted (a __float__ may
// empty or grow the very list it sits in): a tuple is kept, a list copied, anything else iterated
// into a list first (which trusts no length the object claims) and copied from there.
Ref frozen_elements(PyObject* object) {
  if (PyTuple_CheckExact(object)) return Ref::borrow(object);
  if (PyList_CheckExact(object)) return Ref::steal(PyList_AsTuple(object));
  Ref list = Ref::steal(PySequence_List(object));
  if (!list) return list;
  return Ref::steal(PyList_AsTuple(list.get()));
}

int as_floats(const char* argument, PyObject* object, std::vector<double>* out) {
  if (PyUnicode_Check(object)) return not_a_sequence(argument, object);
  if (!PySequence_Check(object)) {
    int registered = is_abc_sequence(object);
    if (registered <= 0) return registered < 0 ? -1 : not_a_sequence(argument, object);
  }
  Ref elements = frozen_elements(object);
  if (!elements) {
    if (!ordinary_failure()) return -1;
    PyErr_Clear();
    return not_a_sequence(argument, object);
  }
  const Py_ssize_t n = PyTuple_GET_SIZE(elements.get());
  out->reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* element = PyTuple_GET_ITEM(elements.get(), i);
    const double value = PyFloat_AsDouble(element);
    if (value == -1.0 && PyErr_Occurred()) {
      if (!ordinary_failure()) return -1;
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "Pattern() argument '%s' must contain only numbers, not %.200s",
                   argument, Py_TYPE(element)->tp_name);
      return -1;
    }
    out->push_back(value);
  }
  return 0;
}

PyObject* pattern_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"x", "y", nullptr};
  PyObject *x = nullptr, *y = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:Pattern", const_cast<char**>(keywords), &x,
                                   &y)) {
    return nullptr;
  }
  const auto held = hold(x, y);
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

PyObject* get_x(PyObject* self, void*) {
  return to_list(reinterpret_cast<PatternObject*>(self)->pattern->x());
}
PyObject* get_y(PyObject* self, void*) {
  return to_list(reinterpret_cast<PatternObject*>(self)->pattern->y());
}

PyGetSetDef pattern_getset[] = {
    {"x", get_x, nullptr, "Diffraction angle 2\xCE\xB8, in degrees, strictly increasing.", nullptr},
    {"y", get_y, nullptr, "Intensity in the file's units (counts or counts per second).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot pattern_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "Pattern(x, y)\n--\n\n"
                    "One diffraction pattern. Extra file columns are deliberately not returned.")},
    {Py_tp_new, reinterpret_cast<void*>(pattern_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(pattern_dealloc)},
    {Py_tp_getset, pattern_getset},
    {0, nullptr},
};

PyType_Spec pattern_spec = {
    "vorlen.Pattern",
    sizeof(PatternObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,  // no BASETYPE: cannot be subclassed
    pattern_slots,
};

// --- module ---------------------------------------------------------------------------------

PyMethodDef read_def = {"read",
                        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(read)),
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
