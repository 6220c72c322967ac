#include "gateway/CommandQueue.h"

#include <utility>

namespace quillon {

size_t CommandQueue::Push(std::string command) {
    size_t dropped = 0;
    while (!commands_.empty() &&
           (commands_.size() >= kMostCommands || bytes_ + command.size() > kMostBytes)) {
        bytes_ -= commands_.front().size();
        commands_.pop_front();
        ++dropped;
    }
    bytes_ += command.size();
    commands_.push_back(std::move(command));
    return dropped;
}

std::string CommandQueue::Pop() {
    std::string command = std::move(commands_.front());
    commands_.pop_front();
    bytes_ -= command.size();
    return command;
}

}  // namespace quillon
