#pragma once
// The error-handling idioms of the program.
//
//   Trap(log, "Module.Procedure", [&] { ... });
//       The procedure's one error trap: any run-time error stops the body,
//       is reported under the qualified name and the procedure returns
//       normally. A function declares its result before the trap, with its
//       zero value, so a result set before the error is kept.
//
//   IgnoreErrors([&] { statement; });
//       One statement whose failure is skipped, so the next one runs.
//
//   CollectError([&] { statement; })
//       Runs one statement and returns the number of the error it raised,
//       or 0.
//
// Errors from the standard library are mapped onto run-time error numbers
// (out of memory 7, subscript out of range 9, anything else internal 51).

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/ErrorLog.h"
#include "base/RuntimeError.h"

namespace quillon {

template <class Body>
int32_t CollectError(Body&& body) {
    try {
        std::forward<Body>(body)();
        return 0;
    } catch (const RuntimeError& e) {
        return e.Number();
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    } catch (const std::length_error&) {
        return kErrOutOfMemory;
    } catch (const std::out_of_range&) {
        return kErrSubscriptOutOfRange;
    } catch (const std::exception&) {
        return kErrInternal;
    }
}

template <class Body>
void IgnoreErrors(Body&& body) {
    (void)CollectError(std::forward<Body>(body));
}

template <class Body>
void Trap(ErrorLog& log, const std::string& qualifiedName, Body&& body) {
    const int32_t number = CollectError(std::forward<Body>(body));
    if (number != 0) {
        log.ReportProgramError(number, qualifiedName);
    }
}

}  // namespace quillon
