#pragma once
// Base of every error that handlers raise and the event loop shows through the
// application's error display.
#include <stdexcept>
#include <string>

namespace winsys {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A glyph bitmap that is missing or not a valid BMP file.
class EInvalidGraphic : public Exception {
  public:
    using Exception::Exception;
};

} // namespace winsys
