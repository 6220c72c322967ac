#include "windows/support/Gateway.h"

#include "ports/ProgramIdentity.h"

namespace quillon::testing {

Gateway::Gateway() : exe_(dir_.Path() + "MRP_Quillon.exe") {
    ::CopyFileA(GatewayExePath().c_str(), exe_.c_str(), FALSE);
}

::testing::AssertionResult Gateway::Start() {
    process_ = std::make_unique<ChildProcess>(exe_);
    window_ = nullptr;
    if (!process_->Started()) {
        return ::testing::AssertionFailure()
               << "CreateProcess failed with error " << process_->StartError();
    }
    // The load sets the labels before the window is shown; both are waited
    // for, so that a slow start never reads as a wrong label.
    const bool shown = WaitUntil(
        [&] {
            window_ = FindTopWindow(process_->Id(), identity::kWindowClass);
            return window_ != nullptr && HasVisibleStyle(window_) && !Mrp().empty() &&
                   !Palavan().empty();
        },
        kDeadlineMs);
    if (shown) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "no main window with its labels within " << kDeadlineMs << " ms; the process ";
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

RECT Gateway::Rect() const {
    RECT rect{};
    ::GetWindowRect(window_, &rect);
    return rect;
}

std::string Gateway::StatusLine(const std::string& prefix) const {
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

bool Gateway::WaitMrp(const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Mrp() == text; }, timeoutMs);
}

bool Gateway::WaitPalavan(const std::string& text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Palavan() == text; }, timeoutMs);
}

bool Gateway::Responds(DWORD timeoutMs) const {
    DWORD_PTR result = 0;
    return window_ != nullptr &&
           ::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool Gateway::Close() {
    if (process_ == nullptr || window_ == nullptr) {
        return false;
    }
    ::PostMessageA(window_, WM_CLOSE, 0, 0);
    return process_->WaitForExit(kDeadlineMs);
}

bool Gateway::StartDecoder(ChildProcess& decoder, const std::vector<std::string>& arguments) const {
    return decoder.Start(ToolsDir() + "decoder_sim.exe", arguments);
}

bool Gateway::StartLogger(ChildProcess& logger, const std::string& outName,
                          std::vector<std::string> arguments) const {
    arguments.push_back("--out");
    arguments.push_back(dir_.Path() + outName);
    return logger.Start(ToolsDir() + "logger_sim.exe", arguments);
}

}  // namespace quillon::testing
