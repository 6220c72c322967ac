#include "gateway/CommandQueue.h"

#include <utility>

namespace quillon {

size_t CommandQueue::Push(std::string command) {
    const size_t dropped =
        stalled_ ? DropOldest(kMostWhileStalled - 1, kMostBytesWhileStalled, command.size())
                 : DropOldest(kMostCommands - 1, kMostBytes, command.size());
    bytes_ += command.size();
    commands_.push_back(std::move(command));
    return dropped;
}

size_t CommandQueue::SetStalled(bool stalled) {
    stalled_ = stalled;
    return stalled ? DropOldest(kMostWhileStalled, kMostBytesWhileStalled, 0) : 0;
}

std::string CommandQueue::Pop() {
    std::string command = std::move(commands_.front());
    commands_.pop_front();
    bytes_ -= command.size();
    return command;
}

size_t CommandQueue::DropOldest(size_t count, size_t bytes, size_t adding) {
    size_t dropped = 0;
    while (!commands_.empty() && (commands_.size() > count || bytes_ + adding > bytes)) {
        bytes_ -= commands_.front().size();
        commands_.pop_front();
        ++dropped;
    }
    return dropped;
}

}  // namespace quillon
