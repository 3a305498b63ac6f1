#pragma once
// Failures are exceptions carrying the message text shown to the user.
#include <stdexcept>
#include <string>

namespace rpt {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Assign between incompatible classes.
class EConvertError : public Exception { using Exception::Exception; };
// Naming, ownership and insertion rules.
class EComponentError : public Exception { using Exception::Exception; };
// Index outside a list.
class EListError : public Exception { using Exception::Exception; };
// Class registry.
class EFilerError : public Exception { using Exception::Exception; };
class EClassNotFound : public EFilerError { using EFilerError::EFilerError; };
// Component stream.
class EReadError : public EFilerError { using EFilerError::EFilerError; };
class EWriteError : public EFilerError { using EFilerError::EFilerError; };
class EInvalidImage : public EFilerError { using EFilerError::EFilerError; };
// Property access.
class EPropertyError : public Exception { using Exception::Exception; };
// Files.
class EFOpenError : public Exception { using Exception::Exception; };
class EFCreateError : public Exception { using Exception::Exception; };

}  // namespace rpt
