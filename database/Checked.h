// Arithmetic that fails on overflow instead of wrapping.
//
// The routines compute with 16-bit Integers and 32-bit Longs; a sum or
// product that leaves its type is an error that takes the routine's failure
// path.  Each helper stores the result only when it fits and returns false
// otherwise, leaving the destination as it was.
#pragma once

#include <type_traits>

namespace ondrel {

template <typename T, typename A, typename B>
bool CheckedAdd(A a, B b, T& out) {
  static_assert(std::is_integral_v<T>);
  T r;
  if (__builtin_add_overflow(a, b, &r)) return false;
  out = r;
  return true;
}

template <typename T, typename A, typename B>
bool CheckedSub(A a, B b, T& out) {
  static_assert(std::is_integral_v<T>);
  T r;
  if (__builtin_sub_overflow(a, b, &r)) return false;
  out = r;
  return true;
}

template <typename T, typename A, typename B>
bool CheckedMul(A a, B b, T& out) {
  static_assert(std::is_integral_v<T>);
  T r;
  if (__builtin_mul_overflow(a, b, &r)) return false;
  out = r;
  return true;
}

}  // namespace ondrel
