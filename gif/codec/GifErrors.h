#pragma once

#include <stdexcept>
#include <string>

// A GIF that cannot be decoded; what() is the text shown to the user.
class EInvalidGraphicOperation : public std::runtime_error {
  public:
    explicit EInvalidGraphicOperation(const std::string& text) : std::runtime_error(text) {}
};

// A read that needed more bytes than the data holds ("Stream read error").
class EReadError : public std::runtime_error {
  public:
    explicit EReadError(const std::string& text = "Stream read error") : std::runtime_error(text) {}
};
