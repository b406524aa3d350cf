// Two parts of the static C++ runtime, replaced in Tavrolin.exe to keep it
// within its size budget (see docs/performance.md, "Windows exes"). Linked
// into the program only, never into the tests, which keep the stock runtime.
//
// - std::terminate's default handler prints the pending exception's demangled
//   type to stderr, which a GUI program does not have, and then aborts. Its
//   demangler and the printf it needs are some 65 KB. Ours just aborts.
// - The error paths of the standard containers (std::__throw_length_error and
//   its kin) sit in one runtime object that pulls in the logic_error family
//   and with it a second, reference-counted std::string: some 50 KB on x64,
//   75 KB on x86. Ours throw what the program's handlers know: a Failure with
//   the same text, or the same std::bad_* type. The set below is that object's
//   complete set, so the linker never needs the object; should a new runtime
//   add a function to it, the link fails with a duplicate definition instead
//   of growing quietly.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

#include "diagnostics/failure.h"

namespace {

[[noreturn]] void Unexpected(const char* what) {
  throw tavrolin::Failure(tavrolin::FailureNumber::kUnexpected, what != nullptr ? what : "");
}

}  // namespace

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::abort();
}

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_exception() {
  throw std::bad_exception();
}
void __throw_bad_alloc() {
  throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
  throw std::bad_array_new_length();
}
void __throw_bad_cast() {
  throw std::bad_cast();
}
void __throw_bad_typeid() {
  throw std::bad_typeid();
}
void __throw_logic_error(const char* what) {
  Unexpected(what);
}
void __throw_domain_error(const char* what) {
  Unexpected(what);
}
void __throw_invalid_argument(const char* what) {
  Unexpected(what);
}
void __throw_length_error(const char* what) {
  Unexpected(what);
}
void __throw_out_of_range(const char* what) {
  Unexpected(what);
}
// The text is a printf format with the position and the size; the catalogue's
// description says the same without them.
void __throw_out_of_range_fmt(const char* /*format*/, ...) {
  throw tavrolin::Failure(tavrolin::FailureNumber::kSubscriptOutOfRange);
}
void __throw_runtime_error(const char* what) {
  Unexpected(what);
}
void __throw_range_error(const char* what) {
  Unexpected(what);
}
void __throw_overflow_error(const char* what) {
  Unexpected(what);
}
void __throw_underflow_error(const char* what) {
  Unexpected(what);
}

}  // namespace std
