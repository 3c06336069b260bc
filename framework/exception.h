// Exceptions of the toolkit. Every error is an exception carrying its message
// text; the families below are the roots that the subsystems derive their
// fixed-name exceptions from. The silent abort (EAbort) is swallowed by the
// component that raised it and never reaches the user.
#pragma once

#include <exception>
#include <string>

namespace brimwell {

// Base of every exception the toolkit raises. The message is final: it has
// already passed through the translator and Format.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  // The fixed class name ("EAIUserAbort", ...), for logs and message boxes.
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

// Declares an exception class with a fixed name deriving from `base`.
#define BRIMWELL_EXCEPTION(name, base)                          \
  class name : public base {                                    \
   public:                                                      \
    using base::base;                                           \
    const char* ClassName() const override { return #name; }    \
  }

// The silent abort: ends the current operation without a message.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
  const char* ClassName() const override { return "EAbort"; }
};

// Engine conditions (user abort, meta-variable errors, Program Manager errors).
BRIMWELL_EXCEPTION(EAI, Exception);
// Abnormal conditions (archive component, Windows helper routines).
BRIMWELL_EXCEPTION(ECustomBrimwellAbnormal, Exception);
BRIMWELL_EXCEPTION(EBrimwellAbnormal, ECustomBrimwellAbnormal);
// Per-component errors.
BRIMWELL_EXCEPTION(IException, Exception);
// Network install location errors.
BRIMWELL_EXCEPTION(ENIL, Exception);
// Errors of the framework itself: bad property values, names, formats, streams.
BRIMWELL_EXCEPTION(EConvertError, Exception);
BRIMWELL_EXCEPTION(EComponentError, Exception);
BRIMWELL_EXCEPTION(EPropertyError, Exception);
BRIMWELL_EXCEPTION(EStreamError, Exception);
BRIMWELL_EXCEPTION(EFormatError, Exception);

}  // namespace brimwell
