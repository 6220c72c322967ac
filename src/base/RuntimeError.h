#pragma once
// The one error vocabulary of the program: the classic run-time error number
// and its standard description. Adapters raise these at the platform boundary;
// every procedure of the core traps them once (see base/ErrorTrap.h).

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillon {

// Error numbers the program raises or expects from the platform, and the
// rest of the DDE family (284 to 297), named for the test of their
// descriptions. ErrorDescription also knows numbers that are not named here.
enum ErrorNumber : int32_t {
    kErrInvalidProcedureCall = 5,
    kErrOverflow = 6,
    kErrOutOfMemory = 7,
    kErrSubscriptOutOfRange = 9,
    kErrDivisionByZero = 11,
    kErrTypeMismatch = 13,
    kErrInternal = 51,
    kErrBadFileNameOrNumber = 52,
    kErrFileNotFound = 53,
    kErrDeviceIO = 57,
    kErrDiskFull = 61,
    kErrPermissionDenied = 70,
    kErrPathFileAccess = 75,
    kErrPathNotFound = 76,
    kErrNoForeignApplication = 282,  // no application answered a DDE initiate
    kErrDdeChannelLocked = 284,
    kErrDdeNoResponse = 285,  // foreign application won't perform DDE method or operation
    kErrDdeTimeout = 286,
    kErrDdeUserEscape = 287,
    kErrDdeBusy = 288,
    kErrDdeNoData = 289,
    kErrDdeDataWrongFormat = 290,
    kErrDdeApplicationQuit = 291,
    kErrDdeConversationClosed = 292,
    kErrDdeMethodNoChannel = 293,
    kErrDdeInvalidChannel = 294,
    kErrDdeMessageLost = 295,
    kErrDdeTooManyLinks = 296,
    kErrDdeLinkModeNotSet = 297,
    kErrInvalidPropertyValue = 380,
};

// The standard description of an error number; a generic text for numbers
// the table does not know.
std::string ErrorDescription(int32_t number);

class RuntimeError : public std::runtime_error {
  public:
    explicit RuntimeError(int32_t number);
    int32_t Number() const { return number_; }

  private:
    int32_t number_;
};

// Raises the run-time error `number`.
[[noreturn]] void Raise(int32_t number);

}  // namespace quillon
