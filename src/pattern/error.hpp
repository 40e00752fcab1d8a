// Propagation of a failed Result inside the library: a caller tests it and returns its Error
// unchanged with VORLEN_TRY / VORLEN_ASSIGN.
#pragma once

#include <utility>

#include "vorlen/error.hpp"

#define VORLEN_CONCAT_INNER(a, b) a##b
#define VORLEN_CONCAT(a, b) VORLEN_CONCAT_INNER(a, b)

// Evaluates a Result-returning expression and returns its Error from the enclosing function.
#define VORLEN_TRY(expr)                                                   \
  do {                                                                     \
    auto&& vorlen_try_result_ = (expr);                                    \
    if (!vorlen_try_result_) return std::move(vorlen_try_result_).error(); \
  } while (false)

// Declares or assigns `lhs` from the value of a Result, returning its Error on failure:
//   VORLEN_ASSIGN(double x, number(token));
#define VORLEN_ASSIGN(lhs, expr) \
  VORLEN_ASSIGN_IMPL(VORLEN_CONCAT(vorlen_result_, __LINE__), lhs, expr)
#define VORLEN_ASSIGN_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                       \
  if (!tmp) return std::move(tmp).error(); \
  lhs = std::move(tmp).value()
