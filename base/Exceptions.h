#pragma once
// The exceptions of the runtime. Every failure of the system is raised as one of these; the message texts
// are the ones the user sees in the application's error report.

#include <exception>
#include <string>

// The general exception: a message text, which what() returns.
class Exception : public std::exception {
public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const { return FMessage; }

private:
  std::string FMessage;
};

// An index outside a list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
  explicit EListError(int Index);
};

class EStreamError : public Exception {
public:
  using Exception::Exception;
};

// A read that got fewer bytes than asked: "Stream read error".
class EReadError : public EStreamError {
public:
  EReadError();
};

// A write that could not put every byte: "Stream write error".
class EWriteError : public EStreamError {
public:
  EWriteError();
};

// A file that could not be opened: "Cannot open file "%s". %s" (full path, the system's reason).
class EFOpenError : public EStreamError {
public:
  EFOpenError(const std::string& FileName, int ErrorCode);
  // A file the system refuses to open: the same text with Reason for the system's, and FileName exactly as
  // given, since the full form of a refused path may hide what was asked for.
  EFOpenError(const std::string& FileName, const std::string& Reason);
};

// A file that could not be created: "Cannot create file "%s". %s".
class EFCreateError : public EStreamError {
public:
  EFCreateError(const std::string& FileName, int ErrorCode);
};

// A failed OS call: "System Error.  Code: %d." with a line break and the system's text, or "A call to an
// OS function failed" when there is no code.
class EOSError : public Exception {
public:
  explicit EOSError(int ErrorCode);
  int ErrorCode() const { return FErrorCode; }

private:
  int FErrorCode;
};

// A definition and its archives out of step: a sample whose offset lies in no file of its archive.
class EStreamSyncException : public Exception {
public:
  using Exception::Exception;
};

// Raises EOSError for a non-zero error code of the platform layer.
void CheckOSError(int ErrorCode);
