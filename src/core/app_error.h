// The one kind of error that travels from a handler to the message loop's error box.
#pragma once

#include <exception>
#include <string>
#include <utility>

class AppError : public std::exception {
 public:
  explicit AppError(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return "AppError"; }

 private:
  std::wstring message_;
};
