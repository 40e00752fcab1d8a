// The few C API calls that differ between CPython 3.9 and 3.14, behind one set of names.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace vorlen::binding {

// Adds `value` to `module` under `name` without stealing the reference.
inline int add_object_ref(PyObject* module, const char* name, PyObject* value) {
#if PY_VERSION_HEX >= 0x030A0000
  return PyModule_AddObjectRef(module, name, value);
#else
  Py_INCREF(value);
  if (PyModule_AddObject(module, name, value) < 0) {
    Py_DECREF(value);
    return -1;
  }
  return 0;
#endif
}

// An object with __index__ as an unsigned 64-bit value; OverflowError when negative or too large
// on every version (3.14's PyLong_AsUInt64 would report a negative value as ValueError).
inline int as_uint64(PyObject* object, std::uint64_t* value) {
  PyObject* integer = PyNumber_Index(object);
  if (integer == nullptr) return -1;
  int sign = PyObject_RichCompareBool(integer, Py_False, Py_LT);  // False == 0
  if (sign != 0) {
    Py_DECREF(integer);
    if (sign > 0) PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
    return -1;
  }
#if PY_VERSION_HEX >= 0x030E0000
  int status = PyLong_AsUInt64(integer, value);
  Py_DECREF(integer);
  return status;
#else
  unsigned long long result = PyLong_AsUnsignedLongLong(integer);
  Py_DECREF(integer);
  if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return -1;
  *value = static_cast<std::uint64_t>(result);
  return 0;
#endif
}

}  // namespace vorlen::binding

#ifndef Py_TPFLAGS_IMMUTABLETYPE
#define Py_TPFLAGS_IMMUTABLETYPE 0
#endif
