#pragma once
// The "displaycw" commands that wait while the command link is busy with
// one, oldest first. The link takes one command at a time; the values the
// decoder delivers meanwhile are kept here and sent in order once it is
// free again. Bounded, so a logger that stops answering cannot make the
// program hold an ever-growing backlog: at most kMostCommands commands and
// kMostBytes of command text. A command that does not fit pushes out the
// oldest ones.

#include <cstddef>
#include <deque>
#include <string>

namespace quillon {

class CommandQueue {
  public:
    static constexpr size_t kMostCommands = 500;
    static constexpr size_t kMostBytes = 256 * 1024;

    // Appends `command`; returns how many of the oldest commands were
    // dropped to make room for it.
    size_t Push(std::string command);
    bool Empty() const { return commands_.empty(); }
    size_t Size() const { return commands_.size(); }
    // Takes the oldest command out; the queue must not be empty.
    std::string Pop();

  private:
    std::deque<std::string> commands_;
    size_t bytes_ = 0;  // the text of the commands held
};

}  // namespace quillon
