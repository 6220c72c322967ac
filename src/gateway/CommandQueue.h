#pragma once
// The "displaycw" commands that wait while the command link is busy with
// one, oldest first. The link takes one command at a time; the values the
// decoder delivers meanwhile are kept here and sent in order once it is
// free again.
//
// Bounded twice. While the logger answers, a burst of values may run ahead
// of it: up to kMostCommands commands and kMostBytes of text are kept, so a
// burst passes whole. Once a command has gone its full wait without being
// taken (the logger has stalled), the queue holds at most the newest
// kMostWhileStalled commands and kMostBytesWhileStalled, until the logger
// answers again, so that it then gets the recent text in well under a
// second. Either way the oldest commands are the ones dropped.

#include <cstddef>
#include <deque>
#include <string>

namespace quillon {

class CommandQueue {
  public:
    static constexpr size_t kMostCommands = 10000;
    static constexpr size_t kMostBytes = 2 * 1024 * 1024;
    static constexpr size_t kMostWhileStalled = 500;
    static constexpr size_t kMostBytesWhileStalled = 256 * 1024;

    // Appends `command`; returns how many of the oldest commands were
    // dropped to make room for it.
    size_t Push(std::string command);
    // The logger has stalled, or answers again. Stalling drops the oldest
    // commands down to the stalled bounds at once; returns how many.
    size_t SetStalled(bool stalled);
    bool Empty() const { return commands_.empty(); }
    size_t Size() const { return commands_.size(); }
    // Takes the oldest command out; the queue must not be empty.
    std::string Pop();

  private:
    // Drops the oldest while more than `count` commands or `bytes` of text
    // (with `adding` bytes more) are held; returns how many.
    size_t DropOldest(size_t count, size_t bytes, size_t adding);

    std::deque<std::string> commands_;
    bool stalled_ = false;
    size_t bytes_ = 0;  // the text of the commands held
};

}  // namespace quillon
