#include "base/RuntimeError.h"

#include <array>
#include <utility>

namespace quillon {

namespace {

struct Description {
    int32_t number;
    const char* text;
};

constexpr std::array kDescriptions = {
    Description{3, "Return without GoSub"},
    Description{5, "Invalid procedure call or argument"},
    Description{6, "Overflow"},
    Description{7, "Out of memory"},
    Description{9, "Subscript out of range"},
    Description{10, "This array is fixed or temporarily locked"},
    Description{11, "Division by zero"},
    Description{13, "Type mismatch"},
    Description{14, "Out of string space"},
    Description{16, "Expression too complex"},
    Description{17, "Can't perform requested operation"},
    Description{18, "User interrupt occurred"},
    Description{20, "Resume without error"},
    Description{28, "Out of stack space"},
    Description{35, "Sub or Function not defined"},
    Description{47, "Too many DLL application clients"},
    Description{48, "Error in loading DLL"},
    Description{49, "Bad DLL calling convention"},
    Description{51, "Internal error"},
    Description{52, "Bad file name or number"},
    Description{53, "File not found"},
    Description{54, "Bad file mode"},
    Description{55, "File already open"},
    Description{57, "Device I/O error"},
    Description{58, "File already exists"},
    Description{59, "Bad record length"},
    Description{61, "Disk full"},
    Description{62, "Input past end of file"},
    Description{63, "Bad record number"},
    Description{67, "Too many files"},
    Description{68, "Device unavailable"},
    Description{70, "Permission denied"},
    Description{71, "Disk not ready"},
    Description{74, "Can't rename with different drive"},
    Description{75, "Path/File access error"},
    Description{76, "Path not found"},
    Description{91, "Object variable or With block variable not set"},
    Description{282, "No foreign application responded to a DDE initiate"},
    Description{283, "More than one application has responded to a DDE initiate"},
    Description{284, "DDE channel locked"},
    Description{285, "Foreign application won't perform DDE method or operation"},
    Description{286, "Timeout while waiting for DDE response"},
    Description{287, "User pressed Escape key during DDE operation"},
    Description{288, "Destination is busy"},
    Description{289, "Data not provided in DDE operation"},
    Description{290, "Data in wrong format"},
    Description{291, "Foreign application quit"},
    Description{292, "DDE conversation closed or changed"},
    Description{293, "DDE method invoked with no channel open"},
    Description{294, "Invalid DDE Link format"},
    Description{295, "Message queue filled; DDE message lost"},
    Description{296, "PasteLink already performed on this control"},
    Description{297, "Can't set LinkMode; invalid LinkTopic"},
    Description{380, "Invalid property value"},
};

}  // namespace

std::string ErrorDescription(int32_t number) {
    for (const auto& entry : kDescriptions) {
        if (entry.number == number) {
            return entry.text;
        }
    }
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(int32_t number)
    : std::runtime_error(ErrorDescription(number)), number_(number) {}

void Raise(int32_t number) {
    throw RuntimeError(number);
}

}  // namespace quillon
