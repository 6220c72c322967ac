#include "windows/support/FaultGateway.h"

namespace quillon::testing {

namespace {
constexpr char kMainWindowClass[] = "MRP_Quillon.MainWindow";
}  // namespace

FaultGateway::FaultGateway() : exe_(dir_.Path() + "MRP_Quillon.exe") {
    ::CopyFileA(GatewayExePath().c_str(), exe_.c_str(), FALSE);
}

::testing::AssertionResult FaultGateway::Start() {
    process_ = std::make_unique<ChildProcess>(exe_);
    window_ = nullptr;
    if (!process_->Started()) {
        return ::testing::AssertionFailure()
               << "CreateProcess failed with error " << process_->StartError();
    }
    const bool shown = WaitUntil(
        [&] {
            window_ = FindTopWindow(process_->Id(), kMainWindowClass);
            return window_ != nullptr && HasVisibleStyle(window_);
        },
        kFaultDeadlineMs);
    if (shown) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "no visible main window within " << kFaultDeadlineMs << " ms; the process ";
    if (process_->Running()) {
        failure << "runs, its top-level windows:";
        for (const ChildInfo& top : ListTopWindows(process_->Id())) {
            failure << " [" << top.className << " \"" << top.text << "\""
                    << (top.visible ? " visible" : " hidden") << "]";
        }
    } else {
        failure << "ended with exit code " << process_->ExitCode();
    }
    return failure;
}

std::string FaultGateway::StatusLine(const std::string& prefix) const {
    if (window_ == nullptr) {
        return std::string();
    }
    for (const std::string& label : ReadLabels(window_)) {
        if (label.compare(0, prefix.size(), prefix) == 0) {
            return label;
        }
    }
    return std::string();
}

bool FaultGateway::WaitMrp(const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Mrp() == text; }, timeoutMs);
}

bool FaultGateway::WaitPalavan(const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Palavan() == text; }, timeoutMs);
}

bool FaultGateway::Responds(DWORD timeoutMs) const {
    DWORD_PTR result = 0;
    return window_ != nullptr &&
           ::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool FaultGateway::Close() {
    if (process_ == nullptr || window_ == nullptr) {
        return false;
    }
    ::PostMessageA(window_, WM_CLOSE, 0, 0);
    return process_->WaitForExit(kFaultDeadlineMs);
}

bool FaultGateway::StartDecoder(DdePeerProcess& decoder,
                                const std::vector<std::string>& arguments) const {
    return decoder.Start(ToolsDir() + "decoder_sim.exe", arguments);
}

bool FaultGateway::StartLogger(DdePeerProcess& logger, const std::string& outName,
                               std::vector<std::string> arguments) const {
    arguments.push_back("--out");
    arguments.push_back(dir_.Path() + outName);
    return logger.Start(ToolsDir() + "logger_sim.exe", arguments);
}

int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

std::string UniqueEventName(const char* base) {
    static int counter = 0;
    return std::string(base) + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::GetTickCount()) + "-" + std::to_string(++counter);
}

void SignalEvent(const std::string& name) {
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ::SetEvent(event);
    // Kept open a moment: a waiter that opens the event late still finds it.
    ::Sleep(100);
    ::CloseHandle(event);
}

}  // namespace quillon::testing
