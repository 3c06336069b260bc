// The message of the error a piece of work raises, for tests that compare
// messages word for word.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace brimwell::testing {

// What `work` throws as an E (any standard exception by default), or
// "(no error)" when it returns normally. An exception of another class
// passes through, so the test fails on it with its own message.
template <class E = std::exception>
std::string ErrorOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const E& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace brimwell::testing
